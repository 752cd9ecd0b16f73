// What the notification channels write: log lines, system-log records, the computer names the
// messenger accepts and the 8-bit text it sends.
#include "LogFile.h"
#include "Messenger.h"
#include "SystemLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::tm Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(NotifyFormat, LogLines) {
    const struct {
        std::tm when;
        std::string text;
        std::string line;
    } cases[] = {
        {Local(2004, 6, 5, 9, 7, 3), "Application started successfully!!",
         "2004/6/5  9:7:3 Application started successfully!!\r\n"},
        {Local(2026, 12, 31, 23, 59, 59), "127.0.0.1 Volume Set # 00  Volume Failed",
         "2026/12/31  23:59:59 127.0.0.1 Volume Set # 00  Volume Failed\r\n"},
        {Local(2000, 1, 1, 0, 0, 0), "", "2000/1/1  0:0:0 \r\n"},
        // Controller text with line breaks must not start lines of its own.
        {Local(2010, 10, 10, 10, 10, 10), "a\r\n2010/1/1  0:0:0 forged\x7f",
         "2010/10/10  10:10:10 a??2010/1/1  0:0:0 forged?\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLogLine(c.when, c.text), c.line);
    }
}

TEST(NotifyFormat, SystemLogRecords) {
    const std::tm when = Local(2004, 6, 5, 9, 7, 3);
    const struct {
        int type;
        std::uint32_t id;
        std::string text;
        std::string record;
    } cases[] = {
        {EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, "Volume Failed",
         "<11>Jun  5 09:07:03 QuillHT[77]: [0xC0000030] Volume Failed"},
        {EVENTLOG_WARNING_TYPE, EVENTLOG_ID_WARNING, "Fan stopped",
         "<12>Jun  5 09:07:03 QuillHT[77]: [0x80000020] Fan stopped"},
        {EVENTLOG_INFORMATION_TYPE, EVENTLOG_ID_INFORMATION, "Volume Created",
         "<14>Jun  5 09:07:03 QuillHT[77]: [0x40000010] Volume Created"},
        {8, EVENTLOG_ID_INFORMATION, "unknown type", // no priority of its own: information
         "<14>Jun  5 09:07:03 QuillHT[77]: [0x40000010] unknown type"},
        {EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, "two\nrecords",
         "<11>Jun  5 09:07:03 QuillHT[77]: [0xC0000030] two?records"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSyslogRecord(c.type, c.id, c.text, when, 77), c.record);
    }
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatSyslogRecord(1, EVENTLOG_ID_ERROR, longText, when, 1).size(),
              std::string("<11>Jun  5 09:07:03 QuillHT[1]: [0xC0000030] ").size() + kSyslogTextMax);
}

TEST(NotifyFormat, ComputerNames) {
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {"WS01", true},
        {"A", true},
        {"FIFTEEN-CHARS-1", true},
        {"SIXTEEN-CHARS-12", false},
        {"", false},
        {"-Ufoo", false}, // would be taken for an option
        {"WORK STATION", false},
        {"WS01\n", false},
        {std::string("WS\0"
                     "1",
                     4),
         false},
        {"WS\x7f", false},
        {"\xe5\x8d\xb7\xe9\x9b\x86", true}, // 8-bit names are names too
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidComputerName(c.name), c.valid) << c.name;
    }
}

TEST(NotifyFormat, TextInTheLanguagesCodePage) {
    const struct {
        const char* what;
        std::string utf8;
        bool chinese;
        std::string bytes;
    } cases[] = {
        {"ASCII stays", "127.0.0.1 Volume Failed", false, "127.0.0.1 Volume Failed"},
        {"ASCII stays in CP950", "127.0.0.1 Volume Failed", true, "127.0.0.1 Volume Failed"},
        {"Traditional Chinese in Big5 bytes", "\xe5\x8d\xb7\xe9\x9b\x86 00 Failed", true,
         "\xa8\xf7\xb6\xb0 00 Failed"},
        {"Latin letters in CP1252", "caf\xc3\xa9 \xe2\x82\xac", false, "caf\xe9 \x80"},
        {"a character CP1252 lacks", "\xe5\x8d\xb7!", false, "?!"},
        {"a byte that is no UTF-8",
         "a\xff"
         "b",
         true, "a?b"},
        {"a sequence cut short at the end", "ab\xe5\x8d", true, "ab?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToCodePage(c.utf8, MessengerCodePage(c.chinese)), c.bytes) << c.what;
    }
}

} // namespace
