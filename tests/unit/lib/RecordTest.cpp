// What the operations make of the controller's replies: records copied, hardware monitor
// items decoded within the bytes received, SMART blocks, the terminal port's local speed and
// the reset's long wait.
#include <sys/socket.h>
#include <termios.h>

#include "GoldenFrames.h"
#include "LinkFixture.h"
#include "VrnHwMon.h"

namespace {

Bytes Counting(size_t n, unsigned char first) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(first + i);
    return b;
}

class Records : public CLinkTest {};

TEST_P(Records, NumberedQueriesCopyTheRecordOnlyOnSuccess) {
    struct Case {
        const char* name;
        int size; // 128 raid set, 64 volume set, 128 drive (by op)
        int op;   // 0 raid set, 1 volume set, 2 drive
        Bytes reply;
        int status;
        Bytes record; // empty: untouched
    };
    const Bytes raid = Counting(128, 1), vol = Counting(64, 2), drv = Counting(128, 3);
    Bytes shortRecord(128, 0);
    shortRecord[0] = 'R';
    shortRecord[1] = 'S';
    shortRecord[2] = static_cast<unsigned char>(2 + 'R' + 'S'); // the checksum follows
    Bytes longer = Counting(200, 9);
    const Case cases[] = {
        {"raid set", 128, 0, MakeFrame(raid), VRN_OK, raid},
        {"volume set", 64, 1, MakeFrame(vol), VRN_OK, vol},
        {"drive", 128, 2, MakeFrame(drv), VRN_OK, drv},
        {"raid set, short reply", 128, 0, MakeFrame({'R', 'S'}), VRN_OK, shortRecord},
        {"volume set, reply longer than the record", 64, 1, MakeFrame(longer), VRN_OK,
         Bytes(longer.begin(), longer.begin() + 64)},
        {"raid set, refused M", 128, 0, Answer('M'), VRN_REFUSED_M, {}},
        {"volume set, refused B", 64, 1, Answer('B'), 0x42, {}},
        {"drive, damaged",
         128,
         2,
         [&] {
             Bytes d = MakeFrame(drv);
             d[40] ^= 1;
             return d;
         }(),
         VRN_BAD_FRAME,
         {}},
    };
    for (const Case& c : cases) {
        unsigned char record[130];
        std::memset(record, 0x77, sizeof record);
        int status = -1;
        Serve({Reply(c.reply)}, [&] {
            status =
                c.op == 0 ? m_session.VrnGetRaidSetInfo(1, reinterpret_cast<sGUI_RAIDSET*>(record))
                : c.op == 1
                    ? m_session.VrnGetVolSetInfo(1, reinterpret_cast<sGUI_VOLUMESET*>(record))
                    : m_session.VrnGetPhysicalDriveInfo(1, reinterpret_cast<sGUI_PHY_DRV*>(record));
        });
        EXPECT_EQ(status, c.status) << c.name;
        const Bytes want = c.record.empty() ? Bytes(c.size, 0x77) : c.record;
        EXPECT_EQ(Bytes(record, record + c.size), want) << c.name;
        EXPECT_EQ(record[c.size], 0x77) << c.name << ": nothing past the record";
    }
}

TEST_P(Records, HardwareMonitorOverTheLink) {
    // Two fans (1200, 0), one rail (12000 nominal, 11800 measured), two sensors, two
    // supplies of which the first is good, UPS 3.
    const Bytes payload = {2, 1, 2, 2, 0xB0, 0x04, 0, 0, 0xE0, 0x2E, 0x18, 0x2E, 41, 37, 0x01, 3};
    struct Case {
        unsigned long kind;
        Bytes reply;
        int status;
        std::vector<unsigned short> items;
    };
    const Case cases[] = {
        {HWMON_FAN_INFO, MakeFrame(payload), VRN_OK, {1200, 0}},
        {HWMON_VOL_INFO, MakeFrame(payload), VRN_OK, {12000, 11800}},
        {HWMON_TMP_INFO, MakeFrame(payload), VRN_OK, {41, 37}},
        {HWMON_PWR_INFO, MakeFrame(payload), VRN_OK, {1, 0}},
        {HWMON_UPS_INFO, MakeFrame(payload), VRN_OK, {3}},
        {HWMON_FAN_INFO, Answer('M'), 0x4D, {}},
        {HWMON_FAN_INFO, Answer('A'), VRN_OK, {}}, // 'A' claims 65 fans and carries none
        // Longer than the read limit of 100: cut, then invalid.
        {HWMON_FAN_INFO, MakeFrame(Bytes(95, 1)), VRN_BAD_FRAME, {}},
    };
    for (const Case& c : cases) {
        _HWMON_INFO info;
        std::memset(&info, 0x77, sizeof info);
        int status = -1;
        Serve({Reply(c.reply)}, [&] { status = m_session.VrnGetHWMon(c.kind, &info); });
        EXPECT_EQ(status, c.status) << c.kind;
        ASSERT_EQ(info.HwItemCount, c.items.size()) << c.kind;
        for (size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(info.ItemInfo[i], c.items[i]) << c.kind << " item " << i;
        for (size_t i = c.items.size(); i < HWMON_MAX_ITEMS; ++i)
            ASSERT_EQ(info.ItemInfo[i], 0) << c.kind << " item " << i << " is zeroed";
        if (m_pty)
            m_pty->Read(50); // the cut reply's tail
    }
}

TEST_P(Records, HardwareMonitor5010AsksTheFamilyFirst) {
    Bytes sys(256, 0);
    Bytes other = sys;
    sys[174] = 5;
    other[174] = 8;
    const Bytes mon = Counting(26, 1);
    struct Case {
        const char* name;
        std::vector<SStep> steps;
        int status;
        size_t exchanges;
        Bytes record;
    };
    const Case cases[] = {
        {"five channels", {Reply(MakeFrame(sys)), Reply(MakeFrame(mon))}, VRN_OK, 2, mon},
        {"longer reply: the record's 26 bytes",
         {Reply(MakeFrame(sys)), Reply(MakeFrame(Counting(40, 1)))},
         VRN_OK,
         2,
         mon},
        {"shorter reply: the rest zero",
         {Reply(MakeFrame(sys)), Reply(MakeFrame(Counting(10, 1)))},
         VRN_OK,
         2,
         Counting(10, 1) + Zeros(16)},
        {"monitor refused M", {Reply(MakeFrame(sys)), Reply(Answer('M'))}, 0x4D, 2, Zeros(26)},
        {"eight channels", {Reply(MakeFrame(other))}, VRN_BAD_ARGUMENT, 1, Zeros(26)},
        {"system information refused", {Reply(Answer('M'))}, VRN_REFUSED_M, 1, Zeros(26)},
    };
    for (const Case& c : cases) {
        _HWMON_5010 rec;
        std::memset(&rec, 0x77, sizeof rec);
        int status = -1;
        auto seen = Serve(c.steps, [&] { status = m_session.VrnGetHWMon5010(&rec); });
        EXPECT_EQ(status, c.status) << c.name;
        ASSERT_EQ(seen.size(), c.exchanges) << c.name;
        EXPECT_EQ(seen[0], Req(0x23)) << c.name;
        if (seen.size() > 1) {
            EXPECT_EQ(seen[1], Req(0x1B)) << c.name;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(&rec);
        EXPECT_EQ(Bytes(p, p + 26), c.record) << c.name;
    }
}

TEST_P(Records, SmartRepliesOfTheWrongLengthAreNotTakenAsSuccess) {
    const Bytes page = Counting(512, 7);
    struct Case {
        const char* name;
        int sub;
        Bytes reply;
        int status;
        Bytes buffer; // first bytes expected in the buffer (0xEE-filled before)
    };
    const Case cases[] = {
        {"data page", 0, MakeFrame(Bytes{0, 0} + page), VRN_OK, page},
        {"thresholds", 1, MakeFrame(Bytes{0, 1} + page), VRN_OK, page},
        {"519-byte reply", 0, MakeFrame(Bytes{0} + page), VRN_BAD_FRAME, Bytes(512, 0xEE)},
        {"enable, status 00 00", 8, MakeFrame({0, 0}), VRN_OK, Bytes(512, 0xEE)},
        {"enable, status 00 51", 8, MakeFrame({0, 0x51}), 1, Bytes(512, 0xEE)},
        {"off-line, status 40 00", 4, MakeFrame({0x40, 0}), 1, Bytes(512, 0xEE)},
        {"disable, 3-byte payload", 9, MakeFrame({0, 0, 0}), VRN_BAD_FRAME, Bytes(512, 0xEE)},
        {"test status, 18 bytes", 18, MakeFrame(Counting(18, 1)), VRN_OK,
         Counting(18, 1) + Bytes(494, 0xEE)},
        {"test status, 12 bytes", 18, MakeFrame(Counting(12, 1)), VRN_OK,
         Counting(12, 1) + Bytes(500, 0xEE)},
        {"test status, 14 bytes", 18, MakeFrame(Counting(14, 1)), VRN_BAD_FRAME, Bytes(512, 0xEE)},
        {"test start, data instead of A", 16, MakeFrame({'A', 'A'}), VRN_BAD_FRAME,
         Bytes(512, 0xEE)},
    };
    for (const Case& c : cases) {
        unsigned char buffer[512];
        std::memset(buffer, 0xEE, sizeof buffer);
        int status = -1;
        Serve({Reply(c.reply)}, [&] { status = m_session.VrnExeSMART(c.sub, 1, 0, buffer); });
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(Bytes(buffer, buffer + 512), c.buffer) << c.name;
    }
    // Without a buffer nothing is copied, and the status stands.
    int status = -1;
    Serve({Reply(MakeFrame(Bytes{0, 0} + page))},
          [&] { status = m_session.VrnExeSMART(0, 1, 0, nullptr); });
    EXPECT_EQ(status, VRN_OK);
}

TEST_P(Records, ResetWaitsFifteenSecondsBetweenRequestAndReply) {
    struct Case {
        const char* name;
        Bytes reply;
        int status;
    };
    Bytes damaged = Answer('A');
    damaged[6] ^= 1;
    const Case cases[] = {
        {"answer A", Answer('A'), VRN_OK},
        {"answer M", Answer('M'), VRN_REFUSED_M},
        {"damaged answer", damaged, VRN_BAD_FRAME},
        {"boot text, taken unchecked", {'B', 'o', 'o', 't', 'i', 'n', 'g', '.', '.'}, VRN_OK},
    };
    for (const Case& c : cases) {
        m_session.ClearSleeps();
        int status = -1;
        Serve({Reply(c.reply)}, [&] { status = m_session.VrnResetController(); });
        EXPECT_EQ(status, c.status) << c.name;
        const std::vector<int> sleeps = m_session.Sleeps();
        ASSERT_FALSE(sleeps.empty()) << c.name;
        EXPECT_EQ(sleeps.front(), 15000) << c.name << ": the wait comes before the read";
    }
}

INSTANTIATE_TEST_SUITE_P(Links, Records, testing::Values(ELink::Serial, ELink::Udp), LinkName);

// The terminal port command re-programs the host's own port only when the controller took
// the change.
class TermPortSerial : public CLinkTest {};

TEST_P(TermPortSerial, HostPortFollowsOnlyAnAcceptedChange) {
    struct Case {
        const char* name;
        unsigned char speed;
        Bytes reply;
        int status;
        speed_t after;
    };
    const Case cases[] = {
        {"9600 accepted", 3, Answer('A'), VRN_OK, B9600},
        {"57600 refused", 6, Answer('M'), VRN_REFUSED_M, B9600},
        {"1200 accepted", 0, Answer('A'), VRN_OK, B1200},
        {"115200 answered B", 7, Answer('B'), 0x42, B1200},
        {"115200 accepted", 7, Answer('A'), VRN_OK, B115200},
    };
    for (const Case& c : cases) {
        int status = -1;
        Serve({Reply(c.reply)}, [&] { status = m_session.VrnSetTermPort(0, c.speed, 0); });
        EXPECT_EQ(status, c.status) << c.name;
        termios t;
        ASSERT_EQ(::tcgetattr(m_session.VrnGetCommHandle(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), c.after) << c.name;
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << c.name;
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, TermPortSerial, testing::Values(ELink::Serial), LinkName);

TEST(TermPortAdopted, ALineThatCannotFollowIsReported) {
    // An adopted descriptor that is no terminal: the controller takes the new speed, the
    // host's side cannot, and the caller must learn that the line is now out of step.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    CTestSession session;
    session.RecordSleeps(10);
    ASSERT_EQ(session.VrnInitSession(pair[0]), VRN_OK);
    Bytes seen;
    std::thread peer([&] {
        seen = ReadRequest(pair[1]);
        WriteAll(pair[1], Answer('A'));
    });
    EXPECT_EQ(session.VrnSetTermPort(0, 3, 0), VRN_OPEN_FAILED);
    peer.join();
    EXPECT_EQ(seen, Req(0x37, {0, 3, 1, 0, 0, 0}));
    ::close(pair[0]);
    ::close(pair[1]);
}

// The decoder on its own, fed exactly the bytes of a payload (the sanitizer build catches
// any read past them).
TEST(HwMonDecoder, ItemsComeOnlyFromBytesReceived) {
    Bytes many(4 + 400, 0);
    many[1] = 100; // 100 rails: 200 words, more than the record holds
    for (size_t i = 4; i < many.size(); ++i)
        many[i] = static_cast<unsigned char>(i);
    Bytes temps(4 + 255 + 2, 9);
    temps[0] = 0;
    temps[1] = 0;
    temps[2] = 255;
    temps[3] = 0;
    struct Case {
        const char* name;
        unsigned long kind;
        Bytes payload;
        std::vector<unsigned short> items;
    };
    const Case cases[] = {
        {"three fans, two given",
         HWMON_FAN_INFO,
         {3, 4, 2, 2, 0xB0, 0x04, 0, 0, 0xC4, 0x09},
         {1200, 0}},
        {"one fan", HWMON_FAN_INFO, {1, 0, 0, 0, 0x10, 0x00}, {16}},
        {"two fans claimed, one word present",
         HWMON_FAN_INFO,
         {2, 0, 0, 0, 0x10, 0x00, 0x20},
         {16}},
        {"no header", HWMON_FAN_INFO, {2, 0}, {}},
        {"empty payload", HWMON_UPS_INFO, {}, {}},
        {"rails cut in the middle",
         HWMON_VOL_INFO,
         {0, 2, 0, 0, 0xE0, 0x2E, 0x18, 0x2E, 0x88, 0x13},
         {12000, 11800, 5000}},
        {"rails after fans",
         HWMON_VOL_INFO,
         {1, 1, 0, 0, 1, 0, 0x88, 0x13, 0x70, 0x13},
         {5000, 4976}},
        {"power bit 0 with two supplies", HWMON_PWR_INFO, {0, 0, 0, 2, 0x01}, {1, 0}},
        {"power byte missing", HWMON_PWR_INFO, {0, 0, 0, 2}, {}},
        {"power beyond eight supplies",
         HWMON_PWR_INFO,
         {0, 0, 0, 10, 0xFF},
         {1, 2, 4, 8, 16, 32, 64, 128, 0, 0}},
        {"power after fans, rails and sensors",
         HWMON_PWR_INFO,
         {1, 1, 1, 3, 0, 0, 1, 0, 2, 0, 30, 0x06},
         {0, 2, 4}},
        {"ups present", HWMON_UPS_INFO, {0, 0, 0, 1, 0x01, 0x05}, {5}},
        {"ups missing", HWMON_UPS_INFO, {0, 0, 0, 1, 0x01}, {}},
        {"temperatures widened", HWMON_TMP_INFO, {0, 0, 3, 0, 200, 0, 255}, {200, 0, 255}},
        {"temperatures claimed beyond the payload", HWMON_TMP_INFO, {0, 0, 9, 0, 20, 21}, {20, 21}},
    };
    for (const Case& c : cases) {
        // Exactly the payload's bytes on the heap, nothing readable after them.
        std::unique_ptr<unsigned char[]> exact(new unsigned char[c.payload.size() + 1]);
        std::copy(c.payload.begin(), c.payload.end(), exact.get());
        _HWMON_INFO info;
        std::memset(&info, 0x77, sizeof info);
        ASSERT_TRUE(
            vrn::DecodeHwMon(c.kind, exact.get(), static_cast<int>(c.payload.size()), &info))
            << c.name;
        ASSERT_EQ(info.HwItemCount, c.items.size()) << c.name;
        for (size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(info.ItemInfo[i], c.items[i]) << c.name << " item " << i;
    }
    // Counts above what the record holds stop at 50 items.
    _HWMON_INFO info;
    ASSERT_TRUE(
        vrn::DecodeHwMon(HWMON_VOL_INFO, many.data(), static_cast<int>(many.size()), &info));
    EXPECT_EQ(info.HwItemCount, HWMON_MAX_ITEMS);
    EXPECT_EQ(info.ItemInfo[49], static_cast<unsigned short>(many[102] | (many[103] << 8)));
    ASSERT_TRUE(
        vrn::DecodeHwMon(HWMON_TMP_INFO, temps.data(), static_cast<int>(temps.size()), &info));
    EXPECT_EQ(info.HwItemCount, HWMON_MAX_ITEMS);
    EXPECT_FALSE(vrn::DecodeHwMon(6, temps.data(), 4, &info));
    EXPECT_EQ(info.HwItemCount, 0);
}

TEST(Layouts, PackedTimeViewsShareTheWord) {
    struct Case {
        unsigned int word;
        unsigned second, minute, hour, date, year, month, flag, tick;
    };
    const Case cases[] = {
        {0x0000003Fu, 63, 0, 0, 0, 0, 0, 0, 63},
        {1u << 6, 0, 1, 0, 0, 0, 0, 0, 64},
        {1u << 12, 0, 0, 1, 0, 0, 0, 0, 4096},
        {1u << 17, 0, 0, 0, 1, 0, 0, 0, 1u << 17},
        {1u << 22, 0, 0, 0, 0, 1, 0, 0, 1u << 22},
        {1u << 27, 0, 0, 0, 0, 0, 1, 0, 1u << 27},
        {0x80000000u, 0, 0, 0, 0, 0, 0, 1, 0},
        // 2004-03-12 10:20:30 with a year counted from 2000.
        {(3u << 27) | (4u << 22) | (12u << 17) | (10u << 12) | (20u << 6) | 30u, 30, 20, 10, 12, 4,
         3, 0, (3u << 27) | (4u << 22) | (12u << 17) | (10u << 12) | (20u << 6) | 30u},
    };
    for (const Case& c : cases) {
        sSYS_TIME t;
        std::memcpy(&t, &c.word, sizeof t);
        EXPECT_EQ(t.u.tmSecond, c.second) << std::hex << c.word;
        EXPECT_EQ(t.u.tmMinute, c.minute) << std::hex << c.word;
        EXPECT_EQ(t.u.tmHour, c.hour) << std::hex << c.word;
        EXPECT_EQ(t.u.tmDate, c.date) << std::hex << c.word;
        EXPECT_EQ(t.u.tmYear, c.year) << std::hex << c.word;
        EXPECT_EQ(t.u.tmMonth, c.month) << std::hex << c.word;
        EXPECT_EQ(t.u.tmFlag, c.flag) << std::hex << c.word;
        EXPECT_EQ(t.x.tmTick, c.tick) << std::hex << c.word;
        EXPECT_EQ(t.x.tmFlag, c.flag) << std::hex << c.word;
    }
}

TEST(Layouts, EventTextsAsTheControllerNamesThem) {
    EXPECT_STREQ(eventCat[5], "H/W MONITOR");
    EXPECT_STREQ(htmVolEvent[12], "Volume Failed");
    EXPECT_STREQ(htmIdeHostEvent[2], "SCSI Bus SE<>LVD");
    EXPECT_STREQ(htmHwMonEvent[38], "Raid Powered On");
    // Alarm k (2..19) recovers as row k + 18: the same words, trailing blanks dropped.
    for (int k = 2; k <= 19; ++k) {
        std::string alarm = htmHwMonEvent[k];
        const bool padded = k >= 11 && k <= 18;
        EXPECT_EQ(alarm.size() == 16 && alarm.back() == ' ', padded) << k;
        while (!alarm.empty() && alarm.back() == ' ')
            alarm.pop_back();
        EXPECT_EQ(std::string(htmHwMonEvent[k + 18]), alarm + " Recovered") << k;
    }
    EXPECT_EQ(sizeof htmRaidEvent / sizeof *htmRaidEvent, 5u);
    EXPECT_EQ(sizeof htmVolEvent / sizeof *htmVolEvent, 14u);
    EXPECT_EQ(sizeof htmDevEvent / sizeof *htmDevEvent, 10u);
    EXPECT_EQ(sizeof htmHwMonEvent / sizeof *htmHwMonEvent, 39u);
}

} // namespace
