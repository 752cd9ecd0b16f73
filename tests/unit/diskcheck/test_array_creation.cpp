// The creation step: raid set over the free drives, the plan's volume sets on it, and the
// initialisation watch.
#include "FakeController.h"

#include <gtest/gtest.h>

namespace {

const std::string kSection =
    "<table border=\"1\" width=\"55%\" id=\"table1\">\r\n\t\t\t\t<tr>\r\n"
    "\t\t\t\t<td bgcolor=\"#FFFF00\"><font color=\"#800000\">RaidSet & "
    "VolumeSet(s) Creation</font></td>\r\n\t\t\t\t</tr>\r\n\t\t\t\t</table>\r\n";

SVolumeChoice Volume(int id) {
    SVolumeChoice c;
    c.name = "Vol" + std::to_string(id);
    c.capacity = 10;
    c.id = id;
    return c;
}

TEST(CreateRaidAndVolumeSets, OutcomesByControllerAnswer) {
    struct SCase {
        const char* name;
        std::function<void(CFakeController&, CTestPlan&)> setup;
        int result;
        size_t raidSetCalls;
        std::vector<std::string> lines;
        std::vector<int> volumeRaids; // raid set of each volume sent
    };
    auto twoSlots = [](CTestPlan& p) { // slots 0 and 2 in use, 1 deleted
        p.AddVolume(Volume(0));
        p.AddVolume(Volume(1));
        p.AddVolume(Volume(2));
        p.DeleteVolume(1);
    };
    const SCase cases[] = {
        {"volumes go on the raid set just made",
         [&](CFakeController& c, CTestPlan& p) {
             c.newRaidNumber = 3;
             twoSlots(p);
         },
         1,
         1,
         {"RaidSet created!!", "VolumeSet[0] created", "VolumeSet[2] created"},
         {3, 3}},
        {"a refused volume does not keep the next from being made",
         [&](CFakeController& c, CTestPlan& p) {
             c.volumeStatuses = {8};
             twoSlots(p);
         },
         1,
         1,
         {"RaidSet created!!", "Failed to create VolumeSet, error code = 8",
          "VolumeSet[2] created"},
         {1, 1}},
        {"wrong controller password: nothing is made",
         [&](CFakeController& c, CTestPlan& p) {
             c.password = "0000";
             twoSlots(p);
         },
         0,
         0,
         {"Invalid Password"},
         {}},
        {"refused raid set: no volume is tried",
         [&](CFakeController& c, CTestPlan& p) {
             c.raidStatus = 0x4B;
             twoSlots(p);
         },
         0,
         1,
         {"Failed to create RaidSet, error code = 4B"},
         {}},
        {"new raid set not to be found: no volume is made",
         [&](CFakeController& c, CTestPlan& p) {
             c.hideNewRaidNumber = true;
             twoSlots(p);
         },
         0,
         1,
         {"RaidSet created!!", "The new RaidSet could not be found; no VolumeSet created"},
         {}},
        {"no volume defined: the raid set alone",
         [](CFakeController&, CTestPlan&) {},
         1,
         1,
         {"RaidSet created!!"},
         {}},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        SJobHarness h;
        h.controller->drives = {{1, SFakeDrive{}}, {2, SFakeDrive{}}, {4, SFakeDrive{}}};
        tc.setup(*h.controller, h.plan);
        ScanFreeDrives(h.Job());
        const std::string scanned = h.Page();
        EXPECT_EQ(CreateRaidAndVolumeSets(h.Job()), tc.result);
        std::string expected = scanned + kSection;
        for (const std::string& l : tc.lines)
            expected += Para(l);
        EXPECT_EQ(h.Page(), expected);
        EXPECT_EQ(h.controller->Calls("password"), std::vector<std::string>{"password 5172"});
        EXPECT_EQ(h.controller->Calls("raidset").size(), tc.raidSetCalls);
        std::vector<int> raids;
        for (const _VOLUMESET_CAP& v : h.controller->created)
            raids.push_back(v.raid);
        EXPECT_EQ(raids, tc.volumeRaids);
        if (!h.controller->Calls("raidset").empty()) {
            EXPECT_EQ(h.controller->Calls("raidset").front(),
                      "raidset 22"); // drives 1, 2, 4; no name
        }
        EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE).front(), "Creating RaidSet & VolumeSet");
        EXPECT_EQ(h.progress.Column(TEST_COLUMN_PROGRESS).front(), "Waiting...");
    }
}

TEST(CreateRaidAndVolumeSets, WatchesEveryInitialisingVolumeToItsEnd) {
    SJobHarness h;
    h.controller->drives = {{0, SFakeDrive{}}};
    h.controller->initProgress[1] = {0, 505, 5000};
    h.controller->initProgress[3] = {10, 20, 30, 40};
    h.controller->volumeInfoFailsAfter[3] = 2; // the third reading of volume 3 fails
    ScanFreeDrives(h.Job());
    EXPECT_EQ(CreateRaidAndVolumeSets(h.Job()), 1);
    EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE),
              (std::vector<std::string>{"Creating RaidSet & VolumeSet", "Volume[1] initializing\n",
                                        "Volume[3] initializing\n"}));
    EXPECT_EQ(h.progress.Column(TEST_COLUMN_PROGRESS),
              (std::vector<std::string>{"Waiting...", "  0 %", "50.5 %", "100.0 %", "0.0 %",
                                        "  0 %", "2.0 %"}));
    EXPECT_EQ(h.controller->Calls("volinfo").size(), 1u + 4u + 1u + 3u + 1u);
}

TEST(CreateRaidAndVolumeSets, StopEndsTheWatch) {
    SJobHarness h;
    h.controller->drives = {{0, SFakeDrive{}}};
    h.controller->initProgress[0] = std::deque<unsigned>(100000, 10);
    h.clock.onSleep = [&](long) {
        if (h.clock.Sleeps() == 50)
            h.stopSource.request_stop();
    };
    ScanFreeDrives(h.Job());
    EXPECT_EQ(CreateRaidAndVolumeSets(h.Job()), 0);
    EXPECT_EQ(h.clock.Sleeps(), 50);
    EXPECT_EQ(h.clock.NowMs(), 50); // one millisecond between readings
}

} // namespace
