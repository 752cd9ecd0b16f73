// The string table holds every text of the utility in two languages. These tests hold the
// English texts to the exact bytes other modules, log readers and mail filters rely on, and
// hold the Chinese table to the rules that keep it interchangeable with the English one.
#include "StringTable.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct SQuoted {
    int constant; // the named constant
    int number;   // the number the program has always used, -1 for the unnumbered block
    const char* text;
};

// English texts as the program has always shown or written them.
const SQuoted kEnglishQuoted[] = {
    {IDS_ABOUT_MENU_ENTRY, 101, "About QuillHT(&A)..."},
    {IDS_SOCKETS_FAILED, 103, "Windows sockets failed"},
    {IDS_APP_STARTED, 104, "Application started successfully!!"},
    {IDS_LEVEL_INFORMATION, 106, "Information Level"},
    {IDS_LEVEL_WARNING, 107, "Warning Level"},
    {IDS_LEVEL_SERIOUS, 108, "Serious Error Notification"},
    {IDS_LEVEL_URGENT, 109, "Urgent Error Notification"},
    {IDS_APP_TITLE, 110, "Monitoring Utility"},
    {IDS_ABOUT_DATE, 111, "12/01/2003"},
    {IDS_LOG_WRITE_FAILED, 112, "Failed to write to log file"},
    {IDS_TOOLBAR_ADD, 113, "Add"},
    {IDS_TOOLBAR_DELETE, 114, "Delete"},
    {IDS_TOOLBAR_RESCAN, 115, "Rescan"},
    {IDS_TOOLBAR_NOTIFICATION, 116, "Notification"},
    {IDS_TOOLBAR_ADDRESS_BOOKS, 117, "Address Books"},
    {IDS_TOOLBAR_SETUP, 118, "Setup"},
    {IDS_TOOLBAR_ABOUT, 119, "About"},
    {IDS_TOOLBAR_EXIT, 120, "Exit"},
    {IDS_GENERAL_PAGE_TITLE, 121, "General Settings"},
    {IDS_GENERAL_LANGUAGE, 122, "Language"},
    {IDS_GENERAL_CHINESE, 123, "Chinese(Taiwan)"},
    {IDS_GENERAL_ENGLISH, 124, "English(US)"},
    {IDS_GENERAL_LOGFILE_PATH, 125, "Logfile path:"},
    {IDS_GENERAL_ENABLE_LOGFILE, 126, "Enable log file"},
    {IDS_NETWORK_PAGE_TITLE, 130, "Network Settings"},
    {IDS_NETWORK_POLL_INTERVAL, 131, "Poll interval"},
    {IDS_NETWORK_POLL_RETRIES, 132, "Poll retries"},
    {IDS_NETWORK_POLL_TIMEOUT, 133, "Poll timeout"},
    {IDS_NETWORK_UNIT_SECONDS, 134, "seconds"},
    {IDS_NETWORK_UNIT_TIMES, 135, "times"},
    {IDS_NETWORK_AGENT_PORT, 138, "Agent UDP port"},
    {IDS_NETWORK_SMTP_SETTINGS, 139, "SMTP settings..."},
    {IDS_COMPUTER_NAME_BLANK, 156, "Computer name can't not be blank"},
    {IDS_COMPUTER_NAME_EXISTS, 158, "The name of computer already exist"},
    {IDS_ARE_YOU_SURE, 159, "Are you sure?"},
    {IDS_APP_EXIT, 160, "Application exit"},
    {IDS_MAIL_ADDRESS_BLANK, 161, "Mail address can't not be blank"},
    {IDS_MAIL_ADDRESS_EXISTS, 162, "The mail address already exist"},
    {IDS_INVALID_IP_ADDRESS, 163, "Invalid IP Address"},
    {IDS_NOTIFY_LEVEL, 170, "Notification level"},
    {IDS_NOTIFY_ENABLE, 171, "Enable Notification"},
    {IDS_NOTIFY_TYPE, 172, "Notification type"},
    {IDS_NOTIFY_BY_MAIL, 173, "By Mail"},
    {IDS_NOTIFY_ENABLE_SYSLOG, 175, "Enable Windows System Log"},
    {IDS_NOTIFY_MAIL_NO_ETHERNET, 176, "Send E-Mail only no ethernet supported."},
    {IDS_SMTP_SERVER_GROUP, 180, "SMTP Server Information"},
    {IDS_SMTP_SERVER, 181, "SMTP Server"},
    {IDS_SMTP_ACCOUNT, 182, "Account"},
    {IDS_SMTP_PASSWORD, 183, "Password"},
    {IDS_SMTP_SENDER_GROUP, 184, "Sender Information"},
    {IDS_SMTP_SENDER_NAME, 185, "Name"},
    {IDS_SMTP_SENDER_ADDRESS, 186, "Mail address"},
    {IDS_SMTP_NEED_AUTH, 187, "Need Authentication"},
    {IDS_MAILBOOK_ADD, 190, "Add"},
    {IDS_MAILBOOK_DELETE, 191, "Delete"},
    {IDS_MAILBOOK_OK, 192, "Ok"},
    {IDS_MAILBOOK_CANCEL, 193, "Cancel"},
    {IDS_ADDUSER_ENABLE, 194, "Enable to receive notifications"},
    {IDS_ADDUSER_NAME, 195, "Name"},
    {IDS_ADDUSER_ADDRESS, 196, "E-Mail Address"},
    {IDS_MSGBOOK_ADD, 200, "Add"},
    {IDS_MSGBOOK_DELETE, 201, "Delete"},
    {IDS_MSGBOOK_OK, 202, "Ok"},
    {IDS_MSGBOOK_CANCEL, 203, "Cancel"},
    {IDS_ADDCOMPUTER_ENABLE, 204, "Enable to receive notifications"},
    {IDS_ADDCOMPUTER_NAME, 205, "Computer Name"},
    {IDS_SECURITY_PAGE_TITLE, 220, "Security Settings"},
    {IDS_SECURITY_OLD_PASSWORD, 221, "Old Password"},
    {IDS_SECURITY_NEW_PASSWORD, 222, "New Password"},
    {IDS_SECURITY_CONFIRM_PASSWORD, 223, "Confirm Password"},
    {IDS_LOGIN_ACCOUNT, 230, "Account"},
    {IDS_LOGIN_PASSWORD, 231, "Password"},
    {IDS_ABOUT_VERSION, 301, "Version 1.0"},
    {IDS_LOG_OPEN_FAILED, 500, "Failed to open log file"},
    {IDS_PASSWORD_INCORRECT, 501, "Incorrect Password"},
    {IDS_PASSWORD_CONFIRM_FAILED, 502, "Failed to confirm password"},
    {IDS_PASSWORD_MODIFIED, 503, "Password modified successfully!!"},
    {IDS_PASSWORD_BLANK, 504, "Password can not be blank"},
    {IDS_SMTP_CONNECT_FAILED, 505, "Failed to connect SMTP server"},
    {IDS_MENU_DISK_CHECKING, 600, "DiskChecking"},
    {IDS_MENU_DESCRIPTION, 601, "Description..."},
    {IDS_MENU_ENTER, 602, "Enter"},
    {IDS_MAIL_ADDRESS_BOOK, 32774, "Mail Address book"},
    {IDS_MESSAGE_ADDRESS_BOOK, 32775, "Windows Message address book"},
    {IDS_MAIN_CAPTION, -1, "Raid SubSystem Monitoring Utility"},
    {IDS_MAIN_SCANNING, -1, "Scanning raid subsystem, please wait..."},
    {IDS_AGENT_COL_SERIAL, -1, "Controller Serial#"},
    {IDS_AGENT_COL_DESCRIPTION, -1, "Descriptions"},
    {IDS_EVENT_TIME_FORMAT, -1, "%d-%d-%d  %d:%d:%d"},
    {IDS_STATUS_EVENT_FORMAT, -1, "%d/%d/%d %d:%d:%d  %s"},
    {IDS_STATUS_CLOCK_FORMAT, -1, "%d/%d/%d  %d:%d:%d"},
    {IDS_ALARM_FAN_FAILED, -1, "%s H/W MONITOR Fan#%d Failed"},
    {IDS_ALARM_POWER_FAILED, -1, "%s H/W MONITOR Power#%d Failed"},
    {IDS_ALARM_VOLTAGE_ABNORMAL, -1, "%s H/W MONITOR %2.1fV Abnormal"},
    {IDS_ALARM_VOLUME_FAILED, -1, "%s Volume Set # %02d  Volume Failed "},
    {IDS_ALARM_VOLUME_DEGRADED, -1, "%s Volume Set # %02d  Volume Degraded "},
    {IDS_ALARM_DEVICE_FAILED, -1, "%s IDE Channel # %d  Device Failed "},
    {IDS_ALARM_DEVICE_DOWN, -1, "%s Device Down"},
    {IDS_ALARM_DEVICE_REVIVED, -1, "%s Device Revived"},
    {IDS_EVENT_LINE_FORMAT, -1, "%s %s %s"},
    {IDS_EVENT_DEVICE_CHANNEL, -1, "Device Channel #%d"},
    {IDS_MAIL_BODY_PREFIX, -1, "[SYSTEM ALARM]\r\nAn Event Occurred In:"},
    {IDS_MESSENGER_ERROR_PREFIX, -1, "Net Messenger: "},
    {IDS_LOG_TIME_STAMP, -1, "%d/%d/%d  %d:%d:%d"},
    {IDS_LOG_LINE_FORMAT, -1, "%s %s\r\n"},
    {IDS_TL_PERCENT, -1, "%3.0f %%"},
    {IDS_TL_PERCENT_WRITE, -1, "%3.0f %%(Write)"},
    {IDS_RPT_NO_FREE_DEVICES, -1, "There are no any free devices in the subsystem!!"},
    {IDS_RPT_SMART_FAILED, -1, "Drive[%d] failed to execute S.M.A.R.T test, error code = %x"},
    {IDS_RPT_OFFLINE_ABORT_FATAL, -1,
     "Drive [%d] ==>Off-line data collection abort by fatal error!!"},
    {IDS_RPT_THRESHOLD_EXCEEDED, -1,
     "&nbsp;&nbsp;&nbsp; %s threshold exceeded, attribute data = [%d], threshold data = [%d]"},
    {IDS_RPT_SELFTEST_FAILURE, -1, "Drive [%d] ==> Offline Self-Test Faliure!!"},
    {IDS_RPT_RW_READ_ERRORS, -1,
     "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Read error count = %ld KBytes/sec"},
    {IDS_RPT_AGENT_ROW_DATETIME, -1,
     "<tr>\r\n\t\t\t\t<td width=\"250\"><font face=\"Arial\" "
     "color=\"#800080\">DateTime</font></td>\r\n\t\t\t\t\t<td><font face=\"Arial\" "
     "color=\"#800080\">%04d/%02d/%02d  %02d:%02d:%02d</font></td>\r\n\t\t\t\t\t</tr>\r\n"},
    {IDS_RPT_INDEX_HEADER, -1,
     "<html>\r\n\t\t\t<head>\r\n\t\t\t<meta http-equiv=\"Content-Language\" "
     "content=\"zh-tw\">\r\n\t\t\t<meta http-equiv=\"Content-Type\" content=\"text/html; "
     "charset=big5\">\r\n\t\t\t<title>Test "
     "Result(s)</title>\r\n\t\t\t</head>\r\n\t\t\t<body>\r\n\t\t\t<p><font size=\"4\" "
     "face=\"Arial\" color=\"#0000FF\">Tested raid-subsystem:</font></p>\r\n\t\t\t<table "
     "border=\"1\" width=\"30%%\" id=\"table1\">\r\n"},
    {IDS_RPT_DRIVE_INFO, -1,
     "<p><font color=\"#800000\">Drive[%d] Information:</font></p>\r\n\t\t\t\t\t\t\t<p><font "
     "color=\"#800000\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Model Name: "
     "%s</font></p>\r\n\t\t\t\t\t\t\t<p><font "
     "color=\"#800000\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Serial Number: "
     "%s</font></p>\r\n\t\t\t\t\t\t\t<p><font "
     "color=\"#800000\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Firmware Revision: "
     "%s</font></p>\r\n\t\t\t\t\t\t\t<p><font "
     "color=\"#800000\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Capacity: %3.1fG</font></p>\r\n"},
    {IDS_SMART_ATTR_BASE + 1, -1, "Raw Read Error Rate"},
    {IDS_SMART_ATTR_BASE + 12, -1, "Device Power Cycle Count"},
    {IDS_SMART_ATTR_BASE + 198, -1, "Off-line Scan Uncorrectable Sector Count"},
    {IDS_SMART_ATTR_BASE + 199, -1, "Ultra DMA CRC Error Count"},
    {IDS_VOL_RAID1, -1, "RAID1(0+1)"},
    {IDS_VOLDLG_DEFAULT_NAME, -1, "Volume Set # %02d"},
    {IDS_VOLDLG_STRIPE, -1, "Volume Stripe Size "},
    {IDS_VOLDLG_TAGGED, -1, "Tagged Command Queuing "},
    {IDS_VOLDLG_SPEED, -1, "Max SCSI Speed "},
    {IDS_VOLDLG_DUPLICATE_ADDRESS, -1, "Duplicate SCSI CH/ID/LUN "},
    {IDS_VOL_GROUP, -1, "The volumeset(s) will been creating"},
    {IDS_CREATE_SECTION, -1, "RaidSet & VolumeSet(s) Creation"},
    {IDS_CREATE_RAID_FAILED, -1, "Failed to create RaidSet, error code = %X"},
    {IDS_CREATE_VOLUME_INITIALIZING, -1, "Volume[%d] initializing\n"},
    {IDS_CREATE_PERCENT_FINE, -1, "%3.1f %%"},
    {IDS_DC_TEST_SELECTED, -1, "Test a specific agent(s) only"},
    {IDS_FIND_COMPUTER_CAPTION, -1, "Find computer"},
};

TEST(StringTableEnglish, QuotedTextsAreByteExactUnderTheirNumbers) {
    for (const SQuoted& q : kEnglishQuoted) {
        SCOPED_TRACE(q.text);
        if (q.number >= 0) {
            EXPECT_EQ(q.constant, q.number);
        } else {
            EXPECT_GE(q.constant, IDS_UNNUMBERED_FIRST);
            EXPECT_LE(q.constant, IDS_UNNUMBERED_LAST);
        }
        EXPECT_STREQ(LoadText(q.constant, ELanguage::English), q.text);
    }
}

// The messenger check box's label starts with these words and goes on with its request.
TEST(StringTableEnglish, MessengerLabelKeepsItsOpeningWords) {
    std::string text = LoadText(IDS_NOTIFY_BY_MESSAGE, ELanguage::English);
    EXPECT_EQ(text.rfind("By Windows Message.", 0), 0u) << text;
    EXPECT_NE(text.find("Messenger Service"), std::string::npos) << text;
}

struct SChinese {
    int id;
    const char* text;
};

const SChinese kChineseQuoted[] = {
    {113, "新增"},    {114, "刪除"}, {115, "重新掃描"}, {116, "警示"},  {117, "通訊錄"},
    {118, "設定..."}, {119, "關於"}, {120, "離開程式"}, {159, "確定?"},
};

TEST(StringTableChinese, QuotedTextsAreVerbatim) {
    for (const SChinese& q : kChineseQuoted) {
        SCOPED_TRACE(q.id);
        EXPECT_STREQ(LoadText(q.id, ELanguage::Chinese), q.text);
    }
}

struct SNamedId {
    const char* name;
    int value;
};

#define VRN_TEST_NAMED_ID(name, value) {#name, value},
const SNamedId kNamedIds[] = {VRN_STRING_IDS(VRN_TEST_NAMED_ID)};
#undef VRN_TEST_NAMED_ID

TEST(StringTableIds, EveryConstantHasTextInBothLanguagesAndIsEnumerated) {
    ASSERT_EQ(StringCount(), std::size(kNamedIds));
    std::set<std::string> names;
    for (std::size_t i = 0; i < std::size(kNamedIds); ++i) {
        const SNamedId& n = kNamedIds[i];
        SCOPED_TRACE(n.name);
        EXPECT_TRUE(names.insert(n.name).second);
        EXPECT_EQ(StringIdAt(i), n.value);
        EXPECT_STRNE(LoadText(n.value, ELanguage::English), "");
        EXPECT_STRNE(LoadText(n.value, ELanguage::Chinese), "");
        // Either one of the program's own numbers or inside the unnumbered block.
        EXPECT_TRUE(n.value <= 32775 ||
                    (n.value >= IDS_UNNUMBERED_FIRST && n.value <= IDS_UNNUMBERED_LAST));
    }
    EXPECT_EQ(StringIdAt(StringCount()), 0);
}

TEST(StringTableIds, EnumerationIsStrictlyAscending) {
    for (std::size_t i = 1; i < StringCount(); ++i) {
        EXPECT_LT(StringIdAt(i - 1), StringIdAt(i)) << "at index " << i;
    }
}

TEST(StringTableIds, UnknownIdsGiveEmptyTextInBothLanguages) {
    // Gaps next to real ids as well as ids outside every range.
    const int unknown[] = {
        0,     -1,    100,   102,   105,   127,   136,   137,   157,        606,
        32773, 32776, 39999, 43100, 43106, 43195, 49999, 50000, 2147483647, -2147483647 - 1};
    for (int id : unknown) {
        SCOPED_TRACE(id);
        const char* en = LoadText(id, ELanguage::English);
        const char* zh = LoadText(id, ELanguage::Chinese);
        ASSERT_NE(en, nullptr);
        ASSERT_NE(zh, nullptr);
        EXPECT_STREQ(en, "");
        EXPECT_STREQ(zh, "");
    }
}

// Conversions as a C library's printf reads them; "%%" is kept so stray '%' can be counted.
std::vector<std::string> Conversions(const std::string& text, bool* allPercentUsed) {
    static const std::regex conversion(
        R"(%(%|[-+ #0]*[0-9*]*(\.[0-9*]*)?(hh|h|ll|l|L|j|z|t)?[diouxXeEfFgGaAcsp]))");
    std::vector<std::string> out;
    std::size_t percentInMatches = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion);
         it != std::sregex_iterator(); ++it) {
        std::string m = it->str();
        percentInMatches += (m == "%%") ? 2 : 1;
        if (m != "%%") {
            out.push_back(m);
        }
    }
    std::size_t percent = 0;
    for (char c : text) {
        percent += (c == '%') ? 1 : 0;
    }
    *allPercentUsed = percent == percentInMatches;
    return out;
}

TEST(StringTableFormats, ConversionsMatchAcrossLanguagesForEveryId) {
    for (std::size_t i = 0; i < StringCount(); ++i) {
        int id = StringIdAt(i);
        SCOPED_TRACE(id);
        bool enClean = false;
        bool zhClean = false;
        std::vector<std::string> en = Conversions(LoadText(id, ELanguage::English), &enClean);
        std::vector<std::string> zh = Conversions(LoadText(id, ELanguage::Chinese), &zhClean);
        EXPECT_TRUE(enClean) << "stray '%' in " << LoadText(id, ELanguage::English);
        EXPECT_TRUE(zhClean) << "stray '%' in " << LoadText(id, ELanguage::Chinese);
        EXPECT_EQ(en, zh);
    }
}

// The regex above is itself checked on texts whose conversions are known.
TEST(StringTableFormats, ConversionScannerReadsKnownTexts) {
    struct SCase {
        const char* text;
        std::vector<std::string> conversions;
        bool clean;
    };
    const SCase cases[] = {
        {"%s H/W MONITOR %2.1fV Abnormal", {"%s", "%2.1f"}, true},
        {"width=\"60%%c\"", {}, true},
        {"%3.0f %%(Read)", {"%3.0f"}, true},
        {"rate = %ld KBytes/sec", {"%ld"}, true},
        {"%04d/%02d", {"%04d", "%02d"}, true},
        {"50% done", {"% d"}, true}, // printf reads "% d" here: a real conversion
        {"50%! done", {}, false},
        {"ends in %", {}, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.text);
        bool clean = false;
        EXPECT_EQ(Conversions(c.text, &clean), c.conversions);
        EXPECT_EQ(clean, c.clean);
    }
}

// Mark-up, entities, line ends, tabs, accelerators and outer blanks: everything a page
// writer, a formatter or an alarm-text reader could depend on besides the words.
std::vector<std::string> Skeleton(const std::string& text) {
    static const std::regex piece(R"(<[^>]*>|&[a-z]+;|\r|\n|\t|\(&[A-Za-z]\))");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), piece);
         it != std::sregex_iterator(); ++it) {
        out.push_back(it->str());
    }
    std::size_t lead = text.find_first_not_of(' ');
    std::size_t trail = text.size() - 1 - text.find_last_not_of(' ');
    out.push_back("lead=" + std::to_string(lead == std::string::npos ? 0 : lead));
    out.push_back("trail=" + std::to_string(text.empty() ? 0 : trail));
    return out;
}

TEST(StringTableFormats, ChineseKeepsTheLayoutOfTheEnglishText) {
    for (std::size_t i = 0; i < StringCount(); ++i) {
        int id = StringIdAt(i);
        SCOPED_TRACE(id);
        EXPECT_EQ(Skeleton(LoadText(id, ELanguage::English)),
                  Skeleton(LoadText(id, ELanguage::Chinese)));
    }
}

// Texts that read the same in Taiwan: numbers, layouts, units, RAID names, and the default
// volume name that the controller stores.
const int kLanguageNeutral[] = {
    IDS_ABOUT_DATE,         IDS_AGENT_COL_IP,        IDS_AGENT_ROW_NUMBER,
    IDS_EVENT_TIME_FORMAT,  IDS_STATUS_EVENT_FORMAT, IDS_STATUS_CLOCK_FORMAT,
    IDS_MENU_ROW_FORMAT,    IDS_EVENT_LINE_FORMAT,   IDS_MESSENGER_ERROR_FORMAT,
    IDS_LOG_TIME_STAMP,     IDS_LOG_LINE_FORMAT,     IDS_TL_COL_IP,
    IDS_TL_PERCENT,         IDS_RPT_AGENT_ROW_IP,    IDS_VOL_RAID0,
    IDS_VOL_RAID1,          IDS_VOL_RAID3,           IDS_VOL_RAID5,
    IDS_VOL_RAID6,          IDS_VOL_CAPACITY_FORMAT, IDS_VOL_STRIPE_4K,
    IDS_VOL_STRIPE_8K,      IDS_VOL_STRIPE_16K,      IDS_VOL_STRIPE_32K,
    IDS_VOL_STRIPE_64K,     IDS_VOL_STRIPE_128K,     IDS_VOL_SPEED_20,
    IDS_VOL_SPEED_40,       IDS_VOL_SPEED_80,        IDS_VOL_SPEED_160,
    IDS_VOL_ADDRESS_FORMAT, IDS_VOLDLG_DEFAULT_NAME, IDS_VOLDLG_GB,
    IDS_VOLDLG_LEVEL_0,     IDS_VOLDLG_LEVEL_1,      IDS_VOLDLG_LEVEL_3,
    IDS_VOLDLG_LEVEL_5,     IDS_VOLDLG_LEVEL_6,      IDS_VOLDLG_STRIPE_4K,
    IDS_VOLDLG_STRIPE_8K,   IDS_VOLDLG_STRIPE_16K,   IDS_VOLDLG_STRIPE_32K,
    IDS_VOLDLG_STRIPE_64K,  IDS_VOLDLG_STRIPE_128K,  IDS_CREATE_PERCENT_FINE,
    IDS_ADDCOMPUTER_BROWSE,
};

bool HasNonAscii(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p >= 0x80) {
            return true;
        }
    }
    return false;
}

TEST(StringTableChinese, EveryTextIsTranslatedUnlessLanguageNeutral) {
    std::set<int> neutral(std::begin(kLanguageNeutral), std::end(kLanguageNeutral));
    for (std::size_t i = 0; i < StringCount(); ++i) {
        int id = StringIdAt(i);
        const char* en = LoadText(id, ELanguage::English);
        const char* zh = LoadText(id, ELanguage::Chinese);
        SCOPED_TRACE(en);
        if (neutral.count(id) != 0) {
            EXPECT_STREQ(zh, en);
            EXPECT_FALSE(HasNonAscii(zh));
        } else {
            EXPECT_TRUE(HasNonAscii(zh)) << "untranslated: " << zh;
        }
    }
}

// Converts UTF-8 to Big5; false when a character has no Big5 form (a simplified character,
// for one) or the bytes are not UTF-8.
bool ToBig5(const std::string& in, std::string* out) {
    iconv_t cd = iconv_open("BIG5", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no BIG5 converter: " << std::strerror(errno);
        return false;
    }
    std::vector<char> src(in.begin(), in.end());
    std::vector<char> dst(in.size() * 2 + 8);
    char* inPtr = src.data();
    std::size_t inLeft = src.size();
    char* outPtr = dst.data();
    std::size_t outLeft = dst.size();
    std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0 || rc != 0) {
        return false;
    }
    out->assign(dst.data(), outPtr);
    return true;
}

TEST(StringTableChinese, EveryTextOfBothLanguagesConvertsToBig5) {
    for (std::size_t i = 0; i < StringCount(); ++i) {
        int id = StringIdAt(i);
        for (ELanguage lang : {ELanguage::English, ELanguage::Chinese}) {
            std::string big5;
            EXPECT_TRUE(ToBig5(LoadText(id, lang), &big5)) << id << ": " << LoadText(id, lang);
        }
    }
}

TEST(StringTableChinese, Big5ConverterRefusesSimplifiedCharacters) {
    std::string big5;
    EXPECT_TRUE(ToBig5("設定檔案", &big5));
    EXPECT_FALSE(ToBig5("设定档案", &big5)); // simplified forms of the same words
}

// The self-test paragraph carries a dash that the report page has always held as A1 56.
TEST(StringTableReport, SelfTestCheckPointDashBecomesTheBig5Bytes) {
    std::string big5;
    ASSERT_TRUE(ToBig5(LoadText(IDS_RPT_SELFTEST_CHECKPOINT, ELanguage::English), &big5));
    EXPECT_EQ(big5, std::string("&nbsp;&nbsp;&nbsp;Self\xA1\x56test failure check point[%d]"));
}

// Alarm texts travel in 128-byte buffers, so even with the longest address and the largest
// numbers the formatted text must stay below 128 bytes in either language.
TEST(StringTableAlarms, WorstCaseAlarmTextsFitTheirBuffers) {
    const char* addr = "255.255.255.255";
    for (ELanguage lang : {ELanguage::English, ELanguage::Chinese}) {
        SCOPED_TRACE(static_cast<int>(lang));
        char buf[512];
        const int lengths[] = {
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_FAN_FAILED, lang), addr, 2147483647),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_POWER_FAILED, lang), addr,
                          2147483647),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_VOLTAGE_ABNORMAL, lang), addr,
                          65535 * 0.001),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_VOLUME_FAILED, lang), addr,
                          2147483647),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_VOLUME_DEGRADED, lang), addr,
                          2147483647),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_DEVICE_FAILED, lang), addr,
                          2147483647),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_DEVICE_DOWN, lang), addr),
            std::snprintf(buf, sizeof buf, LoadText(IDS_ALARM_DEVICE_REVIVED, lang), addr),
        };
        for (int n : lengths) {
            EXPECT_GT(n, 0);
            EXPECT_LT(n, 128);
        }
    }
}

TEST(StringTableAlarms, KnownAlarmsFormatAsTheProgramWritesThem) {
    struct SCase {
        int id;
        int number;
        const char* expected;
    };
    const SCase cases[] = {
        {IDS_ALARM_FAN_FAILED, 1, "10.0.0.7 H/W MONITOR Fan#1 Failed"},
        {IDS_ALARM_VOLUME_DEGRADED, 3, "10.0.0.7 Volume Set # 03  Volume Degraded "},
        {IDS_ALARM_DEVICE_FAILED, 0, "10.0.0.7 IDE Channel # 0  Device Failed "},
    };
    for (const SCase& c : cases) {
        char buf[128];
        std::snprintf(buf, sizeof buf, LoadText(c.id, ELanguage::English), "10.0.0.7", c.number);
        EXPECT_STREQ(buf, c.expected);
    }
    char volt[128];
    std::snprintf(volt, sizeof volt, LoadText(IDS_ALARM_VOLTAGE_ABNORMAL, ELanguage::English),
                  "10.0.0.7", 5000 * 0.001);
    EXPECT_STREQ(volt, "10.0.0.7 H/W MONITOR 5.0V Abnormal");
}

// The default volume name goes into the controller's 16-byte name field.
TEST(StringTableVolumes, DefaultVolumeNameFitsTheControllerField) {
    for (ELanguage lang : {ELanguage::English, ELanguage::Chinese}) {
        for (int n : {0, 1, 99, 100, 999}) {
            char buf[64];
            int len = std::snprintf(buf, sizeof buf, LoadText(IDS_VOLDLG_DEFAULT_NAME, lang), n);
            EXPECT_LE(len, 16) << buf;
            EXPECT_FALSE(HasNonAscii(buf));
        }
    }
}

} // namespace
