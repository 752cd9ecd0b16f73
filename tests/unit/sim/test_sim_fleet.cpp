// The fleet of simulated agents without sockets: where each agent lives, that every agent
// keeps its own controller, and the fleet's control language.
#include "SimFleet.h"

#include <gtest/gtest.h>

using namespace vrnsim;

namespace {

TEST(SimFleet, AgentAddressesSkipNetworkAndBroadcastNumbers) {
    struct SCase {
        const char* base;
        int k;
        const char* address; // nullptr: does not fit
    };
    const SCase cases[] = {
        {"127.1.0.0", 0, "127.1.0.1"},
        {"127.1.0.0", 253, "127.1.0.254"},
        {"127.1.0.0", 254, "127.1.1.1"},
        {"127.1.0.0", 999, "127.1.3.238"},
        {"127.1.7.9", 0, "127.1.7.1"}, // the base's last number plays no part
        {"127.9.250.0", 1523, "127.9.255.254"},
        {"127.9.250.0", 1524, nullptr}, // would leave 127.9.0.0/16
        {"127.1.0.0", -1, nullptr},
        {"127.1.0", 0, nullptr},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " #" + std::to_string(c.k));
        std::string a;
        ASSERT_EQ(c.address != nullptr, FleetAddress(c.base, c.k, a));
        if (c.address) {
            EXPECT_EQ(c.address, a);
            EXPECT_EQ(c.k, FleetIndex(c.base, a));
        }
    }
}

TEST(SimFleet, AddressesOutsideTheRangeAreNoAgent) {
    for (const char* addr : {"127.1.0.0", "127.1.0.255", "127.2.0.1", "127.1.4.1", "x"}) {
        SCOPED_TRACE(addr);
        EXPECT_EQ(-1, FleetIndex("127.1.5.0", addr));
    }
    // Every number of a long range comes back from its own address.
    for (int k = 0; k < 3000; ++k) {
        std::string a;
        ASSERT_TRUE(FleetAddress("127.3.0.0", k, a));
        ASSERT_EQ(k, FleetIndex("127.3.0.0", a)) << a;
    }
}

SFleetOptions Three() {
    SFleetOptions o;
    o.count = 3;
    o.base = "127.1.0.0";
    return o;
}

TEST(SimFleet, AChangeOnOneAgentLeavesTheOthersAlone) {
    struct SCase {
        const char* change;
        const char* probe;
    };
    const SCase cases[] = {
        {"volume 0 fail", "event-index"}, {"event add 2 12 0 Boom", "event-index"},
        {"fan 1 stop", "state"},          {"drive 2 fail", "state"},
        {"password secret", "state"},     {"fault silent on", "faults"},
        {"fault delay 300", "faults"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.change);
        CSimFleet fleet(DefaultScenario(), Three());
        std::string before[3];
        for (int k = 0; k < 3; ++k)
            before[k] = fleet.Execute("agent " + std::to_string(k) + " " + c.probe, 0);
        ASSERT_EQ("ok", fleet.Execute(std::string("agent 1 ") + c.change, 0));
        for (int k = 0; k < 3; ++k) {
            std::string after = fleet.Execute("agent " + std::to_string(k) + " " + c.probe, 0);
            ASSERT_EQ("ok", after.substr(0, 2));
            if (k == 1)
                EXPECT_NE(before[k], after) << "agent 1 did not change";
            else
                EXPECT_EQ(before[k], after) << "agent " << k << " changed with agent 1";
        }
    }
}

TEST(SimFleet, EveryAgentIsItsOwnController) {
    CSimFleet fleet(DefaultScenario(), Three());
    // Serial numbers and MAC addresses tell the controllers apart; the web pages they share
    // are whole in each.
    for (int k = 0; k < 3; ++k) {
        std::string state = fleet.Execute("agent " + std::to_string(k) + " state", 0);
        char serial[16];
        std::snprintf(serial, sizeof serial, "VRNF%08d", k + 1);
        EXPECT_NE(std::string::npos, state.find(serial)) << k;
        EXPECT_NE(std::string::npos, state.find("<title>Event Log</title>")) << k;
        EXPECT_NE(std::string::npos, state.find("Raid Powered On\\n</pre>")) << k;
    }
    EXPECT_EQ("ok 3", fleet.Execute("all event add 2 12 1 Gone", 0));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ("ok 6", fleet.Execute("agent " + std::to_string(k) + " event-index", 0));
    // The first agent that refuses stops the round and is named.
    EXPECT_EQ("err agent 0: err no volume set 99 (volume sets count from 0)",
              fleet.Execute("all volume 99 fail", 0));
}

TEST(SimFleet, ControlLinesAddressAgentsByNumberOrAddress) {
    CSimFleet fleet(DefaultScenario(), Three());
    struct SCase {
        const char* line;
        const char* reply; // exact, or its start when it ends in '*'
    };
    const SCase cases[] = {
        {"agents", "ok 3 127.1.0.1 127.1.0.3"},
        {"agent 2 frames", "ok 0"},
        {"agent 127.1.0.3 frames", "ok 0"},
        {"agent 3 frames", "err no agent 3 (0..2)"},
        {"agent 127.1.0.4 frames", "err no agent 127.1.0.4 (0..2)"},
        {"agent 127.2.0.1 frames", "err no agent 127.2.0.1 (0..2)"},
        {"agent -1 frames", "err no agent -1 (0..2)"},
        {"agent 1x frames", "err no agent 1x (0..2)"},
        {"agent 1 bogus", "err unknown command or arguments: bogus"},
        {"agent 1", "err unknown fleet command: agent*"},
        {"frames", "ok 0"},
        {"polls", "ok agents=3 polled=0 fewest=0 most=0 gaps=0"},
        {"polls reset", "ok"},
        {"polls now", "err polls takes nothing or `reset`"},
        {"seen", "ok agents=3 identified=0 polled=0"},
        {"", "err empty request"},
        {"volume 0 fail", "err unknown fleet command: volume*"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::string want = c.reply;
        std::string got = fleet.Execute(c.line, 0);
        if (!want.empty() && want.back() == '*')
            EXPECT_EQ(want.substr(0, want.size() - 1), got.substr(0, want.size() - 1));
        else
            EXPECT_EQ(want, got);
    }
}

} // namespace
