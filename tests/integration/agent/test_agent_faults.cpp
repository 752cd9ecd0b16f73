// A misbehaving controller (vrnsim's faults) seen through the agent by browsers and stations:
// each fault costs that one request its answer, and the agent serves the next one.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <gtest/gtest.h>

using namespace agenttest;

namespace {

struct SFaulty : SSimAgent {
    SRawResult Page() {
        return RawHttp(agent.addr, agent.tcpPort, GetRequest("/status.html"),
                       SRawOptions{{}, 0, false, false, 45000});
    }
};

bool IsPage(const SRawResult& r) {
    return ToString(r.received).find("Raid Set Hierarchy") != std::string::npos;
}

int SysInfoStatus(const SFaulty& f, unsigned int timeout) {
    CVrnlib station;
    if (station.VrnInitSession(f.agent.addr.c_str(), f.agent.relayPort) != VRN_OK)
        return -1;
    station.VrnSetTimeOut(timeout);
    sSYSTEM_INFO info = {};
    return station.VrnGetSysInfo(&info);
}

TEST(AgentFaults, EachFaultCostsOneAnswerOnly) {
    const struct {
        const char* name;
        const char* fault;
        bool pageServed;
        int stationStatus; // what the library makes of the relayed reply
    } cases[] = {
        {"refuse J", "fault refuse J count 1", false, 'J'},
        {"refuse M", "fault refuse M count 1", false, VRN_REFUSED_M},
        {"garbage", "fault garbage on count 1", false, VRN_BAD_FRAME},
        // Two bursts 250 ms apart: the serial read ends at the first quiet 100 ms. The first
        // burst may be read up to one poll (100 ms) after it came, so a shorter gap lets the
        // read catch the second burst as well now and then.
        {"split", "fault split 250 count 1", false, VRN_BAD_FRAME},
        // A slow controller is waited for.
        {"delay", "fault delay 400 count 1", true, VRN_OK},
    };
    SFaulty f;
    ASSERT_TRUE(f.Start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ("ok", f.sim.Ctl(c.fault));
        SRawResult page = f.Page();
        EXPECT_TRUE(page.closed);
        EXPECT_EQ(c.pageServed, IsPage(page)) << ToString(page.received).substr(0, 80);
        if (!c.pageServed) {
            EXPECT_TRUE(page.received.empty());
        }
        SleepMs(300); // the second burst of a split lands, and is stale from then on
        ASSERT_EQ("ok", f.sim.Ctl(c.fault));
        EXPECT_EQ(c.stationStatus, SysInfoStatus(f, 5));
        SleepMs(300);
        // Both sides are served again.
        EXPECT_TRUE(IsPage(f.Page()));
        EXPECT_EQ(VRN_OK, SysInfoStatus(f, 5));
    }
    EXPECT_EQ(0, f.agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(f.agent.proc.Stderr())) << f.agent.proc.Stderr();
}

// A silent controller holds the line for the serial read's whole 30 s; whoever comes next
// waits for the line and is then served.
TEST(AgentFaults, SilentControllerDuringAStationsExchange) {
    SFaulty f;
    ASSERT_TRUE(f.Start());
    ASSERT_EQ("ok", f.sim.Ctl("fault silent on count 1"));
    const int64_t t0 = NowMs();
    int stationStatus = -1;
    int64_t stationMs = 0;
    std::thread station([&] {
        stationStatus = SysInfoStatus(f, 2);
        stationMs = NowMs() - t0;
    });
    SleepMs(500);
    SRawResult page = f.Page();
    const int64_t pageMs = NowMs() - t0;
    station.join();
    EXPECT_EQ(VRN_NO_REPLY, stationStatus);
    EXPECT_LT(stationMs, 5000);
    EXPECT_TRUE(IsPage(page)) << "the browser is served once the line is free";
    EXPECT_GE(pageMs, 25000);
    EXPECT_EQ(VRN_OK, SysInfoStatus(f, 5));
    EXPECT_EQ(0, f.agent.proc.Stop(40000));
}

TEST(AgentFaults, SilentControllerDuringABrowsersRequest) {
    SFaulty f;
    ASSERT_TRUE(f.Start());
    ASSERT_EQ("ok", f.sim.Ctl("fault silent on count 1"));
    const int64_t t0 = NowMs();
    SRawResult page;
    std::thread browser([&] { page = f.Page(); });
    SleepMs(800); // the request is on the line
    // A station asks meanwhile, patient enough to outlast the silent read.
    const int status = SysInfoStatus(f, 40);
    const int64_t stationMs = NowMs() - t0;
    browser.join();
    EXPECT_TRUE(page.closed);
    EXPECT_TRUE(page.received.empty()) << "nothing for the browser";
    EXPECT_GE(page.msAfterSend, 25000);
    EXPECT_EQ(VRN_OK, status);
    EXPECT_GE(stationMs, 25000);
    EXPECT_TRUE(IsPage(f.Page()));
    EXPECT_EQ(0, f.agent.proc.Stop(40000));
}

} // namespace
