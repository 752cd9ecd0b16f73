// The disk-checking engine against simulated agents: the pages of a whole run byte for byte,
// the arrays it leaves in the controller, and a controller with another password.
#include "DiskCheckSim.h"
#include "FakeController.h" // CRecordedProgress, CScratchDir, ReadFile

#include <gtest/gtest.h>

#include "DiskCheckRun.h"

#include <nlohmann/json.hpp>

#include <chrono>

namespace {

using json = nlohmann::json;

STestAgent AgentOf(const CAgentSim& sim, std::shared_ptr<CVrnlibSMART> session = nullptr) {
    if (!session)
        session = std::make_shared<CQuickSession>(sim.Ip());
    return {sim.Ip(), std::make_shared<CLibrarySession>(session)};
}

json State(CAgentSim& sim) {
    const std::string r = sim.Ctl("state");
    return r.rfind("ok ", 0) == 0 ? json::parse(r.substr(3)) : json();
}

// Column texts of one row, in order.
std::vector<std::string> RowColumn(const CRecordedProgress& p, int row, int column) {
    std::vector<std::string> out;
    for (const auto& e : p.Entries())
        if (e.row == row && e.column == column)
            out.push_back(e.text);
    return out;
}

TEST(DiskCheckSim, TwoAgentRunWritesThePagesAndBuildsTheArrays) {
    CAgentSim a(Scenario("two-free-drives.json"));
    CAgentSim b;
    ASSERT_TRUE(a.Ready());
    ASSERT_TRUE(b.Ready());
    ASSERT_EQ(b.Ctl("fault refuse 0x4D"), "ok");

    CTestPlan plan;
    plan.agents = {AgentOf(a), AgentOf(b)};
    plan.OfflineCollection = 1;
    plan.SelfTest = 1;
    plan.SelfTestType = SELF_TEST_SHORT;
    plan.Percentage = 10;
    SVolumeChoice data;
    data.name = "Data";
    data.capacity = 10;
    data.raidLevel = 1;
    data.id = 1;
    SVolumeChoice spare = data;
    spare.id = 9;
    SVolumeChoice scratch = data;
    scratch.name = "";
    scratch.capacity = 5;
    scratch.raidLevel = 0;
    scratch.initMode = 0;
    scratch.id = 2;
    SVolumeChoice tooFew = data;
    tooFew.name = "R6";
    tooFew.capacity = 1;
    tooFew.raidLevel = 4;
    tooFew.id = 3;
    ASSERT_EQ(plan.AddVolume(data), 0);
    ASSERT_EQ(plan.AddVolume(spare), 1);
    ASSERT_EQ(plan.AddVolume(scratch), 2);
    ASSERT_EQ(plan.AddVolume(tooFew), 3);
    ASSERT_TRUE(plan.DeleteVolume(1));

    CRecordedProgress progress;
    CMillisecondClock clock;
    CScratchDir dir;
    CDiskCheckRun run(plan, progress, clock, dir.Path(), ELanguage::English);
    run.Start();
    run.Wait();

    EXPECT_EQ(ReadFile(dir.Path() / "testresult.html"),
              WithAddresses(ReadFile(Golden("testresult.html")), a.Ip(), b.Ip()));
    EXPECT_EQ(ReadFile(dir.Path() / (a.Ip() + ".html")),
              WithAddresses(ReadFile(Golden("agent.html")), a.Ip(), b.Ip()));
    EXPECT_EQ(ReadFile(dir.Path() / (b.Ip() + ".html")), "</body>\r\n</html>\r\n");
    EXPECT_TRUE(run.Completed(0));
    EXPECT_FALSE(run.Completed(1));

    // The collection waited for the slower drive: 1.5 s of the model reads as 2 seconds.
    const std::vector<std::string> types = RowColumn(progress, 0, TEST_COLUMN_TYPE);
    const std::vector<std::string> texts = RowColumn(progress, 0, TEST_COLUMN_PROGRESS);
    long waited = 0;
    bool inCollection = false;
    for (const auto& e : progress.Entries()) {
        if (e.row != 0)
            continue;
        if (e.column == TEST_COLUMN_TYPE)
            inCollection = e.text == "Off-line data collection";
        else if (e.column == TEST_COLUMN_PROGRESS && inCollection)
            ++waited;
    }
    EXPECT_EQ(waited, 62);

    // Both new volumes were watched until their initialisation ended.
    EXPECT_EQ(types, (std::vector<std::string>{
                         "waiting...", "Off-line data collection", "Off-line self-test(short)",
                         "Read/Write Test", "Creating RaidSet & VolumeSet",
                         "Volume[1] initializing\n", "Volume[2] initializing\n", "Done"}));
    EXPECT_EQ(RowColumn(progress, 1, TEST_COLUMN_TYPE),
              (std::vector<std::string>{"waiting...", "Done"}));

    const json s = State(a);
    ASSERT_TRUE(s.is_object()) << a.Ctl("state");
    const json& raid = s["raidSets"];
    ASSERT_GE(raid.size(), 2u);
    EXPECT_EQ(raid[1]["members"], json::array({0, 2}));
    const json& vols = s["volumeSets"];
    ASSERT_GE(vols.size(), 3u);
    EXPECT_EQ(vols[1]["name"], "Data            "); // blank-padded as sent
    EXPECT_EQ(vols[1]["raidSet"], 1);
    EXPECT_EQ(vols[1]["raidLevel"], 1);
    EXPECT_EQ(vols[1]["sectors"], 19531250);
    EXPECT_EQ(vols[1]["task"], "none");
    EXPECT_EQ(vols[2]["raidSet"], 1);
    EXPECT_EQ(vols[2]["sectors"], 9765625);
    EXPECT_EQ(vols[2]["quickInit"], false);
    EXPECT_EQ(vols[2]["task"], "none");
    for (size_t v = 3; v < vols.size(); ++v)
        EXPECT_TRUE(vols[v].is_null()) << v;
}

TEST(DiskCheckSim, ControllerWithAnotherPasswordGetsNothingMade) {
    CAgentSim a(Scenario("two-free-drives.json"));
    ASSERT_TRUE(a.Ready());
    ASSERT_EQ(a.Ctl("password 0000"), "ok");
    const json before = State(a);

    CTestPlan plan;
    plan.agents = {AgentOf(a)};
    SVolumeChoice v;
    v.capacity = 10;
    v.id = 4;
    plan.AddVolume(v);
    CRecordedProgress progress;
    CMillisecondClock clock;
    CScratchDir dir;
    CDiskCheckRun run(plan, progress, clock, dir.Path(), ELanguage::English);
    run.Start();
    run.Wait();

    const std::string page = ReadFile(dir.Path() / (a.Ip() + ".html"));
    EXPECT_TRUE(
        Contains(page, "</table>\r\n" + Para("Invalid Password") + "</body>\r\n</html>\r\n"))
        << page;
    EXPECT_FALSE(run.Completed(0));
    const json after = State(a);
    EXPECT_EQ(after["raidSets"], before["raidSets"]);
    EXPECT_EQ(after["volumeSets"], before["volumeSets"]);
}

} // namespace
