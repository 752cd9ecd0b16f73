#include "ReportText.h"

#include <iconv.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::vsnprintf(nullptr, 0, format, args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(n));
    }
#pragma GCC diagnostic pop
    va_end(again);
    va_end(args);
    return out;
}

std::string ToBig5(const std::string& utf8) {
    bool ascii = true;
    for (unsigned char c : utf8)
        ascii = ascii && c < 0x80;
    if (ascii)
        return utf8;
    iconv_t cd = iconv_open("BIG5", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8;
    std::vector<char> in(utf8.begin(), utf8.end());
    std::string out(utf8.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        return utf8;
    out.resize(out.size() - outLeft);
    return out;
}

std::string PageText(int id, ELanguage lang) {
    return ToBig5(LoadText(id, lang));
}

std::string FieldText(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, '\0', width);
    return std::string(field,
                       nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : width);
}

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
