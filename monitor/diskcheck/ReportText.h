#pragma once
// Text helpers of the disk-checking pages and progress columns.

#include "StringTable.h"

#include <cstddef>
#include <string>

// printf into a string. The formats are the string table's own texts, never outside input.
std::string FormatText(const char* format, ...);

// A text of the string table as the pages carry it: Big5, the character set they declare.
// (A text that has no Big5 form stays UTF-8; the table's tests keep that from happening.)
std::string PageText(int id, ELanguage lang);
std::string ToBig5(const std::string& utf8);

// A fixed-width controller field as text: up to its first zero byte, or all of it.
std::string FieldText(const char* field, std::size_t width);

// Controller texts go into the pages as the bytes the controller sent, with the three
// characters that would be taken for mark-up escaped.
std::string EscapeHtml(const std::string& text);
