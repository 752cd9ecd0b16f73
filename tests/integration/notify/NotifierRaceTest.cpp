// Monitor threads notify and log at the same time while the window edits the settings and the
// books and the program opens and closes its log: lines stay whole, alarms read whole copies.
#include "NotifierTestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace {

constexpr int kThreads = 6;
constexpr int kLinesEach = 150;

// Threads write while the window changes settings they read on every line and the log is
// closed and opened again: a line reaches the file whole or not at all, never interleaved with
// another, and never reaches whatever file took the closed descriptor's number.
TEST(NotifierRace, LogLinesOfManyThreadsStayWhole) {
    CScratch scratch;
    SNotifierRig rig(scratch);
    rig.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
    ASSERT_TRUE(rig.notifier->OpenLogFile());
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&rig, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    rig.notifier->WriteLogLine("agent " + std::to_string(t) + " line " +
                                               std::to_string(i));
                }
            });
        }
        for (int i = 0; i < 50; ++i) {
            rig.settings.Update([i](SettingsRecord& r) { r.PollInterval = 1 + i; });
            rig.notifier->CloseLogFile();
            scratch.Write("other" + std::to_string(i), "");
            EXPECT_TRUE(rig.notifier->OpenLogFile());
        }
    }
    const std::vector<std::string> lines = FileLines(scratch.File("Log.log"));
    EXPECT_GT(lines.size(), 0u);
    const std::regex whole(R"(2004/6/5  9:7:3 agent \d line \d+\r)");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
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
