// Every library operation against the stand-in controller, over a real pseudo-terminal and
// over UDP: the request as the controller received it (hand-built bytes), the status, and
// what the operation changed in the controller or read from it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "GoldenFrames.h"
#include "SimProcess.h"

namespace {

enum class ELink { Serial, Udp };

std::string LinkName(const testing::TestParamInfo<ELink>& info) {
    return info.param == ELink::Serial ? "Serial" : "Udp";
}

std::string Name(const char* field, size_t width) {
    std::string s(field, strnlen(field, width));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool Clock2003(void*, struct tm* now) {
    *now = {};
    now->tm_year = 103;
    now->tm_mon = 6;
    now->tm_mday = 4;
    now->tm_hour = 10;
    now->tm_min = 20;
    now->tm_sec = 30;
    return true;
}

class SimOperations : public testing::TestWithParam<ELink> {
protected:
    void SetUp() override {
        CSimProcess::Options opt;
        opt.udp = true;
        // Volume initialisation and read/write tests finish within a second or so.
        opt.extraArgs = {"--time-scale", "0.01"};
        m_sim = std::make_unique<CSimProcess>(opt);
        ASSERT_TRUE(m_sim->Ready());
        if (GetParam() == ELink::Serial) {
            ASSERT_EQ(m_session.VrnInitSession(m_sim->PtyName().c_str()), VRN_OK);
        } else {
            ASSERT_EQ(m_session.VrnInitSession(m_sim->UdpAddr().c_str(), m_sim->UdpPort()), VRN_OK);
            m_session.VrnSetTimeOut(3);
        }
        // Real waits, except the reset's 15 s: the simulated controller is back at once.
        m_session.RecordSleeps(1);
        m_session.VrnSetClock(Clock2003, nullptr);
    }

    // The controller's last received frame.
    Bytes LastFrame() {
        std::istringstream in(m_sim->Ctl("last-frame"));
        std::string word;
        in >> word; // "ok"
        Bytes b;
        while (in >> word)
            b.push_back(static_cast<unsigned char>(std::stoul(word, nullptr, 16)));
        return b;
    }

    sSYSTEM_INFO SysInfo() {
        sSYSTEM_INFO i;
        EXPECT_EQ(m_session.VrnGetSysInfo(&i), VRN_OK);
        return i;
    }

    std::unique_ptr<CSimProcess> m_sim;
    CTestSession m_session;
};

TEST_P(SimOperations, EveryCommandReachesTheControllerAsBuilt) {
    static const char mac[6] = {0x02, 0, 0, 0, 0, 0x01};
    static const unsigned char ip[4] = {10, 0, 0, 7};
    static sGUI_RAIDSET raid;
    static sGUI_VOLUMESET vol;
    static sGUI_PHY_DRV drv;
    static _HWMON_INFO hw;
    static unsigned char buf[512];
    using S = CTestSession;
    struct Case {
        const char* name;
        std::function<int(S&)> op;
        int status;
        Bytes request;
    };
    auto volume = [](unsigned char raidSet, unsigned char id, double gb) {
        _VOLUMESET_CAP v = {};
        v.structs_size = sizeof v;
        v.raid = raidSet;
        std::memcpy(v.volname, "Story Volume    ", 16);
        v.capacity = gb;
        v.raidlevel = 3;
        v.stripsize = 4;
        v.id = id;
        v.tag = 1;
        v.cache = 1;
        v.speed = 4;
        return v;
    };
    // In story order: the controller's state carries from one case to the next.
    const Case cases[] = {
        {"identify", [](S& s) { return s.VrnIdentify(); }, VRN_OK, Req(0x13)},
        {"raid set 0", [](S& s) { return s.VrnGetRaidSetInfo(0, &raid); }, VRN_OK, Req(0x20, {0})},
        {"volume set 1", [](S& s) { return s.VrnGetVolSetInfo(1, &vol); }, VRN_OK, Req(0x21, {1})},
        {"drive 5", [](S& s) { return s.VrnGetPhysicalDriveInfo(5, &drv); }, VRN_OK,
         Req(0x22, {5})},
        {"ups", [](S& s) { return s.VrnGetHWMon(HWMON_UPS_INFO, &hw); }, VRN_OK, Req(0x1B)},
        {"event page 1", [](S& s) { return s.VrnGetEvent(1); }, VRN_OK, Req(0x1A, {1})},
        {"serial", [](S& s) { return s.VrnSetSerial("VRN-0042"); }, VRN_OK,
         Req(0x10, kAccess16 + Field("VRN-0042", 16, 0))},
        {"vendor", [](S& s) { return s.VrnSetVendor("X"); }, VRN_OK,
         Req(0x11, kAccess8 + Zeros(8) + Field("X", 40, ' '))},
        {"model", [](S& s) { return s.VrnSetModel("VRN"); }, VRN_OK,
         Req(0x12, kAccess8 + Zeros(8) + Field("VRN", 8, ' '))},
        {"mac", [](S& s) { return s.VrnSetMacAddr(mac); }, VRN_OK,
         Req(0x17, kAccess8 + Zeros(8) + Bytes{2, 0, 0, 0, 0, 1})},
        {"time", [](S& s) { return s.VrnSetTime(); }, VRN_OK,
         Req(0x1D, kAccess8 + Bytes{151, 7, 4, 10, 20, 30})},
        {"beeper 1", [](S& s) { return s.VrnSetBeeper(1); }, VRN_OK, Req(0x31, {1})},
        {"mute", [](S& s) { return s.VrnMuteBeeper(); }, VRN_OK, Req(0x30)},
        {"host mode 2", [](S& s) { return s.VrnSetHostMode(2); }, VRN_OK, Req(0x33, {2})},
        {"rebuild priority 3", [](S& s) { return s.VrnSetRebuildPriority(3); }, VRN_OK,
         Req(0x34, {3})},
        {"ata mode 5", [](S& s) { return s.VrnSetMaxAtaMode(5); }, VRN_OK, Req(0x35, {5})},
        {"dhcp", [](S& s) { return s.VrnSetDhcpIp(0, ip); }, VRN_OK, Req(0x39, {0, 10, 0, 0, 7})},
        {"terminal port B", [](S& s) { return s.VrnSetTermPort(1, 5, 1); }, VRN_OK,
         Req(0x37, {1, 5, 1, 1, 0, 0})},
        {"wrong password", [](S& s) { return s.VrnChkPassword("0000"); }, VRN_REFUSED_J,
         Req(0x14, {4, '0', '0', '0', '0'})},
        {"password", [](S& s) { return s.VrnChkPassword("5172"); }, VRN_OK,
         Req(0x14, {4, '5', '1', '7', '2'})},
        {"new password", [](S& s) { return s.VrnSetPassword("0000"); }, VRN_OK,
         Req(0x32, Bytes{4} + Field("0000", 15, 0))},
        {"new password works", [](S& s) { return s.VrnChkPassword("0000"); }, VRN_OK,
         Req(0x14, {4, '0', '0', '0', '0'})},
        {"log out", [](S& s) { return s.VrnLogOut(); }, VRN_OK, Req(0x15)},
        {"raid set of drives 4-7", [](S& s) { return s.VrnCreateRaidSet(0xF0, "Story"); },
         VRN_OK, Req(0x50, Le32(0xF0) + Field("Story", 16, 0))},
        {"raid set of a drive in use", [](S& s) { return s.VrnCreateRaidSet(0x01, nullptr); },
         VRN_REFUSED_M, Req(0x50, Le32(1) + Zeros(16))},
        {"activate raid set 1", [](S& s) { return s.VrnActiveRaidSet(1); }, VRN_OK,
         Req(0x53, {1})},
        {"volume of 100 GB",
         [&](S& s) {
             _VOLUMESET_CAP v = volume(1, 1, 100.0);
             return s.VrnCreateVolSet(&v);
         },
         VRN_OK,
         Req(0x60, Bytes{1} + Field("Story Volume    ", 16, 0) + Le32(195312500) + Zeros(4) +
                       Bytes{3, 4, 0, 1, 0, 1, 1, 4, 0, 0})},
        {"volume 2 initialised",
         [](S& s) {
             // The simulator's clock runs at a hundredth: a second is plenty.
             std::this_thread::sleep_for(std::chrono::milliseconds(1500));
             const int status = s.VrnGetVolSetInfo(2, &vol);
             return status != VRN_OK ? status : static_cast<int>(vol.gvsVolumeStatus & 1);
         },
         VRN_OK, Req(0x21, {2})},
        {"check volume 2", [](S& s) { return s.VrnStartCheckVolume(2); }, VRN_OK,
         Req(0x63, {2})},
        {"stop checking volume 2", [](S& s) { return s.VrnStopCheckVolume(2); }, VRN_OK,
         Req(0x64, {2})},
        {"delete volume 2", [](S& s) { return s.VrnDelVolSet(2); }, VRN_OK, Req(0x62, {2})},
        {"delete volume 2 again", [](S& s) { return s.VrnDelVolSet(2); }, VRN_REFUSED_M,
         Req(0x62, {2})},
        {"delete raid set 1", [](S& s) { return s.VrnDelRaidSet(1); }, VRN_OK, Req(0x51, {1})},
        {"hot spare 7", [](S& s) { return s.VrnCreateHotSpare(0x80); }, VRN_OK,
         Req(0x54, Le32(0x80))},
        {"release hot spare 7", [](S& s) { return s.VrnDeleteHotSpare(0x80); }, VRN_OK,
         Req(0x55, Le32(0x80))},
        {"pass-through 7",
         [](S& s) {
             _PASS_DISK_CAP d = {sizeof d, 7, 0, 2, 0, 1, 1, 0, 0};
             return s.VrnCreatePassthroughDisk(&d);
         },
         VRN_OK, Req(0x40, {7, 0, 2, 0, 1, 1, 0})},
        {"modify pass-through 7",
         [](S& s) {
             _PASS_DISK_CAP d = {sizeof d, 7, 0, 3, 0, 1, 1, 0, 0};
             return s.VrnModifyPassthroughDisk(&d);
         },
         VRN_OK, Req(0x41, {7, 0, 3, 0, 1, 1, 0})},
        {"delete pass-through 7", [](S& s) { return s.VrnDelPassthroughDisk(7); }, VRN_OK,
         Req(0x42, {7})},
        {"smart data", [](S& s) { return s.VrnExeSMART(0, 0, 0, buf); }, VRN_OK,
         Req(0x1C, Bytes{0} + kSmartMarker + Bytes{0, 0})},
        {"smart enable", [](S& s) { return s.VrnExeSMART(8, 0, 0, nullptr); }, VRN_OK,
         Req(0x1C, Bytes{8} + kSmartMarker + Bytes{0, 0})},
        {"read/write test", [](S& s) { return s.VrnExeSMART(16, 6, 1, nullptr); }, VRN_OK,
         Req(0x1C, Bytes{16} + kSmartMarker + Bytes{6, 1})},
        {"clear events", [](S& s) { return s.VrnClearEvent(); }, VRN_OK, Req(0x24)},
        {"reset", [](S& s) { return s.VrnResetController(); }, VRN_OK, Req(0x36)},
    };
    for (const Case& c : cases) {
        const long before = m_sim->Frames();
        EXPECT_EQ(c.op(m_session), c.status) << c.name;
        EXPECT_EQ(LastFrame(), c.request) << c.name;
        EXPECT_EQ(m_sim->Frames(), before + 1) << c.name << ": one frame";
    }
}

TEST_P(SimOperations, SettingsShowInTheSystemInformation) {
    static const char mac[6] = {0x02, 0, 0, 0, 0, 0x01};
    static const unsigned char ip[4] = {10, 0, 0, 7};
    ASSERT_EQ(m_session.VrnSetSerial("VRN-0042"), VRN_OK);
    ASSERT_EQ(m_session.VrnSetVendor("X"), VRN_OK);
    ASSERT_EQ(m_session.VrnSetModel("ABCDEFGH"), VRN_OK);
    ASSERT_EQ(m_session.VrnSetMacAddr(mac), VRN_OK);
    ASSERT_EQ(m_session.VrnSetBeeper(1), VRN_OK);
    ASSERT_EQ(m_session.VrnSetRebuildPriority(3), VRN_OK);
    ASSERT_EQ(m_session.VrnSetMaxAtaMode(5), VRN_OK);
    ASSERT_EQ(m_session.VrnSetDhcpIp(0, ip), VRN_OK);
    ASSERT_EQ(m_session.VrnSetTermPort(1, 5, 1), VRN_OK);
    const sSYSTEM_INFO i = SysInfo();
    EXPECT_EQ(Name(i.gsiSerialNumber, 16), "VRN-0042");
    EXPECT_EQ(Name(i.gsiVendorName, 40), "X");
    EXPECT_EQ(Name(i.gsiModelName, 8), "ABCDEFGH");
    EXPECT_EQ(0, std::memcmp(i.gsiMacAddress, mac, 6));
    EXPECT_EQ(i.gsiBeeper, 1);
    EXPECT_EQ(i.gsiRebuildPriority, 3);
    EXPECT_EQ(i.gsiMaxAtaMode, 5);
    EXPECT_EQ(0, std::memcmp(i.gsiLocalIp, ip, 4));
    EXPECT_EQ(i.gsiComB.comBaudRate, 5);
    EXPECT_EQ(i.gsiComB.comStopBits, 1);
}

TEST_P(SimOperations, StatusRecordsAndHardwareMonitor) {
    sGUI_RAIDSET r;
    ASSERT_EQ(m_session.VrnGetRaidSetInfo(0, &r), VRN_OK);
    EXPECT_EQ(Name(r.grsRaidSetName, 16), "Raid Set # 00");
    EXPECT_EQ(r.grsMemberDevices, 4);
    EXPECT_EQ(r.grsVolumes, 2);
    sGUI_VOLUMESET v;
    ASSERT_EQ(m_session.VrnGetVolSetInfo(1, &v), VRN_OK);
    EXPECT_EQ(Name(v.gvsVolumeName, 16), "Volume Set # 01");
    EXPECT_EQ(v.gvsCapacity, 195312500u);
    sGUI_PHY_DRV d;
    ASSERT_EQ(m_session.VrnGetPhysicalDriveInfo(5, &d), VRN_OK);
    EXPECT_EQ(Name(d.gpdModelName, 40), "WD2500JD-00HBB0");
    EXPECT_EQ(d.gpdCapacity, 488397168u);
    // A refused query leaves the record as it was.
    sGUI_RAIDSET before = r;
    ASSERT_EQ(m_sim->Ctl("fault refuse M count 1"), "ok");
    EXPECT_EQ(m_session.VrnGetRaidSetInfo(0, &r), VRN_REFUSED_M);
    EXPECT_EQ(0, std::memcmp(&before, &r, sizeof r));

    struct Case {
        unsigned long kind;
        const char* ctl; // a change made before the read
        unsigned short count;
        int item;
        unsigned short value;
    };
    const Case cases[] = {
        {HWMON_FAN_INFO, nullptr, 2, 0, 3150},     {HWMON_FAN_INFO, "fan 1 stop", 2, 0, 0},
        {HWMON_VOL_INFO, nullptr, 8, 0, 12000},    {HWMON_VOL_INFO, "rail 1 13500", 8, 1, 13500},
        {HWMON_TMP_INFO, "temp 2 61", 2, 1, 61},   {HWMON_PWR_INFO, nullptr, 2, 1, 2},
        {HWMON_PWR_INFO, "power 2 fail", 2, 1, 0}, {HWMON_UPS_INFO, "ups 3", 1, 0, 3},
    };
    for (const Case& c : cases) {
        if (c.ctl != nullptr) {
            ASSERT_EQ(m_sim->Ctl(c.ctl), "ok") << c.ctl;
        }
        _HWMON_INFO info;
        ASSERT_EQ(m_session.VrnGetHWMon(c.kind, &info), VRN_OK) << c.kind;
        EXPECT_EQ(info.HwItemCount, c.count) << c.kind;
        EXPECT_EQ(info.ItemInfo[c.item], c.value) << c.kind << " " << (c.ctl ? c.ctl : "");
    }
    ASSERT_EQ(m_sim->Ctl("fault refuse M count 1"), "ok");
    _HWMON_INFO info;
    EXPECT_EQ(m_session.VrnGetHWMon(HWMON_FAN_INFO, &info), 0x4D);
    // The default controller has eight drive channels: one exchange, then 6.
    const long before5010 = m_sim->Frames();
    _HWMON_5010 m;
    EXPECT_EQ(m_session.VrnGetHWMon5010(&m), VRN_BAD_ARGUMENT);
    EXPECT_EQ(m_sim->Frames(), before5010 + 1);
}

TEST_P(SimOperations, EventsNewAndAllInMappingOrder) {
    int count = -1;
    const sSYSTEM_INFO info = SysInfo();
    ASSERT_EQ(m_session.VrnGetReqEventPage(0, &count), VRN_OK);
    EXPECT_EQ(count, static_cast<int>(info.gsiEvents));
    ASSERT_GT(count, 0);
    sEVET_DATA e;
    ASSERT_EQ(m_session.VrnGetEventObject(0, &e), 1);
    EXPECT_EQ(e.evtCategory, 5) << "the newest event of the default log: power on";
    EXPECT_STREQ(htmHwMonEvent[e.evtType], "Raid Powered On");
    ASSERT_EQ(m_session.VrnGetEventObject(count - 1, &e), 1);
    EXPECT_EQ(e.evtCategory, 5) << "the oldest: power on as well";

    // Nothing new since the fetch; then two events, read newest first.
    ASSERT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(m_sim->Ctl("event add 3 7 4"), "ok");
    ASSERT_EQ(m_sim->Ctl("event add 2 12 1"), "ok");
    ASSERT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(m_session.VrnGetEventObject(0, &e), 1);
    EXPECT_EQ(e.evtCategory, 2);
    EXPECT_STREQ(htmVolEvent[e.evtType], "Volume Failed");
    EXPECT_EQ(e.evtChannel, 1);
    ASSERT_EQ(m_session.VrnGetEventObject(1, &e), 1);
    EXPECT_STREQ(htmDevEvent[e.evtType], "Device Failed");
    EXPECT_EQ(e.evtChannel, 4);

    // A whole log of 64 and more: four pages, the count held at 64.
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(m_sim->Ctl("event add 5 38 0"), "ok");
    const long before = m_sim->Frames();
    ASSERT_EQ(m_session.VrnGetReqEventPage(0, &count), VRN_OK);
    EXPECT_EQ(count, 64);
    EXPECT_EQ(m_sim->Frames(), before + 6) << "poll, system information, four pages";
    EXPECT_EQ(LastFrame(), Req(0x1A, {3}));

    // Clearing starts the count at index 0 again.
    ASSERT_EQ(m_session.VrnClearEvent(), VRN_OK);
    EXPECT_EQ(m_session.m_iPreIndex, 0);
    int index = -1;
    ASSERT_EQ(m_session.VrnPollEvent(&index), VRN_OK);
    ASSERT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
    EXPECT_EQ(count, index);
}

TEST_P(SimOperations, ArraysSmartAndWebPages) {
    // Drive 6 is free until the raid set below takes it.
    unsigned char page[512];
    ASSERT_EQ(m_session.VrnExeSMART(0, 0, 0, page), VRN_OK);
    EXPECT_EQ(page[2], 1) << "first attribute: raw read error rate";
    ASSERT_EQ(m_session.VrnExeSMART(1, 0, 0, page), VRN_OK);
    EXPECT_EQ(page[2], 1);
    EXPECT_EQ(page[3], 16) << "its threshold";
    ASSERT_EQ(m_session.VrnExeSMART(16, 6, 1, nullptr), VRN_OK);
    unsigned char block[18] = {};
    ASSERT_EQ(m_session.VrnExeSMART(18, 6, 0, block), VRN_OK);
    EXPECT_TRUE(block[1] == 4 || block[1] == 5) << int(block[1]);

    ASSERT_EQ(m_session.VrnCreateRaidSet(0xF0, "Story"), VRN_OK);
    sGUI_RAIDSET r;
    ASSERT_EQ(m_session.VrnGetRaidSetInfo(1, &r), VRN_OK);
    EXPECT_EQ(Name(r.grsRaidSetName, 16), "Story");
    EXPECT_EQ(r.grsMemberDevices, 4);
    _VOLUMESET_CAP v = {};
    v.structs_size = sizeof v;
    v.raid = 1;
    std::memcpy(v.volname, "Half            ", 16);
    v.capacity = 0.5;
    v.raidlevel = 3;
    v.stripsize = 4;
    v.id = 1;
    ASSERT_EQ(m_session.VrnCreateVolSet(&v), VRN_OK);
    sGUI_VOLUMESET vol;
    ASSERT_EQ(m_session.VrnGetVolSetInfo(2, &vol), VRN_OK);
    EXPECT_EQ(Name(vol.gvsVolumeName, 16), "Half");
    EXPECT_EQ(vol.gvsCapacity, 976562u);
    // Initialisation runs, then ends (the simulator's clock runs at a hundredth).
    bool sawRunning = (vol.gvsVolumeStatus & 1) != 0;
    for (int i = 0; i < 100 && (vol.gvsVolumeStatus & 1) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(m_session.VrnGetVolSetInfo(2, &vol), VRN_OK);
    }
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(vol.gvsVolumeStatus & 1, 0u);

    // Web pages: one that fits a frame, and one that does not.
    std::vector<char> response(VRN_MAX_REPLY);
    int len = -1;
    const std::string get = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(m_session.VrnHttp(get.data(), static_cast<int>(get.size()), response.data(), &len),
              VRN_OK);
    EXPECT_EQ(std::string(response.data(), 15), "HTTP/1.0 200 OK");
    // Over a serial line the read stops at the buffer and the frame fails its check; an
    // agent relays no reply that fills its buffer, so a station hears nothing.
    const std::string big = "GET /eventlog.html HTTP/1.0\r\n\r\n";
    EXPECT_EQ(m_session.VrnHttp(big.data(), static_cast<int>(big.size()), response.data(), &len),
              GetParam() == ELink::Serial ? VRN_BAD_FRAME : VRN_NO_REPLY);
    EXPECT_EQ(len, 0);
    // A request of two pieces: the first full one is not answered.
    std::string two = "GET /status.html HTTP/1.0\r\nX-Pad: " + std::string(1100, 'p') + "\r\n\r\n";
    ASSERT_EQ(m_session.VrnHttp(two.data(), 1024, response.data(), &len), VRN_OK);
    EXPECT_EQ(len, 0);
    ASSERT_EQ(m_session.VrnHttp(two.data() + 1024, static_cast<int>(two.size() - 1024),
                                response.data(), &len),
              VRN_OK);
    EXPECT_NE(std::string(response.data(), static_cast<size_t>(len)).find("Raid Set Hierarchy"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Links, SimOperations, testing::Values(ELink::Serial, ELink::Udp),
                         LinkName);

} // namespace
