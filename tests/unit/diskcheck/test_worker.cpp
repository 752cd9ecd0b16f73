// A whole job and a whole run: the order of the steps, the page around them, the rows, and
// stopping.
#include "FakeController.h"

#include <gtest/gtest.h>

#include "ReportPage.h"

#include <atomic>
#include <future>

namespace {

TEST(TestAgentThread, StepsRunInOrderAndOnlyThoseChosen) {
    struct SCase {
        const char* name;
        int offline, selfTest, percentage;
        std::vector<std::string> steps; // column 1 texts, in order
    };
    const SCase cases[] = {
        {"no test: scan, then creation", 0, 0, 0, {"Creating RaidSet & VolumeSet", "Done"}},
        {"every test",
         1,
         1,
         10,
         {"Off-line data collection", "Off-line self-test(short)", "Read/Write Test",
          "Creating RaidSet & VolumeSet", "Done"}},
        {"self-test and surface test",
         0,
         1,
         100,
         {"Off-line self-test(short)", "Read/Write Test", "Creating RaidSet & VolumeSet", "Done"}},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        SJobHarness h;
        h.controller->drives = {{0, SFakeDrive{}}, {3, SFakeDrive{}}};
        h.plan.OfflineCollection = tc.offline;
        h.plan.SelfTest = tc.selfTest;
        h.plan.Percentage = tc.percentage;
        h.RunWorker();
        EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE), tc.steps);
        EXPECT_EQ(h.progress.Column(TEST_COLUMN_PROGRESS).back(), "Done");
        EXPECT_TRUE(h.Job().Completed);
        EXPECT_EQ(h.controller->createdRaidMask, 0x9u);
        EXPECT_EQ(h.controller->Calls("smart").empty(),
                  !tc.offline && !tc.selfTest && !tc.percentage);
        const std::string page = h.Page();
        EXPECT_EQ(page.substr(page.size() - 18), "</body>\r\n</html>\r\n");
    }
}

TEST(TestAgentThread, FailedStepEndsTheJobBeforeCreation) {
    SJobHarness h;
    h.controller->drives = {{0, SFakeDrive{}}};
    h.controller->sysInfoFailures = {3}; // start, scan, then the collection step's read
    h.plan.OfflineCollection = 1;
    h.plan.SelfTest = 1;
    h.RunWorker();
    EXPECT_FALSE(h.Job().Completed);
    EXPECT_TRUE(h.controller->Calls("raidset").empty());
    EXPECT_TRUE(h.controller->Calls("password").empty());
    EXPECT_TRUE(
        Contains(h.Page(), Para("Failed to get system information") + "</body>\r\n</html>\r\n"));
}

TEST(TestAgentThread, AgentWithoutSystemInformationGetsOnlyThePageEnd) {
    SJobHarness h;
    h.controller->drives = {{0, SFakeDrive{}}};
    h.controller->sysInfoFailures = {1};
    h.RunWorker();
    EXPECT_EQ(h.Page(), "</body>\r\n</html>\r\n");
    EXPECT_FALSE(h.Job().Completed);
    EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE), std::vector<std::string>{"Done"});
    EXPECT_EQ(h.controller->Calls("drive").size(), 0u);
}

TEST(TestAgentThread, PageHeadCarriesTheControllerAndTheStartTime) {
    SJobHarness h;
    h.controller->serial = "S<1>&2";
    h.controller->vendor = std::string(40, 'V'); // full width: no terminating zero
    SFakeDrive d;
    d.capacity = 156301488;
    d.model = "Model<A>";
    d.serial = std::string(20, '9');
    d.firmware = "F&W";
    h.controller->drives = {{1, d}};
    h.RunWorker();
    const std::string page = h.Page();
    const std::string row = "<td><font face=\"Arial\" color=\"#800080\">";
    EXPECT_TRUE(Contains(page, "<table border=\"1\" width=\"60%c\" id=\"table1\">\r\n<tr>"));
    EXPECT_TRUE(Contains(page, row + "127.0.0.9</font></td>"));
    EXPECT_TRUE(Contains(page, row + "S&lt;1&gt;&amp;2</font></td>"));
    EXPECT_TRUE(Contains(page, row + std::string(40, 'V') + "</font></td>"));
    EXPECT_TRUE(Contains(page, row + "2004/05/05  14:07:09</font></td>"));
    EXPECT_TRUE(Contains(page, "Model Name: Model&lt;A&gt;</font>"));
    EXPECT_TRUE(Contains(page, "Serial Number: " + std::string(20, '9') + "</font>"));
    EXPECT_TRUE(Contains(page, "Firmware Revision: F&amp;W</font>"));
    EXPECT_TRUE(Contains(page, "Capacity: 80.0G</font>"));
}

// Runs the whole of CDiskCheckRun over two agents on the fake controller.
struct SRunHarness {
    SRunHarness() {
        for (int i = 0; i < 2; ++i) {
            controllers.push_back(std::make_shared<CFakeController>(clock));
            controllers.back()->drives = {{0, SFakeDrive{}}};
            plan.agents.push_back({"127.0.0." + std::to_string(20 + i), controllers.back()});
        }
    }
    CFakeClock clock;
    std::vector<std::shared_ptr<CFakeController>> controllers;
    CTestPlan plan;
    CRecordedProgress progress;
    CScratchDir dir;
};

TEST(DiskCheckRun, EveryRowExistsBeforeAnyWorkerWrites) {
    SRunHarness r;
    r.controllers[0]->sysInfoFailures = {1};
    CDiskCheckRun run(r.plan, r.progress, r.clock, r.dir.Path(), ELanguage::English);
    run.Start();
    run.Wait();
    const auto entries = r.progress.Entries();
    ASSERT_GE(entries.size(), 6u);
    for (int row = 0; row < 2; ++row) {
        const size_t at = static_cast<size_t>(row) * 3;
        EXPECT_EQ(entries[at].column, -1);
        EXPECT_EQ(entries[at].text, "127.0.0." + std::to_string(20 + row));
        EXPECT_EQ(entries[at + 1].text, "waiting...");
        EXPECT_EQ(entries[at + 2].text, "waiting...");
    }
    // The agent that could not be read ends on its own row, not on the other's.
    int doneRow0 = 0, doneRow1 = 0;
    for (const auto& e : entries) {
        doneRow0 += e.row == 0 && e.text == "Done";
        doneRow1 += e.row == 1 && e.text == "Done";
    }
    EXPECT_EQ(doneRow0, 2);
    EXPECT_EQ(doneRow1, 2);
    EXPECT_FALSE(run.Completed(0));
    EXPECT_TRUE(run.Completed(1));
    EXPECT_FALSE(run.AllCompleted());
    EXPECT_EQ(ReadFile(r.dir.Path() / "127.0.0.20.html"), "</body>\r\n</html>\r\n");
    const std::string index = ReadFile(r.dir.Path() / INDEX_PAGE_NAME);
    EXPECT_TRUE(Contains(index,
                         "<a href=\"127.0.0.20.html\">127.0.0.20</a></td>\r\n\t\t\t\t\t</tr>\r\n"
                         "<tr>\r\n\t\t\t\t\t<td><a href=\"127.0.0.21.html\">127.0.0.21</a>"));
}

TEST(DiskCheckRun, StopEndsEveryWorkerAndClosesItsPage) {
    SRunHarness r;
    r.plan.SelfTest = 1;
    r.plan.SelfTestType = SELF_TEST_EXTENDED;
    std::promise<void> waiting;
    std::atomic<int> sleepers{0};
    // A clock that stands still once the self-test wait has begun, until the run is stopped.
    struct CHoldingClock : CFakeClock {
        std::function<void()> onFirst;
        bool SleepFor(std::chrono::milliseconds d, std::stop_token stop) override {
            if (onFirst)
                onFirst();
            (void)d;
            return SleepUnlessStopped(std::chrono::seconds(30), stop);
        }
    } clock;
    clock.onFirst = [&] {
        if (++sleepers == 2) // both workers are in their wait
            waiting.set_value();
    };
    CDiskCheckRun run(r.plan, r.progress, clock, r.dir.Path(), ELanguage::English);
    run.Start();
    waiting.get_future().wait();
    const auto before = std::chrono::steady_clock::now();
    run.RequestStop();
    run.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_TRUE(run.Finished());
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(run.Completed(static_cast<size_t>(i)));
        EXPECT_TRUE(r.controllers[static_cast<size_t>(i)]->Calls("raidset").empty());
        const std::string page =
            ReadFile(r.dir.Path() / ("127.0.0." + std::to_string(20 + i) + ".html"));
        EXPECT_EQ(page.substr(page.size() - 18), "</body>\r\n</html>\r\n");
        EXPECT_TRUE(Contains(page, "Off-line self-test(extended)"));
    }
}

} // namespace
