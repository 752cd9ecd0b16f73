// The HTTP proxy byte for byte: the test plays the controller on a pseudo-terminal and a
// browser on a raw socket, and checks the frames on the line and the bytes the browser gets.
#include "AgentHarness.h"

#include <gtest/gtest.h>

using namespace agenttest;

namespace {

Bytes Request(size_t n) {
    Bytes r = GetRequest("/index.html", n);
    EXPECT_EQ(n, r.size());
    return r;
}

Bytes Page(size_t n) {
    std::string p = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
    while (p.size() < n)
        p += static_cast<char>('a' + p.size() % 26);
    p.resize(n);
    return ToBytes(p);
}

bool ValidTunnelFrame(const Bytes& f) {
    if (f.size() < 7 || f[0] != 0x5E || f[1] != 0x01 || f[2] != 0x61 || f[5] != 0x16)
        return false;
    if (static_cast<size_t>(f[3] | (f[4] << 8)) != f.size() - 6)
        return false;
    uint8_t sum = 0;
    for (size_t i = 3; i + 1 < f.size(); ++i)
        sum = static_cast<uint8_t>(sum + f[i]);
    return sum == f.back();
}

struct SProxy {
    CPtyController line;
    SAgent agent;
    bool Start() { return line.Ok() && agent.Start(line.SlavePath()); }

    // One request through the proxy, the controller answering its final piece with `reply`.
    SRawResult Serve(const Bytes& request, const Bytes& reply, size_t pieces,
                     std::vector<Bytes>* frames = nullptr, const SRawOptions& opt = {}) {
        std::vector<Bytes> seen;
        std::thread controller([&] {
            seen = line.ReadFrames(pieces, opt.timeoutMs);
            if (seen.size() == pieces)
                line.Write(reply);
        });
        SRawResult r = RawHttp(agent.addr, agent.tcpPort, request, opt);
        controller.join();
        if (frames != nullptr)
            *frames = seen;
        return r;
    }
};

TEST(AgentHttp, RequestsTravelAsFullPiecesAndOneShorterPiece) {
    const struct {
        size_t size;
        std::vector<size_t> frameSizes; // whole frames on the line: piece + 7
        bool emptyLineAdded;
    } cases[] = {
        {300, {307}, false},        {1023, {1030}, false},         {1024, {1031, 9}, true},
        {1500, {1031, 483}, false}, {2048, {1031, 1031, 9}, true}, {3000, {1031, 1031, 959}, false},
    };
    SProxy proxy;
    ASSERT_TRUE(proxy.Start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes request = Request(c.size);
        const Bytes page = Page(5000);
        std::vector<Bytes> frames;
        SRawResult r = proxy.Serve(request, Frame(page), c.frameSizes.size(), &frames);
        ASSERT_EQ(c.frameSizes.size(), frames.size());
        Bytes carried;
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(c.frameSizes[i], frames[i].size()) << "frame " << i;
            EXPECT_TRUE(ValidTunnelFrame(frames[i])) << "frame " << i;
            carried.insert(carried.end(), frames[i].begin() + 6, frames[i].end() - 1);
        }
        Bytes expected = request;
        if (c.emptyLineAdded)
            expected.insert(expected.end(), {'\r', '\n'});
        EXPECT_EQ(expected, carried);
        EXPECT_EQ(page, r.received);
        EXPECT_TRUE(r.closed);
        EXPECT_TRUE(proxy.line.Read(100).empty()) << "nothing after the final piece";
    }
    EXPECT_EQ(0, proxy.agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(proxy.agent.proc.Stderr())) << proxy.agent.proc.Stderr();
}

TEST(AgentHttp, ControllerFailuresCloseTheConnectionWithoutAnAnswer) {
    Bytes badSum = Frame(Page(400));
    badSum.back() ^= 0x55;
    Bytes longFrame = Frame(Page(11990));
    ASSERT_GT(longFrame.size(), 10240u);
    const struct {
        const char* name;
        Bytes reply;
    } cases[] = {
        {"refused with J", Frame({'J'})},
        {"refused with M", Frame({'M'})},
        {"damaged checksum", badSum},
        {"length field one off",
         [] {
             Bytes f = Frame(Page(50));
             f[3] = static_cast<uint8_t>(f[3] + 1);
             return f;
         }()},
        {"garbage", ToBytes("\x01\x02 garbage, not a frame")},
        {"longer than a reply can be", longFrame},
    };
    SProxy proxy;
    ASSERT_TRUE(proxy.Start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SRawResult r = proxy.Serve(Request(300), c.reply, 1);
        EXPECT_TRUE(r.connected);
        EXPECT_TRUE(r.closed);
        EXPECT_TRUE(r.received.empty()) << ToString(r.received).substr(0, 60);
        SleepMs(150); // what is left of a cut reply is stale by the next request
        // The next browser is served as usual.
        const Bytes page = Page(700);
        SRawResult next = proxy.Serve(Request(200), Frame(page), 1);
        EXPECT_EQ(page, next.received);
    }
    // The largest reply frame (10240 bytes) still carries a page; one byte more does not.
    const Bytes largest = Page(10240 - 6);
    EXPECT_EQ(largest, proxy.Serve(Request(300), Frame(largest), 1).received);
    SleepMs(150);
    EXPECT_TRUE(proxy.Serve(Request(300), Frame(Page(10240 - 5)), 1).received.empty());
    SleepMs(150);
    // An accepted refusal ("A" alone) is a one-byte page.
    SRawResult a = proxy.Serve(Request(300), Frame({'A'}), 1);
    EXPECT_EQ(Bytes{'A'}, a.received);
    EXPECT_EQ(0, proxy.agent.proc.Stop());
}

TEST(AgentHttp, BrowserBehaviours) {
    SProxy proxy;
    ASSERT_TRUE(proxy.Start());
    {
        SCOPED_TRACE("connects and sends nothing");
        SRawResult r = RawHttp(proxy.agent.addr, proxy.agent.tcpPort, {});
        EXPECT_TRUE(r.closed);
        EXPECT_TRUE(r.received.empty());
        EXPECT_GE(r.msAfterSend, 280);
        EXPECT_LT(r.msAfterSend, 2000);
        EXPECT_TRUE(proxy.line.Read(200).empty()) << "nothing is tunnelled";
    }
    {
        SCOPED_TRACE("sends slowly, never silent for 300 ms");
        const Bytes request = Request(900);
        SRawOptions slow;
        slow.chunks = std::vector<size_t>(9, 100);
        slow.gapMs = 150;
        std::vector<Bytes> frames;
        const Bytes page = Page(300);
        SRawResult r = proxy.Serve(request, Frame(page), 1, &frames, slow);
        ASSERT_EQ(1u, frames.size());
        EXPECT_EQ(Bytes(request), Bytes(frames[0].begin() + 6, frames[0].end() - 1));
        EXPECT_EQ(page, r.received);
    }
    {
        SCOPED_TRACE("closes its sending side: no waiting for silence");
        SRawOptions quiet, half;
        half.halfClose = true;
        const Bytes page = Page(100);
        SRawResult waited = proxy.Serve(Request(200), Frame(page), 1, nullptr, quiet);
        SRawResult closedSide = proxy.Serve(Request(200), Frame(page), 1, nullptr, half);
        EXPECT_EQ(page, waited.received);
        EXPECT_EQ(page, closedSide.received);
        // The quiet time (300 ms) is saved; the end of stream still takes one settle time
        // (100 ms) to be read.
        EXPECT_GE(waited.msAfterSend - closedSide.msAfterSend, 150)
            << waited.msAfterSend << " vs " << closedSide.msAfterSend;
    }
    {
        SCOPED_TRACE("gone before the answer");
        SRawOptions gone;
        gone.resetAfterSend = true;
        std::thread controller([&] {
            if (!proxy.line.ReadFrames(1, 3000).empty()) {
                SleepMs(100);
                proxy.line.Write(Frame(Page(3000)));
            }
        });
        RawHttp(proxy.agent.addr, proxy.agent.tcpPort, Request(250), gone);
        controller.join();
        SleepMs(300);
        // Still up: the next browser gets its page.
        const Bytes page = Page(1200);
        EXPECT_EQ(page, proxy.Serve(Request(250), Frame(page), 1).received);
    }
    {
        SCOPED_TRACE("a second browser waits in the listen queue");
        std::vector<Bytes> firstFrames;
        Bytes first = Page(111), second = Page(222);
        std::thread controller([&] {
            for (const Bytes& page : {first, second}) {
                if (proxy.line.ReadFrames(1, 5000).size() != 1)
                    return;
                SleepMs(300);
                proxy.line.Write(Frame(page));
            }
        });
        SRawResult r1, r2;
        int64_t done1 = 0, done2 = 0;
        std::thread b1([&] {
            r1 = RawHttp(proxy.agent.addr, proxy.agent.tcpPort, Request(200));
            done1 = NowMs();
        });
        SleepMs(50);
        std::thread b2([&] {
            r2 = RawHttp(proxy.agent.addr, proxy.agent.tcpPort, Request(201));
            done2 = NowMs();
        });
        b1.join();
        b2.join();
        controller.join();
        EXPECT_EQ(first, r1.received);
        EXPECT_EQ(second, r2.received);
        EXPECT_GT(done2, done1);
    }
    EXPECT_EQ(0, proxy.agent.proc.Stop());
    EXPECT_TRUE(SanitizerClean(proxy.agent.proc.Stderr())) << proxy.agent.proc.Stderr();
}

// A client that sends a byte every 200 ms is never silent for the quiet time; it gets a
// bounded time for its request and is then cut off, and the browser behind it is served.
TEST(AgentHttp, SlowClientIsCutOffAndTheNextBrowserServed) {
    constexpr int64_t kGatherDeadlineMs = 10000;
    SProxy proxy;
    ASSERT_TRUE(proxy.Start());
    int64_t slowMs = -1;
    std::thread slow([&] {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to = Address(proxy.agent.addr, proxy.agent.tcpPort);
        if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            close(fd);
            return;
        }
        const int64_t t0 = NowMs();
        const char byte = 'G';
        // Bounded by the test, whatever the agent does.
        while (NowMs() - t0 < 3 * kGatherDeadlineMs) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 200) > 0) {
                char sink[64];
                if (recv(fd, sink, sizeof sink, 0) <= 0) {
                    slowMs = NowMs() - t0;
                    break;
                }
            }
            if (send(fd, &byte, 1, MSG_NOSIGNAL) != 1) {
                slowMs = NowMs() - t0;
                break;
            }
        }
        close(fd);
    });
    SleepMs(500);
    const Bytes page = Page(700);
    SRawOptions patient;
    patient.timeoutMs = 3 * kGatherDeadlineMs;
    std::vector<Bytes> frames;
    const Bytes request = Request(300);
    SRawResult r = proxy.Serve(request, Frame(page), 1, &frames, patient);
    slow.join();
    EXPECT_EQ(page, r.received);
    ASSERT_EQ(1u, frames.size()) << "nothing of the slow client reached the controller";
    EXPECT_EQ(request, Bytes(frames[0].begin() + 6, frames[0].end() - 1));
    EXPECT_GE(slowMs, kGatherDeadlineMs - 500);
    EXPECT_LT(slowMs, kGatherDeadlineMs + 3000);
    EXPECT_EQ(0, proxy.agent.proc.Stop());
}

TEST(AgentHttp, RequestLargerThanTheBufferIsNotServed) {
    // The agent takes at most 1024 bytes per 100 ms, so filling its 512000-byte buffer
    // takes about 50 s.
    SProxy proxy;
    ASSERT_TRUE(proxy.Start());
    const size_t size = 512000 + 4096;
    Bytes request = Request(size);
    SRawOptions opt;
    opt.timeoutMs = 90000;
    const int64_t t0 = NowMs();
    SRawResult r = RawHttp(proxy.agent.addr, proxy.agent.tcpPort, request, opt);
    EXPECT_TRUE(r.received.empty());
    EXPECT_GE(NowMs() - t0, 40000);
    EXPECT_TRUE(proxy.line.Read(200).empty()) << "no piece of it reached the controller";
    const Bytes page = Page(640);
    EXPECT_EQ(page, proxy.Serve(Request(500), Frame(page), 1).received);
    EXPECT_EQ(0, proxy.agent.proc.Stop());
}

} // namespace
