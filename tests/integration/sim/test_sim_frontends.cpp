// vrnsim's front-ends driven with raw bytes: the pseudo-terminal, the UDP agent face and
// the control channel's counters.
#include "SimProcess.h"
#include "SimWire.h"

#include <gtest/gtest.h>

using namespace simwire;

namespace {

const std::string kIdent = "Varno RAID Subsystem";

struct SQuery {
    const char* name;
    Bytes payload;
    size_t replyLen;    // whole reply frame
    std::string prefix; // expected start of the reply payload
};

const SQuery kQueries[] = {
    {"identify", {0x13}, 0, kIdent},
    {"system information", {0x23}, 262, "Varno Storage Systems"},
    {"event index", {0x19}, 7, ""},
    {"raid set 0", {0x20, 0x00}, 134, "Raid Set # 00"},
    {"volume set 1", {0x21, 0x01}, 70, "Volume Set # 01"},
    {"drive 5", {0x22, 0x05}, 134, ""},
    {"event page 0", {0x1A, 0x00}, 518, ""},
};

void CheckReply(const SQuery& q, const Bytes& r) {
    SCOPED_TRACE(q.name);
    ASSERT_GE(r.size(), 7u);
    EXPECT_EQ(Frame(Payload(r)), r) << "not a well-formed frame";
    if (q.replyLen) {
        EXPECT_EQ(q.replyLen, r.size());
    }
    Bytes p = Payload(r);
    EXPECT_EQ(
        q.prefix,
        std::string(p.begin(), p.begin() + static_cast<long>(std::min(p.size(), q.prefix.size()))));
}

TEST(SimFrontends, AnswersQueriesOnPtyAndUdpAlike) {
    CSimProcess::Options o;
    o.udp = true;
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    ASSERT_FALSE(sim.PtyPath().empty());
    EXPECT_EQ("pts/", sim.PtyName().substr(0, 4));
    EXPECT_EQ("127.0.0.1", sim.UdpAddr());
    ASSERT_GT(sim.UdpPort(), 0);
    CSerial line(sim.PtyPath());
    ASSERT_TRUE(line.Ok());
    CUdp udp(sim.UdpAddr(), sim.UdpPort());
    for (const SQuery& q : kQueries) {
        Bytes viaPty = line.Exchange(Frame(q.payload));
        CheckReply(q, viaPty);
        Bytes viaUdp = udp.Exchange(Frame(q.payload));
        CheckReply(q, viaUdp);
        if (q.payload[0] != 0x23) { // the time tick moves between the two
            EXPECT_EQ(viaPty, viaUdp) << q.name;
        }
    }
    EXPECT_EQ(2 * static_cast<long>(std::size(kQueries)), sim.Frames());
}

struct SAgentCase {
    const char* name;
    Bytes datagram;
    Bytes reply;  // empty: no answer expected
    bool counted; // reaches the controller
};

TEST(SimFrontends, UdpFrontEndAnswersLikeAnAgent) {
    CSimProcess::Options o;
    o.pty = false;
    o.udp = true;
    o.extraArgs = {"--http-port", "6666"};
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    EXPECT_TRUE(sim.PtyPath().empty());
    const SAgentCase cases[] = {
        {"port query",
         {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1},
         {0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x26},
         false},
        {"terminal attributes query", {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF1, 0xF2}, {}, false},
        {"wrong checksum", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x25}, {}, false},
        {"wrong start byte", {0x5F, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}, {}, false},
        {"too short", {0x5E, 0x01, 0x61, 0x00}, {}, false},
        {"event index",
         {0x5E, 0x01, 0x61, 0x01, 0x00, 0x19, 0x1A},
         {0x5E, 0x01, 0x61, 0x01, 0x00, 0x05, 0x06},
         true},
    };
    CUdp udp(sim.UdpAddr(), sim.UdpPort());
    long expected = 0;
    for (const SAgentCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes r = udp.Exchange(c.datagram, c.reply.empty() ? 400 : 2000);
        EXPECT_EQ(c.reply, r);
        expected += c.counted ? 1 : 0;
        EXPECT_EQ(expected, sim.Frames());
    }
    EXPECT_EQ("ok 5e 01 61 01 00 19 1a", sim.Ctl("last-frame"));
}

TEST(SimFrontends, CountsFramesAndBytesAndResets) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    ASSERT_TRUE(line.Ok());
    EXPECT_EQ("ok 0", sim.Ctl("frames"));
    EXPECT_EQ("ok", sim.Ctl("last-frame"));
    // Junk before a frame is dropped without counting a frame; a bad checksum is counted
    // as a frame but gets no reply.
    ASSERT_TRUE(line.Send({0x00, 0x11, 0x5E, 0x02}));
    Bytes r = line.Exchange(Frame({0x23}));
    EXPECT_EQ(262u, r.size());
    Bytes bad = Frame({0x23});
    bad.back() ^= 0xFF;
    EXPECT_TRUE(line.Exchange(bad, 400).empty());
    EXPECT_EQ(2, sim.Frames());
    EXPECT_EQ("ok 18", sim.Ctl("bytes"));
    EXPECT_NE(std::string::npos, sim.Ctl("stats").find(" bad-checksum=1 junk-bytes=4 "));
    EXPECT_EQ("ok 5e 01 61 01 00 23 db", sim.Ctl("last-frame"));
    EXPECT_EQ("ok", sim.Ctl("reset-counters"));
    EXPECT_EQ(0, sim.Frames());
    EXPECT_EQ("ok 0", sim.Ctl("bytes"));
    EXPECT_EQ("err unknown command or arguments: bogus", sim.Ctl("bogus"));
}

} // namespace
