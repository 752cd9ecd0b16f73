// The read/write surface test against a scripted controller on virtual time.
#include "FakeController.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kPad = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";

SFakeDrive RwDrive(long takes, std::uint32_t readRate = 5500) {
    SFakeDrive d;
    d.rwTakes = takes;
    d.readRate = readRate;
    return d;
}

std::string Result(int n, long readRate, long readErrors, long writeRate, long writeErrors) {
    auto line = [](const char* what, long v) {
        return Para(std::string(kPad) + what + " = " + std::to_string(v) + " KBytes/sec");
    };
    return Para("Drive [" + std::to_string(n) + "] ==> Read/Write Testing finished!!") +
           line("Read xfer rate", readRate) + line("Read error count", readErrors) +
           line("Write xfer rate", writeRate) + line("Write error count", writeErrors);
}

TEST(ReadWriteTest, StartsEveryFreeDriveAndWritesResultsAsTheyFinish) {
    SJobHarness h;
    h.plan.Percentage = 40;
    h.controller->drives = {{0, RwDrive(20, 1234)}, {1, RwDrive(20)}, {3, RwDrive(10)}};
    h.controller->drives[1].writeErrors = 2;
    ScanFreeDrives(h.Job());
    const std::string scanned = h.Page();
    ASSERT_EQ(RunReadWriteTest(h.Job()), 1);
    EXPECT_EQ(h.controller->Calls("smart 16"),
              (std::vector<std::string>{"smart 16 0 40", "smart 16 1 40", "smart 16 3 40"}));
    // Drive 4 (channel 3) finishes first; the others follow in channel order.
    const std::string section =
        Para("<table border=\"1\" width=\"55%\" id=\"table1\">\r\n\t\t\t\t<tr>\r\n\t\t\t\t<td "
             "bgcolor=\"#FFFF00\"><font color=\"#800000\">Disk read/write test</font></td>\r\n"
             "\t\t\t\t</tr>\r\n\t\t\t\t</table>\r\n");
    EXPECT_EQ(h.Page(), scanned + section + Result(4, 55000, 0, 48000, 0) +
                            Result(1, 12340, 0, 48000, 0) + Result(2, 55000, 0, 48000, 20));
    EXPECT_EQ(h.clock.Seconds(), 20);

    // Progress follows channel 3 only: it stops when that drive is done, half-way through.
    const std::vector<std::string> p = h.progress.Column(TEST_COLUMN_PROGRESS);
    ASSERT_FALSE(p.empty());
    EXPECT_LE(p.size(), 11u);
    EXPECT_EQ(p.front(), "  0 %(Write)");
    EXPECT_EQ(p[4], " 80 %(Write)");
    EXPECT_EQ(p[5], "  0 %(Read)"); // the write position has reached the reference size
    EXPECT_EQ(p.back(), " 80 %(Read)");
    EXPECT_EQ(h.progress.Column(TEST_COLUMN_TYPE).back(), "Read/Write Test");
}

TEST(ReadWriteTest, ShortStatusAnswerLeavesNoEarlierCountersBehind) {
    SJobHarness h;
    h.plan.Percentage = 100;
    h.controller->drives = {{2, RwDrive(3)}};
    h.controller->drives[2].rwShortReply = true;
    h.controller->drives[2].writeRate = 4800; // the 12-byte answer carries its low half only
    ScanFreeDrives(h.Job());
    ASSERT_EQ(RunReadWriteTest(h.Job()), 1);
    EXPECT_TRUE(Contains(h.Page(), Result(3, 55000, 0, 48000, 0))) << h.Page();
}

TEST(ReadWriteTest, RefusedStartIsReportedAndNotWaitedFor) {
    struct SCase {
        int status;
        const char* line;
    };
    for (const SCase tc : {SCase{8, "Drive[2] failed to read/write test, error code = 8"},
                           SCase{0x4D, "Drive[2] failed to read/write test, error code = 4d"}}) {
        SJobHarness h;
        h.plan.Percentage = 5;
        h.controller->drives = {{0, RwDrive(4)}, {1, RwDrive(4)}};
        h.controller->drives[1].rwStartStatus = tc.status;
        ScanFreeDrives(h.Job());
        ASSERT_EQ(RunReadWriteTest(h.Job()), 1);
        EXPECT_TRUE(Contains(h.Page(), Para(tc.line) + Result(1, 55000, 0, 48000, 0)));
        EXPECT_FALSE(Contains(h.Page(), "Drive [2]"));
        EXPECT_TRUE(h.controller->Calls("smart 18 1").empty());
        EXPECT_EQ(h.clock.Seconds(), 4);
    }
}

TEST(ReadWriteTest, DriveSmallerThanOneUnitShowsAFinitePercentage) {
    SJobHarness h;
    h.plan.Percentage = 100;
    h.controller->drives = {{0, RwDrive(3)}};
    h.controller->drives[0].capacity = 100; // reference size 0
    ScanFreeDrives(h.Job());
    ASSERT_EQ(RunReadWriteTest(h.Job()), 1);
    const std::vector<std::string> p = h.progress.Column(TEST_COLUMN_PROGRESS);
    ASSERT_EQ(p.size(), 3u); // one reading a second while the drive runs
    for (const std::string& t : p)
        EXPECT_EQ(t, "  0 %(Read)"); // nothing to divide: no "inf" or "nan"
}

TEST(ReadWriteTest, ControllerThatNeverMovesIsGivenUp) {
    SJobHarness h;
    h.plan.Percentage = 100;
    h.controller->drives = {{0, RwDrive(2)}, {5, RwDrive(2)}};
    h.controller->drives[5].rwStuck = true;
    ScanFreeDrives(h.Job());
    EXPECT_EQ(RunReadWriteTest(h.Job()), 0);
    EXPECT_TRUE(Contains(h.Page(), Result(1, 55000, 0, 48000, 0)));
    EXPECT_TRUE(Contains(h.Page(), Para("Drive [6] ==> no result after 3603 status checks; not "
                                        "waited for any longer")));
    EXPECT_EQ(h.clock.Seconds(), 3602); // an hour after drive 1 was the last to move
}

TEST(ReadWriteTest, UnreadableDriveRecordEndsTheStartPhase) {
    SJobHarness h;
    h.plan.Percentage = 100;
    h.controller->drives = {{0, RwDrive(2)}, {1, RwDrive(2)}};
    ScanFreeDrives(h.Job());
    const std::string before = h.Page();
    h.controller->drives[1].recordFails = true;
    EXPECT_EQ(RunReadWriteTest(h.Job()), 0);
    EXPECT_EQ(h.controller->Calls("smart 16"), std::vector<std::string>{"smart 16 0 100"});
    EXPECT_TRUE(h.controller->Calls("smart 18").empty());
    EXPECT_EQ(h.clock.Seconds(), 0);
    EXPECT_NE(h.Page().find("Disk read/write test"), std::string::npos);
    EXPECT_EQ(h.Page().find("Drive [", before.size()), std::string::npos);
}

} // namespace
