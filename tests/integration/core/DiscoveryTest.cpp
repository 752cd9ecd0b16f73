// Discovery towards given addresses on loopback (broadcast has its own test in a network
// namespace), the removal pass, the poll time-out and the HTTP port query.
#include "AgentDatagram.h"
#include "SimAgent.h"

#include <gtest/gtest.h>

#include <poll.h>

using namespace coretest;

namespace {

// A host at a loopback address, port 7890, that answers each identify with what a test asks
// for: several datagrams, or one too long.
class CScriptedResponder {
public:
    explicit CScriptedResponder(std::vector<std::vector<unsigned char>> replies)
        : m_replies(std::move(replies)) {
        m_sock = BindAgentSocket(&m_address);
        m_thread = std::jthread([this](std::stop_token st) { Serve(st); });
    }
    ~CScriptedResponder() {
        m_thread.request_stop();
        m_thread.join();
        ::close(m_sock);
    }
    std::uint32_t Ip() const { return coretest::Ip(m_address); }

private:
    void Serve(std::stop_token st) {
        while (!st.stop_requested()) {
            pollfd p{m_sock, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            unsigned char buf[64];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(m_sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n == 7 && buf[5] == AGENT_CMD_IDENTIFY) {
                for (const auto& r : m_replies)
                    ::sendto(m_sock, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             len);
            } else if (n >= 7 && buf[5] != AGENT_CMD_HTTP_PORT && !m_replies.empty()) {
                // Anything else is refused at once, as a controller refuses what it lacks.
                unsigned char refusal[7] = {0x5E, 0x01, 0x61, 0x01, 0x00, 'M', 0};
                refusal[6] = FrameChecksum(refusal, sizeof refusal);
                ::sendto(m_sock, refusal, sizeof refusal, 0, reinterpret_cast<sockaddr*>(&from),
                         len);
            }
        }
    }

    std::vector<std::vector<unsigned char>> m_replies;
    std::string m_address;
    int m_sock = -1;
    std::jthread m_thread;
};

std::vector<unsigned char> ValidFrame(std::size_t payload) {
    std::vector<unsigned char> f(payload + 6, 'x');
    f[0] = 0x5E;
    f[1] = 0x01;
    f[2] = 0x61;
    f[3] = static_cast<unsigned char>(payload);
    f[4] = static_cast<unsigned char>(payload >> 8);
    f.back() = FrameChecksum(f.data(), f.size());
    return f;
}

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor.SetTiming({50ms, 200ms, 0ms});
        monitor.SetLibrarySleeper(NoLibrarySleep, nullptr);
        trace.Attach(monitor);
    }
    void TearDown() override { monitor.Shutdown(); }

    std::vector<std::string> ListedAddresses() {
        std::vector<std::string> out;
        for (const AgentPtr& a : monitor.AgentList().Snapshot())
            out.push_back(a->IpText());
        return out;
    }

    SScratchSettings settings;
    CRecordingSink sink;
    CTraceLog trace;
    CMonitor monitor{settings.store, sink};
};

TEST_F(DiscoveryTest, DuplicateRepliesMakeOneRecordAndLongRepliesNone) {
    // The fake hosts have no controller behind them: their queries fail at once.
    std::set<std::uint32_t> fakes;
    monitor.SetQueryHook(
        [&](CAgent& a, EAgentQuery) { return fakes.count(a.m_Ip) ? VRN_NO_REPLY : 0; });
    CScriptedResponder twice({ValidFrame(20), ValidFrame(20)});
    CScriptedResponder tooLong({ValidFrame(123)}); // 129 bytes
    CScriptedResponder badSum({[] {
        auto f = ValidFrame(20);
        f.back() ^= 0xFF;
        return f;
    }()});
    CScriptedResponder longest({ValidFrame(122)}); // exactly 128 bytes
    // 129 bytes whose first 128 are a whole valid frame: still too long.
    CScriptedResponder padded({[] {
        auto f = ValidFrame(122);
        f.push_back(0);
        return f;
    }()});
    fakes = {twice.Ip(), tooLong.Ip(), badSum.Ip(), longest.Ip(), padded.Ip()};
    monitor.UpdateAgentList({twice.Ip(), tooLong.Ip(), badSum.Ip(), longest.Ip(), padded.Ip()});
    std::set<std::uint32_t> listed;
    for (const AgentPtr& a : monitor.AgentList().Snapshot())
        listed.insert(a->m_Ip);
    EXPECT_EQ(listed, (std::set<std::uint32_t>{twice.Ip(), longest.Ip()}));
    EXPECT_EQ(monitor.AgentList().Count(), 2u);
    EXPECT_EQ(trace.Count("Existed."), 1);
    monitor.Shutdown();
}

TEST_F(DiscoveryTest, AgentsAreAddedOnceInReplyOrderWithTheirSystemInformation) {
    CSimAgent a, b;
    ASSERT_TRUE(a.Ready() && b.Ready());
    monitor.UpdateAgentList({a.Ip(), b.Ip()});
    ASSERT_EQ(monitor.AgentList().Count(), 2u);
    for (const AgentPtr& agent : monitor.AgentList().Snapshot()) {
        EXPECT_EQ(std::string(agent->m_SysInfo.gsiSerialNumber, 12), "VRN2004A0001");
        EXPECT_TRUE(agent->m_Thread.joinable()) << "its monitor thread runs";
    }
    monitor.UpdateAgentList(a.Ip());
    EXPECT_EQ(monitor.AgentList().Count(), 2u);
    EXPECT_EQ(trace.Count("Existed."), 1);
    EXPECT_EQ(monitor.AddAgentToAgentList(a.Ip()), 1);
    EXPECT_EQ(monitor.AddAgentToAgentList(coretest::Ip("127.0.0.0")), 0);
    monitor.Shutdown();
}

// Every record present at the start of the pass is identified, also the one after a removed
// one; the survivors keep their order.
TEST_F(DiscoveryTest, RemovalPassTakesAdjacentSilentAgents) {
    std::vector<std::unique_ptr<CSimAgent>> sims;
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<CSimAgent>());
        ASSERT_TRUE(sims.back()->Ready());
        monitor.UpdateAgentList(sims.back()->Ip());
    }
    monitor.ApplyPollTimeout();
    const std::vector<std::string> before = ListedAddresses();
    ASSERT_EQ(before.size(), 4u);
    ASSERT_EQ(sims[1]->Ctl("fault silent on"), "ok");
    ASSERT_EQ(sims[2]->Ctl("fault silent on"), "ok");
    monitor.RemoveAbnormalAgent();
    EXPECT_EQ(ListedAddresses(), (std::vector<std::string>{before[0], before[3]}));
    EXPECT_EQ(trace.Count("removed."), 2);
    monitor.Shutdown();
}

TEST_F(DiscoveryTest, PollTimeoutGoesToAgentsThatAreNotDown) {
    CSimAgent a, b;
    ASSERT_TRUE(a.Ready() && b.Ready());
    monitor.UpdateAgentList({a.Ip(), b.Ip()});
    settings.store.Update([](SettingsRecord& r) { r.PollTimeout = 0; }); // clamped to 1
    auto agents = monitor.AgentList().Snapshot();
    agents[1]->m_State = AGENT_DOWN;
    monitor.ApplyPollTimeout();
    EXPECT_EQ(agents[0]->m_Session.m_nTimeout, 1u);
    EXPECT_EQ(agents[1]->m_Session.m_nTimeout, 5u) << "a down agent keeps the library default";
    agents.clear();
    monitor.Shutdown();
}

TEST_F(DiscoveryTest, HttpPortQuery) {
    CSimAgent highPort("", {"--http-port", "36895"});
    CSimAgent plain("", {"--http-port", "8080"});
    ASSERT_TRUE(highPort.Ready() && plain.Ready());
    monitor.UpdateAgentList({highPort.Ip(), plain.Ip()});
    for (const AgentPtr& a : monitor.AgentList().Snapshot())
        EXPECT_EQ(a->QueryHttpPort(2000), a->m_Ip == highPort.Ip() ? 36895 : 8080);
    monitor.Shutdown();
    // A host that does not answer gives 80.
    CScriptedResponder mute({});
    monitor.SetQueryHook([](CAgent&, EAgentQuery) { return VRN_NO_REPLY; });
    sockaddr_in muteAddress = AgentAddress("127.0.0.1");
    muteAddress.sin_addr.s_addr = mute.Ip();
    CAgent nobody(monitor, muteAddress);
    EXPECT_EQ(nobody.QueryHttpPort(200), DEFAULT_HTTP_PORT);
}

TEST_F(DiscoveryTest, SilentAddressGivesNothingAfterTheQuietWindow) {
    const auto t0 = std::chrono::steady_clock::now();
    monitor.UpdateAgentList(coretest::Ip(RandomLoopback()));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(monitor.AgentList().Count(), 0u);
    EXPECT_GE(took, 0.2);
    EXPECT_LT(took, 1.0);
    EXPECT_EQ(trace.Count("Total AgentList Count = 0"), 1);
}

} // namespace
