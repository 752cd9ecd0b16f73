#pragma once
// Texts of the window: every visible word comes from the string table by its identifier, in
// the language selected at that moment, so a dialog built after Setup's OK speaks the new one.

#include <QString>

#include <string>
#include <string_view>

// The text of `id` in the current language.
QString UiText(int id);

// printf formatting of a table text (its conversions are checked against the English ones
// when the table is built). Integer and string arguments only.
std::string FormatText(int id, int a);
std::string FormatText(int id, int a, int b);
std::string FormatText(int id, const char* a);
std::string FormatText(int id, const char* a, const char* b, const char* c);

// UTF-8 of a widget's text, as the settings record and the address books hold it.
std::string ToUtf8(const QString& text);
QString FromUtf8(std::string_view text);

// Controller texts: fixed fields of a status record, blank- or zero-padded and not terminated
// when full; at most `limit` bytes are shown, bytes outside printable ASCII as '?'.
QString FixedFieldText(const char* field, std::size_t size, std::size_t limit);
