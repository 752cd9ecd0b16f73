// The core's pieces that need no controller: frame checks, settings clamps, the subnet filter,
// the event-list model, the window bridge, the warning countdown and the failed-device list.
#include "AgentDatagram.h"
#include "CoreTestSupport.h"
#include "EventList.h"
#include "FailedDeviceList.h"

#include <gtest/gtest.h>

#include <future>

using namespace coretest;

namespace {

std::vector<unsigned char> Frame(const std::vector<unsigned char>& payload) {
    std::vector<unsigned char> f{0x5E, 0x01, 0x61, static_cast<unsigned char>(payload.size()),
                                 static_cast<unsigned char>(payload.size() >> 8)};
    for (unsigned char b : payload)
        f.push_back(b);
    f.push_back(0);
    f.back() = FrameChecksum(f.data(), f.size());
    return f;
}

TEST(AgentFrameTest, ValidityAndPortReplies) {
    std::vector<unsigned char> identify(7);
    BuildAgentCommand(AGENT_CMD_IDENTIFY, identify.data());
    std::vector<unsigned char> port(7);
    BuildAgentCommand(AGENT_CMD_HTTP_PORT, port.data());
    EXPECT_EQ(identify, (std::vector<unsigned char>{0x5E, 0x01, 0x61, 0x01, 0x00, 0x13, 0x14}));
    EXPECT_EQ(port, (std::vector<unsigned char>{0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1}));

    auto badStart = Frame({1, 2});
    badStart[2] = 0x62;
    auto badSum = Frame({1, 2});
    badSum.back() ^= 1;
    auto longLength = Frame({1, 2});
    longLength[3] = 3;
    std::vector<unsigned char> big = Frame(std::vector<unsigned char>(123, 7)); // 129 bytes
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        bool valid;
        int port;
    } cases[] = {
        {"port reply 1F 90 is unsigned", Frame({0x1F, 0x90}), true, 36895},
        {"port reply 80", Frame({80, 0}), true, 80},
        {"empty payload", Frame({}), true, -1},
        {"identify request", identify, true, -1},
        {"wrong start byte", badStart, false, -1},
        {"wrong checksum", badSum, false, -1},
        {"length field too long", longLength, false, -1},
        {"five bytes", {0x5E, 0x01, 0x61, 0x00, 0x00}, false, -1},
        {"nothing", {}, false, -1},
        {"a 129-byte reply read into 128 bytes", {big.begin(), big.begin() + 128}, false, -1},
        {"the same reply whole", big, true, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidAgentFrame(c.bytes.data(), c.bytes.size()), c.valid) << c.what;
        EXPECT_EQ(ParsePortReply(c.bytes.data(), c.bytes.size()), c.port) << c.what;
    }
}

TEST(PollSettingsTest, HandEditedValuesAreClampedAtUse) {
    const struct {
        int interval, retries, timeout, level;
        SPollSettings want;
    } cases[] = {
        {5, 1, 5, 3, {5, 1, 5, 3}},           {0, -1, 0, -1, {1, 0, 1, 0}},
        {-30, -30, -30, -30, {1, 0, 1, 0}},   {1000000, 1000000, 1000000, 9, {120, 10, 120, 3}},
        {120, 10, 120, 0, {120, 10, 120, 0}},
    };
    for (const auto& c : cases) {
        SScratchSettings s;
        s.store.Update([&](SettingsRecord& r) {
            r.PollInterval = c.interval;
            r.PollRetries = c.retries;
            r.PollTimeout = c.timeout;
            r.Level = c.level;
        });
        CRecordingSink sink;
        CMonitor monitor(s.store, sink);
        const SPollSettings got = monitor.PollSettings();
        EXPECT_EQ(got.interval, c.want.interval) << c.interval;
        EXPECT_EQ(got.retries, c.want.retries) << c.retries;
        EXPECT_EQ(got.timeout, c.want.timeout) << c.timeout;
        EXPECT_EQ(got.level, c.want.level) << c.level;
        EXPECT_EQ(s.store.Snapshot().PollInterval, c.interval) << "the stored value stays";
    }
}

TEST(SubnetFilterTest, ThirdNumberLoopbackAndNoAddress) {
    const struct {
        const char* filter;
        const char* sender;
        bool accepted;
    } cases[] = {
        {"10.213.5.1", "10.213.5.77", true},   {"10.213.5.1", "10.213.6.1", false},
        {"10.213.5.1", "192.168.5.200", true}, // only the third number counts
        {"10.213.5.1", "127.0.0.1", true},     {"10.213.5.1", "127.44.3.9", true},
        {"0.0.0.0", "10.9.9.9", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubnetFilterAccepts(Ip(c.filter), Ip(c.sender)), c.accepted)
            << c.filter << " " << c.sender;
}

std::tm Time(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

TEST(EventListTest, StampsWithoutPaddingAndStatusCutToItsArea) {
    CStringTable::SetLanguage(ELanguage::English);
    const std::tm t = Time(2004, 6, 5, 9, 7, 3);
    EXPECT_EQ(FormatEventTime(t), "2004-6-5  9:7:3");
    EXPECT_EQ(FormatClock(t), "2004/6/5  9:7:3");
    EXPECT_EQ(FormatStatusText(t, "x"), "2004/6/5 9:7:3  x");

    const std::string prefix = "2004/6/5 9:7:3  ";
    const std::string fits(STATUS_TEXT_MAX - prefix.size(), 'a');
    EXPECT_EQ(FormatStatusText(t, fits), prefix + fits);
    EXPECT_EQ(FormatStatusText(t, fits + "bbbb"), prefix + fits);
    // A Chinese character straddling the end goes whole.
    const std::string straddle =
        std::string(STATUS_TEXT_MAX - prefix.size() - 1, 'a') + "\xE9\x9B\xBB";
    EXPECT_EQ(FormatStatusText(t, straddle),
              prefix + std::string(STATUS_TEXT_MAX - prefix.size() - 1, 'a'));
}

TEST(EventListTest, NewestFirstWithALimit) {
    CEventList list;
    list.SetClock([] { return Time(2024, 1, 2, 3, 4, 5); });
    list.SetLineLimit(2);
    for (const char* text : {"one", "two", "three"})
        list.Add(text);
    const auto lines = list.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "three");
    EXPECT_EQ(lines[1].text, "two");
    EXPECT_EQ(lines[0].time, "2024-1-2  3:4:5");
    EXPECT_EQ(list.StatusText(), "2024/1/2 3:4:5  three");
}

// A failed log write is reported in a box, raised only once the event-list lock is free:
// otherwise every monitor thread adding a line would stall behind the box.
TEST(EventListTest, LogWriteFailureBoxComesAfterTheLock) {
    SScratchSettings s;
    CRecordingSink sink;
    sink.m_failLog = true;
    struct CProbeWindow : CThreadWindow {
        CMonitor* monitor = nullptr;
        std::atomic<bool> lockFree{false};
        void PostToWindow(std::function<void()> fn) override {
            // Called on the thread that raised the box: can another thread take the lock now?
            if (monitor != nullptr) {
                // The last post is the box (the line before it is posted under the lock, so
                // the probe of that one times out); the prober is left to finish on its own.
                auto done = std::make_shared<std::promise<void>>();
                auto ready = done->get_future();
                std::thread([m = monitor, done] {
                    m->EventList().Count();
                    done->set_value();
                }).detach();
                lockFree = ready.wait_for(300ms) == std::future_status::ready;
            }
            CThreadWindow::PostToWindow(std::move(fn));
        }
    } window;
    CMonitor monitor(s.store, sink, &window);
    window.monitor = &monitor;
    monitor.AddEventToList("a line");
    window.monitor = nullptr;
    window.RunOnWindow([] {});
    ASSERT_EQ(window.Boxes().size(), 1u);
    EXPECT_EQ(window.Boxes()[0], "Failed to write to log file");
    EXPECT_TRUE(window.lockFree);
}

TEST(EventListTest, ConcurrentLinesStayWholeAndInLockOrder) {
    SScratchSettings s;
    CRecordingSink sink;
    CMonitor monitor(s.store, sink);
    constexpr int kPerThread = 200;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                monitor.AddEventToList("thread " + std::to_string(t) + " line " +
                                       std::to_string(i));
        });
    threads.clear();
    const auto lines = monitor.EventList().Lines();
    const auto log = sink.Log();
    ASSERT_EQ(lines.size(), 4u * kPerThread);
    ASSERT_EQ(log.size(), lines.size());
    // The log got the lines in the order they entered the list (the list is newest first).
    for (std::size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(log[i], lines[lines.size() - 1 - i].text);
}

TEST(WindowBridgeTest, StopReleasesAWaitAndTheStepNeverRuns) {
    CThreadWindow window;
    CWindowBridge bridge;
    bridge.SetWindow(&window);
    window.Hold();
    std::stop_source stop;
    std::atomic<bool> ran{false};
    std::atomic<bool> returned{false};
    bool result = true;
    std::thread waiter([&] {
        result = bridge.RunAndWait([&] { ran = true; }, stop.get_token());
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned) << "waits while the window is busy";
    stop.request_stop();
    waiter.join();
    EXPECT_FALSE(result);
    window.Resume();
    window.RunOnWindow([] {});
    EXPECT_FALSE(ran) << "an abandoned step must not run later";

    EXPECT_TRUE(bridge.RunAndWait([&] { ran = true; }, {}));
    EXPECT_TRUE(ran);
}

TEST(WindowBridgeTest, MessageBoxesOneAtATimeIdenticalTextsMerged) {
    CThreadWindow window;
    CWindowBridge bridge;
    bridge.SetWindow(&window);
    for (const char* text : {"A", "A", "B", "A", "B", "C"})
        bridge.RaiseMessageBox(text);
    window.RunOnWindow([] {});
    EXPECT_EQ(window.Boxes(), (std::vector<std::string>{"A"})) << "the next waits for OK";
    bridge.MessageBoxClosed();
    window.RunOnWindow([] {});
    bridge.RaiseMessageBox("B"); // showing: merged
    bridge.MessageBoxClosed();
    window.RunOnWindow([] {});
    bridge.MessageBoxClosed();
    window.RunOnWindow([] {});
    bridge.MessageBoxClosed();
    window.RunOnWindow([] {});
    EXPECT_EQ(window.Boxes(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(bridge.MergedMessageBoxes(), 4u);
}

TEST(WindowBridgeTest, BoxesRaisedBeforeTheWindowAppearWithIt) {
    CWindowBridge bridge;
    bridge.RaiseMessageBox("Failed to open log file");
    CThreadWindow window;
    bridge.SetWindow(&window);
    window.RunOnWindow([] {});
    EXPECT_EQ(window.Boxes(), (std::vector<std::string>{"Failed to open log file"}));
}

// The countdown ends only a warning: an alarm, an outage or a normal state shown meanwhile
// stays as it is, and an outage is never overwritten.
TEST(WarningCountdownTest, EndsOnlyTheWarningState) {
    const struct {
        int state, warning, errors, ticks;
        int wantState, wantWarning;
    } cases[] = {
        {AGENT_WARNING, 10, 0, 9, AGENT_WARNING, 1}, {AGENT_WARNING, 10, 0, 10, AGENT_NORMAL, 0},
        {AGENT_WARNING, 10, 2, 10, AGENT_ALARM, 0},  {AGENT_WARNING, 10, -1, 10, AGENT_ALARM, 0},
        {AGENT_WARNING, 2, 0, 5, AGENT_NORMAL, 0},   {AGENT_DOWN, 3, 0, 3, AGENT_DOWN, 0},
        {AGENT_ALARM, 3, 1, 3, AGENT_ALARM, 0},      {AGENT_NORMAL, 0, 0, 3, AGENT_NORMAL, 0},
    };
    for (const auto& c : cases) {
        SScratchSettings s;
        CRecordingSink sink;
        CMonitor monitor(s.store, sink);
        AgentPtr agent = OfflineAgent(monitor, "127.0.0.7");
        agent->m_State = c.state;
        agent->m_WarningCount = c.warning;
        agent->m_ErrorCount = c.errors;
        for (int i = 0; i < c.ticks; ++i)
            monitor.WarningCountdownTick();
        EXPECT_EQ(agent->m_State, c.wantState) << c.state << "/" << c.warning << "/" << c.errors;
        EXPECT_EQ(agent->m_WarningCount, c.wantWarning);
    }
}

TEST(AgentStateTest, RowRuleAndRemovedAgents) {
    SScratchSettings s;
    CRecordingSink sink;
    CThreadWindow window;
    window.m_allRows = false;
    CMonitor monitor(s.store, sink, &window);
    AgentPtr agent = OfflineAgent(monitor, "127.0.0.8");
    EXPECT_FALSE(monitor.SetAgentState(*agent, AGENT_ALARM));
    EXPECT_EQ(agent->m_State, AGENT_NORMAL) << "no row, no state change";
    window.SetRow(agent.get(), true);
    EXPECT_TRUE(monitor.SetAgentState(*agent, AGENT_ALARM));
    EXPECT_EQ(agent->m_State, AGENT_ALARM);
    EXPECT_EQ(window.Pictures(), (std::vector<int>{AGENT_ALARM}));
}

TEST(FailedDeviceListTest, OneEntryPerAgentAndChannel) {
    SScratchSettings s;
    CRecordingSink sink;
    CMonitor monitor(s.store, sink);
    AgentPtr a = OfflineAgent(monitor, "127.0.0.5");
    AgentPtr b = OfflineAgent(monitor, "127.0.0.6");
    CFailedDeviceList list;
    EXPECT_TRUE(list.Add(a, 0));
    EXPECT_FALSE(list.Add(a, 0));
    EXPECT_TRUE(list.Add(a, 3));
    EXPECT_TRUE(list.Add(b, 0));
    EXPECT_EQ(list.Count(), 3u);
    const auto entries = list.Snapshot();
    EXPECT_EQ(entries[0].event.evtCategory, 3);
    EXPECT_EQ(entries[1].event.evtChannel, 3);
    EXPECT_EQ(list.RemoveAgent(a.get()), 2u);
    EXPECT_EQ(list.CountFor(b.get()), 1u);
    EXPECT_FALSE(list.Remove(a.get(), 3));
    EXPECT_TRUE(list.Remove(b.get(), 0));
}

TEST(DeleteAgentTest, FailedEntriesGoFirstAndTheRecordWithThem) {
    SScratchSettings s;
    CRecordingSink sink;
    CMonitor monitor(s.store, sink);
    AgentPtr agent = OfflineAgent(monitor, "127.0.0.4");
    monitor.FailedDevices().Add(agent, 1);
    std::weak_ptr<CAgent> watch = agent;
    const CAgent* raw = agent.get();
    agent.reset();
    EXPECT_TRUE(monitor.DeleteAgent(raw));
    EXPECT_EQ(monitor.FailedDevices().Count(), 0u);
    EXPECT_EQ(monitor.AgentList().Count(), 0u);
    EXPECT_TRUE(watch.expired()) << "nothing keeps a deleted record";
    EXPECT_FALSE(monitor.DeleteAgent(raw));
}

TEST(AddAgentTest, AddressEntryRule) {
    const struct {
        int fields[4];
        bool accepted;
    } cases[] = {
        {{127, 1, -1, -1}, true}, {{127, 3, 4, 5}, true},  {{127, -1, -1, -1}, false},
        {{0, 1, 2, 3}, false},    {{127, 0, 2, 3}, false}, {{-1, -1, -1, -1}, false},
    };
    SScratchSettings s;
    CRecordingSink sink;
    CMonitor monitor(s.store, sink);
    monitor.SetTiming({1000ms, 20ms, 0ms});
    for (const auto& c : cases)
        EXPECT_EQ(monitor.AddAgentByAddress(c.fields), c.accepted)
            << c.fields[0] << "." << c.fields[1];
}

} // namespace
