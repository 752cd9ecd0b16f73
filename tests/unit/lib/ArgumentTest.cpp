// Bad arguments are refused with 6 before anything reaches the controller.
#include <cmath>
#include <limits>

#include "LinkFixture.h"

namespace {

_VOLUMESET_CAP VolumeOf(unsigned size, double capacity) {
    _VOLUMESET_CAP v = {};
    v.structs_size = size;
    v.capacity = capacity;
    return v;
}

struct SBadCall {
    const char* name;
    std::function<int(CTestSession&)> op;
};

std::vector<SBadCall> BadCalls() {
    // Buffers full to the brim, no terminator: the checks must not read past them.
    static char unterminated17[17], unterminated41[41], unterminated9[9], unterminated16[16];
    std::memset(unterminated17, 'S', sizeof unterminated17);
    std::memset(unterminated41, 'V', sizeof unterminated41);
    std::memset(unterminated9, 'M', sizeof unterminated9);
    std::memset(unterminated16, 'P', sizeof unterminated16);
    static _HWMON_INFO hw;
    using S = CTestSession;
    return {
        {"system information, null", [](S& s) { return s.VrnGetSysInfo(nullptr); }},
        {"raid set, null", [](S& s) { return s.VrnGetRaidSetInfo(0, nullptr); }},
        {"volume set, null", [](S& s) { return s.VrnGetVolSetInfo(0, nullptr); }},
        {"drive, null", [](S& s) { return s.VrnGetPhysicalDriveInfo(0, nullptr); }},
        {"monitor kind 0", [](S& s) { return s.VrnGetHWMon(0, &hw); }},
        {"monitor kind 6", [](S& s) { return s.VrnGetHWMon(6, &hw); }},
        {"monitor kind 2^32 + 1", [](S& s) { return s.VrnGetHWMon(0x100000001ULL, &hw); }},
        {"monitor, null", [](S& s) { return s.VrnGetHWMon(HWMON_FAN_INFO, nullptr); }},
        {"monitor 5010, null", [](S& s) { return s.VrnGetHWMon5010(nullptr); }},
        {"poll, null", [](S& s) { return s.VrnPollEvent(nullptr); }},
        {"event pages, null count", [](S& s) { return s.VrnGetReqEventPage(1, nullptr); }},
        {"serial, null", [](S& s) { return s.VrnSetSerial(nullptr); }},
        {"serial of 17", [](S& s) { return s.VrnSetSerial("0123456789ABCDEFG"); }},
        {"serial, unterminated", [](S& s) { return s.VrnSetSerial(unterminated17); }},
        {"vendor, null", [](S& s) { return s.VrnSetVendor(nullptr); }},
        {"vendor of 41", [](S& s) { return s.VrnSetVendor(std::string(41, 'v').c_str()); }},
        {"vendor, unterminated", [](S& s) { return s.VrnSetVendor(unterminated41); }},
        {"model, null", [](S& s) { return s.VrnSetModel(nullptr); }},
        {"model of 9", [](S& s) { return s.VrnSetModel("ABCDEFGHI"); }},
        {"model, unterminated", [](S& s) { return s.VrnSetModel(unterminated9); }},
        {"mac, null", [](S& s) { return s.VrnSetMacAddr(nullptr); }},
        {"dhcp, null address", [](S& s) { return s.VrnSetDhcpIp(1, nullptr); }},
        {"terminal port 0, speed code 8", [](S& s) { return s.VrnSetTermPort(0, 8, 0); }},
        {"terminal port 2, speed code 7", [](S& s) { return s.VrnSetTermPort(2, 7, 0); }},
        {"terminal port stop bits 2", [](S& s) { return s.VrnSetTermPort(1, 7, 2); }},
        {"set password, null", [](S& s) { return s.VrnSetPassword(nullptr); }},
        {"set password of 16", [](S& s) { return s.VrnSetPassword("0123456789ABCDEF"); }},
        {"check password, null", [](S& s) { return s.VrnChkPassword(nullptr); }},
        {"check password of 16", [](S& s) { return s.VrnChkPassword("0123456789ABCDEF"); }},
        {"check password, unterminated", [](S& s) { return s.VrnChkPassword(unterminated16); }},
        {"raid set name of 17", [](S& s) { return s.VrnCreateRaidSet(3, "Raid Set # 00 xyz"); }},
        {"volume, null", [](S& s) { return s.VrnCreateVolSet(nullptr); }},
        {"volume, size 48",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(48, 1.0);
             return s.VrnCreateVolSet(&v);
         }},
        {"volume, size 0",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(0, 1.0);
             return s.VrnCreateVolSet(&v);
         }},
        {"volume, negative capacity",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(44, -1.0);
             return s.VrnCreateVolSet(&v);
         }},
        {"volume, capacity not a number",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(44, std::numeric_limits<double>::quiet_NaN());
             return s.VrnCreateVolSet(&v);
         }},
        {"volume, capacity beyond 64-bit sectors",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(44, 1e13);
             return s.VrnCreateVolSet(&v);
         }},
        {"volume, infinite capacity",
         [](S& s) {
             _VOLUMESET_CAP v = VolumeOf(44, std::numeric_limits<double>::infinity());
             return s.VrnCreateVolSet(&v);
         }},
        {"pass-through, null", [](S& s) { return s.VrnCreatePassthroughDisk(nullptr); }},
        {"pass-through, size 11",
         [](S& s) {
             _PASS_DISK_CAP d = {};
             d.structs_size = 11;
             return s.VrnCreatePassthroughDisk(&d);
         }},
        {"modify pass-through, null", [](S& s) { return s.VrnModifyPassthroughDisk(nullptr); }},
        {"modify pass-through, size 13",
         [](S& s) {
             _PASS_DISK_CAP d = {};
             d.structs_size = 13;
             return s.VrnModifyPassthroughDisk(&d);
         }},
    };
}

class Arguments : public CLinkTest {};

TEST_P(Arguments, BadArgumentsGiveStatus6WithoutTraffic) {
    for (const SBadCall& c : BadCalls())
        EXPECT_EQ(c.op(m_session), VRN_BAD_ARGUMENT) << c.name;
    const Bytes seen = m_pty ? m_pty->Read(300) : m_udp->Read(300);
    EXPECT_TRUE(seen.empty()) << Hex(seen);
}

INSTANTIATE_TEST_SUITE_P(Links, Arguments, testing::Values(ELink::Serial, ELink::Udp), LinkName);

TEST(ArgumentsOnNewSession, RecordSizeIsCheckedBeforeTheHandle) {
    CTestSession session;
    _VOLUMESET_CAP v = VolumeOf(48, 1.0);
    _PASS_DISK_CAP d = {};
    d.structs_size = 44;
    EXPECT_EQ(session.VrnCreateVolSet(&v), VRN_BAD_ARGUMENT);
    EXPECT_EQ(session.VrnCreateVolSet(nullptr), VRN_BAD_ARGUMENT);
    EXPECT_EQ(session.VrnCreatePassthroughDisk(&d), VRN_BAD_ARGUMENT);
    EXPECT_EQ(session.VrnModifyPassthroughDisk(&d), VRN_BAD_ARGUMENT);
    // Every other check comes after the handle's.
    EXPECT_EQ(session.VrnGetSysInfo(nullptr), VRN_NO_PORT);
    EXPECT_EQ(session.VrnGetHWMon(9, nullptr), VRN_NO_PORT);
    EXPECT_EQ(session.VrnSetModel(nullptr), VRN_NO_PORT);
    // A count the caller may read anyway never keeps an earlier value.
    int count = 7;
    EXPECT_EQ(session.VrnGetReqEventPage(1, &count), VRN_NO_PORT);
    EXPECT_EQ(count, 0);
}

TEST(ArgumentsOnNewSession, EventObjectOutsideTheLogCopiesNothing) {
    CTestSession session;
    sEVET_DATA e;
    std::memset(&e, 0x77, sizeof e);
    const int bad[] = {-1, 64, 1000, std::numeric_limits<int>::min()};
    for (int i : bad) {
        EXPECT_EQ(session.VrnGetEventObject(i, &e), 0) << i;
        EXPECT_EQ(e.evtCategory, 0x77) << i;
    }
    EXPECT_EQ(session.VrnGetEventObject(0, nullptr), 0);
    EXPECT_EQ(session.VrnGetEventObject(63, &e), 1); // a new session's mapping is zeroed
    EXPECT_EQ(e.evtCategory, 0);
}

} // namespace
