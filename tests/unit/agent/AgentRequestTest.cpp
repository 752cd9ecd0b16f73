// Gathering a browser's request from a real loopback connection, and the pieces the tunnel
// makes of it.
#include "AgentRequest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Vrnlib.h"

using namespace vrnagent;
using namespace std::chrono_literals;

namespace {

// A connected loopback TCP pair: `client` plays the browser, `server` the accepted socket.
struct SConnection {
    int client = -1;
    int server = -1;
    SConnection() {
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            listen(listener, 1) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            client = socket(AF_INET, SOCK_STREAM, 0);
            if (connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                server = accept(listener, nullptr, nullptr);
        }
        close(listener);
    }
    ~SConnection() {
        if (client >= 0)
            close(client);
        if (server >= 0)
            close(server);
    }
    void Reset() {
        linger l = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(client);
        client = -1;
    }
};

std::string Pattern(size_t n, size_t offset = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('A' + (i + offset) % 23);
    return s;
}

enum class EBrowserEnd { Silent, HalfClose, Reset };

constexpr size_t kAnySize = SIZE_MAX; // what was gathered before the end does not matter

struct SChunk {
    size_t bytes;
    int gapMs; // before this chunk
};

TEST(AgentRequest, GatheringEndsOnSilenceCloseOrOverflow) {
    // Gaps keep well clear of the quiet time (200 ms) on either side, so a loaded machine's late
    // wake-ups do not turn a trickle into silence.
    const SGatherTiming fast = {200, 5, 1024, 1000, 200};
    const struct {
        const char* name;
        size_t capacity;
        std::vector<SChunk> chunks;
        EBrowserEnd browserEnd;
        EGatherEnd end;
        size_t size;
    } cases[] = {
        {"connects and sends nothing", 4096, {}, EBrowserEnd::Silent, EGatherEnd::Quiet, 0},
        {"closes at once", 4096, {}, EBrowserEnd::HalfClose, EGatherEnd::PeerClosed, 0},
        {"request, then silence", 4096, {{500, 0}}, EBrowserEnd::Silent, EGatherEnd::Quiet, 500},
        {"request, then closes its side",
         4096,
         {{700, 0}},
         EBrowserEnd::HalfClose,
         EGatherEnd::PeerClosed,
         700},
        {"slow, but never silent for the quiet time",
         4096,
         {{100, 0}, {100, 60}, {100, 60}},
         EBrowserEnd::Silent,
         EGatherEnd::Quiet,
         300},
        {"a pause longer than the quiet time ends the request",
         4096,
         {{100, 0}, {100, 450}},
         EBrowserEnd::Silent,
         EGatherEnd::Quiet,
         100},
        {"more than one receive's worth",
         8192,
         {{3000, 0}},
         EBrowserEnd::Silent,
         EGatherEnd::Quiet,
         3000},
        {"exactly the buffer", 4096, {{4096, 0}}, EBrowserEnd::Silent, EGatherEnd::Quiet, 4096},
        {"exactly the buffer, then close",
         4096,
         {{4096, 0}},
         EBrowserEnd::HalfClose,
         EGatherEnd::PeerClosed,
         4096},
        {"one byte more than the buffer",
         4096,
         {{4097, 0}},
         EBrowserEnd::Silent,
         EGatherEnd::Oversized,
         4096},
        {"the extra byte comes late but within the quiet time",
         4096,
         {{4096, 0}, {1, 50}},
         EBrowserEnd::Silent,
         EGatherEnd::Oversized,
         4096},
        {"connection reset", 4096, {}, EBrowserEnd::Reset, EGatherEnd::RecvError, 0},
        {"trickles past its time", 4096, std::vector<SChunk>(60, SChunk{10, 25}),
         EBrowserEnd::Silent, EGatherEnd::TooSlow, kAnySize},
        {"a large request takes longer, and is given the time", 40000,
         std::vector<SChunk>(30, SChunk{1000, 50}), EBrowserEnd::Silent, EGatherEnd::Quiet, 30000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SConnection conn;
        ASSERT_GE(conn.server, 0);
        std::string sent;
        std::thread browser([&] {
            for (const SChunk& ch : c.chunks) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ch.gapMs));
                std::string part = Pattern(ch.bytes, sent.size());
                ASSERT_EQ(static_cast<ssize_t>(part.size()),
                          send(conn.client, part.data(), part.size(), MSG_NOSIGNAL));
                sent += part;
            }
            if (c.browserEnd == EBrowserEnd::HalfClose)
                shutdown(conn.client, SHUT_WR);
            else if (c.browserEnd == EBrowserEnd::Reset)
                conn.Reset();
        });
        CRequestBuffer buf(c.capacity);
        const EGatherEnd end = GatherRequest(conn.server, buf, fast, nullptr);
        browser.join();
        EXPECT_EQ(static_cast<int>(c.end), static_cast<int>(end));
        if (c.size == kAnySize)
            continue;
        ASSERT_EQ(c.size, buf.Size());
        EXPECT_EQ(sent.substr(0, c.size), std::string(buf.Data(), buf.Size()));
    }
}

TEST(AgentRequest, PeerCloseEndsTheReceiveWithoutWaitingForSilence) {
    // With the real timing a closed sending side ends the receive phase after the settle
    // time, not after 300 ms of silence.
    const struct {
        bool halfClose;
        int minMs;
        int maxMs;
    } cases[] = {{true, 90, 280}, {false, 390, 2000}};
    for (const auto& c : cases) {
        SConnection conn;
        ASSERT_GE(conn.server, 0);
        ASSERT_EQ(5, send(conn.client, "GET /", 5, MSG_NOSIGNAL));
        if (c.halfClose)
            shutdown(conn.client, SHUT_WR);
        CRequestBuffer buf(REQUEST_BUFFER_SIZE);
        const auto t0 = std::chrono::steady_clock::now();
        GatherRequest(conn.server, buf, SGatherTiming{}, nullptr);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - t0)
                            .count();
        EXPECT_EQ(5u, buf.Size());
        EXPECT_GE(ms, c.minMs) << "half-close " << c.halfClose;
        EXPECT_LE(ms, c.maxMs) << "half-close " << c.halfClose;
    }
}

TEST(AgentRequest, StopFlagEndsGathering) {
    const struct {
        bool setBefore;
        int setAfterMs;
    } cases[] = {{true, 0}, {false, 150}};
    for (const auto& c : cases) {
        SConnection conn;
        ASSERT_GE(conn.server, 0);
        std::atomic<bool> stop{c.setBefore};
        // A browser that keeps trickling bytes would otherwise hold the handler.
        std::atomic<bool> done{false};
        std::thread browser([&] {
            while (!done.load()) {
                send(conn.client, "x", 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(20ms);
            }
        });
        std::thread stopper([&] {
            if (!c.setBefore) {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.setAfterMs));
                stop.store(true);
            }
        });
        CRequestBuffer buf(4096);
        const auto t0 = std::chrono::steady_clock::now();
        const EGatherEnd end = GatherRequest(conn.server, buf, SGatherTiming{300, 10, 1024}, &stop);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - t0)
                            .count();
        done.store(true);
        browser.join();
        stopper.join();
        EXPECT_EQ(static_cast<int>(EGatherEnd::Stopped), static_cast<int>(end));
        EXPECT_LT(ms, c.setAfterMs + 500);
    }
}

// A controller stand-in for the tunnel: records the pieces and answers the final one.
struct SPieceLog {
    std::vector<std::string> pieces;
    int failAt = -1; // piece index that fails
    int failStatus = 0;
    std::string answer = "HTTP/1.0 200 OK\r\n\r\nhello";
    CVrnlib* session = nullptr;
    std::atomic<bool>* otherGotLock = nullptr;
    std::thread* other = nullptr;
    bool lockSeenByOtherDuringRequest = false;
};

int RecordPiece(void* ctx, char* piece, int len, char* response, int* responseLen) {
    SPieceLog& log = *static_cast<SPieceLog*>(ctx);
    log.pieces.emplace_back(piece, static_cast<size_t>(len));
    const int index = static_cast<int>(log.pieces.size()) - 1;
    *responseLen = 0;
    if (index == log.failAt)
        return log.failStatus;
    if (len < TUNNEL_PIECE) {
        std::memcpy(response, log.answer.data(), log.answer.size());
        *responseLen = static_cast<int>(log.answer.size());
    }
    return VRN_OK;
}

TEST(AgentRequest, TunnelSendsFullPiecesAndOneShorterPiece) {
    const struct {
        size_t n;
        std::vector<int> lengths;
        bool emptyLineAdded;
    } cases[] = {
        {1, {1}, false},
        {476, {476}, false},
        {1023, {1023}, false},
        {1024, {1024, 2}, true},
        {1025, {1024, 1}, false},
        {1500, {1024, 476}, false},
        {2048, {1024, 1024, 2}, true},
        {3000, {1024, 1024, 952}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        CVrnlib session;
        SPieceLog log;
        std::string request = Pattern(c.n);
        char response[RESPONSE_BUFFER_SIZE];
        int responseLen = -1;
        const int status = TunnelRequest(session, request.data(), request.size(), response,
                                         &responseLen, RecordPiece, &log);
        EXPECT_EQ(VRN_OK, status);
        std::vector<int> lengths;
        std::string joined;
        for (const std::string& p : log.pieces) {
            lengths.push_back(static_cast<int>(p.size()));
            joined += p;
        }
        EXPECT_EQ(c.lengths, lengths);
        EXPECT_EQ(request + (c.emptyLineAdded ? "\r\n" : ""), joined);
        EXPECT_EQ(log.answer, std::string(response, static_cast<size_t>(responseLen)));
    }
}

TEST(AgentRequest, TunnelOfTheWholeBufferEndsOnAnEmptyLine) {
    CVrnlib session;
    SPieceLog log;
    std::string request = Pattern(REQUEST_BUFFER_SIZE);
    char response[RESPONSE_BUFFER_SIZE];
    int responseLen = 0;
    ASSERT_EQ(VRN_OK, TunnelRequest(session, request.data(), request.size(), response, &responseLen,
                                    RecordPiece, &log));
    ASSERT_EQ(501u, log.pieces.size());
    EXPECT_EQ("\r\n", log.pieces.back());
    EXPECT_EQ(static_cast<int>(log.answer.size()), responseLen);
}

TEST(AgentRequest, TunnelStopsAtTheFirstFailingPiece) {
    const struct {
        size_t n;
        int failAt;
        int status;
        size_t calls;
    } cases[] = {
        {3000, 0, VRN_WRITE_FAILED, 1}, // a full piece that cannot be written
        {3000, 1, VRN_WRITE_FAILED, 2},
        {3000, 2, VRN_REFUSED_J, 3}, // the controller refuses the
                                     // request
        {300, 0, VRN_NO_REPLY, 1},
        {300, 0, VRN_BAD_FRAME, 1},
        {300, 0, 0x4D, 1},
        {2048, 2, VRN_REFUSED_J, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " fails at " + std::to_string(c.failAt));
        CVrnlib session;
        SPieceLog log;
        log.failAt = c.failAt;
        log.failStatus = c.status;
        std::string request = Pattern(c.n);
        char response[RESPONSE_BUFFER_SIZE];
        int responseLen = -1;
        EXPECT_EQ(c.status, TunnelRequest(session, request.data(), request.size(), response,
                                          &responseLen, RecordPiece, &log));
        EXPECT_EQ(c.calls, log.pieces.size());
        EXPECT_EQ(0, responseLen);
    }
    CVrnlib session;
    SPieceLog log;
    char response[RESPONSE_BUFFER_SIZE];
    int responseLen = -1;
    EXPECT_EQ(VRN_BAD_ARGUMENT,
              TunnelRequest(session, response, 0, response, &responseLen, RecordPiece, &log));
    EXPECT_TRUE(log.pieces.empty());
}

// Another thread asking for the session during a request must wait until its response.
int PieceWithCompetitor(void* ctx, char* piece, int len, char* response, int* responseLen) {
    SPieceLog& log = *static_cast<SPieceLog*>(ctx);
    if (log.pieces.empty()) {
        *log.other = std::thread([&log] {
            log.session->VrnLockExchange();
            log.otherGotLock->store(true);
            log.session->VrnUnlockExchange();
        });
    } else {
        // Give the competitor every chance to slip in between two pieces.
        std::this_thread::sleep_for(30ms);
        if (log.otherGotLock->load())
            log.lockSeenByOtherDuringRequest = true;
    }
    return RecordPiece(ctx, piece, len, response, responseLen);
}

TEST(AgentRequest, OneRequestHoldsTheSessionFromFirstPieceToResponse) {
    CVrnlib session;
    std::atomic<bool> otherGotLock{false};
    std::thread other;
    SPieceLog log;
    log.session = &session;
    log.otherGotLock = &otherGotLock;
    log.other = &other;
    std::string request = Pattern(4500);
    char response[RESPONSE_BUFFER_SIZE];
    int responseLen = 0;
    ASSERT_EQ(VRN_OK, TunnelRequest(session, request.data(), request.size(), response, &responseLen,
                                    PieceWithCompetitor, &log));
    ASSERT_EQ(5u, log.pieces.size());
    EXPECT_FALSE(log.lockSeenByOtherDuringRequest);
    other.join();
    EXPECT_TRUE(otherGotLock.load()) << "the competitor gets the session after the response";
}

} // namespace
