#pragma once
// Zero-terminated text in fixed-size character arrays (settings record, address-book entries).
// A text that does not fit is cut, never copied past the array; a cut never splits a UTF-8
// sequence, so a shortened name still shows as whole characters.

#include <cstddef>
#include <cstring>
#include <string_view>

namespace FixedText {

// Length that fits `capacity` bytes including the terminator, backed off to a UTF-8 boundary.
inline std::size_t FitLength(std::string_view text, std::size_t capacity) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    if (capacity == 0) {
        return 0;
    }
    if (text.size() <= capacity - 1) {
        return text.size();
    }
    std::size_t n = capacity - 1;
    // A continuation byte at the cut means the character started earlier; at most three steps
    // back, so bytes of an 8-bit code page that only look like UTF-8 lose little.
    for (int step = 0; step < 3 && n > 0; ++step) {
        if ((static_cast<unsigned char>(text[n]) & 0xC0) != 0x80) {
            break;
        }
        --n;
    }
    if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        n = capacity - 1; // not UTF-8 after all: plain byte cut
    }
    return n;
}

// Copies `text` (up to its first zero byte) into `field`, zero-filling the rest.
// Returns false when the text had to be cut.
template <std::size_t N> bool Set(char (&field)[N], std::string_view text) {
    const std::size_t nul = text.find('\0');
    const std::string_view whole = nul == std::string_view::npos ? text : text.substr(0, nul);
    const std::size_t n = FitLength(whole, N);
    std::memset(field, 0, N);
    std::memcpy(field, whole.data(), n);
    return n == whole.size();
}

// The text of a field; stops at the array's end even when no terminator is there.
template <std::size_t N> std::string_view Get(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') {
        ++n;
    }
    return std::string_view(field, n);
}

} // namespace FixedText
