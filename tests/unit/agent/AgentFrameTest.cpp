// The relay's acceptance rules for datagrams and the one reply it builds itself.
#include "AgentFrame.h"
#include "AgentRelay.h"
#include "TestFrame.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdint>
#include <vector>

using namespace vrnagent;
using vrntest::Bytes;

namespace {

using vrntest::Sealed;

TEST(AgentFrame, ChecksumSumsLengthAndPayloadOnly) {
    const struct {
        Bytes frame;
        unsigned char sum;
    } cases[] = {
        {{0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x00}, 0x24},
        {{0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x00}, 0x25},
        {{0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x00}, 0x26},
        {{0x5E, 0x01, 0x61, 0x03, 0x00, 0xFF, 0xFF, 0xFF, 0x00}, 0x00}, // wraps modulo 256
        {{0x5E, 0x01, 0x61, 0x00}, 0x00},                               // 4 bytes or fewer: 0
        {{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}, 0x00},                   // start bytes not summed
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.sum, CalCheckSum(c.frame.data(), static_cast<int>(c.frame.size())));
}

TEST(AgentFrame, ClassifiesDatagrams) {
    Bytes big = Sealed([] {
        Bytes f = {0x5E, 0x01, 0x61, 0xFA, 0x07, 0x16};
        f.resize(2047, 'x');
        return f;
    }());
    ASSERT_EQ(2048u, big.size());
    Bytes tooBig = big;
    tooBig.insert(tooBig.end() - 1, 'x');
    tooBig.back() = CalCheckSum(tooBig.data(), static_cast<int>(tooBig.size()));
    Bytes highSum = Sealed({0x5E, 0x01, 0x61, 0x02, 0x00, 0x22, 0x7F});
    ASSERT_GE(highSum.back(), 0x80);

    const struct {
        const char* name;
        Bytes datagram;
        ERelayAction action;
    } cases[] = {
        {"port query", {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1}, ERelayAction::TcpPort},
        {"line settings query", {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF1, 0xF2}, ERelayAction::ComAttr},
        {"system information", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}, ERelayAction::Forward},
        {"checksum 0x80 or above", highSum, ERelayAction::Forward},
        // The controller judges the length field, not the relay.
        {"length field disagrees", Sealed({0x5E, 0x01, 0x61, 0x09, 0x00, 0x23}),
         ERelayAction::Forward},
        {"largest datagram", big, ERelayAction::Forward},
        {"one byte too large", tooBig, ERelayAction::Drop},
        {"wrong checksum", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x25}, ERelayAction::Drop},
        {"wrong first byte", {0x5F, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}, ERelayAction::Drop},
        {"wrong second byte", {0x5E, 0x00, 0x61, 0x01, 0x00, 0x23, 0x24}, ERelayAction::Drop},
        {"wrong third byte", {0x5E, 0x01, 0x60, 0x01, 0x00, 0x23, 0x24}, ERelayAction::Drop},
        {"empty", {}, ERelayAction::Drop},
        // Short frames would have their checksum accepted but carry no command code.
        {"four bytes", {0x5E, 0x01, 0x61, 0x00}, ERelayAction::Drop},
        {"six bytes", {0x5E, 0x01, 0x61, 0x00, 0x00, 0x00}, ERelayAction::Drop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.action, ClassifyDatagram(c.datagram.data(), c.datagram.size()));
    }
    // A datagram larger than the buffer is judged by its real size, not by what fitted.
    EXPECT_EQ(ERelayAction::Drop, ClassifyDatagram(big.data(), 5000));
    EXPECT_EQ(ERelayAction::Drop, ClassifyDatagram(nullptr, 7));
}

TEST(AgentFrame, TcpPortReplyCarriesThePortLittleEndian) {
    const struct {
        int port;
        Bytes reply;
    } cases[] = {
        {6666, {0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x26}},
        {80, {0x5E, 0x01, 0x61, 0x02, 0x00, 0x50, 0x00, 0x52}},
        {65535, {0x5E, 0x01, 0x61, 0x02, 0x00, 0xFF, 0xFF, 0x00}},
        {0, {0x5E, 0x01, 0x61, 0x02, 0x00, 0x00, 0x00, 0x02}},
    };
    for (const auto& c : cases) {
        unsigned char reply[TCP_PORT_REPLY_SIZE];
        BuildTcpPortReply(c.port, reply);
        EXPECT_EQ(c.reply, Bytes(reply, reply + sizeof reply)) << c.port;
    }
}

} // namespace

namespace {

sockaddr_in Endpoint(const char* addr, int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, addr, &a.sin_addr);
    return a;
}

in_addr_t Addr(const char* addr) {
    return Endpoint(addr, 0).sin_addr.s_addr;
}

TEST(AgentFrame, DatagramsFromRelaysAreRecognised) {
    const struct {
        const char* name;
        const char* from;
        int fromPort;
        const char* bound; // the relay's -b address, 0.0.0.0 for all
        int relayPort;
        bool relay;
    } cases[] = {
        {"itself", "127.0.0.5", 17890, "127.0.0.5", 17890, true},
        {"another address, same port", "127.0.0.6", 17890, "127.0.0.5", 17890, false},
        {"itself, another port", "127.0.0.5", 17891, "127.0.0.5", 17890, false},
        {"any sender's port 7890", "192.0.2.7", 7890, "127.0.0.5", 17890, true},
        {"port 7890 of its own address", "127.0.0.5", 7890, "127.0.0.5", 7890, true},
        {"an ordinary station", "192.0.2.7", 40000, "0.0.0.0", 7890, false},
        // Bound to every address: any of this host's addresses is its own.
        {"a loopback address, all bound", "127.9.8.7", 17890, "0.0.0.0", 17890, true},
        {"a remote address, all bound", "192.0.2.7", 17890, "0.0.0.0", 17890, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.relay, IsRelaySource(Endpoint(c.from, c.fromPort), Addr(c.bound), c.relayPort));
    }
}

Bytes Piece(size_t n, unsigned char code = 0x16) {
    Bytes f = {0x5E,
               0x01,
               0x61,
               static_cast<unsigned char>((n + 1) & 0xFF),
               static_cast<unsigned char>((n + 1) >> 8),
               code};
    f.resize(6 + n, 'p');
    return Sealed(f);
}

TEST(AgentFrame, OnlyAFullTunnelPieceGoesUnanswered) {
    Bytes wrongField = Piece(1024);
    wrongField[3] ^= 1;
    const struct {
        const char* name;
        Bytes frame;
        bool full;
    } cases[] = {
        {"1024 bytes", Piece(1024), true},
        {"1023 bytes: ends the request", Piece(1023), false},
        {"an empty piece", Piece(0), false},
        {"another command of the same size", Piece(1024, 0x17), false},
        {"length field that disagrees", wrongField, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.full, IsFullTunnelPiece(c.frame.data(), c.frame.size()));
    }
}

TEST(AgentFrame, RelayQueueKnowsWhoAskedAgain) {
    const Bytes sysInfo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
    const Bytes portQuery = {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1};
    auto datagram = [](const sockaddr_in& from, const Bytes& b) {
        SRelayDatagram d;
        d.from = from;
        d.size = b.size();
        d.bytes = b;
        return d;
    };
    const sockaddr_in station = Endpoint("127.0.0.5", 40000);
    const struct {
        const char* name;
        sockaddr_in from;
        Bytes bytes;
        bool asked;
    } cases[] = {
        {"the same station, a request", station, sysInfo, true},
        {"the same address, another port", Endpoint("127.0.0.5", 40001), sysInfo, false},
        {"another address, the same port", Endpoint("127.0.0.6", 40000), sysInfo, false},
        // Answered by the agent itself: no exchange with the controller.
        {"the same station, the port query", station, portQuery, false},
        {"the same station, a full tunnel piece", station, Piece(1024), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRelayQueue queue;
        EXPECT_FALSE(queue.HasRequestFrom(station));
        queue.Push(datagram(c.from, c.bytes));
        EXPECT_EQ(c.asked, queue.HasRequestFrom(station));
    }
}

} // namespace
