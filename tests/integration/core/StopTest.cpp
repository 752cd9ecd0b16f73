// Taking an agent away while its monitor thread is busy: in a silent exchange, asleep, waiting
// for the window, or notifying through a mail server that never answers. Each returns within
// one reply time-out and a little, and the stop itself reports nothing (no Device Down).
#include "AddressBook.h"
#include "Notifier.h"
#include "SimAgent.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>

using namespace coretest;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

class StopTest : public ::testing::Test {
protected:
    // interval: PollInterval in settings units of `unit`.
    void Start(int agents, int interval = 1, std::chrono::milliseconds unit = 50ms,
               IMonitorWindow* window = nullptr) {
        settings.store.Update([&](SettingsRecord& r) { r.PollInterval = interval; });
        monitor = std::make_unique<CMonitor>(settings.store, sink, window);
        monitor->SetTiming({unit, 100ms, 0ms});
        monitor->SetLibrarySleeper(NoLibrarySleep, nullptr);
        trace.Attach(*monitor);
        monitor->SetQueryHook([this](CAgent&, EAgentQuery q) {
            if (q == EAgentQuery::PollEvent)
                ++polls;
            return 0;
        });
        std::vector<std::uint32_t> addresses;
        for (int i = 0; i < agents; ++i) {
            sims.push_back(std::make_unique<CSimAgent>());
            ASSERT_TRUE(sims.back()->Ready());
            addresses.push_back(sims.back()->Ip());
        }
        monitor->UpdateAgentList(addresses);
        monitor->ApplyPollTimeout();
        ASSERT_EQ(monitor->AgentList().Count(), static_cast<std::size_t>(agents));
        ASSERT_TRUE(trace.WaitFor("Event Index =", agents));
    }
    void TearDown() override {
        if (monitor)
            monitor->Shutdown();
    }
    // Every sim goes silent; returns once each agent has a poll in flight (a silent one takes
    // the whole second, so each agent starts at most one before this returns).
    void SilenceAll() {
        for (auto& s : sims)
            ASSERT_EQ(s->Ctl("fault silent on"), "ok");
        const int before = polls;
        ASSERT_TRUE(WaitUntil([&] { return polls >= before + static_cast<int>(sims.size()); }));
        std::this_thread::sleep_for(100ms);
    }

    SScratchSettings settings;
    CRecordingSink sink;
    CTraceLog trace;
    std::atomic<int> polls{0};
    std::vector<std::unique_ptr<CSimAgent>> sims;
    std::unique_ptr<CMonitor> monitor;
};

// PollTimeout is 1 s: one reply time-out, plus a little.
constexpr double kOneCallAndALittle = 1.6;

TEST_F(StopTest, DeleteDuringASilentExchange) {
    Start(1);
    SilenceAll();
    const auto t0 = Clock::now();
    ASSERT_TRUE(monitor->DeleteAgent(monitor->AgentList().At(0).get()));
    EXPECT_LT(SecondsSince(t0), kOneCallAndALittle);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sink.LogCount("Device Down"), 0) << "a stop is no outage";
    EXPECT_EQ(monitor->AgentList().Count(), 0u);
}

TEST_F(StopTest, DeleteWhileAsleep) {
    Start(1, 120, 1000ms);
    const auto t0 = Clock::now();
    ASSERT_TRUE(monitor->DeleteAgent(monitor->AgentList().At(0).get()));
    EXPECT_LT(SecondsSince(t0), 0.5);
}

TEST_F(StopTest, DeleteWhileMailing) {
    Start(1);
    sink.m_hangNotify = true;
    ASSERT_EQ(sims[0]->Ctl("event add 2 12 0 Vol0"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return !sink.Notified().empty(); }));
    const std::size_t logged = sink.Log().size();
    const std::size_t reported = sink.Syslog().size();
    const auto t0 = Clock::now();
    ASSERT_TRUE(monitor->DeleteAgent(monitor->AgentList().At(0).get()));
    EXPECT_LT(SecondsSince(t0), 0.5);
    EXPECT_EQ(sink.Log().size(), logged);
    EXPECT_EQ(sink.Syslog().size(), reported) << "nothing reported for an agent taken away";
}

// Exit stops every thread at once: three silent agents cost one time-out, not three.
TEST_F(StopTest, ShutdownStopsAllAtOnce) {
    Start(3);
    SilenceAll();
    const auto t0 = Clock::now();
    monitor->Shutdown();
    EXPECT_LT(SecondsSince(t0), kOneCallAndALittle);
    EXPECT_EQ(sink.LogCount("Device Down"), 0);
}

// A mail server that takes the connection and never greets: the real notifier waits for it
// on the agent's thread, and Delete must end that wait.
class CSilentSmtpServer {
public:
    CSilentSmtpServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = AgentAddress("127.0.0.1");
        a.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::jthread([this](std::stop_token st) {
            while (!st.stop_requested()) {
                pollfd p{m_listen, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    std::lock_guard lock(m_mutex);
                    m_clients.push_back(c);
                }
            }
        });
    }
    ~CSilentSmtpServer() {
        m_thread.request_stop();
        m_thread.join();
        for (int c : m_clients)
            ::close(c);
        ::close(m_listen);
    }
    int Port() const { return m_port; }
    std::size_t Connections() {
        std::lock_guard lock(m_mutex);
        return m_clients.size();
    }

private:
    int m_listen = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<int> m_clients;
    std::jthread m_thread;
};

// The notifier of monitor/notify behind the core's sink, as the program glues them.
class CNotifierSink : public IAlarmSink {
public:
    CNotifierSink(CSettingsStore& settings, int smtpPort)
        : m_messages([this](const std::string& text) {
              std::lock_guard lock(m_mutex);
              m_boxes.push_back(text);
          }),
          m_notifier(settings, m_mail, m_message, m_messages, Options(smtpPort)) {
        m_mail.AddUser(true, "Ops", "ops@site.test");
    }
    void NotifyAlarm(int ideChannels, const std::string& text, std::stop_token stop) override {
        m_notifier.NotifyAlarm(ideChannels, text, stop);
    }
    void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) override {
        m_records.ReportSystemEvent(type, id, text);
    }
    bool WriteLogLine(std::string_view text) override { return m_records.WriteLogLine(text); }
    std::vector<std::string> Boxes() {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }
    CRecordingSink m_records; // the log and system-log side, recorded

private:
    static SNotifierOptions Options(int port) {
        SNotifierOptions o;
        o.smtpPort = port;
        return o;
    }
    std::mutex m_mutex;
    std::vector<std::string> m_boxes;
    CMailBook m_mail;
    CMessageBook m_message;
    CMessagesToFunction m_messages;
    CNotifier m_notifier;
};

TEST(StopMailTest, DeleteWhileTheMailServerNeverAnswers) {
    SScratchSettings settings;
    settings.store.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MAIL;
        std::strcpy(r.Server, "127.0.0.1");
    });
    CSilentSmtpServer server;
    CNotifierSink sink(settings.store, server.Port());
    CTraceLog trace;
    CSimAgent sim;
    ASSERT_TRUE(sim.Ready());
    CMonitor monitor(settings.store, sink);
    monitor.SetTiming({50ms, 100ms, 0ms});
    monitor.SetLibrarySleeper(NoLibrarySleep, nullptr);
    trace.Attach(monitor);
    monitor.UpdateAgentList(sim.Ip());
    monitor.ApplyPollTimeout();
    ASSERT_TRUE(trace.WaitFor("Event Index ="));
    ASSERT_EQ(sim.Ctl("event add 2 12 0 Vol0"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return server.Connections() > 0; }));
    std::this_thread::sleep_for(100ms);
    const std::size_t logged = sink.m_records.Log().size();
    const auto t0 = Clock::now();
    ASSERT_TRUE(monitor.DeleteAgent(monitor.AgentList().At(0).get()));
    EXPECT_LT(SecondsSince(t0), 0.5);
    EXPECT_EQ(sink.m_records.Log().size(), logged);
    EXPECT_TRUE(sink.m_records.Syslog().empty());
    EXPECT_TRUE(sink.Boxes().empty()) << "a stop is no mail failure";
}

// A monitor thread waiting for the window (its state picture) is released by the stop, and
// the step it had posted does nothing when the window gets to it.
TEST_F(StopTest, DeleteWhileWaitingForTheWindow) {
    CThreadWindow window;
    Start(1, 1, 50ms, &window);
    window.Hold();
    ASSERT_EQ(sims[0]->Ctl("event add 2 12 0 Vol0"), "ok");
    ASSERT_TRUE(sink.WaitLogged("Vol0 Volume Failed"));
    ASSERT_TRUE(WaitUntil([&] { return window.Pending() > 0; }));
    std::this_thread::sleep_for(50ms);
    const auto t0 = Clock::now();
    ASSERT_TRUE(monitor->DeleteAgent(monitor->AgentList().At(0).get()));
    EXPECT_LT(SecondsSince(t0), 0.5);
    window.Resume();
    window.RunOnWindow([] {});
    EXPECT_TRUE(window.Pictures().empty()) << "the abandoned state step must not run";
}

} // namespace
