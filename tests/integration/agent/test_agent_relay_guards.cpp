// What the relay must not do for anyone: answer a datagram that claims to come from a relay
// (its own reply would come back to it as the next request, for ever), or hold the line
// waiting for a reply the controller never sends.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <gtest/gtest.h>

#include <netinet/ip.h>
#include <netinet/udp.h>

using namespace agenttest;

namespace {

// One UDP datagram with a forged source address and port, through a raw socket (root only).
// The UDP checksum stays 0 (none), which IPv4 allows.
bool SendForged(const sockaddr_in& from, const sockaddr_in& to, const Bytes& payload) {
    const int fd = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    if (fd < 0)
        return false;
    Bytes packet(sizeof(iphdr) + sizeof(udphdr) + payload.size(), 0);
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 16;
    ip->protocol = IPPROTO_UDP;
    ip->tot_len = htons(static_cast<uint16_t>(packet.size()));
    ip->saddr = from.sin_addr.s_addr;
    ip->daddr = to.sin_addr.s_addr;
    auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
    udp->source = from.sin_port;
    udp->dest = to.sin_port;
    udp->len = htons(static_cast<uint16_t>(sizeof(udphdr) + payload.size()));
    std::memcpy(packet.data() + sizeof(iphdr) + sizeof(udphdr), payload.data(), payload.size());
    const ssize_t n = sendto(fd, packet.data(), packet.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    close(fd);
    return n == static_cast<ssize_t>(packet.size());
}

// The next loopback address after addr (its last number moved on by one, never 0 or 255).
std::string Neighbour(const std::string& addr) {
    in_addr a = {};
    inet_pton(AF_INET, addr.c_str(), &a);
    uint32_t h = ntohl(a.s_addr);
    h = (h & 0xFFFFFF00u) | (((h & 0xFFu) % 253u) + 1u);
    a.s_addr = htonl(h);
    char out[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, out, sizeof out);
    return out;
}

TEST(AgentRelayGuards, DatagramsFromARelayAddressAreNotAnswered) {
    if (geteuid() != 0)
        GTEST_SKIP() << "forging a source address needs a raw socket (root)";
    // Command 0x4D is unknown to the controller, which answers 'M': 5E 01 61 01 00 4D 4E,
    // the very same bytes. Relayed to the relay itself, that answer is its next request.
    const Bytes echo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x4D, 0x4E};
    SSimAgent setup;
    ASSERT_TRUE(setup.Start());
    auto& [sim, agent] = setup;
    const struct {
        const char* name;
        std::string addr;
        int port;
        long frames; // reaching the controller within the watch
    } cases[] = {
        // Shows that a forged datagram reaches the relay at all.
        {"an ordinary station", Neighbour(agent.addr), 40000, 1},
        {"the relay's own address and port", agent.addr, agent.relayPort, 0},
        {"another host's relay port", Neighbour(agent.addr), 7890, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const long frames0 = sim.Frames();
        ASSERT_GE(frames0, 0);
        ASSERT_TRUE(
            SendForged(Address(c.addr, c.port), Address(agent.addr, agent.relayPort), echo));
        SleepMs(1500); // a loop climbs by several frames a second
        EXPECT_EQ(c.frames, sim.Frames() - frames0);
    }
    // Still serving real stations.
    EXPECT_EQ(262u, UdpAsk(agent.addr, agent.relayPort, Frame({0x23}), 3000).size());
    EXPECT_EQ(0, agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(agent.proc.Stderr())) << agent.proc.Stderr();
}

// The first 1024 bytes of a request for the status page, and the rest.
struct SPieces {
    Bytes first, rest;
    SPieces() {
        const Bytes request = GetRequest("/status.html", 1300);
        first.assign(request.begin(), request.begin() + 1024);
        rest.assign(request.begin() + 1024, request.end());
    }
};

bool IsStatusPage(const Bytes& b) {
    return ToString(b).find("Raid Set Hierarchy") != std::string::npos;
}

TEST(AgentRelayGuards, AFullTunnelPieceDoesNotHoldTheLine) {
    const SPieces pieces;
    {
        SCOPED_TRACE("a library station tunnels a request of two pieces");
        SSimAgent setup;
        ASSERT_TRUE(setup.Start());
        auto& [sim, agent] = setup;
        CVrnlib station;
        ASSERT_EQ(VRN_OK, station.VrnInitSession(agent.addr.c_str(), agent.relayPort));
        station.VrnSetTimeOut(3);
        static char response[VRN_MAX_REPLY];
        int len = -1;
        ASSERT_EQ(VRN_OK, station.VrnHttp(reinterpret_cast<const char*>(pieces.first.data()), 1024,
                                          response, &len));
        EXPECT_EQ(0, len);
        const int64_t t0 = NowMs();
        EXPECT_EQ(VRN_OK, station.VrnHttp(reinterpret_cast<const char*>(pieces.rest.data()),
                                          static_cast<int>(pieces.rest.size()), response, &len));
        EXPECT_LT(NowMs() - t0, 3000);
        EXPECT_TRUE(IsStatusPage(Bytes(response, response + (len > 0 ? len : 0))));
        EXPECT_EQ(0, agent.proc.Stop());
    }
    {
        SCOPED_TRACE("another station asks right after a full piece");
        SSimAgent setup;
        ASSERT_TRUE(setup.Start());
        auto& [sim, agent] = setup;
        Bytes piece = {0x16};
        piece.insert(piece.end(), pieces.first.begin(), pieces.first.end());
        EXPECT_TRUE(UdpAsk(agent.addr, agent.relayPort, Frame(piece), 300).empty());
        const int64_t t0 = NowMs();
        EXPECT_EQ(262u, UdpAsk(agent.addr, agent.relayPort, Frame({0x23}), 5000).size());
        EXPECT_LT(NowMs() - t0, 3000);
        EXPECT_EQ(0, agent.proc.Stop());
    }
}

} // namespace
