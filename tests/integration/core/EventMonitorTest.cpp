// The event monitor against vrnsim over UDP: event index steps, page requests, outages and
// revivals, failed devices, and the checks at start.
#include "SimAgent.h"

#include <gtest/gtest.h>

using namespace coretest;

namespace {

class EventMonitorTest : public ::testing::Test {
protected:
    void Start(const std::string& scenario = "",
               std::function<int(CAgent&, EAgentQuery)> also = nullptr) {
        sim = std::make_unique<CSimAgent>(scenario);
        ASSERT_TRUE(sim->Ready());
        monitor = std::make_unique<CMonitor>(settings.store, sink);
        monitor->SetTiming({50ms, 100ms, 0ms});
        monitor->SetLibrarySleeper(NoLibrarySleep, nullptr);
        trace.Attach(*monitor);
        gate.Install(*monitor, std::move(also));
        monitor->UpdateAgentList(sim->Ip());
        monitor->ApplyPollTimeout();
        ASSERT_EQ(monitor->AgentList().Count(), 1u);
        agent = monitor->AgentList().At(0);
        // The checks at start are over once the loop has polled.
        ASSERT_TRUE(trace.WaitFor("Event Index ="));
    }
    void TearDown() override {
        gate.Open();
        agent.reset();
        if (monitor)
            monitor->Shutdown();
    }
    // Adds events while the monitor thread waits before its next poll, so that it finds them
    // all in one cycle.
    void AddEventsInOneCycle(const std::vector<std::string>& events) {
        ASSERT_TRUE(gate.Close());
        for (const std::string& e : events)
            ASSERT_EQ(sim->Ctl("event add " + e), "ok") << e;
        gate.Open();
    }

    SScratchSettings settings;
    CRecordingSink sink;
    CTraceLog trace;
    CPollGate gate;
    std::unique_ptr<CSimAgent> sim;
    std::unique_ptr<CMonitor> monitor;
    AgentPtr agent;
};

TEST_F(EventMonitorTest, IndexWrapFrom62To1ReadsThreeEventsOldestFirst) {
    Start(R"({"eventIndex": 62})");
    EXPECT_EQ(agent->m_LastEventIndex, 62);
    AddEventsInOneCycle({"2 12 0 VolA", "2 11 1 VolB", "4 1 0"});
    const std::string ip = sim->Address();
    ASSERT_TRUE(sink.WaitLogged(ip + " HOST SCSI Bus Parity"));
    ASSERT_TRUE(WaitUntil([&] { return agent->m_State == AGENT_ALARM; }));
    const auto log = sink.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], ip + " VolA Volume Failed");
    EXPECT_EQ(log[1], ip + " VolB Volume Degraded");
    EXPECT_EQ(log[2], ip + " HOST SCSI Bus Parity");
    EXPECT_EQ(agent->m_LastEventIndex, 1);
    EXPECT_EQ(agent->m_ErrorCount, 2);
    EXPECT_EQ(agent->m_State, AGENT_ALARM);
}

TEST_F(EventMonitorTest, UnchangedIndexSendsOnlyThePoll) {
    Start();
    ASSERT_TRUE(gate.Close());
    const long frames0 = sim->Frames();
    const int polls0 = gate.Polls();
    gate.Open();
    ASSERT_TRUE(trace.WaitFor("Event Index =", trace.Count("Event Index =") + 10));
    ASSERT_TRUE(gate.Close());
    const long frames = sim->Frames() - frames0;
    const int polls = gate.Polls() - polls0;
    gate.Open();
    EXPECT_GE(polls, 10);
    EXPECT_EQ(frames, polls) << "one frame per poll: no page request while the index stands";
    EXPECT_TRUE(sink.Log().empty());
}

TEST_F(EventMonitorTest, FailedPageRequestIsReadNextCycle) {
    std::atomic<int> pageAttempts{0};
    Start("", [&](CAgent&, EAgentQuery q) {
        return q == EAgentQuery::EventPage && pageAttempts++ == 0 ? VRN_NO_REPLY : 0;
    });
    AddEventsInOneCycle({"2 12 3 Lost"});
    ASSERT_TRUE(sink.WaitLogged("Lost Volume Failed"));
    // A few more cycles: the event is not read twice.
    ASSERT_TRUE(trace.WaitFor("Event Index =", trace.Count("Event Index =") + 5));
    EXPECT_EQ(sink.LogCount("Lost Volume Failed"), 1);
    EXPECT_EQ(pageAttempts, 2);
}

// An event logged after the monitor's poll and before its page fetch is read once, in order.
TEST_F(EventMonitorTest, EventArrivingDuringTheFetchIsNeitherLostNorRepeated) {
    CSimAgent* simAgent = nullptr;
    std::atomic<int> pageAttempts{0};
    Start("", [&](CAgent&, EAgentQuery q) {
        if (q == EAgentQuery::EventPage && pageAttempts++ == 0)
            simAgent->Ctl("event add 2 11 0 Second");
        return 0;
    });
    simAgent = sim.get();
    AddEventsInOneCycle({"2 12 0 First"});
    ASSERT_TRUE(sink.WaitLogged("Second Volume Degraded"));
    ASSERT_TRUE(trace.WaitFor("Event Index =", trace.Count("Event Index =") + 5));
    const auto log = sink.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("First Volume Failed"), std::string::npos);
    EXPECT_NE(log[1].find("Second Volume Degraded"), std::string::npos);
}

TEST_F(EventMonitorTest, ChecksAtStartRaiseEveryConditionOnce) {
    Start(R"({"hwmon": {"fans": [0, 2500], "fanStopped": [true, false],
               "rails": [[5000, 5500], [5000, 5501], [12000, 10799], [3300, 2970]],
               "powers": [true, false]},
             "drives": [{"model": "M", "serial": "S0", "capacity": 1000, "failed": true}, null],
             "raidSets": [], "volumeSets": []})");
    const std::string ip = sim->Address();
    const std::vector<std::string> want = {
        ip + " H/W MONITOR Fan#1 Failed",        ip + " H/W MONITOR Power#2 Failed",
        ip + " H/W MONITOR 5.0V Abnormal",       ip + " H/W MONITOR 12.0V Abnormal",
        ip + " IDE Channel # 0  Device Failed ",
    };
    EXPECT_EQ(sink.Log(), want);
    EXPECT_EQ(agent->m_ErrorCount, 5);
    EXPECT_EQ(agent->m_State, AGENT_ALARM);
    EXPECT_EQ(monitor->FailedDevices().CountFor(agent.get()), 1u);
    for (const auto& rec : sink.Syslog()) {
        EXPECT_EQ(rec.type, SYSLOG_ERROR);
        EXPECT_EQ(rec.id, EVENT_ID_ERROR);
    }
    EXPECT_EQ(sink.Notified(), want) << "alarms are notified whatever the level";
}

TEST_F(EventMonitorTest, VolumeChecksReportFailedAndDegraded) {
    Start();
    ASSERT_EQ(sim->Ctl("volume 1 fail"), "ok");
    // The checks run again after an outage.
    ASSERT_EQ(sim->Ctl("fault silent on"), "ok");
    ASSERT_TRUE(sink.WaitLogged("Device Down"));
    ASSERT_EQ(sim->Ctl("drive 5 fail"), "ok");
    ASSERT_EQ(sim->Ctl("fault silent off"), "ok");
    ASSERT_TRUE(sink.WaitLogged("IDE Channel # 5  Device Failed "));
    EXPECT_EQ(sink.LogCount("Volume Set # 01  Volume Failed "), 1);
    EXPECT_EQ(sink.LogCount("Volume Set # 00"), 0);
}

TEST_F(EventMonitorTest, SilenceGivesOneDeviceDownAndRevivalReraisesTheFan) {
    Start(R"({"hwmon": {"fans": [0], "fanStopped": [true]}})");
    const std::string ip = sim->Address();
    ASSERT_EQ(sink.LogCount("Fan#1 Failed"), 1);
    ASSERT_EQ(sim->Ctl("fault silent on"), "ok");
    ASSERT_TRUE(trace.WaitFor("(Check Point 2)", 3, 20s));
    EXPECT_EQ(sink.LogCount(ip + " Device Down"), 1);
    EXPECT_EQ(agent->m_State, AGENT_DOWN);
    ASSERT_EQ(sim->Ctl("fault silent off"), "ok");
    ASSERT_TRUE(sink.WaitLogged("Fan#1 Failed", 2));
    const auto log = sink.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1], ip + " Device Down");
    EXPECT_EQ(log[2], ip + " Device Revived");
    EXPECT_EQ(log[3], ip + " H/W MONITOR Fan#1 Failed");
    EXPECT_TRUE(WaitUntil([&] { return agent->m_State == AGENT_ALARM; }));
    EXPECT_EQ(agent->m_ErrorCount, 1) << "zeroed at revival, then the fan again";
}

// A failed device is re-checked by the tick and cleared once healthy; an outage in between
// leaves one entry, so the count ends at 0, not below.
TEST_F(EventMonitorTest, FailedDeviceIsReCheckedAndClears) {
    Start(R"({"drives": [null, null, null, null, null,
                         {"model": "M", "serial": "S5", "capacity": 1000, "failed": true}],
              "raidSets": [], "volumeSets": []})");
    ASSERT_EQ(sink.LogCount("IDE Channel # 5  Device Failed "), 1);
    ASSERT_EQ(sim->Ctl("fault silent on"), "ok");
    ASSERT_TRUE(sink.WaitLogged("Device Down"));
    ASSERT_EQ(sim->Ctl("fault silent off"), "ok");
    ASSERT_TRUE(sink.WaitLogged("IDE Channel # 5  Device Failed ", 2));
    ASSERT_TRUE(trace.WaitFor("Event Index =", trace.Count("Event Index =") + 1));
    EXPECT_EQ(monitor->FailedDevices().CountFor(agent.get()), 1u) << "one entry after the outage";
    EXPECT_EQ(agent->m_ErrorCount, 1);

    monitor->FailedDeviceTick();
    EXPECT_EQ(monitor->FailedDevices().Count(), 1u) << "still failed: stays";
    EXPECT_EQ(agent->m_ErrorCount, 1);
    ASSERT_EQ(sim->Ctl("drive 5 ok"), "ok");
    monitor->FailedDeviceTick();
    EXPECT_EQ(monitor->FailedDevices().Count(), 0u);
    EXPECT_EQ(agent->m_ErrorCount, 0);
    EXPECT_EQ(agent->m_State, AGENT_NORMAL);
    monitor->FailedDeviceTick();
    EXPECT_EQ(agent->m_ErrorCount, 0);
}

// While an outage is shown, a device that recovers meanwhile must not let the tick take the
// agent out of the outage: its revival would go unreported and so would every later outage.
TEST_F(EventMonitorTest, RecoveryDuringAnOutageLeavesItToTheRevival) {
    Start(R"({"drives": [null, null, null, null, null,
                         {"model": "M", "serial": "S5", "capacity": 1000, "failed": true}],
              "raidSets": [], "volumeSets": []})");
    const std::string ip = sim->Address();
    ASSERT_EQ(sim->Ctl("fault silent on"), "ok");
    ASSERT_TRUE(sink.WaitLogged(ip + " Device Down"));
    // Held before its next poll: the controller answers again, the thread has not seen it yet.
    ASSERT_TRUE(gate.Close());
    ASSERT_EQ(sim->Ctl("fault silent off"), "ok");
    ASSERT_EQ(sim->Ctl("drive 5 ok"), "ok");
    monitor->FailedDeviceTick();
    EXPECT_EQ(agent->m_State, AGENT_DOWN);
    EXPECT_EQ(agent->m_ErrorCount, 1);
    EXPECT_EQ(monitor->FailedDevices().CountFor(agent.get()), 1u);

    const int polled = trace.Count("Event Index =");
    gate.Open();
    ASSERT_TRUE(sink.WaitLogged(ip + " Device Revived"));
    ASSERT_TRUE(trace.WaitFor("Event Index =", polled + 1));
    EXPECT_EQ(monitor->FailedDevices().Count(), 0u);
    EXPECT_EQ(agent->m_ErrorCount, 0);
    EXPECT_TRUE(WaitUntil([&] { return agent->m_State == AGENT_NORMAL; }));

    ASSERT_EQ(sim->Ctl("fault silent on"), "ok");
    EXPECT_TRUE(sink.WaitLogged(ip + " Device Down", 2)) << "the next outage is reported too";
    EXPECT_EQ(sink.LogCount(ip + " Device Revived"), 1);
}

TEST_F(EventMonitorTest, WarningEventShowsTheWarningUntilTheCountdownEnds) {
    Start();
    AddEventsInOneCycle({"3 0 4"});
    ASSERT_TRUE(sink.WaitLogged("Device Channel #5 Device Inserted"));
    ASSERT_TRUE(WaitUntil([&] { return agent->m_State == AGENT_WARNING; }));
    for (int i = 0; i < 9; ++i)
        monitor->WarningCountdownTick();
    EXPECT_EQ(agent->m_State, AGENT_WARNING);
    monitor->WarningCountdownTick();
    EXPECT_EQ(agent->m_State, AGENT_NORMAL);
}

} // namespace
