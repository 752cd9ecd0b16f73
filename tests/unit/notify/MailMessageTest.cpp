// Composition of the alarm mail: header block, Date and zone text, dot-stuffing.
#include "MailMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

namespace {

TEST(MailMessage, ZoneText) {
    const struct {
        long minutes;
        const char* text;
    } cases[] = {{480, "+0800"}, {-300, "-0500"}, {330, "+0530"}, {-210, "-0330"},
                 {0, "+0000"},   {-30, "-0030"},  {765, "+1245"}, {-720, "-1200"}};
    for (const auto& c : cases) {
        EXPECT_EQ(MailZoneText(c.minutes), c.text) << c.minutes;
    }
}

TEST(MailMessage, DateTextUsesEnglishNamesAndTheTimesOwnOffset) {
    const struct {
        int year, mon, mday, wday, hour, min, sec;
        long gmtoff;
        const char* text;
    } cases[] = {
        {2025, 11, 7, 0, 7, 41, 5, 3600, "Sun, 07 Dec 2025 07:41:05 +0100"},
        {2024, 1, 29, 4, 23, 59, 59, -18000, "Thu, 29 Feb 2024 23:59:59 -0500"},
        {2000, 0, 1, 6, 0, 0, 0, 0, "Sat, 01 Jan 2000 00:00:00 +0000"},
        {2031, 5, 15, 2, 12, 5, 9, 19800, "Tue, 15 Jun 2031 12:05:09 +0530"},
    };
    for (const auto& c : cases) {
        std::tm t{};
        t.tm_year = c.year - 1900;
        t.tm_mon = c.mon;
        t.tm_mday = c.mday;
        t.tm_wday = c.wday;
        t.tm_hour = c.hour;
        t.tm_min = c.min;
        t.tm_sec = c.sec;
        t.tm_gmtoff = c.gmtoff;
        EXPECT_EQ(MailDateText(t), c.text);
    }
}

// The Date line takes its zone from the process's time zone, as the machine is set up.
TEST(MailMessage, DateLineFollowsTheLocalZone) {
    const char* saved = std::getenv("TZ");
    const std::string savedTz = saved ? saved : "";
    const struct {
        const char* tz;
        const char* zone;
    } cases[] = {{"UTC0", "+0000"},
                 {"XST-8", "+0800"},
                 {"EST5", "-0500"},
                 {"IST-5:30", "+0530"},
                 {"NST3:30", "-0330"}};
    for (const auto& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        CMailMessage mail;
        const std::string header = mail.BuildHeader();
        const std::regex date("\r\nDate: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} "
                              "\\d\\d:\\d\\d:\\d\\d ([+-]\\d{4})\r\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(header, m, date)) << header;
        EXPECT_EQ(m[1].str(), c.zone) << c.tz;
    }
    if (saved) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(MailMessage, HeaderBlock) {
    CMailMessage mail;
    EXPECT_EQ(mail.m_mailer, "CSMTPConnection v1.3");
    mail.m_from = "raid@site.test";
    mail.m_subject = "Volume Failed";
    EXPECT_EQ(mail.AddRecipient("ops@site.test"), 0);
    EXPECT_EQ(mail.AddRecipient("boss@site.test"), 1);
    const std::regex block("From: raid@site\\.test\r\n"
                           "To: ops@site\\.test,boss@site\\.test\r\n"
                           "Subject: Volume Failed\r\n"
                           "Date: [^\r\n]+ [+-]\\d{4}\r\n"
                           "X-Mailer: CSMTPConnection v1\\.3\r\n"
                           "MIME-Version: 1\\.0\r\n"
                           "Content-type: text/plain; charset=US-ASCII\r\n"
                           "\r\n");
    const std::string header = mail.BuildHeader();
    EXPECT_TRUE(std::regex_match(header, block)) << header;

    CMailMessage empty;
    EXPECT_NE(empty.BuildHeader().find("\r\nTo: \r\n"), std::string::npos);
}

TEST(MailMessage, LineBreaksInHeaderValuesCannotAddHeaders) {
    CMailMessage mail;
    mail.m_from = "a@b.test\r\nBcc: spy@evil.test";
    mail.m_subject = "alarm\nX-Injected: yes";
    mail.AddRecipient("c@d.test\rCc: x@evil.test");
    const std::string header = mail.BuildHeader();
    for (const char* injected : {"\r\nBcc:", "\nX-Injected:", "\rCc:"}) {
        EXPECT_EQ(header.find(injected), std::string::npos) << injected;
    }
    EXPECT_NE(header.find("Subject: alarm X-Injected: yes\r\n"), std::string::npos) << header;
}

TEST(MailMessage, DotStuffing) {
    const struct {
        const char* body;
        const char* stuffed;
    } cases[] = {
        {"[SYSTEM ALARM]\r\nno dots", "[SYSTEM ALARM]\r\nno dots"},
        {"line\r\n.\r\nmore", "line\r\n..\r\nmore"},
        {"a\r\n...run", "a\r\n....run"},
        {"a.b\r\nc. d.", "a.b\r\nc. d."},
        {".first", "..first"},
        {"bare\n.lf\n.", "bare\n..lf\n.."},
        {"", ""},
    };
    for (const auto& c : cases) {
        CMailMessage mail;
        mail.SetBody(c.body);
        EXPECT_EQ(mail.m_body, c.stuffed) << c.body;
    }
}

} // namespace
