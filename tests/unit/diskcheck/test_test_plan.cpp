// The volume definitions of a plan and their checks, shared by the dialog and vrndiskcheck.
#include "TestPlan.h"
#include "VolumeSpec.h"

#include "StringTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

SVolumeChoice At(int channel, int id, int lun, double capacity = 10) {
    SVolumeChoice c;
    c.capacity = capacity;
    c.channel = channel;
    c.id = id;
    c.lun = lun;
    return c;
}

TEST(VolumeCapacity, FromATenthOfAGigabyteToWhatThirtyTwoBitsOfSectorsHold) {
    struct SCase {
        double capacity;
        bool valid;
    };
    const SCase cases[] = {
        {0.05, false},
        {0.0999, false},
        {0.1, true},
        {100, true},
        {2199.0199, true},  // 4294960742 sectors
        {2199.02, false},   // 4294960937 sectors: the round bound, a few MB short of 2^32
        {2199.0232, false}, // 4294967187 sectors
        {2199.0233, false}, // 4294967382 sectors: would be sent as 86
        {4398.05, false},   // would be sent as a tiny volume
        {1e30, false},
        {-5, false},
        {std::numeric_limits<double>::quiet_NaN(), false},
        {std::numeric_limits<double>::infinity(), false},
    };
    CTestPlan plan;
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.capacity);
        EXPECT_EQ(VolumeCapacityValid(tc.capacity), tc.valid);
        EXPECT_EQ(plan.CheckVolume(At(0, 0, 0, tc.capacity)) == EVolumeCheck::InvalidCapacity,
                  !tc.valid);
    }
}

TEST(TestPlan, FiveDefinitionsAtMostAndFreedSlotsAreReused) {
    CTestPlan plan;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(plan.AddVolume(At(0, i, 0)), i);
    EXPECT_EQ(plan.VolumeCount(), 5);
    EXPECT_EQ(plan.AddVolume(At(1, 0, 0)), -1); // "Too many volume"
    EXPECT_EQ(plan.VolumeCount(), 5);
    EXPECT_TRUE(plan.DeleteVolume(3));
    EXPECT_FALSE(plan.DeleteVolume(3));
    EXPECT_FALSE(plan.DeleteVolume(7));
    EXPECT_EQ(plan.VolumeCount(), 4);
    EXPECT_EQ(plan.AddVolume(At(1, 0, 0)), 3);
    EXPECT_EQ(plan.volumes[3].channel, 1);
    EXPECT_EQ(plan.volumes[4].id, 4); // the others are untouched
}

TEST(TestPlan, AddressInUseIsRefusedUntilItsDefinitionGoes) {
    CTestPlan plan;
    ASSERT_EQ(plan.AddVolume(At(0, 0, 0)), 0);
    ASSERT_EQ(plan.AddVolume(At(1, 15, 7)), 1);
    EXPECT_EQ(plan.CheckVolume(At(0, 0, 0)), EVolumeCheck::DuplicateAddress);
    EXPECT_EQ(plan.CheckVolume(At(1, 15, 7)), EVolumeCheck::DuplicateAddress);
    EXPECT_EQ(plan.CheckVolume(At(1, 0, 0)), EVolumeCheck::Ok);
    EXPECT_EQ(plan.CheckVolume(At(0, 0, 1)), EVolumeCheck::Ok);
    // The capacity is checked first.
    EXPECT_EQ(plan.CheckVolume(At(0, 0, 0, 0.05)), EVolumeCheck::InvalidCapacity);
    plan.DeleteVolume(0);
    EXPECT_EQ(plan.CheckVolume(At(0, 0, 0)), EVolumeCheck::Ok);
}

TEST(TestPlan, DefaultNamesRunOnAfterDeletions) {
    CStringTable::SetLanguage(ELanguage::English);
    CTestPlan plan;
    EXPECT_EQ(plan.DefaultVolumeName(), "Volume Set # 00");
    plan.AddVolume(At(0, 0, 0));
    plan.AddVolume(At(0, 1, 0));
    EXPECT_EQ(plan.DefaultVolumeName(), "Volume Set # 02");
    plan.DeleteVolume(1);
    plan.DeleteVolume(0);
    EXPECT_EQ(plan.DefaultVolumeName(), "Volume Set # 02");
    plan.AddVolume(At(0, 0, 0));
    EXPECT_EQ(plan.RunningNumber(), 3);
    EXPECT_EQ(plan.DefaultVolumeName(), "Volume Set # 03");
}

TEST(MakeVolumeDefinition, NameIsBlankPaddedAndCodesAreTheListIndices) {
    struct SCase {
        std::string name;
        const char* field; // 16 bytes
    };
    const SCase cases[] = {
        {"", "                "},
        {"Data", "Data            "},
        {"0123456789ABCDEF", "0123456789ABCDEF"},
    };
    for (const SCase& tc : cases) {
        SVolumeChoice c = At(1, 9, 6, 2.5);
        c.name = tc.name;
        c.raidLevel = 4;
        c.initMode = 0;
        c.stripe = 5;
        c.cache = 0;
        c.tag = 0;
        c.speed = 2;
        const _VOLUMESET_CAP def = MakeVolumeDefinition(c);
        EXPECT_EQ(def.structs_size, 44u);
        EXPECT_EQ(def.raid, 0);
        EXPECT_EQ(std::string(def.volname, 16), tc.field);
        EXPECT_EQ(def.capacity, 2.5);
        EXPECT_EQ(def.raidlevel, 4);
        EXPECT_EQ(def.quickinit, 0);
        EXPECT_EQ(def.stripsize, 5);
        EXPECT_EQ(def.cache, 0);
        EXPECT_EQ(def.tag, 0);
        EXPECT_EQ(def.speed, 2);
        EXPECT_EQ(def.channel, 1);
        EXPECT_EQ(def.id, 9);
        EXPECT_EQ(def.lun, 6);
    }
}

TEST(VolumeRowTexts, ColumnsOfTheVolumeList) {
    CStringTable::SetLanguage(ELanguage::English);
    SVolumeChoice c = At(1, 12, 3, 2.5);
    c.name = "Archive";
    EXPECT_EQ(VolumeRowTexts(MakeVolumeDefinition(c)),
              (std::array<std::string, 9>{"Archive", "RAID5", " 2.5 GB", "Foreground Initialize",
                                          "64K", "Write Back", "Enabled", "160MB/Sec", "1:12:3"}));
    c.raidLevel = 1;
    c.initMode = 0;
    c.stripe = 0;
    c.cache = 0;
    c.tag = 0;
    c.speed = 0;
    c.capacity = 1500;
    EXPECT_EQ(
        VolumeRowTexts(MakeVolumeDefinition(c)),
        (std::array<std::string, 9>{"Archive", "RAID1(0+1)", "1500.0 GB", "Background Initialize",
                                    "4K", "Write Through", "Disabled", "Async", "1:12:3"}));
}

TEST(ParseVolumeSpec, AcceptsTheDialogsChoicesInWords) {
    struct SCase {
        const char* text;
        bool ok;
        SVolumeChoice expect;
    };
    auto choice = [](const char* name, double gb, int level, int init, int stripe, int cache,
                     int tag, int speed, int ch, int id, int lun) {
        SVolumeChoice c;
        c.name = name;
        c.capacity = gb;
        c.raidLevel = level;
        c.initMode = init;
        c.stripe = stripe;
        c.cache = cache;
        c.tag = tag;
        c.speed = speed;
        c.channel = ch;
        c.id = id;
        c.lun = lun;
        return c;
    };
    const SCase cases[] = {
        {"Data,100", true, choice("Data", 100, 3, 1, 4, 1, 1, 4, 0, 0, 0)},
        {",0.5", true, choice("", 0.5, 3, 1, 4, 1, 1, 4, 0, 0, 0)},
        {"A,1,1(0+1),background,128,through,disabled,async,1:15:7", true,
         choice("A", 1, 1, 0, 5, 0, 0, 0, 1, 15, 7)},
        {"B,2,0,,4,,,20", true, choice("B", 2, 0, 1, 0, 1, 1, 1, 0, 0, 0)},
        {"C,3,6,,,,,,0:3:0", true, choice("C", 3, 4, 1, 4, 1, 1, 4, 0, 3, 0)},
        {"D,3,1", true, choice("D", 3, 1, 1, 4, 1, 1, 4, 0, 0, 0)},
        {"Data", false, {}},
        {"Data,", false, {}},
        {"Data,12GB", false, {}},
        {"0123456789ABCDEFG,1", false, {}},
        {"E,1,2", false, {}},
        {"E,1,5,fast", false, {}},
        {"E,1,5,,96", false, {}},
        {"E,1,5,,,,,320", false, {}},
        {"E,1,5,,,,,,2:0:0", false, {}},
        {"E,1,5,,,,,,0:16:0", false, {}},
        {"E,1,5,,,,,,0:0:8", false, {}},
        {"E,1,5,,,,,,0:0", false, {}},
        {"E,1,5,,,,,,0:0:0,extra", false, {}},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.text);
        SVolumeChoice got;
        std::string why;
        ASSERT_EQ(ParseVolumeSpec(tc.text, &got, &why), tc.ok) << why;
        if (!tc.ok) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        const _VOLUMESET_CAP a = MakeVolumeDefinition(got);
        const _VOLUMESET_CAP b = MakeVolumeDefinition(tc.expect);
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    }
}

} // namespace
