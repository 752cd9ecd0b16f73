#include "FieldCheck.h"

#include "Prompt.h"
#include "StringIds.h"
#include "UiText.h"

#include <QLineEdit>

namespace FieldCheck {

std::optional<std::int64_t> ParseInt(const QString& text, SIntRange range, QString* message) {
    const QString t = text.trimmed();
    bool digitsOnly = !t.isEmpty();
    for (qsizetype i = 0; i < t.size(); ++i) {
        const bool sign = i == 0 && (t[i] == '-' || t[i] == '+') && t.size() > 1;
        digitsOnly = digitsOnly && (sign || (t[i] >= '0' && t[i] <= '9'));
    }
    if (!digitsOnly) {
        if (message != nullptr) {
            *message = UiText(IDS_PROMPT_NUMBER);
        }
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    // Too many digits for any number is out of range as well.
    if (!ok || !range.Contains(v)) {
        if (message != nullptr) {
            *message = FromUtf8(FormatText(IDS_PROMPT_INT_RANGE, static_cast<int>(range.nMin),
                                           static_cast<int>(range.nMax)));
        }
        return std::nullopt;
    }
    return v;
}

bool Fits(const QString& text, std::size_t maxBytes, QString* message) {
    if (static_cast<std::size_t>(text.toUtf8().size()) <= maxBytes) {
        return true;
    }
    if (message != nullptr) {
        *message = FromUtf8(FormatText(IDS_PROMPT_MAX_CHARS, static_cast<int>(maxBytes)));
    }
    return false;
}

namespace {
void Refuse(QWidget* dialog, QLineEdit* edit, const QString& message) {
    Prompt::Tell(dialog, message);
    edit->setFocus();
    edit->selectAll();
}
} // namespace

std::optional<std::int64_t> TakeInt(QWidget* dialog, QLineEdit* edit, SIntRange range) {
    QString message;
    std::optional<std::int64_t> v = ParseInt(edit->text(), range, &message);
    if (!v) {
        Refuse(dialog, edit, message);
    }
    return v;
}

bool TakeText(QWidget* dialog, QLineEdit* edit, std::size_t maxBytes) {
    QString message;
    if (Fits(edit->text(), maxBytes, &message)) {
        return true;
    }
    Refuse(dialog, edit, message);
    return false;
}

} // namespace FieldCheck
