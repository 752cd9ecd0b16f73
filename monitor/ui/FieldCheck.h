#pragma once
// Checks of dialog fields before their values are taken: a number within its range, a text
// that fits its field. A refused field gets a message naming the limit, takes the focus with
// its text selected, and nothing of the dialog is taken.

#include "SettingsRecord.h"

#include <QString>

#include <cstddef>
#include <optional>

class QLineEdit;
class QWidget;

namespace FieldCheck {

// The value of `text` when it is a whole number within `range`; otherwise nothing, and
// `message` says what is wanted.
std::optional<std::int64_t> ParseInt(const QString& text, SIntRange range, QString* message);
// Whether `text` fits `maxBytes` bytes of UTF-8 (a field of that many characters as the files
// store them); otherwise `message` names the limit.
bool Fits(const QString& text, std::size_t maxBytes, QString* message);

// The same on an edit: on failure the message is shown and the edit takes the focus.
std::optional<std::int64_t> TakeInt(QWidget* dialog, QLineEdit* edit, SIntRange range);
bool TakeText(QWidget* dialog, QLineEdit* edit, std::size_t maxBytes);

} // namespace FieldCheck
