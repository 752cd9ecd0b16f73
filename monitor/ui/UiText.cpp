#include "UiText.h"

#include "StringTable.h"

#include <cstdio>

QString UiText(int id) {
    return QString::fromUtf8(CStringTable::Text(id));
}

// The formats come from our own table, whose conversions the table build checks.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
namespace {
template <class... A> std::string Format(int id, A... args) {
    const char* format = CStringTable::Text(id);
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, args...);
    out.resize(static_cast<std::size_t>(n));
    return out;
}
} // namespace
#pragma GCC diagnostic pop

std::string FormatText(int id, int a) {
    return Format(id, a);
}
std::string FormatText(int id, int a, int b) {
    return Format(id, a, b);
}
std::string FormatText(int id, const char* a) {
    return Format(id, a);
}
std::string FormatText(int id, const char* a, const char* b, const char* c) {
    return Format(id, a, b, c);
}

std::string ToUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FixedFieldText(const char* field, std::size_t size, std::size_t limit) {
    QString out;
    for (std::size_t i = 0; i < size && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == 0) {
            break;
        }
        out.append(c >= 0x20 && c < 0x7F ? QChar(c) : QChar('?'));
    }
    return out;
}
