// Every operation's request, byte for byte, and its reading of every bare answer byte, over
// both transports.
#include "GoldenFrames.h"
#include "LinkFixture.h"

namespace {

bool Clock2003(void*, struct tm* now) {
    *now = {};
    now->tm_year = 103; // 2003
    now->tm_mon = 6;    // July
    now->tm_mday = 4;
    now->tm_hour = 10;
    now->tm_min = 20;
    now->tm_sec = 30;
    return true;
}

_VOLUMESET_CAP Volume(double capacity) {
    _VOLUMESET_CAP v = {};
    v.structs_size = sizeof v;
    v.raid = 1;
    std::memcpy(v.volname, "Volume Set # 07 ", 16);
    v.capacity = capacity;
    v.raidlevel = 5;
    v.stripsize = 4;
    v.channel = 0;
    v.id = 3;
    v.lun = 1;
    v.tag = -1;
    v.cache = 1;
    v.speed = 6;
    v.quickinit = 1;
    std::memset(v.align1, 0xAA, sizeof v.align1); // never sent
    return v;
}

// 42-byte volume request of Volume(capacity) with the given sector bytes.
Bytes VolumeRequest(const Bytes& sectors) {
    return Req(0x60, Bytes{1} + Field("Volume Set # 07 ", 16, 0) + sectors + Zeros(4) +
                         Bytes{5, 4, 0, 3, 1, 0xFF, 1, 6, 1, 0});
}

_PASS_DISK_CAP PassDisk() {
    _PASS_DISK_CAP d = {};
    d.structs_size = sizeof d;
    d.nDevNum = 5;
    d.nScsiCh = 0;
    d.nScsiId = 3;
    d.nScsiLun = 0;
    d.nTaggedQue = 1;
    d.nCache = 2;
    d.nMaxSpeed = 6;
    d.align1 = 0xAA;
    return d;
}

std::vector<SGolden> Operations() {
    static unsigned char smartBuf[512];
    static sSYSTEM_INFO sys;
    static sGUI_RAIDSET raid;
    static sGUI_VOLUMESET vol;
    static sGUI_PHY_DRV drv;
    static _HWMON_INFO hw;
    static int index;
    static const char mac[6] = {0x00, 0x1B, 0x4D, 0x00, 0x27, 0x01};
    static const unsigned char ip[4] = {10, 0, 0, 7};
    const Bytes hwReply =
        MakeFrame({2, 1, 1, 1, 0xB0, 0x04, 0, 0, 0x10, 0x27, 0x20, 0x27, 40, 1, 0});
    const Bytes page = MakeFrame(Bytes(512, 0x11));
    const Bytes sector = MakeFrame(Bytes{0, 0} + Bytes(512, 0x5A));
    using S = CTestSession;
    return {
        // Status queries.
        {"system information",
         [](S& s) { return s.VrnGetSysInfo(&sys); },
         {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24},
         MakeFrame(Bytes(256, 1)),
         EPat::Query},
        {"raid set 3",
         [](S& s) { return s.VrnGetRaidSetInfo(3, &raid); },
         {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x25},
         MakeFrame(Bytes(128, 1)),
         EPat::Query},
        {"volume set 1", [](S& s) { return s.VrnGetVolSetInfo(1, &vol); }, Req(0x21, {1}),
         MakeFrame(Bytes(64, 1)), EPat::Query},
        {"drive 7", [](S& s) { return s.VrnGetPhysicalDriveInfo(7, &drv); }, Req(0x22, {7}),
         MakeFrame(Bytes(128, 1)), EPat::Query},
        {"drive 200 (the byte as given)",
         [](S& s) { return s.VrnGetPhysicalDriveInfo(static_cast<char>(200), &drv); },
         Req(0x22, {200}), MakeFrame(Bytes(128, 1)), EPat::Query},
        {"fans", [](S& s) { return s.VrnGetHWMon(HWMON_FAN_INFO, &hw); }, Req(0x1B), hwReply,
         EPat::Raw},
        {"rails", [](S& s) { return s.VrnGetHWMon(HWMON_VOL_INFO, &hw); }, Req(0x1B), hwReply,
         EPat::Raw},
        {"temperatures", [](S& s) { return s.VrnGetHWMon(HWMON_TMP_INFO, &hw); }, Req(0x1B),
         hwReply, EPat::Raw},
        {"supplies", [](S& s) { return s.VrnGetHWMon(HWMON_PWR_INFO, &hw); }, Req(0x1B), hwReply,
         EPat::Raw},
        {"ups", [](S& s) { return s.VrnGetHWMon(HWMON_UPS_INFO, &hw); }, Req(0x1B), hwReply,
         EPat::Raw},
        // Events.
        {"poll",
         [](S& s) { return s.VrnPollEvent(&index); },
         {0x5E, 0x01, 0x61, 0x01, 0x00, 0x19, 0x1A},
         Answer(9),
         EPat::Valid},
        {"event page 2", [](S& s) { return s.VrnGetEvent(2); }, Req(0x1A, {2}), page, EPat::Valid},
        {"clear events", [](S& s) { return s.VrnClearEvent(); }, Req(0x24), Answer('A'), EPat::Ack},
        // Identification and settings.
        {"identify", [](S& s) { return s.VrnIdentify(); }, Req(0x13),
         MakeFrame(Field("Varno RAID Subsystem", 20, 0)), EPat::Identify},
        {"serial number", [](S& s) { return s.VrnSetSerial("VRN-0042"); },
         Req(0x10, kAccess16 + Field("VRN-0042", 16, 0)), Answer('A'), EPat::Answer},
        {"serial number of 16", [](S& s) { return s.VrnSetSerial("0123456789ABCDEF"); },
         Req(0x10, kAccess16 + Field("0123456789ABCDEF", 16, 0)), Answer('A'), EPat::Answer},
        {"vendor X", [](S& s) { return s.VrnSetVendor("X"); },
         Req(0x11, kAccess8 + Zeros(8) + Field("X", 40, ' ')), Answer('A'), EPat::Answer},
        {"model of 8", [](S& s) { return s.VrnSetModel("ABCDEFGH"); },
         Req(0x12, kAccess8 + Zeros(8) + Field("ABCDEFGH", 8, ' ')), Answer('A'), EPat::Answer},
        {"model VRN", [](S& s) { return s.VrnSetModel("VRN"); },
         Req(0x12, kAccess8 + Zeros(8) + Field("VRN", 8, ' ')), Answer('A'), EPat::Answer},
        {"mac address", [](S& s) { return s.VrnSetMacAddr(mac); },
         Req(0x17, kAccess8 + Zeros(8) + Bytes{0x00, 0x1B, 0x4D, 0x00, 0x27, 0x01}), Answer('A'),
         EPat::Answer},
        {"time 2003-07-04 10:20:30",
         [](S& s) {
             s.VrnSetClock(Clock2003, nullptr);
             return s.VrnSetTime();
         },
         Req(0x1D, kAccess8 + Bytes{151, 7, 4, 10, 20, 30}), Answer('A'), EPat::Answer},
        {"mute beeper", [](S& s) { return s.VrnMuteBeeper(); }, Req(0x30), Answer('A'), EPat::Ack},
        {"beeper 2", [](S& s) { return s.VrnSetBeeper(2); }, Req(0x31, {2}), Answer('A'),
         EPat::Ack},
        {"host mode 1", [](S& s) { return s.VrnSetHostMode(1); }, Req(0x33, {1}), Answer('A'),
         EPat::Ack},
        {"rebuild priority 3", [](S& s) { return s.VrnSetRebuildPriority(3); }, Req(0x34, {3}),
         Answer('A'), EPat::Ack},
        {"ata mode 6", [](S& s) { return s.VrnSetMaxAtaMode(6); }, Req(0x35, {6}), Answer('A'),
         EPat::Ack},
        {"dhcp off, 10.0.0.7", [](S& s) { return s.VrnSetDhcpIp(0, ip); },
         Req(0x39, {0, 10, 0, 0, 7}), Answer('A'), EPat::Ack},
        {"terminal port 1, 115200, 2 stop bits", [](S& s) { return s.VrnSetTermPort(1, 7, 1); },
         Req(0x37, {1, 7, 1, 1, 0, 0}), Answer('A'), EPat::Ack},
        {"set password", [](S& s) { return s.VrnSetPassword("secret"); },
         Req(0x32, Bytes{6} + Field("secret", 15, 0)), Answer('A'), EPat::Password},
        {"check password 5172",
         [](S& s) { return s.VrnChkPassword("5172"); },
         {0x5E, 0x01, 0x61, 0x06, 0x00, 0x14, 0x04, '5', '1', '7', '2', 0xED},
         Answer('A'),
         EPat::Password},
        {"check empty password", [](S& s) { return s.VrnChkPassword(""); }, Req(0x14, {0}),
         Answer('A'), EPat::Password},
        {"check password of 15", [](S& s) { return s.VrnChkPassword("ABCDEFGHIJKLMNO"); },
         Req(0x14, Bytes{15} + Field("ABCDEFGHIJKLMNO", 15, 0)), Answer('A'), EPat::Password},
        {"log out", [](S& s) { return s.VrnLogOut(); }, Req(0x15), Answer('A'), EPat::Ack},
        {"reset", [](S& s) { return s.VrnResetController(); }, Req(0x36), Answer('A'), EPat::Ack},
        // Arrays.
        {"raid set of drives 0-3, no name", [](S& s) { return s.VrnCreateRaidSet(15, nullptr); },
         Bytes{0x5E, 0x01, 0x61, 0x15, 0x00, 0x50, 0x0F, 0x00, 0x00, 0x00} + Zeros(16) +
             Bytes{0x74},
         Answer('A'), EPat::Ack},
        {"raid set named, drives 0 and 31",
         [](S& s) { return s.VrnCreateRaidSet(0x80000001UL, "Archive"); },
         Req(0x50, Bytes{0x01, 0, 0, 0x80} + Field("Archive", 16, 0)), Answer('A'), EPat::Ack},
        {"raid set, mask above 32 bits cut",
         [](S& s) { return s.VrnCreateRaidSet(0x100000003ULL, "0123456789ABCDEF"); },
         Req(0x50, Bytes{3, 0, 0, 0} + Field("0123456789ABCDEF", 16, 0)), Answer('A'), EPat::Ack},
        {"delete raid set 1", [](S& s) { return s.VrnDelRaidSet(1); }, Req(0x51, {1}), Answer('A'),
         EPat::Ack},
        {"activate raid set 2", [](S& s) { return s.VrnActiveRaidSet(2); }, Req(0x53, {2}),
         Answer('A'), EPat::Ack},
        {"hot spare drive 31", [](S& s) { return s.VrnCreateHotSpare(1UL << 31); },
         Req(0x54, {0x00, 0x00, 0x00, 0x80}), Answer('A'), EPat::Ack},
        {"delete hot spares 4 and 5", [](S& s) { return s.VrnDeleteHotSpare(0x30); },
         Req(0x55, Le32(0x30)), Answer('A'), EPat::Ack},
        {"volume of 100 GB",
         [](S& s) {
             _VOLUMESET_CAP v = Volume(100.0);
             return s.VrnCreateVolSet(&v);
         },
         VolumeRequest(Le32(195312500)), Answer('A'), EPat::Ack},
        {"volume of 0.5 GB",
         [](S& s) {
             _VOLUMESET_CAP v = Volume(0.5);
             return s.VrnCreateVolSet(&v);
         },
         VolumeRequest(Le32(976562)), Answer('A'), EPat::Ack},
        {"volume of 3000 GB, sectors modulo 2^32",
         [](S& s) {
             _VOLUMESET_CAP v = Volume(3000.0);
             return s.VrnCreateVolSet(&v);
         },
         VolumeRequest(Le32(static_cast<unsigned>(5859375000ULL & 0xFFFFFFFFULL))), Answer('A'),
         EPat::Ack},
        {"volume of 0 GB",
         [](S& s) {
             _VOLUMESET_CAP v = Volume(0.0);
             return s.VrnCreateVolSet(&v);
         },
         VolumeRequest(Le32(0)), Answer('A'), EPat::Ack},
        {"delete volume 1", [](S& s) { return s.VrnDelVolSet(1); }, Req(0x62, {1}), Answer('A'),
         EPat::Ack},
        {"start check 0", [](S& s) { return s.VrnStartCheckVolume(0); }, Req(0x63, {0}),
         Answer('A'), EPat::Ack},
        {"stop check 4", [](S& s) { return s.VrnStopCheckVolume(4); }, Req(0x64, {4}), Answer('A'),
         EPat::Ack},
        {"pass-through disk",
         [](S& s) {
             _PASS_DISK_CAP d = PassDisk();
             return s.VrnCreatePassthroughDisk(&d);
         },
         Req(0x40, {5, 0, 3, 0, 1, 2, 6}), Answer('A'), EPat::Ack},
        {"modify pass-through disk",
         [](S& s) {
             _PASS_DISK_CAP d = PassDisk();
             return s.VrnModifyPassthroughDisk(&d);
         },
         Req(0x41, {5, 0, 3, 0, 1, 2, 6}), Answer('A'), EPat::Ack},
        {"delete pass-through disk 5", [](S& s) { return s.VrnDelPassthroughDisk(5); },
         Req(0x42, {5}), Answer('A'), EPat::Ack},
        // SMART.
        {"smart data, drive 2", [](S& s) { return s.VrnExeSMART(0, 2, 9, smartBuf); },
         Bytes{0x5E, 0x01, 0x61, 0x08, 0x00, 0x1C, 0x00, 'Q', 'n', 'd', 'L', 0x02, 0x00,
               static_cast<unsigned char>(0x08 + 0x1C + 'Q' + 'n' + 'd' + 'L' + 0x02)},
         sector, EPat::SmartData},
        {"smart thresholds, drive 0", [](S& s) { return s.VrnExeSMART(1, 0, 0, smartBuf); },
         Req(0x1C, Bytes{1} + kSmartMarker + Bytes{0, 0}), sector, EPat::SmartData},
        {"smart off-line immediate, routine 1",
         [](S& s) { return s.VrnExeSMART(4, 3, 1, nullptr); },
         Req(0x1C, Bytes{4} + kSmartMarker + Bytes{3, 1}), MakeFrame({0, 0}), EPat::SmartData},
        {"smart enable, argument not sent", [](S& s) { return s.VrnExeSMART(8, 3, 1, nullptr); },
         Req(0x1C, Bytes{8} + kSmartMarker + Bytes{3, 0}), MakeFrame({0, 0}), EPat::SmartData},
        {"smart disable", [](S& s) { return s.VrnExeSMART(9, 1, 7, nullptr); },
         Req(0x1C, Bytes{9} + kSmartMarker + Bytes{1, 0}), MakeFrame({0, 0}), EPat::SmartData},
        {"read/write test start, mode 2", [](S& s) { return s.VrnExeSMART(16, 6, 2, nullptr); },
         Req(0x1C, Bytes{16} + kSmartMarker + Bytes{6, 2}), Answer('A'), EPat::SmartStart},
        {"read/write test status", [](S& s) { return s.VrnExeSMART(18, 6, 2, smartBuf); },
         Req(0x1C, Bytes{18} + kSmartMarker + Bytes{6, 0}), MakeFrame(Bytes(18, 1)),
         EPat::SmartData},
        {"smart sub-command 0x112 is sub-command 18",
         [](S& s) { return s.VrnExeSMART(0x112, 6, 2, smartBuf); },
         Req(0x1C, Bytes{0x12} + kSmartMarker + Bytes{6, 0}), MakeFrame(Bytes(12, 1)),
         EPat::SmartData},
        {"smart sub-command 2 has no reply shape: any valid reply",
         [](S& s) { return s.VrnExeSMART(2, 6, 2, smartBuf); },
         Req(0x1C, Bytes{2} + kSmartMarker + Bytes{6, 0}), MakeFrame(Bytes(3, 1)), EPat::Raw},
    };
}

class GoldenFrame : public CLinkTest {};

TEST_P(GoldenFrame, EveryOperationSendsItsExactRequest) {
    for (const SGolden& c : Operations()) {
        int status = -1;
        auto seen = Serve({Reply(c.reply)}, [&] { status = c.op(m_session); });
        EXPECT_EQ(status, VRN_OK) << c.name;
        ASSERT_EQ(seen.size(), 1u) << c.name;
        EXPECT_EQ(seen[0], c.request)
            << c.name << "\n  got:  " << Hex(seen[0]) << "\n  want: " << Hex(c.request);
    }
}

TEST_P(GoldenFrame, EveryOperationReadsBareAnswerBytesByItsPattern) {
    const unsigned char answers[] = {'A', 'M', 'J', 'B', 0};
    for (const SGolden& c : Operations()) {
        for (unsigned char b : answers) {
            int status = -1;
            Serve({Reply(Answer(b))}, [&] { status = c.op(m_session); });
            EXPECT_EQ(status, ExpectedForAnswer(c.pattern, b))
                << c.name << ", answer 0x" << std::hex << int(b);
        }
    }
}

TEST_P(GoldenFrame, DamagedReplyGivesStatus2ToEveryOperation) {
    for (const SGolden& c : Operations()) {
        Bytes damaged = c.reply;
        damaged.back() ^= 0x01;
        int status = -1;
        Serve({Reply(damaged)}, [&] { status = c.op(m_session); });
        EXPECT_EQ(status, VRN_BAD_FRAME) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, GoldenFrame, testing::Values(ELink::Serial, ELink::Udp), LinkName);

TEST(GoldenFrameSession, EveryOperationOnANewSessionFailsWithoutAPort) {
    for (const SGolden& c : Operations()) {
        CTestSession session;
        const bool smart = c.request[5] == 0x1C;
        // SMART has no handle check of its own: its write fails instead.
        EXPECT_EQ(c.op(session), smart ? VRN_WRITE_FAILED : VRN_NO_PORT) << c.name;
    }
}

} // namespace
