// Raid sets, volume sets, hot spares and pass-through disks: what the controller accepts,
// what it refuses, and how records and events follow.
#include "SimModelHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

Bytes Mask(uint32_t m) {
    return {static_cast<uint8_t>(m), static_cast<uint8_t>(m >> 8), static_cast<uint8_t>(m >> 16),
            static_cast<uint8_t>(m >> 24)};
}

Bytes CreateRaid(uint32_t mask, const std::string& name = "") {
    return Cat({{0x50}, Mask(mask), Text(name, 16)});
}

// Volume creation request: raid set, name, sectors, level, stripe, channel, id, lun, tag,
// cache, speed, quick init.
Bytes CreateVol(uint8_t raid, const std::string& name, uint32_t sectors, uint8_t level, uint8_t lun,
                uint8_t quick = 1, uint8_t ch = 0, uint8_t id = 0) {
    return Cat({{0x60, raid},
                Text(name, 16),
                Mask(sectors),
                Bytes(4, 0),
                {level, 4, ch, id, lun, 1, 1, 4, quick, 0}});
}

uint8_t RaidNumberOf(CHarness& h, uint8_t drive) {
    return h.Data({0x22, drive})[81];
}
uint8_t StateOf(CHarness& h, uint8_t drive) {
    return h.Data({0x22, drive})[76];
}

TEST(SimArrays, RequestsAreAcceptedOrRefusedByTheModelState) {
    CHarness h;
    // Free drives 4-7 hold 488397168 sectors each; RAID5 on three of them has 976794336.
    struct Case {
        const char* name;
        Bytes request;
        char answer;
    };
    const Case cases[] = {
        {"raid set from a member drive", CreateRaid(0x01), 'M'},
        {"raid set without drives", CreateRaid(0), 'M'},
        {"raid set beyond the drive slots", CreateRaid(0x100), 'M'},
        {"raid set from drives 4-6", CreateRaid(0x70, "Fresh"), 'A'},
        {"drive 6 again", CreateRaid(0x40), 'M'},
        {"hot spare drive 7", Cat({{0x54}, Mask(0x80)}), 'A'},
        {"hot spare drive 7 again", Cat({{0x54}, Mask(0x80)}), 'M'},
        {"raid set from the hot spare", CreateRaid(0x80), 'M'},
        {"drop hot spare 7", Cat({{0x55}, Mask(0x80)}), 'A'},
        {"drop a drive that is no hot spare", Cat({{0x55}, Mask(0x80)}), 'M'},
        {"RAID6 needs four members", CreateVol(1, "v6", 1000, 4, 0), 'M'},
        {"too big", CreateVol(1, "big", 976794337u, 3, 0), 'M'},
        {"level 5 code", CreateVol(1, "bad", 1000, 5, 0), 'M'},
        {"SCSI address of volume 0", CreateVol(1, "dup", 1000, 3, 0), 'M'},
        {"no such raid set", CreateVol(5, "none", 1000, 3, 4), 'M'},
        {"all the room", CreateVol(1, "all", 976794336u, 3, 4), 'A'},
        {"nothing left", CreateVol(1, "more", 1, 3, 5), 'M'},
        {"pass-through drive 7", {0x40, 7, 0, 3, 0, 1, 1, 4}, 'A'},
        {"pass-through on volume 0's address", {0x41, 7, 0, 0, 0, 1, 1, 4}, 'M'},
        {"pass-through moved", {0x41, 7, 0, 4, 0, 1, 1, 4}, 'A'},
        {"pass-through on a member", {0x40, 1, 0, 5, 0, 1, 1, 4}, 'M'},
        {"drop pass-through 7", {0x42, 7}, 'A'},
        {"drop it again", {0x42, 7}, 'M'},
        {"check volume 0", {0x63, 0}, 'A'},
        {"check it twice", {0x63, 0}, 'M'},
        {"stop the check", {0x64, 0}, 'A'},
        {"stop with nothing running", {0x64, 0}, 'M'},
        {"check an initialising volume", {0x63, 2}, 'M'},
        {"activate raid set 1", {0x53, 1}, 'A'},
        {"activate an unused raid set", {0x53, 6}, 'M'},
        {"delete unused volume", {0x62, 9}, 'M'},
        {"short create", {0x50, 0x0F}, 'M'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Answer(c.answer), h.Ask(c.request));
    }
}

TEST(SimArrays, CreatingAndDeletingMovesDrivesAndLogsEvents) {
    CHarness h;
    int index = h.EventIndex();
    ASSERT_EQ(Answer('A'), h.Ask(CreateRaid(0xF0)));
    EXPECT_EQ(index + 1, h.EventIndex());
    Bytes ev = h.Newest();
    EXPECT_EQ(Bytes({1, 0, 1}),
              Bytes(ev.begin(), ev.begin() + 3)); // RAIDSET, Create RaidSet, set 1
    EXPECT_EQ(Text("Raid Set # 01", 16), Bytes(ev.begin() + 16, ev.end()));
    for (uint8_t d = 4; d < 8; ++d) {
        EXPECT_EQ(1, RaidNumberOf(h, d));
        EXPECT_EQ(0x01, StateOf(h, d));
    }
    Bytes rs = h.Data({0x20, 1});
    EXPECT_EQ(Text("Raid Set # 01", 16), Bytes(rs.begin(), rs.begin() + 16));
    EXPECT_EQ(Bytes({4, 5, 6, 7, 0}), Bytes(rs.begin() + 28, rs.begin() + 33));
    EXPECT_EQ(4, rs[60]);
    EXPECT_EQ(4, rs[61]);
    EXPECT_EQ(4u * 488397168u, Le32(rs, 16));

    ASSERT_EQ(Answer('A'), h.Ask(CreateVol(1, "", 195312500, 3, 7)));
    Bytes vol = h.Data({0x21, 2});
    EXPECT_EQ(Text("Volume Set # 02", 16), Bytes(vol.begin(), vol.begin() + 16));
    EXPECT_EQ(195312500u, Le32(vol, 16));
    EXPECT_EQ(1, vol[58]);
    EXPECT_EQ(3, vol[55]);
    EXPECT_EQ(Bytes({0, 0, 7, 1, 1, 4}), Bytes(vol.begin() + 48, vol.begin() + 54));
    EXPECT_EQ(index + 3, h.EventIndex()); // Create Volume, Start Initialize
    EXPECT_EQ(Bytes({2, 0, 2}), Head(h.Newest(), 3));
    EXPECT_EQ(1, h.Data({0x20, 1})[63]);
    EXPECT_EQ(2, h.Data({0x20, 1})[64]);

    // Deleting the raid set takes its volume set with it and frees the drives.
    ASSERT_EQ(Answer('A'), h.Ask({0x51, 1}));
    EXPECT_EQ(index + 5, h.EventIndex());
    EXPECT_EQ(Bytes({1, 1, 1}), Head(h.Newest(), 3));
    EXPECT_EQ(Bytes({2, 9, 2}), Head(h.EventRecord(0, 14), 3));
    EXPECT_EQ(0, h.Data({0x21, 2})[54]);
    for (uint8_t d = 4; d < 8; ++d) {
        EXPECT_EQ(0xFF, RaidNumberOf(h, d));
        EXPECT_EQ(0x08, StateOf(h, d));
    }
    EXPECT_EQ(0, h.Data({0x20, 1})[61]);
}

TEST(SimArrays, InitialisationProgressesWithScaledTime) {
    // time scale 0.1: foreground initialisation of 30 s takes 3 s, background 6 s.
    CHarness h(0.1);
    ASSERT_EQ(Answer('A'), h.Ask(CreateRaid(0xF0)));
    ASSERT_EQ(Answer('A'), h.Ask(CreateVol(1, "fg", 1000000, 3, 4, 1)));
    ASSERT_EQ(Answer('A'), h.Ask(CreateVol(1, "bg", 1000000, 3, 5, 0)));
    struct Step {
        int64_t advanceMs;
        uint32_t fgStatus, fgProgress;
        uint32_t bgStatus, bgProgress;
    };
    const Step steps[] = {
        {0, 1, 0, 1, 0},     {1500, 1, 500, 1, 250}, {1200, 1, 900, 1, 450},
        {300, 0, 0, 1, 500}, {3000, 0, 0, 0, 0},
    };
    int64_t t = 0;
    for (const Step& s : steps) {
        h.Advance(s.advanceMs);
        t += s.advanceMs;
        SCOPED_TRACE(t);
        Bytes fg = h.Data({0x21, 2});
        Bytes bg = h.Data({0x21, 3});
        EXPECT_EQ(s.fgStatus, Le32(fg, 40));
        EXPECT_EQ(s.fgProgress, Le32(fg, 44));
        EXPECT_EQ(s.bgStatus, Le32(bg, 40));
        EXPECT_EQ(s.bgProgress, Le32(bg, 44));
    }
    // Each completion is logged.
    EXPECT_EQ(Bytes({2, 4, 3}), Head(h.Newest(), 3));
    EXPECT_EQ(Bytes({2, 4, 2}), Head(h.EventRecord(0, 14), 3));
}

TEST(SimArrays, FailingDrivesDegradeThenFailVolumes) {
    CHarness h;
    struct Step {
        const char* name;
        int drive;
        const char* how;
        uint8_t raidState;
        uint32_t failMask;
        uint32_t volStatus;        // volume set 0, RAID5
        std::vector<Bytes> events; // category, type, channel; oldest first
    };
    const Step steps[] = {
        {"drive 1 fails", 1, "fail", 1, 0x02, 0x08, {{3, 7, 1}, {1, 4, 0}, {2, 11, 0}, {2, 11, 1}}},
        {"drive 2 removed", 2, "remove", 2, 0x06, 0x02, {{3, 1, 2}, {2, 12, 0}, {2, 12, 1}}},
        {"drive 2 back",
         2,
         "insert",
         1,
         0x02,
         0x08,
         {{3, 0, 2}, {2, 13, 0}, {2, 11, 0}, {2, 13, 1}, {2, 11, 1}}},
        {"drive 1 healed",
         1,
         "ok",
         0,
         0,
         0,
         {{1, 3, 0}, {2, 1, 0}, {2, 5, 0}, {2, 1, 1}, {2, 5, 1}}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        int before = h.EventIndex();
        ASSERT_EQ("", h.Model().SetDrive(s.drive, s.how));
        Bytes rs = h.Data({0x20, 0});
        EXPECT_EQ(s.raidState, rs[62]);
        EXPECT_EQ(s.failMask, Le32(rs, 24));
        Bytes vol = h.Data({0x21, 0});
        EXPECT_EQ(s.failMask, Le32(vol, 24));
        EXPECT_EQ(s.volStatus, Le32(vol, 40));
        ASSERT_EQ(before + static_cast<int>(s.events.size()), h.EventIndex());
        for (size_t i = 0; i < s.events.size(); ++i) {
            Bytes ev = h.EventRecord(0, 15 - static_cast<int>(s.events.size() - 1 - i));
            EXPECT_EQ(s.events[i], Bytes(ev.begin(), ev.begin() + 3)) << "event " << i;
        }
    }
    EXPECT_EQ(0x01, StateOf(h, 1));
    ASSERT_EQ("", h.Model().SetDrive(3, "fail"));
    EXPECT_EQ(0x11, StateOf(h, 3));
    // A volume failed by hand reports bit 1 with a fail mask the monitor can see.
    ASSERT_EQ("", h.Model().SetVolume(1, true));
    Bytes v1 = h.Data({0x21, 1});
    EXPECT_NE(0u, Le32(v1, 24));
    EXPECT_EQ(0x02u, Le32(v1, 40) & 0x02);
    EXPECT_NE("", h.Model().SetVolume(5, true));
    EXPECT_NE("", h.Model().SetDrive(8, "fail"));
    EXPECT_NE("", h.Model().SetDrive(0, "explode"));
}

} // namespace
