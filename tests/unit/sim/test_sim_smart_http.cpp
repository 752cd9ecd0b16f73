// SMART pages, off-line collection, self-tests, the read/write test and the HTTP tunnel.
#include "SimModelHarness.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

Bytes Smart(uint8_t sub, uint8_t drive, uint8_t arg = 0) {
    return {0x1C, sub, 'Q', 'n', 'd', 'L', drive, arg};
}

uint8_t PageSum(const Bytes& page) {
    uint8_t s = 0;
    for (uint8_t b : page)
        s = static_cast<uint8_t>(s + b);
    return s;
}

TEST(SimSmart, RepliesHaveTheLayoutsStationsExpect) {
    CHarness h;
    struct Case {
        const char* name;
        Bytes request;
        size_t replyLen;
        Bytes payloadStart;
    };
    const Case cases[] = {
        {"data page", Smart(0, 4), 520, {0, 0, 0x10, 0x00, 1, 0x0B, 0x00, 100, 100}},
        {"threshold page", Smart(1, 4), 520, {0, 0, 0x10, 0x00, 1, 16}},
        {"enable", Smart(8, 4), 8, {0, 0}},
        {"off-line collection", Smart(4, 4, 0), 8, {0, 0}},
        {"unknown routine", Smart(4, 4, 0x33), 8, {0x51, 0x04}},
        {"read/write test of a member", Smart(16, 0, 50), 7, {'M'}},
        {"read/write test 0 %", Smart(16, 4, 0), 7, {'M'}},
        {"read/write test", Smart(16, 4, 50), 7, {'A'}},
        {"read/write status", Smart(18, 4), 24, {4, 5}},
        {"never-tested drive", Smart(18, 5), 24, {5, 0}},
        {"no drive 8", Smart(0, 8), 7, {'M'}},
        {"unknown sub-command", Smart(0x20, 4), 7, {'M'}},
        {"wrong marker", {0x1C, 0, 'Q', 'n', 'd', 'X', 4, 0}, 7, {'M'}},
        {"disable", Smart(9, 5), 8, {0, 0}},
        {"data while disabled", Smart(0, 5), 7, {'M'}},
        {"routine while disabled", Smart(4, 5, 1), 8, {0x51, 0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes r = h.Ask(c.request);
        ASSERT_EQ(c.replyLen, r.size());
        EXPECT_EQ(Frame(Bytes(r.begin() + 5, r.end() - 1)), r);
        EXPECT_EQ(c.payloadStart,
                  Bytes(r.begin() + 5, r.begin() + 5 + static_cast<long>(c.payloadStart.size())));
        if (c.replyLen == 520) {
            EXPECT_EQ(0, PageSum(Bytes(r.begin() + 7, r.begin() + 519))) << "page checksum";
        }
    }
    ASSERT_EQ("", h.Model().SetDrive(6, "fail"));
    EXPECT_EQ(Answer('M'), h.Ask(Smart(0, 6)));
}

TEST(SimSmart, OfflineCollectionAndSelfTestsRunTheirScaledTimes) {
    CHarness h(0.01); // 120 s collection -> 1.2 s; 2 min short test -> 1.2 s; 60 min -> 36 s
    auto data = [&](uint8_t d) {
        Bytes p = h.Data(Smart(0, d));
        return Bytes(p.begin() + 2, p.end());
    };
    Bytes before = data(4);
    EXPECT_EQ(0x00, before[362]);
    EXPECT_EQ(2, before[364]); // ceil(1.2) seconds
    EXPECT_EQ(0, before[365]);
    EXPECT_EQ(1, before[372]);
    EXPECT_EQ(1, before[373]); // 0.6 minutes, rounded up
    ASSERT_EQ(Frame({0, 0}), h.Ask(Smart(4, 4, 0)));
    ASSERT_EQ(Frame({0, 0}), h.Ask(Smart(4, 5, 1)));
    ASSERT_EQ(Frame({0, 0}), h.Ask(Smart(4, 6, 2)));
    struct Step {
        int64_t advanceMs;
        uint8_t offline4; // byte 362 of drive 4
        uint8_t self5;    // byte 363 of drive 5 (short)
        uint8_t self6;    // byte 363 of drive 6 (extended)
    };
    const Step steps[] = {
        {0, 0x03, 0xF9, 0xF9},     {600, 0x03, 0xF5, 0xF9},   {700, 0x02, 0x00, 0xF9},
        {18000, 0x02, 0x00, 0xF5}, {18000, 0x02, 0x00, 0x00},
    };
    for (const Step& s : steps) {
        h.Advance(s.advanceMs);
        EXPECT_EQ(s.offline4, data(4)[362]);
        EXPECT_EQ(s.self5, data(5)[363]);
        EXPECT_EQ(s.self6, data(6)[363]);
    }
    // Aborting a running self-test reports "aborted by host".
    ASSERT_EQ(Frame({0, 0}), h.Ask(Smart(4, 7, 2)));
    ASSERT_EQ(Frame({0, 0}), h.Ask(Smart(4, 7, 0x7F)));
    EXPECT_EQ(0x10, data(7)[363]);
}

TEST(SimSmart, ThresholdsFollowTheControlChannel) {
    CHarness h;
    ASSERT_EQ("", h.Model().SetSmartValue(4, 5, 3));
    Bytes p = h.Data(Smart(0, 4));
    Bytes t = h.Data(Smart(1, 4));
    // Attribute 5 is the fourth entry: id at 2 + 36, current value 3 bytes on.
    EXPECT_EQ(5, p[2 + 2 + 36]);
    EXPECT_EQ(3, p[2 + 2 + 36 + 3]);
    EXPECT_EQ(5, t[2 + 2 + 36]);
    EXPECT_EQ(5, t[2 + 2 + 36 + 1]);
    EXPECT_NE("", h.Model().SetSmartValue(4, 77, 1));
    EXPECT_NE("", h.Model().SetSmartValue(4, 5, 256));
}

TEST(SimSmart, ReadWriteTestWritesThenReadsThenReportsRates) {
    CHarness h(0.1); // 60 s for the whole surface -> 6 s; 50 % -> 3 s
    ASSERT_EQ(Answer('A'), h.Ask(Smart(16, 5, 50)));
    const uint32_t ref = 488397168u / 256;
    struct Step {
        int64_t advanceMs;
        uint8_t state;
        uint32_t readPos, writePos; // while running
    };
    const Step steps[] = {
        {0, 5, 0, 0},
        {750, 5, 0, ref / 2},
        {1500, 5, ref / 2, ref},
        {750, 4, 0, 0},
    };
    for (const Step& s : steps) {
        h.Advance(s.advanceMs);
        Bytes st = h.Data(Smart(18, 5));
        ASSERT_EQ(18u, st.size());
        EXPECT_EQ(s.state, st[1]);
        if (s.state == 5) {
            EXPECT_NEAR(s.readPos, Le32(st, 4), 2);
            EXPECT_NEAR(s.writePos, Le32(st, 8), 2);
        } else {
            EXPECT_EQ(5500u + 5 * 30, Le32(st, 2));
            EXPECT_EQ(0u, Le32(st, 6));
            EXPECT_EQ(4800u + 5 * 20, Le32(st, 10));
            EXPECT_EQ(0u, Le32(st, 14));
        }
    }
}

std::string Body(const Bytes& reply) {
    return std::string(reply.begin() + 5, reply.end() - 1);
}

TEST(SimHttp, PiecesAreCollectedAndTheShortOneIsAnswered) {
    CHarness h;
    auto piece = [](const std::string& s) { return Cat({{0x16}, Bytes(s.begin(), s.end())}); };
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        std::string statusLine;
        size_t minBody;
    };
    std::string longGet =
        "GET /status.html HTTP/1.1\r\nX-Pad: " + std::string(2048 - 36, 'x') + "\r\n";
    ASSERT_EQ(2048u, longGet.size());
    const Case cases[] = {
        {"index", {"GET / HTTP/1.0\r\n\r\n"}, "HTTP/1.0 200 OK", 100},
        {"query string ignored", {"GET /status.html?x=1 HTTP/1.0\r\n\r\n"}, "HTTP/1.0 200 OK", 50},
        {"unknown page", {"GET /nothing.html HTTP/1.0\r\n\r\n"}, "HTTP/1.0 404 Not Found", 10},
        {"not a method served",
         {"DELETE / HTTP/1.0\r\n\r\n"},
         "HTTP/1.0 405 Method Not Allowed",
         10},
        {"garbage", {"\x01\x02"}, "HTTP/1.0 400 Bad Request", 10},
        {"two full pieces and the rest",
         {longGet.substr(0, 1024), longGet.substr(1024, 1024), "\r\n"},
         "HTTP/1.0 200 OK",
         50},
        // A request of exactly two pieces ends with an empty piece.
        {"empty final piece",
         {longGet.substr(0, 1024), longGet.substr(1024, 1024), ""},
         "HTTP/1.0 200 OK",
         50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes r;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            r = h.Ask(piece(c.pieces[i]));
            if (i + 1 < c.pieces.size()) {
                EXPECT_TRUE(r.empty()) << "a full piece gets no reply";
            }
        }
        ASSERT_FALSE(r.empty());
        std::string b = Body(r);
        EXPECT_EQ(c.statusLine, b.substr(0, b.find("\r\n")));
        size_t head = b.find("\r\n\r\n");
        ASSERT_NE(std::string::npos, head);
        EXPECT_GE(b.size() - head - 4, c.minBody);
    }
}

TEST(SimHttp, LargePageOverflowsOneReplyFrame) {
    CHarness h;
    Bytes r = h.Ask(Cat({{0x16}, Text("GET /eventlog.html HTTP/1.0\r\n\r\n", 31)}));
    EXPECT_GT(r.size() - 6, 10234u);
    EXPECT_EQ(Frame(Bytes(r.begin() + 5, r.end() - 1)), r);
    std::string b = Body(r);
    size_t len = b.find("Content-Length: ");
    ASSERT_NE(std::string::npos, len);
    EXPECT_EQ(std::to_string(b.size() - b.find("\r\n\r\n") - 4),
              b.substr(len + 16, b.find("\r\n", len) - len - 16));
    // HEAD answers the headers alone.
    Bytes head = h.Ask(Cat({{0x16}, Text("HEAD /eventlog.html HTTP/1.0\r\n\r\n", 32)}));
    EXPECT_LT(head.size(), 300u);
}

} // namespace
