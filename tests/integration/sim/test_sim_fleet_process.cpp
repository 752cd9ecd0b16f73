// `vrnsim --fleet`: hundreds of agents on their own loopback addresses at the agents' port,
// each answering with its own controller, in one process with one thread.
#include "SimProcess.h"
#include "SimWire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

using namespace simwire;

namespace {

constexpr int kAgents = 300;
constexpr int kPort = 7890;

std::string Address(int second, int k) {
    return "127." + std::to_string(second) + "." + std::to_string(k / 254) + "." +
           std::to_string(k % 254 + 1);
}

// Other test runs on this machine may hold agents' addresses too: a random /16 for each
// process, another one when binding fails.
class CFleet {
public:
    CFleet() {
        std::random_device rd;
        for (int attempt = 0; attempt < 6 && !m_sim; ++attempt) {
            m_second = 2 + static_cast<int>(rd() % 250);
            CSimProcess::Options o;
            o.pty = false;
            o.extraArgs = {"--fleet",      std::to_string(kAgents),
                           "--fleet-base", "127." + std::to_string(m_second) + ".0.0",
                           "--http-port",  "6666"};
            auto sim = std::make_unique<CSimProcess>(o);
            if (sim->Ready())
                m_sim = std::move(sim);
        }
    }
    bool Ready() const { return m_sim != nullptr; }
    CSimProcess& Sim() { return *m_sim; }
    std::string At(int k) const { return Address(m_second, k); }
    std::string Ctl(const std::string& line) { return m_sim->Ctl(line); }

private:
    std::unique_ptr<CSimProcess> m_sim;
    int m_second = 0;
};

CFleet& Fleet() {
    static CFleet fleet;
    return fleet;
}

std::string Serial(int k) {
    char s[16];
    std::snprintf(s, sizeof s, "VRNF%08d", k + 1);
    return s;
}

bool Contains(const Bytes& b, const std::string& text) {
    return std::search(b.begin(), b.end(), text.begin(), text.end()) != b.end();
}

TEST(SimFleetProcess, EveryAgentAnswersAtItsOwnAddress) {
    CFleet& f = Fleet();
    ASSERT_TRUE(f.Ready()) << "vrnsim --fleet did not start";
    for (int k : {0, 1, 253, 254, 298, kAgents - 1}) {
        SCOPED_TRACE(f.At(k));
        CUdp udp(f.At(k), kPort);
        Bytes info = udp.Exchange(Frame({0x23}));
        ASSERT_EQ(262u, info.size());
        EXPECT_TRUE(Contains(info, Serial(k))) << "another controller answered";
        EXPECT_EQ(Bytes({0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x26}),
                  udp.Exchange(Frame({0xF0})));
        Bytes bad = Frame({0x19});
        bad.back() ^= 0x55;
        EXPECT_TRUE(udp.Exchange(bad, 200).empty());
        std::string stats = f.Ctl("agent " + std::to_string(k) + " stats");
        EXPECT_NE(std::string::npos, stats.find(" udp-dropped=1 ")) << stats;
    }
    // Nothing answers just past the range.
    CUdp beyond(f.At(kAgents), kPort);
    EXPECT_TRUE(beyond.Exchange(Frame({0x13}), 200).empty());
}

TEST(SimFleetProcess, FaultsAndOutagesStayWithTheirAgent) {
    CFleet& f = Fleet();
    ASSERT_TRUE(f.Ready());
    struct SCase {
        const char* on;
        const char* off;
        int agent;
    };
    const SCase cases[] = {
        {"fault silent on", "fault silent off", 20},
        {"down", "up", 21}, // the socket is closed, as when the agent program stops
        {"fault refuse J", "fault refuse off", 22},
    };
    const Bytes poll = Frame({0x19});
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.on);
        std::string k = std::to_string(c.agent);
        CUdp self(f.At(c.agent), kPort), next(f.At(c.agent + 1), kPort);
        Bytes normal = self.Exchange(poll);
        ASSERT_EQ(7u, normal.size());
        ASSERT_EQ("ok", f.Ctl("agent " + k + " " + c.on));
        EXPECT_NE(normal, self.Exchange(poll, 300));
        EXPECT_EQ(7u, next.Exchange(poll).size()) << "the neighbour suffers too";
        ASSERT_EQ("ok", f.Ctl("agent " + k + " " + c.off));
        EXPECT_EQ(normal, self.Exchange(poll));
    }
}

TEST(SimFleetProcess, RecordsPollGapsAndFirstSightings) {
    CFleet& f = Fleet();
    ASSERT_TRUE(f.Ready());
    ASSERT_EQ("ok", f.Ctl("polls reset"));
    ASSERT_EQ("ok", f.Ctl("seen reset"));
    CUdp identified(f.At(40), kPort), polled(f.At(41), kPort);
    ASSERT_FALSE(identified.Exchange(Frame({0x13})).empty());
    for (int i = 0; i < 3; ++i) {
        if (i)
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        ASSERT_EQ(7u, polled.Exchange(Frame({0x19})).size());
    }
    std::string seen = f.Ctl("seen");
    EXPECT_EQ(0u, seen.find("ok agents=300 identified=1 polled=1 first-identify=")) << seen;
    std::string polls = f.Ctl("polls");
    ASSERT_EQ(0u, polls.find("ok agents=300 polled=1 fewest=0 most=3 gaps=2 min=")) << polls;
    double minMs = std::stod(polls.substr(polls.find(" min=") + 5));
    double maxMs = std::stod(polls.substr(polls.find(" max=") + 5));
    EXPECT_GE(minMs, 55.0);
    EXPECT_LT(maxMs, 2000.0);
}

TEST(SimFleetProcess, OneThreadAndOneSocketPerAgent) {
    CFleet& f = Fleet();
    ASSERT_TRUE(f.Ready());
    std::string proc = "/proc/" + std::to_string(f.Sim().Pid());
    std::ifstream status(proc + "/status");
    std::string line;
    int threads = 0;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            threads = std::stoi(line.substr(8));
    EXPECT_EQ(1, threads);
    size_t fds = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(proc + "/fd"))
        ++fds;
    EXPECT_GE(fds, static_cast<size_t>(kAgents));
    EXPECT_LE(fds, static_cast<size_t>(kAgents) + 12);
}

} // namespace
