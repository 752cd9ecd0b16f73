// A disk check on an agent the monitor is watching: the worker and the agent's monitor
// thread share the agent's session. Quit ends the run within one exchange and the agent's
// polling goes on as before.
#include "AgentTarget.h"
#include "DiskCheckRun.h"
#include "FakeController.h" // CRecordedProgress, CScratchDir, ReadFile
#include "SimAgent.h"
#include "VrnTestPaths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

std::string ScenarioText(const char* name) {
    std::ifstream in(std::string(VRN_SOURCE_DIR) + "/tests/integration/diskcheck/scenarios/" +
                     name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DiskCheckMonitor, QuitDuringAWaitReturnsWithinAnExchangeAndMonitoringGoesOn) {
    coretest::SScratchSettings settings(1, 0, 1);
    coretest::CRecordingSink sink;
    CMonitor monitor(settings.store, sink);
    monitor.SetTiming({50ms, 150ms, 0ms});
    monitor.SetLibrarySleeper(coretest::NoLibrarySleep, nullptr);
    std::atomic<int> polls{0};
    monitor.SetQueryHook([&](CAgent&, EAgentQuery q) {
        polls += q == EAgentQuery::PollEvent;
        return 0;
    });
    coretest::CSimAgent sim(ScenarioText("two-free-drives.json"));
    ASSERT_TRUE(sim.Ready());
    monitor.UpdateAgentList(sim.Ip());
    monitor.ApplyPollTimeout();
    ASSERT_EQ(monitor.AgentList().Count(), 1u);
    ASSERT_TRUE(coretest::WaitUntil([&] { return polls >= 2; }));

    CTestPlan plan;
    plan.agents = TestableAgents(monitor.AgentList());
    ASSERT_EQ(plan.agents.size(), 1u);
    plan.SelfTest = 1;
    plan.SelfTestType = SELF_TEST_EXTENDED;
    CRecordedProgress progress;
    CDiskCheckClock clock(0.01); // the 65-minute wait takes 39 s: Quit comes long before
    CScratchDir dir;
    CDiskCheckRun run(plan, progress, clock, dir.Path(), ELanguage::English);
    run.Start();
    ASSERT_TRUE(coretest::WaitUntil([&] {
        return progress.Column(TEST_COLUMN_PROGRESS).size() >= 5; // "waiting...", then seconds
    }));

    const auto quit = std::chrono::steady_clock::now();
    run.RequestStop();
    run.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - quit, 1s); // the reply time-out is 1 s
    EXPECT_FALSE(run.Completed(0));
    const std::string page = ReadFile(dir.Path() / (sim.Address() + ".html"));
    ASSERT_GE(page.size(), 18u);
    EXPECT_EQ(page.substr(page.size() - 18), "</body>\r\n</html>\r\n");

    const int before = polls;
    EXPECT_TRUE(coretest::WaitUntil([&] { return polls >= before + 3; }, 2s));
    EXPECT_NE(monitor.AgentList().At(0)->m_State.load(), AGENT_DOWN);
    monitor.Shutdown();
}

} // namespace
