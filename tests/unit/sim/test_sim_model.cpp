// The controller model's status queries, configuration commands, event log and hardware
// monitor, request bytes in, reply bytes out.
#include "SimModelHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

TEST(SimModel, StatusQueriesAnswerWithTheirRecords) {
    CHarness h;
    struct Case {
        const char* name;
        Bytes request;
        size_t replyLen;
        std::string textAt0;
    };
    const Case cases[] = {
        {"identify", {0x13}, 0, "Varno RAID Subsystem"},
        {"system information", {0x23}, 262, "Varno Storage Systems"},
        {"raid set 0", {0x20, 0}, 134, "Raid Set # 00"},
        {"unused raid set 7", {0x20, 7}, 134, ""},
        {"volume set 0", {0x21, 0}, 70, "Volume Set # 00"},
        {"unused volume set 15", {0x21, 15}, 70, ""},
        {"drive 0", {0x22, 0}, 134, "HDS722516VLSA80"},
        {"hardware monitor", {0x1B}, 34, ""},
        {"event page 3", {0x1A, 3}, 518, ""},
        {"event index", {0x19}, 7, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes r = h.Ask(c.request);
        if (c.replyLen) {
            EXPECT_EQ(c.replyLen, r.size());
        }
        EXPECT_EQ(Frame(Bytes(r.begin() + 5, r.end() - 1)), r);
        std::string text(r.begin() + 5, r.begin() + 5 + static_cast<long>(c.textAt0.size()));
        EXPECT_EQ(c.textAt0, text);
    }
    // Numbers outside the controller's ranges are refused.
    for (Bytes bad : {Bytes{0x20, 8}, Bytes{0x21, 16}, Bytes{0x22, 8}, Bytes{0x1A, 4}, Bytes{0x20},
                      Bytes{0x77}}) {
        EXPECT_EQ(Answer('M'), h.Ask(bad)) << int(bad[0]);
    }
}

TEST(SimModel, SystemInformationCarriesTheControllerLayout) {
    CHarness h;
    Bytes s = h.Data({0x23});
    ASSERT_EQ(256u, s.size());
    EXPECT_EQ(Text("VRN2004A0001", 16), Bytes(s.begin() + 40, s.begin() + 56));
    EXPECT_EQ(Text("VRN-8SA", 8), Bytes(s.begin() + 104, s.begin() + 112));
    EXPECT_EQ(Bytes({192, 168, 1, 100}), Bytes(s.begin() + 112, s.begin() + 116));
    EXPECT_EQ(5u, Le32(s, 148)); // gsiEvents: the start-up events
    EXPECT_EQ(8, s[174]);        // gsiIdeChannels
    EXPECT_EQ(16, s[177]);       // gsiMaxVolumeSet
    EXPECT_EQ(8, s[178]);        // gsiMaxRaidSet
    EXPECT_EQ(Bytes({0x00, 0x1B, 0x4D, 0x00, 0x27, 0x01}), Bytes(s.begin() + 152, s.begin() + 158));
}

TEST(SimModel, SettingsAreReflectedInSystemInformation) {
    CHarness h;
    const Bytes kCode = Text("ToPiLuNe", 8);
    const Bytes kSerialCode = Text("MeRiDoNaLtUbIxE ", 16);
    struct Case {
        const char* name;
        Bytes request;
        char answer;
        size_t offset; // in the system information record
        Bytes expect;  // bytes there afterwards; empty: unchanged check skipped
    };
    const Case cases[] = {
        {"beeper", {0x31, 0x00}, 'A', 159, {0x00}},
        {"host mode", {0x33, 0x02}, 'A', 160, {0x02}},
        {"rebuild priority", {0x34, 0x03}, 'A', 163, {0x03}},
        {"ATA mode", {0x35, 0x04}, 'A', 161, {0x04}},
        {"DHCP and IP", {0x39, 0x00, 10, 0, 0, 7}, 'A', 112, {10, 0, 0, 7, 10, 0, 0, 7}},
        {"DHCP on keeps the address in use",
         {0x39, 0x01, 10, 0, 0, 9},
         'A',
         112,
         {10, 0, 0, 9, 10, 0, 0, 7}},
        {"terminal port B", {0x37, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00}, 'A', 169, {3, 1, 1, 0, 0}},
        {"terminal port 2 refused",
         {0x37, 0x02, 0x07, 0x01, 0x00, 0x00, 0x00},
         'M',
         164,
         {7, 1, 0, 0, 0}},
        {"serial number", Cat({{0x10, 0x0F}, kSerialCode, Text("SN-42", 16)}), 'A', 40,
         Text("SN-42", 16)},
        {"serial, wrong code", Cat({{0x10, 0x0F}, Text("MeRiDoNaLtUbIxE!", 16), Text("X", 16)}),
         'J', 40, Text("SN-42", 16)},
        {"vendor", Cat({{0x11, 0x08}, kCode, Bytes(8, 0), Text("X", 40, ' ')}), 'A', 0,
         Text("X", 40, ' ')},
        {"vendor, wrong length byte", Cat({{0x11, 0x07}, kCode, Bytes(8, 0), Text("Y", 40, ' ')}),
         'J', 0, Text("X", 40, ' ')},
        {"model", Cat({{0x12, 0x08}, kCode, Bytes(8, 0), Text("ABCDEFGH", 8)}), 'A', 104,
         Text("ABCDEFGH", 8)},
        {"model, wrong code",
         Cat({{0x12, 0x08}, Text("ToPiLuNa", 8), Bytes(8, 0), Text("Z", 8, ' ')}), 'J', 104,
         Text("ABCDEFGH", 8)},
        {"MAC address",
         Cat({{0x17, 0x08}, kCode, Bytes(8, 0), {0x02, 0, 0, 0, 0, 0xFE}}),
         'A',
         152,
         {0x02, 0, 0, 0, 0, 0xFE}},
        {"time", Cat({{0x1D, 0x08}, kCode, {151, 7, 4, 10, 20, 30}}), 'A', 0, {}},
        {"time, month 13", Cat({{0x1D, 0x08}, kCode, {151, 13, 4, 10, 20, 30}}), 'M', 0, {}},
        {"mute beeper", {0x30}, 'A', 0, {}},
        {"short frame", {0x31}, 'M', 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Answer(c.answer), h.Ask(c.request));
        if (!c.expect.empty()) {
            Bytes s = h.Data({0x23});
            EXPECT_EQ(c.expect, Bytes(s.begin() + static_cast<long>(c.offset),
                                      s.begin() + static_cast<long>(c.offset + c.expect.size())));
        }
    }
}

TEST(SimModel, PasswordCheckAndChange) {
    CHarness h;
    struct Case {
        const char* name;
        Bytes request;
        char answer;
        bool loggedIn;
    };
    const Case cases[] = {
        {"right password", Cat({{0x14, 4}, Text("5172", 4)}), 'A', true},
        {"log out", {0x15}, 'A', false},
        {"wrong password", Cat({{0x14, 4}, Text("0000", 4)}), 'J', false},
        {"length byte disagrees", Cat({{0x14, 5}, Text("5172", 4)}), 'J', false},
        {"length over 15", Cat({{0x14, 16}, Text("0000000000000000", 16)}), 'J', false},
        {"set a new one", Cat({{0x32, 4}, Text("0000", 15)}), 'A', false},
        {"old one is gone", Cat({{0x14, 4}, Text("5172", 4)}), 'J', false},
        {"new one works", Cat({{0x14, 4}, Text("0000", 4)}), 'A', true},
        {"set with length 16", Cat({{0x32, 16}, Text("x", 15)}), 'J', true},
        {"empty password", Cat({{0x32, 0}, Text("", 15)}), 'A', true},
        {"empty check", {0x14, 0}, 'A', true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Answer(c.answer), h.Ask(c.request));
        EXPECT_EQ(c.loggedIn, h.Model().LoggedIn());
    }
    EXPECT_EQ("", h.Model().SetPassword("5172"));
    EXPECT_NE("", h.Model().SetPassword("0123456789abcdef"));
    EXPECT_EQ(Answer('A'), h.Ask(Cat({{0x14, 4}, Text("5172", 4)})));
}

TEST(SimModel, EventPagesHoldTheNewestLastInPageZero) {
    CHarness h;
    ASSERT_EQ(5, h.EventIndex());
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ("", h.Model().AddEvent(3, 0, i, ""));
    EXPECT_EQ(25, h.EventIndex());
    EXPECT_EQ(25u, Le32(h.Data({0x23}), 148));
    struct Case {
        int page, record;
        int channel; // -1: empty record
        int category;
    };
    const Case cases[] = {
        {0, 15, 19, 3}, {0, 14, 18, 3}, {0, 0, 4, 3},
        {1, 15, 3, 3},  {1, 12, 0, 3},  {1, 11, 0, 5}, // the last start-up event, Raid Powered On
        {1, 10, 1, 2},                                 // volume set 1 created
        {1, 7, 0, 5},                                  // the oldest, the first Raid Powered On
        {1, 6, -1, 0},  {3, 15, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.page) + "/" + std::to_string(c.record));
        Bytes r = h.EventRecord(c.page, c.record);
        EXPECT_EQ(c.category, r[0]);
        if (c.channel >= 0) {
            EXPECT_EQ(c.channel, r[2]);
            EXPECT_NE(0u, Le32(r, 4)) << "time stamp";
        } else {
            EXPECT_EQ(Bytes(32, 0), r);
        }
    }
    // The log keeps 64 entries; the index wraps at 64.
    for (int i = 0; i < 50; ++i)
        h.Model().AddEvent(4, 1, 0, "");
    EXPECT_EQ(75 % 64, h.EventIndex());
    EXPECT_EQ(64u, Le32(h.Data({0x23}), 148));
    EXPECT_EQ(3, h.EventRecord(3, 0)[0]); // 63 steps back lies among the device events
    EXPECT_EQ(4, h.EventRecord(0, 15)[0]);
    // Clearing empties the log but leaves the index, so no station sees phantom events.
    EXPECT_EQ(Answer('A'), h.Ask({0x24}));
    EXPECT_EQ(11, h.EventIndex());
    EXPECT_EQ(0u, Le32(h.Data({0x23}), 148));
    EXPECT_EQ(Bytes(32, 0), h.Newest());
}

TEST(SimModel, HardwareMonitorFollowsTheControlChannel) {
    CHarness h;
    const Bytes normal = {2,    4,    2,    2,    0x4E, 0x0C, 0x08, 0x0C, // fans 3150, 3080
                          0xE0, 0x2E, 0x40, 0x2F, 0x88, 0x13, 0xA2, 0x13, // 12 V, 5 V
                          0xE4, 0x0C, 0xF0, 0x0C, 0xDC, 0x05, 0xE0, 0x05, // 3.3 V, 1.5 V
                          41,   33,   0x03, 0x00};
    EXPECT_EQ(normal, h.Data({0x1B}));
    struct Case {
        const char* name;
        std::string (*change)(vrnsim::CSimModel&);
        size_t offset; // in the payload
        Bytes value;
        int eventType; // H/W MONITOR event raised, -1 none
    };
    const Case cases[] = {
        {"fan 2 stops", [](vrnsim::CSimModel& m) { return m.SetFan(2, false); }, 6, {0, 0}, 14},
        {"fan 2 runs", [](vrnsim::CSimModel& m) { return m.SetFan(2, true); }, 6, {0x08, 0x0C}, 32},
        {"power 1 fails",
         [](vrnsim::CSimModel& m) { return m.SetPower(1, false); },
         26,
         {0x02},
         11},
        {"power 1 back", [](vrnsim::CSimModel& m) { return m.SetPower(1, true); }, 26, {0x03}, 29},
        {"12 V high",
         [](vrnsim::CSimModel& m) { return m.SetRail(1, 13300); },
         10,
         {0xF4, 0x33},
         7},
        {"12 V still high",
         [](vrnsim::CSimModel& m) { return m.SetRail(1, 13250); },
         10,
         {0xC2, 0x33},
         -1},
        {"12 V at the bound is normal",
         [](vrnsim::CSimModel& m) { return m.SetRail(1, 13200); },
         10,
         {0x90, 0x33},
         25},
        {"12 V high again",
         [](vrnsim::CSimModel& m) { return m.SetRail(1, 13300); },
         10,
         {0xF4, 0x33},
         7},
        {"12 V back",
         [](vrnsim::CSimModel& m) { return m.SetRail(1, 12000); },
         10,
         {0xE0, 0x2E},
         25},
        {"3.3 V low", [](vrnsim::CSimModel& m) { return m.SetRail(3, 2900); }, 18, {0x54, 0x0B}, 5},
        {"controller hot", [](vrnsim::CSimModel& m) { return m.SetTemp(1, 75); }, 24, {75}, 2},
        {"backplane cools", [](vrnsim::CSimModel& m) { return m.SetTemp(2, 30); }, 25, {30}, -1},
        {"UPS on battery", [](vrnsim::CSimModel& m) { return m.SetUps(1); }, 27, {1}, 19},
        {"UPS recovered", [](vrnsim::CSimModel& m) { return m.SetUps(0); }, 27, {0}, 37},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int before = h.EventIndex();
        ASSERT_EQ("", c.change(h.Model()));
        Bytes p = h.Data({0x1B});
        EXPECT_EQ(c.value, Bytes(p.begin() + static_cast<long>(c.offset),
                                 p.begin() + static_cast<long>(c.offset + c.value.size())));
        if (c.eventType >= 0) {
            EXPECT_EQ(before + 1, h.EventIndex());
            EXPECT_EQ(5, h.Newest()[0]);
            EXPECT_EQ(c.eventType, h.Newest()[1]);
        } else {
            EXPECT_EQ(before, h.EventIndex());
        }
    }
    for (auto bad : {+[](vrnsim::CSimModel& m) { return m.SetFan(0, false); },
                     +[](vrnsim::CSimModel& m) { return m.SetFan(3, false); },
                     +[](vrnsim::CSimModel& m) { return m.SetPower(3, true); },
                     +[](vrnsim::CSimModel& m) { return m.SetRail(5, 1); },
                     +[](vrnsim::CSimModel& m) { return m.SetTemp(1, 300); },
                     +[](vrnsim::CSimModel& m) { return m.AddEvent(256, 0, 0, ""); }})
        EXPECT_NE("", bad(h.Model()));
}

TEST(SimModel, AlarmsSoundTheBeeperUntilMuted) {
    CHarness h;
    struct Step {
        const char* name;
        Bytes request; // empty: the change below instead
        std::string (*change)(vrnsim::CSimModel&);
        bool beeping;
    };
    const Step steps[] = {
        {"information event",
         {},
         [](vrnsim::CSimModel& m) { return m.AddEvent(4, 0, 0, ""); },
         false},
        {"fan stops", {}, [](vrnsim::CSimModel& m) { return m.SetFan(1, false); }, true},
        {"mute", {0x30}, nullptr, false},
        {"beeper off", {0x31, 0x00}, nullptr, false},
        {"drive fails while the beeper is off",
         {},
         [](vrnsim::CSimModel& m) { return m.SetDrive(0, "fail"); },
         false},
        {"beeper on", {0x31, 0x01}, nullptr, false},
        {"volume fails", {}, [](vrnsim::CSimModel& m) { return m.SetVolume(1, true); }, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.change) {
            ASSERT_EQ("", s.change(h.Model()));
        } else {
            ASSERT_EQ(Answer('A'), h.Ask(s.request));
        }
        EXPECT_EQ(s.beeping, h.Model().Beeping());
    }
}

TEST(SimModel, ResetLogsAPowerOnAndEndsTheSession) {
    CHarness h;
    EXPECT_EQ(Answer('A'), h.Ask(Cat({{0x14, 4}, Text("5172", 4)})));
    EXPECT_EQ(Answer('A'), h.Ask({0x36}));
    EXPECT_FALSE(h.Model().LoggedIn());
    EXPECT_EQ(Bytes({5, 38}), Head(h.Newest(), 2));
}

} // namespace
