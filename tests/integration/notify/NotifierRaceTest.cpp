// Monitor threads notify and log at the same time while the window edits the settings and the
// books and the program opens and closes its log: lines stay whole, alarms read whole copies.
#include "NotifierTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <thread>

namespace {

constexpr int kThreads = 6;
constexpr int kLinesEach = 150;

TEST(NotifierRace, LogLinesOfManyThreadsNeverInterleave) {
    CScratch scratch;
    SNotifierRig rig(scratch);
    rig.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
    ASSERT_TRUE(rig.notifier->OpenLogFile());
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&rig, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    EXPECT_TRUE(rig.notifier->WriteLogLine("agent " + std::to_string(t) + " line " +
                                                           std::to_string(i)));
                }
            });
        }
        // Meanwhile the window changes settings that the writers read on every line.
        for (int i = 0; i < 200; ++i) {
            rig.settings.Update([i](SettingsRecord& r) { r.PollInterval = 1 + i % 120; });
        }
    }
    const std::vector<std::string> lines = FileLines(scratch.File("Log.log"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
    const std::regex whole(R"(2004/6/5  9:7:3 agent \d line \d+\r)");
    std::set<std::string> distinct;
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        distinct.insert(line);
    }
    EXPECT_EQ(distinct.size(), lines.size());
}

// Closing and reopening the log while threads write: a line goes to the file whole or not at
// all, and never to whatever descriptor happened to take the closed one's number.
TEST(NotifierRace, ReopeningTheLogWhileThreadsWrite) {
    CScratch scratch;
    SNotifierRig rig(scratch);
    rig.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
    ASSERT_TRUE(rig.notifier->OpenLogFile());
    std::atomic<int> written{0};
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&rig, &written, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    rig.notifier->WriteLogLine("agent " + std::to_string(t));
                    ++written;
                }
            });
        }
        for (int i = 0; i < 50; ++i) {
            rig.notifier->CloseLogFile();
            // Files opened now may take the number the log had.
            scratch.Write("other" + std::to_string(i), "");
            EXPECT_TRUE(rig.notifier->OpenLogFile());
        }
    }
    EXPECT_EQ(written.load(), kThreads * kLinesEach);
    for (const std::string& line : FileLines(scratch.File("Log.log"))) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(2004/6/5  9:7:3 agent \d\r)"))) << line;
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(scratch.Read("other" + std::to_string(i)), "");
    }
}

// Alarms on several threads while the window adds and removes computers and switches the
// channels: every pop-up names a computer that was in the book, with the whole text.
TEST(NotifierRace, AlarmsWhileTheWindowEditsTheBooks) {
    CScratch scratch;
    const std::string events = scratch.File("events");
    scratch.Write("smbclient", "#!/bin/sh\nprintf '%s %s\\n' \"$2\" \"$(cat)\" >>" + events + "\n",
                  0755);
    SNotifierOptions options;
    options.messenger.program = scratch.File("smbclient");
    options.messenger.lookup = [](const std::string&, in_addr* address) {
        address->s_addr = htonl(INADDR_LOOPBACK);
        return true;
    };
    SNotifierRig rig(scratch, options);
    rig.settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MESSAGE;
    });
    rig.messageBook.AddComputer(true, "WS00");
    {
        std::vector<std::jthread> monitors;
        for (int t = 0; t < 3; ++t) {
            monitors.emplace_back([&rig, t] {
                for (int i = 0; i < 4; ++i) {
                    rig.notifier->NotifyAlarm(5, "alarm " + std::to_string(t));
                }
            });
        }
        for (int i = 1; i <= 20; ++i) {
            rig.messageBook.AddComputer(true, "WS" + std::to_string(i));
            rig.messageBook.Remove(0);
            rig.settings.Update([i](SettingsRecord& r) { r.Level = i % 4; });
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const std::vector<std::string> lines = FileLines(events);
    EXPECT_EQ(lines.size(), 12u); // the book always holds one computer
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(WS\d+ alarm \d)"))) << line;
    }
    EXPECT_TRUE(rig.messages.Texts().empty());
}

} // namespace
