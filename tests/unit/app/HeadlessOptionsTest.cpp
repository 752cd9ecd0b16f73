// The headless command line and the settings path rule.
#include "HeadlessOptions.h"
#include "ConfigPath.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <set>

namespace {

std::uint32_t Ip(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

TEST(HeadlessOptionsTest, CommandLines) {
    const struct {
        std::vector<const char*> args;
        ECommandLine want;
        bool headless = false;
        bool broadcast = true;
        std::vector<std::uint32_t> agents = {};
        int rescanEvery = 0;
        const char* config = "";
        const char* workdir = "";
        bool diskChecking = false;
    } cases[] = {
        {{"--headless"}, ECommandLine::Run, true, true, {}, 0, "", ""},
        {{"--headless", "--no-broadcast", "--agent", "127.0.0.2", "--agent", "10.1.2.3"},
         ECommandLine::Run,
         true,
         false,
         {Ip("127.0.0.2"), Ip("10.1.2.3")},
         0,
         "",
         ""},
        {{"--headless", "--config", "q.ini", "--workdir", "/tmp/w", "--rescan-every", "60"},
         ECommandLine::Run,
         true,
         true,
         {},
         60,
         "q.ini",
         "/tmp/w"},
        {{"--help"}, ECommandLine::Help, false, true, {}, 0, "", ""},
        {{"--headless", "--version"}, ECommandLine::Version, true, true, {}, 0, "", ""},
        {{}, ECommandLine::Run, false, true, {}, 0, "", ""},
        {{"--disk-checking", "--no-broadcast"},
         ECommandLine::Run,
         false,
         false,
         {},
         0,
         "",
         "",
         true},
        {{"--headless", "--agent", "host.example"}, ECommandLine::Error},
        {{"--headless", "--agent", "1.2.3.256"}, ECommandLine::Error},
        {{"--headless", "--agent"}, ECommandLine::Error},
        {{"--headless", "--config", ""}, ECommandLine::Error},
        {{"--headless", "--rescan-every", "0"}, ECommandLine::Error},
        {{"--headless", "--rescan-every", "86401"}, ECommandLine::Error},
        {{"--headless", "--rescan-every", "5s"}, ECommandLine::Error},
        {{"--headless", "--frobnicate"}, ECommandLine::Error},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"QuillHT"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string line;
        for (const char* a : c.args)
            line += std::string(a) + " ";
        SHeadlessOptions o;
        std::string error;
        const ECommandLine got =
            ParseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error);
        EXPECT_EQ(got, c.want) << line;
        if (got == ECommandLine::Error) {
            EXPECT_FALSE(error.empty()) << line;
            continue;
        }
        EXPECT_EQ(o.headless, c.headless) << line;
        EXPECT_EQ(o.broadcast, c.broadcast) << line;
        EXPECT_EQ(o.agents, c.agents) << line;
        EXPECT_EQ(o.rescanEverySeconds, c.rescanEvery) << line;
        EXPECT_EQ(o.config, c.config) << line;
        EXPECT_EQ(o.workdir, c.workdir) << line;
        EXPECT_EQ(o.diskChecking, c.diskChecking) << line;
    }
}

TEST(ConfigPathTest, OptionThenBesideTheProgramThenXdg) {
    const std::set<std::string> writable = {"/opt/quill", "/home/op/bin"};
    const struct {
        const char* option;
        const char* program;
        const char* xdg;
        const char* home;
        const char* want;
    } cases[] = {
        {"q.ini", "/usr/bin/QuillHT", "", "/home/op", "/work/q.ini"},
        {"/etc/q.ini", "/usr/bin/QuillHT", "", "/home/op", "/etc/q.ini"},
        {"", "/opt/quill/QuillHT", "/x", "/home/op", "/opt/quill/QuillHT.ini"},
        {"", "/home/op/bin/QuillHT.exe", "", "/home/op", "/home/op/bin/QuillHT.ini"},
        {"", "/usr/bin/QuillHT", "/home/op/.cfg", "/home/op", "/home/op/.cfg/QuillHT/QuillHT.ini"},
        {"", "/usr/bin/QuillHT", "", "/home/op", "/home/op/.config/QuillHT/QuillHT.ini"},
        {"", "/usr/bin/QuillHT", "relative", "/home/op", "/home/op/.config/QuillHT/QuillHT.ini"},
        {"", "", "", "/home/op", "/home/op/.config/QuillHT/QuillHT.ini"},
        {"", "/usr/bin/QuillHT", "", "", ""},
    };
    for (const auto& c : cases) {
        SConfigPathInputs in;
        in.configOption = c.option;
        in.programPath = c.program;
        in.currentDir = "/work";
        in.xdgConfigHome = c.xdg;
        in.home = c.home;
        in.writable = [&](const std::string& dir) { return writable.count(dir) != 0; };
        EXPECT_EQ(ResolveSettingsPath(in), c.want) << c.option << " " << c.program << " " << c.xdg;
    }
}

} // namespace
