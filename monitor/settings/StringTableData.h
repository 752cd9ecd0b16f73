// Shape of the two language tables and the compile-time rules they must keep. Included by
// the table sources only; everyone else goes through StringTable.h.
#pragma once

#include "StringIds.h"

#include <cstddef>
#include <string_view>

struct SStringEntry {
    int id;
    const char* text;
};

namespace stringtable_detail {

// Both tables list exactly the identifiers of VRN_STRING_IDS, in the same ascending order,
// so a lookup can binary-search either one and a missing or extra text is a build error.
template <std::size_t N> consteval bool MatchesIdList(const SStringEntry (&table)[N]) {
    constexpr std::size_t count = sizeof(kStringIdList) / sizeof(kStringIdList[0]);
    if (N != count) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].id != kStringIdList[i]) {
            return false;
        }
        if (i > 0 && kStringIdList[i - 1] >= kStringIdList[i]) {
            return false;
        }
    }
    return true;
}

template <std::size_t N> consteval bool NoEmptyText(const SStringEntry (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].text == nullptr || table[i].text[0] == '\0') {
            return false;
        }
    }
    return true;
}

// One printf conversion: the whole "%...c" sequence, or empty at the end of the text.
// `valid` turns false on a '%' that does not start a complete conversion.
struct SConversion {
    std::string_view conversion;
    std::size_t next = 0;
    bool valid = true;
};

constexpr bool IsOneOf(char c, std::string_view set) {
    return set.find(c) != set.npos;
}

// Finds the next conversion at or after `pos`, skipping "%%".
constexpr SConversion NextConversion(std::string_view text, std::size_t pos) {
    while (pos < text.size()) {
        if (text[pos] != '%') {
            ++pos;
            continue;
        }
        std::size_t i = pos + 1;
        if (i < text.size() && text[i] == '%') {
            pos = i + 1;
            continue;
        }
        while (i < text.size() && IsOneOf(text[i], "-+ #0")) {
            ++i;
        }
        while (i < text.size() && (IsOneOf(text[i], "0123456789*"))) {
            ++i;
        }
        if (i < text.size() && text[i] == '.') {
            ++i;
            while (i < text.size() && IsOneOf(text[i], "0123456789*")) {
                ++i;
            }
        }
        while (i < text.size() && IsOneOf(text[i], "hlLqjzt")) {
            ++i;
        }
        if (i >= text.size() || !IsOneOf(text[i], "diouxXeEfFgGaAcsp")) {
            return {text.substr(pos), text.size(), false};
        }
        return {text.substr(pos, i + 1 - pos), i + 1, true};
    }
    return {{}, text.size(), true};
}

// A formatter handed the Chinese text gets the arguments prepared for the English one, so
// both must hold the same conversions in the same order, or the call reads garbage.
constexpr bool SameConversions(std::string_view a, std::string_view b) {
    std::size_t pa = 0;
    std::size_t pb = 0;
    for (;;) {
        SConversion ca = NextConversion(a, pa);
        SConversion cb = NextConversion(b, pb);
        if (!ca.valid || !cb.valid || ca.conversion != cb.conversion) {
            return false;
        }
        if (ca.conversion.empty()) {
            return true;
        }
        pa = ca.next;
        pb = cb.next;
    }
}

// "(&A)"-style keyboard accelerators of the English text must survive translation.
constexpr bool SameAccelerators(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i + 3 < a.size(); ++i) {
        if (a[i] == '(' && a[i + 1] == '&' && a[i + 2] != '&' && a[i + 3] == ')') {
            if (b.find(a.substr(i, 4)) == b.npos) {
                return false;
            }
        }
    }
    return true;
}

template <std::size_t N>
consteval bool SameFormats(const SStringEntry (&a)[N], const SStringEntry (&b)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (a[i].id != b[i].id || !SameConversions(a[i].text, b[i].text) ||
            !SameAccelerators(a[i].text, b[i].text)) {
            return false;
        }
    }
    return true;
}

} // namespace stringtable_detail
