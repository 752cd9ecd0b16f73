// Real browsers against vrnsim's web pages through the agent: curl for the pages, a raw
// socket client for the requests whose size matters.
#include "AgentHarness.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

using namespace agenttest;

namespace {

struct SPages {
    CSimProcess sim;
    SAgent agent;
    bool Start() { return sim.Ready() && agent.Start(sim.PtyPath()); }
    std::string Url(const std::string& path) const {
        return "http://" + agent.addr + ":" + std::to_string(agent.tcpPort) + path;
    }
};

struct SCurl {
    int status;
    std::string out;
};

SCurl Curl(std::vector<std::string> args) {
    std::vector<std::string> argv = {"/usr/bin/curl", "-s", "--noproxy", "*", "--max-time", "20"};
    argv.insert(argv.end(), args.begin(), args.end());
    SCurl r;
    r.status = RunProgram(argv, &r.out, 30000);
    return r;
}

bool HasCurl() {
    return access("/usr/bin/curl", X_OK) == 0;
}

TEST(AgentClients, CurlFetchesTheControllersPages) {
    if (!HasCurl())
        GTEST_SKIP() << "curl is not installed";
    SPages pages;
    ASSERT_TRUE(pages.Start());
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;           // curl's exit status
        std::string contains; // in its output
    } cases[] = {
        {"main page", {pages.Url("/")}, 0, "<h1>Varno RAID Subsystem</h1>"},
        {"second page", {pages.Url("/status.html")}, 0, "Raid Set # 00: Volume Set # 00"},
        {"status line",
         {"-o", "/dev/null", "-w", "%{http_code}", pages.Url("/status.html")},
         0,
         "200"},
        {"missing page",
         {"-o", "/dev/null", "-w", "%{http_code}", pages.Url("/nope.html")},
         0,
         "404"},
        {"head request", {"-I", pages.Url("/")}, 0, "HTTP/1.0 200 OK"},
        {"post is not offered",
         {"-o", "/dev/null", "-w", "%{http_code}", "--data", "a=1", pages.Url("/")},
         0,
         "405"},
        // A page larger than one reply frame cannot be carried: curl sees an empty reply.
        {"page over one frame", {pages.Url("/eventlog.html")}, 52, ""},
        {"after that, served again", {pages.Url("/")}, 0, "Varno RAID Subsystem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SCurl r = Curl(c.args);
        EXPECT_EQ(c.status, r.status) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.contains)) << r.out;
        if (c.status != 0) {
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
    EXPECT_EQ(0, pages.agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(pages.agent.proc.Stderr())) << pages.agent.proc.Stderr();
}

TEST(AgentClients, RequestSizesAndRefusalsOnTheRealController) {
    SPages pages;
    ASSERT_TRUE(pages.Start());
    const std::string okLine = "HTTP/1.0 200 OK\r\n";
    const struct {
        const char* name;
        bool sendsNothing;
        size_t size;       // 0: the plain GET request
        const char* fault; // applied to this request's reply only
        bool answered;
    } cases[] = {
        {"normal page", false, 0, nullptr, true},
        {"1500-byte request", false, 1500, nullptr, true},
        {"exactly one piece", false, 1024, nullptr, true},
        {"2048-byte request", false, 2048, nullptr, true},
        {"5120-byte request", false, 5120, nullptr, true},
        {"refused with J", false, 300, "fault refuse J count 1", false},
        {"refused with M", false, 300, "fault refuse M count 1", false},
        {"empty connection", true, 0, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != nullptr) {
            ASSERT_EQ("ok", pages.sim.Ctl(c.fault));
        }
        const long frames = pages.sim.Frames();
        const Bytes request = c.sendsNothing ? Bytes{} : GetRequest("/status.html", c.size);
        if (c.size > 0) {
            ASSERT_EQ(c.size, request.size());
        }
        SRawResult r = RawHttp(pages.agent.addr, pages.agent.tcpPort, request);
        EXPECT_TRUE(r.closed);
        const std::string got = ToString(r.received);
        if (c.answered) {
            EXPECT_EQ(0u, got.rfind(okLine, 0)) << got.substr(0, 80);
            EXPECT_NE(std::string::npos, got.find("Raid Set Hierarchy"));
        } else {
            EXPECT_TRUE(got.empty()) << got.substr(0, 80);
        }
        // Full pieces and one shorter piece: a request of k * 1024 bytes needs k + 1 frames.
        const long pieces = c.sendsNothing ? 0 : static_cast<long>(request.size() / 1024 + 1);
        EXPECT_EQ(frames + pieces, pages.sim.Frames());
    }
    EXPECT_EQ(0, pages.agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(pages.agent.proc.Stderr())) << pages.agent.proc.Stderr();
}

} // namespace
