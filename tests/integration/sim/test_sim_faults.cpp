// Faults injected through the control channel, seen on the serial line and over UDP.
#include "SimProcess.h"
#include "SimWire.h"

#include <gtest/gtest.h>

using namespace simwire;

namespace {

const Bytes kSysInfo = Frame({0x23});

bool ValidFrame(const Bytes& r) {
    return r.size() >= 6 && Frame(Payload(r)) == r;
}

struct SFaultCase {
    const char* name;
    const char* fault;
    // What the serial reader sees for the system information request.
    size_t length; // 0: nothing at all
    bool valid;
    int minMs;      // the reply (or its first byte) came no earlier than this
    uint8_t answer; // for 7-byte refusals
};

TEST(SimFaults, EachFaultShapesTheSerialReply) {
    const SFaultCase cases[] = {
        {"silent", "fault silent on", 0, false, 0, 0},
        {"garbage", "fault garbage on", 262, false, 0, 0},
        {"delay", "fault delay 400", 262, true, 380, 0},
        {"refuse J", "fault refuse J", 7, true, 0, 'J'},
        {"refuse hex", "fault refuse 0x42", 7, true, 0, 0x42},
        // A split with a 150 ms gap is cut by a reader that stops at 100 ms of quiet.
        {"split", "fault split 150", 131, false, 0, 0},
        {"split at 10", "fault split 150 10", 10, false, 0, 0},
    };
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    ASSERT_TRUE(line.Ok());
    for (const SFaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ("ok", sim.Ctl(c.fault));
        int64_t t0 = NowMs();
        Bytes r = line.Exchange(kSysInfo, 1000);
        int64_t took = NowMs() - t0;
        EXPECT_EQ(c.length, r.size());
        EXPECT_EQ(c.valid, ValidFrame(r));
        EXPECT_GE(took, c.minMs);
        if (c.answer) {
            EXPECT_EQ(
                Bytes({0x5E, 0x01, 0x61, 0x01, 0x00, c.answer, static_cast<uint8_t>(1 + c.answer)}),
                r);
        }
        ASSERT_EQ("ok", sim.Ctl("fault clear"));
        line.Read(400); // whatever a split left behind
        EXPECT_EQ(262u, line.Exchange(kSysInfo).size()) << "fault clear restores normal replies";
    }
    EXPECT_EQ(2 * static_cast<long>(std::size(cases)), sim.Frames());
}

TEST(SimFaults, SplitBurstsArriveGapApart) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    ASSERT_EQ("ok", sim.Ctl("fault split 150"));
    line.Drain();
    ASSERT_TRUE(line.Send(kSysInfo));
    Bytes first = line.Read(1000, 100);
    int64_t t0 = NowMs();
    Bytes second = line.Read(1000, 100);
    int64_t gap = NowMs() - t0;
    EXPECT_EQ(131u, first.size());
    EXPECT_EQ(131u, second.size());
    EXPECT_GE(gap, 20); // 150 ms after the first burst, of which the reader waited 100
    Bytes whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_TRUE(ValidFrame(whole));
    // A reader that tolerates a longer quiet gap gets the whole reply.
    Bytes patient = line.Exchange(kSysInfo, 1000, 400);
    EXPECT_TRUE(ValidFrame(patient));
}

TEST(SimFaults, CountLimitsAFaultToTheNextReplies) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    CSerial line(sim.PtyPath());
    ASSERT_EQ("ok", sim.Ctl("fault refuse M count 2"));
    EXPECT_EQ(7u, line.Exchange(kSysInfo).size());
    EXPECT_EQ("ok refuse=0x4D/1", sim.Ctl("faults"));
    EXPECT_EQ(7u, line.Exchange(kSysInfo).size());
    EXPECT_EQ(262u, line.Exchange(kSysInfo).size());
    EXPECT_EQ("ok none", sim.Ctl("faults"));
    ASSERT_EQ("ok", sim.Ctl("fault silent on count 1"));
    EXPECT_TRUE(line.Exchange(kSysInfo, 400).empty());
    EXPECT_EQ(262u, line.Exchange(kSysInfo).size());
}

TEST(SimFaults, BadFaultCommandsAreRefused) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const char* bad[] = {"fault",
                         "fault silent maybe",
                         "fault split",
                         "fault split -1",
                         "fault delay x",
                         "fault refuse",
                         "fault refuse 0x100",
                         "fault refuse JJ",
                         "fault garbage on count 0",
                         "fault melt on"};
    for (const char* line : bad) {
        std::string r = sim.Ctl(line);
        EXPECT_EQ("err", r.substr(0, 3)) << line << " -> " << r;
    }
    EXPECT_EQ("ok none", sim.Ctl("faults"));
}

TEST(SimFaults, FaultsApplyOverUdpToo) {
    CSimProcess::Options o;
    o.pty = false;
    o.udp = true;
    CSimProcess sim(o);
    ASSERT_TRUE(sim.Ready());
    CUdp udp(sim.UdpAddr(), sim.UdpPort());
    ASSERT_EQ("ok", sim.Ctl("fault silent on"));
    EXPECT_TRUE(udp.Exchange(kSysInfo, 300).empty());
    ASSERT_EQ("ok", sim.Ctl("fault silent off"));
    ASSERT_EQ("ok", sim.Ctl("fault garbage on"));
    Bytes g = udp.Exchange(kSysInfo);
    EXPECT_EQ(262u, g.size());
    EXPECT_FALSE(ValidFrame(g));
    ASSERT_EQ("ok", sim.Ctl("fault clear"));
    ASSERT_EQ("ok", sim.Ctl("fault refuse J"));
    EXPECT_EQ(Bytes({0x5E, 0x01, 0x61, 0x01, 0x00, 'J', 'K'}), udp.Exchange(kSysInfo));
    ASSERT_EQ("ok", sim.Ctl("fault clear"));
    ASSERT_EQ("ok", sim.Ctl("fault delay 300"));
    int64_t t0 = NowMs();
    EXPECT_EQ(262u, udp.Exchange(kSysInfo).size());
    EXPECT_GE(NowMs() - t0, 280);
    EXPECT_EQ(4, sim.Frames());
}

} // namespace
