// Timing of the two reads: the serial poll (first wait, poll interval, quiet end, the
// 301-poll give-up) and the UDP wait with its settle time.
#include <gtest/gtest.h>

#include "PeerScript.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t0) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

TEST(SerialRead, SilentControllerGivesUpAfter301EmptyPolls) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CTestSession s;
    ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
    s.RecordSleeps(0);
    struct Case {
        const char* name;
        int op;
    };
    const Case cases[] = {{"poll", 0}, {"system information", 1}, {"identify", 2}};
    for (const Case& c : cases) {
        s.ClearSleeps();
        CPeerScript<CPtyPeer> script(peer, {Silence()});
        sSYSTEM_INFO info;
        int index = 0;
        const int status = c.op == 0   ? s.VrnPollEvent(&index)
                           : c.op == 1 ? s.VrnGetSysInfo(&info)
                                       : s.VrnIdentify();
        EXPECT_EQ(status, VRN_NO_REPLY) << c.name;
        // 50 ms before the first of 301 reads, 100 ms between each two of them.
        std::vector<int> want(1, 50);
        want.insert(want.end(), 300, 100);
        EXPECT_EQ(s.Sleeps(), want) << c.name;
    }
}

TEST(SerialRead, ReplyEndsAtTheFirstQuietPoll) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CTestSession s;
    ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
    s.RecordSleeps(1); // real timing
    const Bytes reply = MakeFrame(Bytes(40, 0x33));
    const Bytes head(reply.begin(), reply.begin() + 10);
    const Bytes tail(reply.begin() + 10, reply.end());
    struct Case {
        const char* name;
        std::vector<SBurst> bursts;
        int status;
    };
    const Case cases[] = {
        {"one burst", {{0, reply}}, VRN_OK},
        {"answer after a second of silence", {{1000, reply}}, VRN_OK},
        {"two bursts 20 ms apart", {{0, head}, {20, tail}}, VRN_OK},
        {"two bursts 250 ms apart", {{0, head}, {250, tail}}, VRN_BAD_FRAME},
    };
    for (const Case& c : cases) {
        s.ClearSleeps();
        sSYSTEM_INFO info;
        int status = -1;
        {
            CPeerScript<CPtyPeer> script(peer, {SStep{c.bursts}, Reply(Answer(9))});
            status = s.VrnGetSysInfo(&info);
            // The second burst arrives after the read ended; the next request drops it.
            SleepMs(300);
            int index = -1;
            EXPECT_EQ(s.VrnPollEvent(&index), VRN_OK) << c.name;
            EXPECT_EQ(index, 9) << c.name;
        }
        EXPECT_EQ(status, c.status) << c.name;
    }
}

TEST(SerialRead, WriteFailureGives4) {
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    CVrnlib s;
    ASSERT_EQ(s.VrnInitSession(fd), VRN_OK);
    int index = -1;
    EXPECT_EQ(s.VrnPollEvent(&index), VRN_WRITE_FAILED);
    EXPECT_EQ(s.VrnIdentify(), VRN_WRITE_FAILED);
    ::close(fd);
}

TEST(UdpRead, WaitsForTheTimeoutThenSettles) {
    CUdpPeer peer;
    CTestSession s;
    ASSERT_EQ(s.VrnInitSession("127.0.0.1", peer.Port()), VRN_OK);
    s.RecordSleeps(1);
    struct Case {
        const char* name;
        unsigned timeout;
        SStep step;
        int status;
        long minMs, maxMs;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {"silent agent, 1 s", 1, Silence(), VRN_NO_REPLY, 950, 1800, {}},
        {"silent agent, 0 s", 0, Silence(), VRN_NO_REPLY, 0, 300, {}},
        {"answer", 2, Reply(Answer(4)), VRN_OK, 280, 1500, {300}},
        {"answer after 500 ms", 1, Reply(Answer(4), 500), VRN_OK, 780, 1800, {300}},
    };
    for (const Case& c : cases) {
        s.VrnSetTimeOut(c.timeout);
        s.ClearSleeps();
        CPeerScript<CUdpPeer> script(peer, {c.step});
        int index = -1;
        const auto t0 = Clock::now();
        EXPECT_EQ(s.VrnPollEvent(&index), c.status) << c.name;
        const long ms = MsSince(t0);
        EXPECT_GE(ms, c.minMs) << c.name;
        EXPECT_LE(ms, c.maxMs) << c.name;
        EXPECT_EQ(s.Sleeps(), c.sleeps) << c.name;
    }
}

TEST(UdpRead, OneDatagramCutToTheReadLimit) {
    CUdpPeer peer;
    CTestSession s;
    ASSERT_EQ(s.VrnInitSession("127.0.0.1", peer.Port()), VRN_OK);
    s.RecordSleeps(0);
    // Two datagrams queued: only the first is the reply, and it is cut to 7 bytes.
    CPeerScript<CUdpPeer> script(peer, {SStep{{{0, MakeFrame({7, 7})}, {0, Answer(7)}}}});
    int index = -1;
    EXPECT_EQ(s.VrnPollEvent(&index), VRN_BAD_FRAME);
    EXPECT_EQ(index, -1);
}

} // namespace
