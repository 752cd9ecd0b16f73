#pragma once
// Alarm texts carry controller text. A control character in one would start a new log line,
// forge a header in the alarm mail or split a system-log record, so every channel writes the
// text with each byte below 0x20 and 0x7F replaced by "?".

#include <string>
#include <string_view>

inline std::string OneLineText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            c = '?';
        }
    }
    return out;
}
