// Several stations and browsers at once on one agent, for a bounded time: every station gets
// its own answer to every request, every browser its page, and the agent ends cleanly (the
// sanitizer builds report on its standard error).
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace agenttest;

namespace {

constexpr int kStations = 4;
constexpr int kBrowsers = 2;
constexpr int kRounds = 8;           // per client
constexpr int64_t kBudgetMs = 25000; // and never longer than this

struct SCounts {
    std::atomic<int> stationOk{0};
    std::atomic<int> libraryOk{0};
    std::atomic<int> pagesOk{0};
    std::mutex mutex;
    std::vector<std::string> problems;
    void Problem(const std::string& p) {
        std::lock_guard<std::mutex> lock(mutex);
        problems.push_back(p);
    }
};

TEST(AgentConcurrency, StationsAndBrowsersEachGetTheirOwnAnswers) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    SAgent agent;
    ASSERT_TRUE(agent.Start(sim.PtyPath()));
    SCounts counts;
    const int64_t deadline = NowMs() + kBudgetMs;
    std::vector<std::thread> clients;

    // Raw stations: each asks for its own drive and checks the drive's serial number.
    for (int s = 0; s < kStations; ++s) {
        clients.emplace_back([&, s] {
            const int drive = s * 2 % 8;
            const std::string serial = DriveSerial(drive);
            for (int i = 0; i < kRounds && NowMs() < deadline; ++i) {
                Bytes r = UdpAsk(agent.addr, agent.relayPort,
                                 Frame({0x22, static_cast<uint8_t>(drive)}), 8000);
                if (IsDriveReply(r, drive))
                    ++counts.stationOk;
                else
                    counts.Problem("station " + std::to_string(s) + " round " + std::to_string(i) +
                                   ": " + std::to_string(r.size()) + " bytes");
            }
        });
    }
    // A library station alternating two queries on one session.
    clients.emplace_back([&] {
        CVrnlib station;
        if (station.VrnInitSession(agent.addr.c_str(), agent.relayPort) != VRN_OK) {
            counts.Problem("library station could not open");
            return;
        }
        station.VrnSetTimeOut(8);
        for (int i = 0; i < kRounds && NowMs() < deadline; ++i) {
            sSYSTEM_INFO info = {};
            int index = -1;
            const int a = station.VrnGetSysInfo(&info);
            const int b = station.VrnPollEvent(&index);
            if (a == VRN_OK && b == VRN_OK &&
                std::memcmp(info.gsiVendorName, "Varno Storage Systems", 21) == 0 && index >= 0 &&
                index < 64)
                ++counts.libraryOk;
            else
                counts.Problem("library station round " + std::to_string(i) + ": " +
                               std::to_string(a) + "/" + std::to_string(b));
        }
    });
    // Browsers: a short request and one of several pieces, each for a page of its own.
    for (int b = 0; b < kBrowsers; ++b) {
        clients.emplace_back([&, b] {
            const std::string path = b == 0 ? "/" : "/status.html";
            const std::string marker = b == 0 ? "<h1>Varno RAID Subsystem</h1>" : "Raid Set # 00:";
            for (int i = 0; i < kRounds / 2 && NowMs() < deadline; ++i) {
                SRawResult r =
                    RawHttp(agent.addr, agent.tcpPort, GetRequest(path, b == 0 ? 0 : 3000),
                            SRawOptions{{}, 0, false, false, 15000});
                if (ToString(r.received).find(marker) != std::string::npos)
                    ++counts.pagesOk;
                else
                    counts.Problem("browser " + std::to_string(b) + " round " + std::to_string(i) +
                                   ": " + ToString(r.received).substr(0, 40));
            }
        });
    }
    for (std::thread& t : clients)
        t.join();

    for (const std::string& p : counts.problems)
        ADD_FAILURE() << p;
    EXPECT_GT(counts.stationOk.load(), 0);
    EXPECT_GT(counts.libraryOk.load(), 0);
    EXPECT_GT(counts.pagesOk.load(), 0);
    EXPECT_EQ(0, agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
    EXPECT_EQ("", agent.proc.Stderr());
}

} // namespace
