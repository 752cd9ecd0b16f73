// The relay's acceptance rules for datagrams and the one reply it builds itself.
#include "AgentFrame.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vrnagent;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes Sealed(Bytes frame) {
    frame.push_back(0);
    frame.back() = CalCheckSum(frame.data(), static_cast<int>(frame.size()));
    return frame;
}

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
