// The free-drive scan and the SMART steps against a scripted controller on virtual time.
#include "FakeController.h"

#include <gtest/gtest.h>

#include "ReportText.h"

namespace {

SFakeDrive Drive(unsigned char raid = 0xFF, std::uint32_t capacity = 312581808) {
    SFakeDrive d;
    d.raidNumber = raid;
    d.capacity = capacity;
    return d;
}

// Runs the scan, so the step under test knows the free drives.
void Scan(SJobHarness& h) {
    ScanFreeDrives(h.Job());
}

// Progress texts written while a step's fixed wait ran: one per second of it.
long WaitSeconds(const SJobHarness& h) {
    long n = 0;
    for (const std::string& t : h.progress.Column(TEST_COLUMN_PROGRESS))
        n += t.find('%') != std::string::npos ? 1 : 0;
    return n;
}

TEST(ScanFreeDrives, TakesDrivesWithCapacityInNoRaidSet) {
    struct SCase {
        const char* name;
        int channels;
        std::function<void(CFakeController&)> setup;
        std::uint32_t mask;
        int count;
        std::vector<int> shown; // drive numbers of the information paragraphs
    };
    const SCase cases[] = {
        {"member, spare, pass-through and empty slots are not free",
         8,
         [](CFakeController& c) {
             c.drives = {{0, Drive()},     {1, Drive(0)},    {2, Drive()},
                         {3, Drive(0xFE)}, {4, Drive(0xFD)}, {5, Drive(0xFF, 0)}};
         },
         0x5,
         2,
         {1, 3}},
        {"an unreadable record leaves the job without free drives",
         8,
         [](CFakeController& c) {
             c.drives = {{0, Drive()}, {1, Drive()}, {2, Drive()}};
             c.drives[2].recordFails = true;
         },
         0,
         0,
         {1, 2}},
        {"channels beyond the 32 a mask holds are not looked at",
         40,
         [](CFakeController& c) {
             c.drives = {{31, Drive()}, {33, Drive()}};
         },
         0x80000000u,
         1,
         {32}},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        SJobHarness h;
        h.controller->channels = tc.channels;
        tc.setup(*h.controller);
        Scan(h);
        EXPECT_EQ(h.Job().FreeMask, tc.mask);
        EXPECT_EQ(h.Job().FreeCount, tc.count);
        const std::string page = h.Page();
        for (int n = 1; n <= 40; ++n) {
            const bool shown = std::find(tc.shown.begin(), tc.shown.end(), n) != tc.shown.end();
            EXPECT_EQ(Contains(page, "Drive[" + std::to_string(n) + "] Information:"), shown) << n;
        }
        EXPECT_TRUE(h.controller->Calls("drive 32").empty());
    }
}

TEST(SmartSteps, WaitFollowsTheSlowestDrive) {
    struct SCase {
        const char* name;
        bool selfTest;
        int type;
        std::vector<std::pair<int, int>> drives; // channel, reported seconds or minutes
        long seconds;
    };
    const SCase cases[] = {
        {"collection: longest time plus a minute", false, 0, {{0, 30}, {2, 90}}, 150},
        {"collection: nothing reported still waits a minute", false, 0, {{0, 0}, {1, 0}}, 60},
        {"short self-test: longest polling time plus five minutes",
         true,
         SELF_TEST_SHORT,
         {{0, 1}, {2, 3}},
         480},
        {"extended self-test of 70 minutes waits 75", true, SELF_TEST_EXTENDED, {{4, 70}}, 4500},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        SJobHarness h;
        for (auto [ch, t] : tc.drives) {
            SFakeDrive d;
            d.offlineSeconds = t;
            d.shortMinutes = static_cast<unsigned char>(t);
            d.extendedMinutes = static_cast<unsigned char>(t);
            h.controller->drives[ch] = d;
        }
        h.plan.SelfTestType = tc.type;
        Scan(h);
        EXPECT_EQ(tc.selfTest ? RunSelfTest(h.Job()) : RunOfflineDataCollection(h.Job()), 1);
        EXPECT_EQ(WaitSeconds(h), tc.seconds);
        EXPECT_EQ(h.clock.Seconds(), tc.seconds); // every drive had its result by then
    }
}

TEST(SmartSteps, WaitShowsTheShareOfSecondsGone) {
    SJobHarness h;
    h.controller->drives[0] = SFakeDrive{};
    Scan(h);
    ASSERT_EQ(RunOfflineDataCollection(h.Job()), 1);
    const std::vector<std::string> p = h.progress.Column(TEST_COLUMN_PROGRESS);
    ASSERT_EQ(p.size(), 60u);
    EXPECT_EQ(p.front(), "  0 %");
    EXPECT_EQ(p[30], " 50 %");
    EXPECT_EQ(p.back(), " 98 %");
    EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE).front(), "Off-line data collection");
}

TEST(OfflineCollection, ResultLinesByStatus) {
    struct SCase {
        unsigned char running;
        long takes; // seconds beyond the fixed wait
        unsigned char result;
        std::vector<std::string> lines;
    };
    const std::string passed = "Drive [1] ==> Off-line data collection Passed!!";
    const std::string clean = "&nbsp;&nbsp;&nbsp;No SMART thresholds exceeded.";
    const SCase cases[] = {
        {0x03, 0, 0x02, {passed, clean}},
        {0x03, 0, 0x82, {passed, clean}}, // the auto off-line bit is not part of the status
        {0x03, 0, 0x00, {"Drive [1] ==> Off-line data collection never started!!"}},
        {0x03, 0, 0x05, {"Drive [1] ==> Off-line data collection abort by interrupt command!!"}},
        {0x03, 0, 0x06, {"Drive [1] ==>Off-line data collection abort by fatal error!!"}},
        {0x04, 25, 0x02, {passed, clean}}, // suspended: read again until it completes
        {0x03, 25, 0x02, {passed, clean}}, // still collecting is no fatal error
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(tc.running) << "/" << tc.takes << "/" << int(tc.result));
        SJobHarness h;
        SFakeDrive d;
        d.offlineRunning = tc.running;
        d.offlineTakes = 60 + tc.takes;
        d.offlineResult = tc.result;
        h.controller->drives[0] = d;
        Scan(h);
        EXPECT_EQ(RunOfflineDataCollection(h.Job()), 1);
        const std::string page = h.Page();
        std::string expected = Para("Drive[1] SMART Enabled");
        for (const std::string& l : tc.lines)
            expected += Para(l);
        EXPECT_TRUE(Contains(page, expected)) << page;
        EXPECT_EQ(Contains(page, "abort by fatal"), tc.result == 0x06);
        // Passes one second apart, not a burst of reads.
        EXPECT_EQ(h.clock.Seconds(), 60 + tc.takes);
    }
}

TEST(CheckSmartThresholds, ReportsNamedAttributesAtOrBelowTheirThreshold) {
    struct SCase {
        SFakeAttr attr;
        const char* line; // null: nothing reported
    };
    const SCase cases[] = {
        {{5, 5, 5},
         "&nbsp;&nbsp;&nbsp; Reallocated Sector Count threshold exceeded, attribute "
         "data = [5], threshold data = [5]"},
        {{199, 3, 200},
         "&nbsp;&nbsp;&nbsp; Ultra DMA CRC Error Count threshold exceeded, "
         "attribute data = [3], threshold data = [200]"},
        {{5, 6, 5}, nullptr},
        {{6, 1, 10}, nullptr},  // no name: never reported
        {{200, 0, 9}, nullptr}, // nor this one
        {{194, 150, 0}, nullptr},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(int(tc.attr.id));
        SJobHarness h;
        SFakeDrive d;
        d.attrs = {{1, 100, 16}, tc.attr};
        h.controller->drives[2] = d;
        EXPECT_EQ(CheckSmartThresholds(h.Job(), 2), tc.line ? 1 : 0);
        EXPECT_EQ(h.Page(), tc.line ? Para(tc.line) : "");
    }
}

TEST(CheckSmartThresholds, UnreadablePageReportsNothing) {
    SJobHarness h;
    SFakeDrive d;
    d.attrs = {{5, 1, 5}};
    d.dataReadFailures = 1;
    h.controller->drives[0] = d;
    EXPECT_EQ(CheckSmartThresholds(h.Job(), 0), 0);
    EXPECT_EQ(h.Page(), "");
}

TEST(SelfTest, ResultLinesByStatus) {
    struct SCase {
        int type;
        long takes;
        unsigned char result;
        std::vector<std::string> lines;
    };
    const SCase cases[] = {
        {SELF_TEST_SHORT,
         10,
         0x00,
         {"Drive [3] ==> Off-line self-test(short) Passed!!",
          "&nbsp;&nbsp;&nbsp;Self\xA1\x56test failure check point[7]"}},
        {SELF_TEST_EXTENDED,
         700,
         0x00,
         {"Drive [3] ==> Off-line self-test(extended) Passed!!",
          "&nbsp;&nbsp;&nbsp;Self\xA1\x56test failure check point[7]"}},
        {SELF_TEST_SHORT, 10, 0x73, {"Drive [3] ==> Offline Self-Test Faliure!!"}},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.type * 1000 + tc.result);
        SJobHarness h;
        SFakeDrive d;
        d.selfTestTakes = tc.takes;
        d.selfTestResult = tc.result;
        d.checkPoint = 7;
        h.controller->drives[2] = d;
        h.plan.SelfTestType = tc.type;
        Scan(h);
        EXPECT_EQ(RunSelfTest(h.Job()), 1);
        std::string expected = Para("Drive[3] SMART Enabled");
        for (const std::string& l : tc.lines)
            expected += Para(l);
        EXPECT_TRUE(Contains(h.Page(), expected)) << h.Page();
        EXPECT_EQ(h.controller->Calls("smart 4 2").front(), "smart 4 2 " + std::to_string(tc.type));
    }
}

TEST(SmartSteps, DriveWhoseStartFailedIsNotWaitedFor) {
    struct SCase {
        bool selfTest;
        int enable, start;
        const char* line;
    };
    const SCase cases[] = {
        {false, 0, 1, "Drive[1] failed to execute S.M.A.R.T test, error code = 1"},
        {false, 0x4D, 0, "Drive[1] failed to execute S.M.A.R.T test, error code = 4d"},
        {true, 0, 1, "Drive[1] failed to execute S.M.A.R.T self-test, error code = 1"},
        {true, 5, 0, "Drive[1] failed to execute S.M.A.R.T self-test, error code = 5"},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.line);
        SJobHarness h;
        SFakeDrive refused;
        refused.enableStatus = tc.enable;
        refused.startStatus = tc.start;
        refused.previousSelfTest = 0x00; // an earlier self-test passed
        h.controller->drives[0] = refused;
        h.controller->drives[1] = SFakeDrive{};
        Scan(h);
        EXPECT_EQ(tc.selfTest ? RunSelfTest(h.Job()) : RunOfflineDataCollection(h.Job()), 1);
        const std::string page = h.Page();
        EXPECT_TRUE(Contains(page, Para(tc.line))) << page;
        EXPECT_FALSE(Contains(page, "Drive [1] ==>")) << page;
        EXPECT_TRUE(Contains(page, "Drive [2] ==>")) << page;
        EXPECT_EQ(h.controller->Calls("smart 4 0").size(), tc.enable ? 0u : 1u);
        EXPECT_TRUE(h.controller->Calls("smart 0 0").empty());
    }
}

TEST(SmartSteps, DriveWithoutResultIsGivenUpAfterTheBound) {
    struct SCase {
        bool selfTest;
        long wait;
    };
    for (const SCase tc : {SCase{false, 60}, SCase{true, 360}, SCase{true, 65 * 60}}) {
        SCOPED_TRACE(tc.wait);
        SJobHarness h;
        SFakeDrive d;
        d.offlineRunning = 0x04; // suspended for good
        d.offlineTakes = 1L << 40;
        d.selfTestTakes = 1L << 40;
        d.shortMinutes = 1;
        d.extendedMinutes = static_cast<unsigned char>(tc.wait / 60 - 5);
        h.controller->drives[0] = d;
        h.plan.SelfTestType = tc.wait > 3600 ? SELF_TEST_EXTENDED : SELF_TEST_SHORT;
        Scan(h);
        EXPECT_EQ(tc.selfTest ? RunSelfTest(h.Job()) : RunOfflineDataCollection(h.Job()), 0);
        const long passes = StatusPassLimit(tc.wait);
        EXPECT_EQ(passes, std::max(tc.wait, 3600L));
        EXPECT_TRUE(
            Contains(h.Page(), Para("Drive [1] ==> no result after " + std::to_string(passes) +
                                    " status checks; not waited for any longer")));
        EXPECT_EQ(h.clock.Seconds(), tc.wait + passes - 1);
    }
}

TEST(SmartSteps, StepsStopWithoutAWordWhenTheControllerHasNothingToTest) {
    struct SCase {
        std::set<int> sysInfoFailures;
        bool drives;
        const char* line;
    };
    const SCase cases[] = {
        {{2}, true, "Failed to get system information"},
        {{}, false, "There are no any free devices in the subsystem!!"},
    };
    for (int step = 0; step < 3; ++step) {
        for (const SCase& tc : cases) {
            SCOPED_TRACE(testing::Message() << step << " " << tc.line);
            SJobHarness h;
            if (tc.drives)
                h.controller->drives[0] = SFakeDrive{};
            h.plan.Percentage = 10;
            Scan(h); // the first system information read
            const std::string scanned = h.Page();
            h.controller->sysInfoFailures = tc.sysInfoFailures;
            const int r = step == 0   ? RunOfflineDataCollection(h.Job())
                          : step == 1 ? RunSelfTest(h.Job())
                                      : RunReadWriteTest(h.Job());
            EXPECT_EQ(r, 0);
            EXPECT_EQ(h.Page(), scanned + Para(tc.line));
            EXPECT_TRUE(h.controller->Calls("smart").empty());
        }
    }
}

TEST(SmartSteps, StopEndsTheWaitAtOnce) {
    for (bool selfTest : {false, true}) {
        SJobHarness h;
        h.controller->drives[0] = SFakeDrive{};
        h.clock.onSleep = [&](long nowMs) {
            if (nowMs == 30000)
                h.stopSource.request_stop();
        };
        Scan(h);
        EXPECT_EQ(selfTest ? RunSelfTest(h.Job()) : RunOfflineDataCollection(h.Job()), 0);
        EXPECT_EQ(h.clock.Seconds(), 30);
        EXPECT_EQ(h.controller->Calls("smart 0").size(), 1u); // no status pass after the stop
    }
}

// A controller that asks the run to stop from inside one of its status reads, as Quit does
// when it comes while an exchange is in flight.
class CStoppingController : public CFakeController {
public:
    CStoppingController(CFakeClock& clock, std::stop_source& stop, int statusSub, int stopAtRead)
        : CFakeController(clock), m_clock(clock), m_stop(stop), m_statusSub(statusSub),
          m_stopAtRead(stopAtRead) {}
    int ExeSMART(int sub, int drive, int arg, unsigned char* buffer) override {
        const int status = CFakeController::ExeSMART(sub, drive, arg, buffer);
        // Status reads after the fixed wait (the start phase reads at time 0).
        if (sub == m_statusSub && m_clock.NowMs() > 0 && ++statusReads == m_stopAtRead)
            m_stop.request_stop();
        return status;
    }
    int statusReads = 0;

private:
    CFakeClock& m_clock;
    std::stop_source& m_stop;
    int m_statusSub, m_stopAtRead;
};

TEST(SmartSteps, StopDuringTheStatusPassesEndsTheStepWithinOneExchange) {
    struct SCase {
        const char* name;
        int step; // 0 collection, 1 self-test, 2 read/write test
        int statusSub;
    };
    const SCase cases[] = {
        {"collection", 0, CVrnlibSMART::SMART_READ_DATA},
        {"self-test", 1, CVrnlibSMART::SMART_READ_DATA},
        {"read/write test", 2, CVrnlibSMART::SMART_RW_TEST_STATUS},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        SJobHarness h;
        // Stop in the first drive's read of the second pass.
        auto controller =
            std::make_shared<CStoppingController>(h.clock, h.stopSource, tc.statusSub, 3);
        h.controller = controller;
        h.agent.session = controller;
        SFakeDrive slow;
        slow.offlineTakes = slow.selfTestTakes = slow.rwTakes = 100000;
        controller->drives = {{0, slow}, {1, slow}};
        h.plan.Percentage = 50;
        Scan(h);
        const int r = tc.step == 0   ? RunOfflineDataCollection(h.Job())
                      : tc.step == 1 ? RunSelfTest(h.Job())
                                     : RunReadWriteTest(h.Job());
        EXPECT_EQ(r, 0);
        EXPECT_EQ(controller->statusReads, 3); // the second drive is not read again
        EXPECT_FALSE(Contains(h.Page(), "Drive [")) << h.Page();
        EXPECT_FALSE(Contains(h.Page(), "status checks")) << h.Page();
    }
}

} // namespace
