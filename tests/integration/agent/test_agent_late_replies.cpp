// Replies that come too late for the station that asked: a slow controller, or a relay kept
// busy by someone else. A station that gave up has moved on to its next request, and must
// never be handed the old reply as the answer to the new one.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace agenttest;

namespace {

const Bytes kSysInfo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};

Bytes DriveQuery(int drive) {
    return Frame({0x22, static_cast<uint8_t>(drive)});
}

// A raw station: one socket, datagrams out, and everything that comes back within `ms`.
struct SRawStation {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in agent;
    SRawStation(const std::string& addr, int port) : agent(Address(addr, port)) {}
    ~SRawStation() { close(fd); }
    void Send(const Bytes& d) {
        sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&agent), sizeof agent);
    }
    std::vector<Bytes> Collect(int ms) {
        std::vector<Bytes> got;
        const int64_t deadline = NowMs() + ms;
        for (;;) {
            const int left = static_cast<int>(deadline - NowMs());
            pollfd p = {fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0)
                return got;
            Bytes b(65536);
            const ssize_t n = recv(fd, b.data(), b.size(), 0);
            b.resize(n > 0 ? static_cast<size_t>(n) : 0);
            got.push_back(b);
        }
    }
};

// The relay itself, seen by a station that reads every datagram: after it gave up and asked
// again, only the answer to the new request arrives.
TEST(AgentLateReplies, RelaySendsNoReplyToARequestTheStationReplaced) {
    const struct {
        const char* name;
        // Another station's exchange holds the line while this station asks its first
        // request, so that request is still waiting in the relay when it is replaced.
        bool lineBusy;
        long framesOfThisStation; // reaching the controller
    } cases[] = {
        {"the controller answers the first request late", false, 2},
        {"the first request is still waiting in the relay", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SSimAgent setup;
        ASSERT_TRUE(setup.Start());
        auto& [sim, agent] = setup;
        ASSERT_EQ("ok", sim.Ctl("fault delay 1500 count 1"));
        SRawStation other(agent.addr, agent.relayPort), station(agent.addr, agent.relayPort);
        const long frames0 = sim.Frames();
        if (c.lineBusy) {
            other.Send(kSysInfo);
            SleepMs(200);
        }
        station.Send(kSysInfo);
        SleepMs(1000); // the station's time-out
        station.Send(DriveQuery(3));
        const std::vector<Bytes> got = station.Collect(3500);
        ASSERT_EQ(1u, got.size()) << "first of them " << (got.empty() ? 0 : got[0].size())
                                  << " bytes";
        EXPECT_TRUE(IsDriveReply(got[0], 3)) << got[0].size() << " bytes";
        EXPECT_EQ(c.framesOfThisStation, sim.Frames() - frames0 - (c.lineBusy ? 1 : 0));
        EXPECT_EQ(0, agent.proc.Stop());
        EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
    }
}

// The library as a station: the controller answers after the station's 1 s time-out.
TEST(AgentLateReplies, LibraryStationNeverTakesTheStaleRecord) {
    SSimAgent setup;
    ASSERT_TRUE(setup.Start());
    auto& [sim, agent] = setup;
    CVrnlib station;
    ASSERT_EQ(VRN_OK, station.VrnInitSession(agent.addr.c_str(), agent.relayPort));
    station.VrnSetTimeOut(1);
    ASSERT_EQ("ok", sim.Ctl("fault delay 1500 count 1"));
    sSYSTEM_INFO info = {};
    EXPECT_EQ(VRN_NO_REPLY, station.VrnGetSysInfo(&info));
    for (int drive : {0, 1}) {
        SCOPED_TRACE(drive);
        sGUI_PHY_DRV rec = {};
        const int status = station.VrnGetPhysicalDriveInfo(static_cast<char>(drive), &rec);
        EXPECT_TRUE(status == VRN_OK || status == VRN_NO_REPLY) << status;
        if (status == VRN_OK) {
            const std::string serial = DriveSerial(drive);
            EXPECT_EQ(0, std::memcmp(rec.gpdSerialNumber, serial.data(), serial.size()))
                << std::string(reinterpret_cast<const char*>(&rec), 40);
        }
    }
    station.VrnSetTimeOut(5);
    ASSERT_EQ(VRN_OK, station.VrnGetSysInfo(&info));
    EXPECT_EQ(0, std::memcmp(info.gsiVendorName, "Varno Storage Systems", 21));
    EXPECT_EQ(0, agent.proc.Stop());
}

// Another sender keeps the relay busy with valid requests it never reads the answers to,
// while a station with a 1 s time-out goes through its queries.
TEST(AgentLateReplies, BusyRelayHandsNoStationAWrongRecord) {
    constexpr int kQueries = 30;
    constexpr int kFloodMax = 3000;        // datagrams
    constexpr int64_t kFloodMaxMs = 60000; // and never longer
    SSimAgent setup;
    ASSERT_TRUE(setup.Start());
    auto& [sim, agent] = setup;
    std::atomic<bool> done{false};
    std::atomic<int> flooded{0};
    std::thread flood([&] {
        SRawStation flooder(agent.addr, agent.relayPort);
        const int64_t end = NowMs() + kFloodMaxMs;
        for (int i = 0; i < kFloodMax && !done.load() && NowMs() < end; ++i) {
            flooder.Send(i % 2 == 0 ? kSysInfo : DriveQuery(7));
            ++flooded;
            SleepMs(10);
        }
    });
    CVrnlib station;
    ASSERT_EQ(VRN_OK, station.VrnInitSession(agent.addr.c_str(), agent.relayPort));
    station.VrnSetTimeOut(1);
    int ok = 0, wrong = 0, failed = 0;
    for (int i = 0; i < kQueries; ++i) {
        bool right = false;
        int status;
        if (i % 3 == 2) {
            sSYSTEM_INFO info = {};
            status = station.VrnGetSysInfo(&info);
            right = std::memcmp(info.gsiVendorName, "Varno Storage Systems", 21) == 0;
        } else {
            const int drive = i % 8;
            sGUI_PHY_DRV rec = {};
            status = station.VrnGetPhysicalDriveInfo(static_cast<char>(drive), &rec);
            const std::string serial = DriveSerial(drive);
            right = std::memcmp(rec.gpdSerialNumber, serial.data(), serial.size()) == 0;
        }
        if (status != VRN_OK)
            ++failed;
        else if (right)
            ++ok;
        else
            ++wrong;
    }
    done = true;
    flood.join();
    EXPECT_EQ(0, wrong) << ok << " right, " << failed << " failed, " << flooded.load()
                        << " flood datagrams";
    EXPECT_GT(ok, 0) << failed << " failed";
    EXPECT_EQ(0, agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
}

} // namespace
