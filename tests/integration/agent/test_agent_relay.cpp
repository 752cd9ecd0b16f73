// The relay between stations on UDP and the controller on the serial line: frames and replies
// pass unchanged, what it must not pass never reaches the line, and real stations (library
// sessions, vrncli) get the same answers as from the controller itself.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "VrnTestPaths.h"
#include "Vrnlib.h"

#include <gtest/gtest.h>

using namespace agenttest;

namespace {

const Bytes kSysInfo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};

Bytes Filled(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

TEST(AgentRelay, FramesAndRepliesPassUnchanged) {
    Bytes big = {0x5E, 0x01, 0x61, 0xFA, 0x07, 0x22};
    big.resize(2047, 0x33);
    big = Sealed(big);
    ASSERT_EQ(2048u, big.size());
    const Bytes highSum = Sealed({0x5E, 0x01, 0x61, 0x02, 0x00, 0x22, 0x7F});
    ASSERT_GE(highSum.back(), 0x80);
    const struct {
        const char* name;
        Bytes request;
        Bytes reply;
    } cases[] = {
        {"system information", kSysInfo, Frame(Filled(256, 1))},
        {"checksum 0x80 or above", highSum, Frame({'A'})},
        // The controller, not the relay, judges the length field; the reply is not checked.
        {"length field disagrees", Sealed({0x5E, 0x01, 0x61, 0x09, 0x00, 0x23}),
         ToBytes("not a frame at all")},
        {"largest request, longest reply sent back", big, Filled(10239, 9)},
    };
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    SAgent agent;
    ASSERT_TRUE(agent.Start(line.SlavePath()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes seen;
        std::thread controller([&] {
            seen = line.Read(3000);
            line.Write(c.reply);
        });
        Bytes answer = UdpAsk(agent.addr, agent.relayPort, c.request, 5000);
        controller.join();
        EXPECT_EQ(c.request, seen);
        EXPECT_EQ(c.reply, answer);
    }
    EXPECT_EQ(0, agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
}

TEST(AgentRelay, RepliesThatFillTheBufferAreNotSentBack) {
    const struct {
        size_t size;
        bool sent;
    } cases[] = {{10239, true}, {10240, false}, {12000, false}, {7, true}};
    CPtyController line;
    ASSERT_TRUE(line.Ok());
    SAgent agent;
    ASSERT_TRUE(agent.Start(line.SlavePath()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes reply = Filled(c.size, static_cast<uint8_t>(c.size));
        std::thread controller([&] {
            line.Read(3000);
            line.Write(reply);
        });
        Bytes answer = UdpAsk(agent.addr, agent.relayPort, kSysInfo, 2500);
        controller.join();
        EXPECT_EQ(c.sent ? reply : Bytes{}, answer);
        // Whatever the cut reply left on the line must not become the next answer.
        SleepMs(200);
    }
    EXPECT_EQ(0, agent.proc.Stop());
}

TEST(AgentRelay, DroppedDatagramsNeverReachTheLine) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    SAgent agent;
    ASSERT_TRUE(agent.Start(sim.PtyPath()));
    Bytes oversized = {0x5E, 0x01, 0x61, 0xFB, 0x07, 0x22};
    oversized.resize(2048, 0x33);
    oversized = Sealed(oversized);
    ASSERT_EQ(2049u, oversized.size());
    const struct {
        const char* name;
        Bytes datagram;
    } cases[] = {
        {"wrong checksum", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x25}},
        {"wrong first start byte", {0x5D, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}},
        {"wrong second start byte", {0x5E, 0x02, 0x61, 0x01, 0x00, 0x23, 0x24}},
        {"wrong third start byte", {0x5E, 0x01, 0x62, 0x01, 0x00, 0x23, 0x24}},
        {"empty", {}},
        {"start bytes only", {0x5E, 0x01, 0x61}},
        {"four bytes with a matching checksum", {0x5E, 0x01, 0x61, 0x00}},
        {"no command code", {0x5E, 0x01, 0x61, 0x00, 0x00, 0x00}},
        {"larger than 2048 bytes", oversized},
        {"line settings query, not answered", {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF1, 0xF2}},
        {"port query, answered by the agent", {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1}},
    };
    const long frames0 = sim.Frames();
    const std::string bytes0 = sim.Ctl("bytes");
    ASSERT_GE(frames0, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes answer = UdpAsk(agent.addr, agent.relayPort, c.datagram, 600);
        if (c.datagram.size() == 7 && c.datagram[5] == 0xF0)
            EXPECT_EQ(8u, answer.size());
        else
            EXPECT_TRUE(answer.empty());
    }
    EXPECT_EQ(frames0, sim.Frames());
    EXPECT_EQ(bytes0, sim.Ctl("bytes")) << "not a single byte reached the line";
    // The agent is still there for the next station.
    EXPECT_EQ(262u, UdpAsk(agent.addr, agent.relayPort, kSysInfo, 3000).size());
    EXPECT_EQ(frames0 + 1, sim.Frames());
    EXPECT_EQ("ok 5e 01 61 01 00 23 24", sim.Ctl("last-frame"));
    EXPECT_EQ(0, agent.proc.Stop());
}

// One status query of the library: its status and the record it filled.
struct SAnswer {
    int status = -1;
    Bytes record;
    bool operator==(const SAnswer&) const = default;
};

template <typename T> SAnswer Record(int status, const T& rec) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&rec);
    return {status, Bytes(p, p + sizeof rec)};
}

TEST(AgentRelay, LibraryStationsGetWhatTheControllerAnswers) {
    CSimProcess::Options o;
    o.udp = true; // the same model answers directly on UDP, for comparison
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    SAgent agent;
    ASSERT_TRUE(agent.Start(sim.PtyPath()));
    const struct {
        const char* name;
        SAnswer (*ask)(CVrnlib&);
    } cases[] = {
        {"system information",
         [](CVrnlib& s) {
             sSYSTEM_INFO r = {};
             const int st = s.VrnGetSysInfo(&r);
             r.gsiTimeTick = 0; // moves with the controller's clock
             return Record(st, r);
         }},
        {"identify",
         [](CVrnlib& s) {
             return SAnswer{s.VrnIdentify(), {}};
         }},
        {"raid set 0",
         [](CVrnlib& s) {
             sGUI_RAIDSET r = {};
             return Record(s.VrnGetRaidSetInfo(0, &r), r);
         }},
        {"raid set 7 (refused)",
         [](CVrnlib& s) {
             sGUI_RAIDSET r = {};
             return Record(s.VrnGetRaidSetInfo(7, &r), r);
         }},
        {"volume set 1",
         [](CVrnlib& s) {
             sGUI_VOLUMESET r = {};
             return Record(s.VrnGetVolSetInfo(1, &r), r);
         }},
        {"drive 5",
         [](CVrnlib& s) {
             sGUI_PHY_DRV r = {};
             return Record(s.VrnGetPhysicalDriveInfo(5, &r), r);
         }},
        {"fans",
         [](CVrnlib& s) {
             _HWMON_INFO r = {};
             return Record(s.VrnGetHWMon(HWMON_FAN_INFO, &r), r);
         }},
        {"voltages",
         [](CVrnlib& s) {
             _HWMON_INFO r = {};
             return Record(s.VrnGetHWMon(HWMON_VOL_INFO, &r), r);
         }},
        {"power supplies",
         [](CVrnlib& s) {
             _HWMON_INFO r = {};
             return Record(s.VrnGetHWMon(HWMON_PWR_INFO, &r), r);
         }},
        {"event index",
         [](CVrnlib& s) {
             int index = -1;
             return Record(s.VrnPollEvent(&index), index);
         }},
        {"whole event log",
         [](CVrnlib& s) {
             int count = -1;
             const int st = s.VrnGetReqEventPage(0, &count);
             SAnswer a = Record(st, count);
             a.record.insert(a.record.end(), s.m_pEventMapping,
                             s.m_pEventMapping + CVrnlib::EVENT_MAPPING_SIZE);
             return a;
         }},
    };
    CVrnlib viaAgent, direct;
    ASSERT_EQ(VRN_OK, viaAgent.VrnInitSession(agent.addr.c_str(), agent.relayPort));
    ASSERT_EQ(VRN_OK, direct.VrnInitSession(sim.UdpAddr().c_str(), sim.UdpPort()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SAnswer a = c.ask(viaAgent);
        const SAnswer d = c.ask(direct);
        EXPECT_EQ(d.status, a.status);
        EXPECT_TRUE(a.record == d.record) << "records differ";
    }
    // The answers are the controller's own, not merely equal.
    sGUI_PHY_DRV drive = {};
    ASSERT_EQ(VRN_OK, viaAgent.VrnGetPhysicalDriveInfo(5, &drive));
    EXPECT_EQ(0, std::memcmp(drive.gpdSerialNumber, "VNS054711065", 12));
    sGUI_RAIDSET raid = {};
    ASSERT_EQ(VRN_OK, viaAgent.VrnGetRaidSetInfo(0, &raid));
    EXPECT_EQ(0, std::memcmp(raid.grsRaidSetName, "Raid Set # 00", 13));
    int index = -1, after = -1;
    ASSERT_EQ(VRN_OK, viaAgent.VrnPollEvent(&index));
    ASSERT_EQ("ok", sim.Ctl("event add 1 1 0 agent test"));
    ASSERT_EQ(VRN_OK, viaAgent.VrnPollEvent(&after));
    EXPECT_EQ((index + 1) % 64, after);
    EXPECT_EQ(0, agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
}

TEST(AgentRelay, VrncliThroughTheAgentMatchesTheController) {
    const std::string cli = VRN_BUILD_DIR "/tools/vrncli/vrncli";
    if (access(cli.c_str(), X_OK) != 0)
        GTEST_SKIP() << "vrncli is not built";
    CSimProcess::Options o;
    o.udp = true;
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    SAgent agent;
    ASSERT_TRUE(agent.Start(sim.PtyPath()));
    const std::string viaAgent = agent.addr + ":" + std::to_string(agent.relayPort);
    const std::string direct = sim.UdpAddr() + ":" + std::to_string(sim.UdpPort());
    for (const std::vector<std::string>& verb : {std::vector<std::string>{"identify"},
                                                 {"poll-event"},
                                                 {"--json", "poll-event"},
                                                 {"version"}}) {
        std::string outAgent, outDirect;
        std::vector<std::string> a = {cli, "--udp", viaAgent};
        std::vector<std::string> d = {cli, "--udp", direct};
        a.insert(a.end(), verb.begin(), verb.end());
        d.insert(d.end(), verb.begin(), verb.end());
        SCOPED_TRACE(verb.back());
        EXPECT_EQ(0, RunProgram(a, &outAgent));
        EXPECT_EQ(0, RunProgram(d, &outDirect));
        EXPECT_EQ(outDirect, outAgent);
        EXPECT_FALSE(outAgent.empty());
    }
    std::string out;
    EXPECT_EQ(0, RunProgram({cli, "--udp", viaAgent, "sysinfo"}, &out));
    EXPECT_NE(std::string::npos, out.find("Varno Storage Systems")) << out;
    // A station asking an agent that does not answer gets "no reply" (5) as its status.
    EXPECT_EQ(5, RunProgram({cli, "--udp",
                             agent.addr + ":" + std::to_string(FreePort(agent.addr, SOCK_DGRAM)),
                             "--timeout", "1", "identify"},
                            &out));
    EXPECT_EQ(0, agent.proc.Stop());
}

} // namespace
