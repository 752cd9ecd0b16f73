// vrndiskcheck as a user runs it: its checks of the command line, a whole run against a
// simulated agent, a controller it may not change, and an interrupt.
#include "DiskCheckSim.h"
#include "FakeController.h" // CScratchDir, ReadFile
#include "VrnTestPaths.h"

#include "TestProcess.h"
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <functional>

namespace {

using json = nlohmann::json;

struct SResult {
    int status = -1; // exit status, -1 when it had to be stopped
    std::string out, err;
};

// Runs vrndiskcheck with `args`, at most `limit` long; `onOutput` sees standard output as
// it grows and may return a signal to send (once).
SResult RunTool(const std::vector<std::string>& args,
                std::chrono::seconds limit = std::chrono::seconds(60),
                std::function<int(const std::string&)> onOutput = nullptr) {
    std::vector<std::string> all{VRN_BUILD_DIR "/tools/vrndiskcheck/vrndiskcheck"};
    all.insert(all.end(), args.begin(), args.end());
    vrntest::CProcess p;
    SResult r;
    if (!p.Start(all, vrntest::CProcess::EStdout::Pipe))
        return r;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool signalled = false;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pf{p.StdoutPipe(), POLLIN, 0};
        if (poll(&pf, 1, 100) < 0)
            break;
        if (pf.revents & (POLLIN | POLLHUP)) {
            char buf[4096];
            const ssize_t n = read(p.StdoutPipe(), buf, sizeof buf);
            if (n <= 0)
                break; // the program has closed its output: it is ending
            r.out.append(buf, static_cast<size_t>(n));
        }
        if (onOutput && !signalled)
            if (int sig = onOutput(r.out)) {
                kill(p.Pid(), sig);
                signalled = true;
            }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    r.status = p.WaitExit(static_cast<int>(std::max<long>(left.count(), 100)));
    if (r.status < 0)
        p.Stop(1000);
    r.err = p.Stderr();
    return r;
}

// Whether a progress line of agent `ip` shows both texts (the columns are padded).
bool HasRow(const std::string& out, const std::string& ip, const std::string& type,
            const std::string& progress = "") {
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        const size_t at = line.find(type);
        if (line.rfind(ip + " ", 0) == 0 && at != std::string::npos &&
            line.find(progress, at + type.size()) != std::string::npos)
            return true;
    }
    return false;
}

json State(CAgentSim& sim) {
    const std::string r = sim.Ctl("state");
    return r.rfind("ok ", 0) == 0 ? json::parse(r.substr(3)) : json();
}

TEST(Vrndiskcheck, RefusesWhatTheDialogRefuses) {
    struct SCase {
        std::vector<std::string> args;
        const char* says;
    };
    const std::vector<std::string> five = {
        "--volume", "a,1,,,,,,,0:0:0", "--volume", "b,1,,,,,,,0:1:0", "--volume", "c,1,,,,,,,0:2:0",
        "--volume", "d,1,,,,,,,0:3:0", "--volume", "e,1,,,,,,,0:4:0"};
    auto withFive = [&](std::vector<std::string> more) {
        std::vector<std::string> a = five;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const SCase cases[] = {
        {{}, "no agent given"},
        {{"--volume", "v,0.05", "127.0.0.1"}, "Invalid Capacity"},
        {{"--volume", "v,2199.02", "127.0.0.1"}, "Invalid Capacity"},
        {{"--volume", "v,2199.0233", "127.0.0.1"}, "Invalid Capacity"},
        {{"--volume", "v,nan", "127.0.0.1"}, "Invalid Capacity"},
        {withFive({"--volume", "f,1,,,,,,,1:0:0", "127.0.0.1"}), "Too many volume"},
        {{"--volume", "v,1", "--volume", "w,2,0", "127.0.0.1"}, "Duplicate SCSI CH/ID/LUN "},
        {{"--volume", "v,1,7", "127.0.0.1"}, "unknown raid level"},
        {{"--volume", "0123456789abcdefg,1", "127.0.0.1"}, "more than 16 bytes"},
        {{"--percent", "101", "127.0.0.1"}, "--percent"},
        {{"--percent", "2.5", "127.0.0.1"}, "--percent"},
        {{"--self-test", "long", "127.0.0.1"}, "--self-test"},
        {{"--time-scale", "0", "127.0.0.1"}, "--time-scale"},
        {{"--report-dir", "/nonexistent/folder", "127.0.0.1"}, "--report-dir"},
        {{"127.0.0.300"}, "not an agent address"},
        {{"127.0.0.1", "127.0.0.1:7890"}, "agent given twice"},
        {{"--fast", "127.0.0.1"}, "unknown option"},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.says);
        const SResult r = RunTool(tc.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(tc.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(Vrndiskcheck, MakesTheArraysAndWritesThePages) {
    CAgentSim sim(Scenario("three-drives.json"), "0.01");
    ASSERT_TRUE(sim.Ready());
    CScratchDir dir;
    // No test step: every exchange takes the library's 300 ms settle, and the steps' own
    // paths against vrnsim are the engine's tests (DiskCheckSim); this is the tool's way
    // through, from its arguments to the arrays in the controller.
    const SResult r =
        RunTool({"--volume", "Web,20,1,,,,,,0:4:0", "--volume", ",2,0,background,,,,,0:5:0",
                 "--report-dir", dir.Path().string(), "--time-scale", "0.01", sim.Ip()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string ip = sim.Ip();
    EXPECT_TRUE(HasRow(r.out, ip, "Creating RaidSet & VolumeSet", "Waiting...")) << r.out;
    EXPECT_TRUE(HasRow(r.out, ip, "Volume[1] initializing", "%")) << r.out;
    EXPECT_TRUE(HasRow(r.out, ip, "Done", "Done")) << r.out;
    EXPECT_NE(r.out.find(ip + ": every step completed"), std::string::npos);

    const std::string page = ReadFile(dir.Path() / (ip + ".html"));
    for (const char* line : {"RaidSet created!!", "VolumeSet[0] created", "VolumeSet[1] created"})
        EXPECT_TRUE(Contains(page, Para(line))) << line;
    EXPECT_TRUE(Contains(ReadFile(dir.Path() / "testresult.html"),
                         "<a href=\"" + ip + ".html\">" + ip + "</a>"));

    const json s = State(sim);
    ASSERT_TRUE(s.is_object());
    EXPECT_EQ(s["raidSets"][1]["members"], json::array({1, 2}));
    EXPECT_EQ(s["volumeSets"][0]["raidSet"], 1);
    EXPECT_EQ(s["volumeSets"][0]["raidLevel"], 1);
    EXPECT_EQ(s["volumeSets"][1]["raidSet"], 1);
    EXPECT_EQ(s["volumeSets"][1]["quickInit"], false);
}

TEST(Vrndiskcheck, ExitStatusSaysWhenAStepDidNotComplete) {
    struct SCase {
        const char* scenario;
        const char* password; // the controller's, when not the default
        std::vector<std::string> args;
        const char* step; // the row's last step before "Done"
        const char* line; // the page's last paragraph
    };
    const SCase cases[] = {
        {"three-drives.json", "2468", {}, "Creating RaidSet & VolumeSet", "Invalid Password"},
        {"no-free-drive.json",
         nullptr,
         {"--offline"},
         "Off-line data collection",
         "There are no any free devices in the subsystem!!"},
    };
    for (const SCase& tc : cases) {
        SCOPED_TRACE(tc.line);
        CAgentSim sim(Scenario(tc.scenario), "0.01");
        ASSERT_TRUE(sim.Ready());
        if (tc.password) {
            ASSERT_EQ(sim.Ctl(std::string("password ") + tc.password), "ok");
        }
        const json before = State(sim);
        CScratchDir dir;
        std::vector<std::string> args = tc.args;
        args.insert(args.end(), {"--report-dir", dir.Path().string(), sim.Ip()});
        const SResult r = RunTool(args);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_TRUE(HasRow(r.out, sim.Ip(), tc.step)) << r.out;
        EXPECT_NE(r.out.find(sim.Ip() + ": not every step completed"), std::string::npos) << r.out;
        EXPECT_TRUE(Contains(ReadFile(dir.Path() / (sim.Ip() + ".html")),
                             Para(tc.line) + "</body>\r\n</html>\r\n"));
        EXPECT_EQ(State(sim)["raidSets"], before["raidSets"]);
    }
}

TEST(Vrndiskcheck, InterruptStopsTheRunAndClosesThePages) {
    CAgentSim sim(Scenario("three-drives.json"), "0.01");
    ASSERT_TRUE(sim.Ready());
    CScratchDir dir;
    std::chrono::steady_clock::time_point sent{};
    const SResult r =
        RunTool({"--self-test", "extended", "--report-dir", dir.Path().string(), "--time-scale",
                 "0.01", sim.Ip()},
                std::chrono::seconds(60), [&](const std::string& out) {
                    // Into the wait: its progress is showing.
                    const size_t at = out.find("Off-line self-test(extended)");
                    if (at == std::string::npos || out.find(" %", at) == std::string::npos)
                        return 0;
                    sent = std::chrono::steady_clock::now();
                    return SIGINT;
                });
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    const std::string page = ReadFile(dir.Path() / (sim.Ip() + ".html"));
    EXPECT_EQ(page.substr(page.size() - 18), "</body>\r\n</html>\r\n");
    EXPECT_FALSE(Contains(page, "RaidSet"));
    EXPECT_TRUE(State(sim)["raidSets"][1].is_null());
}

} // namespace
