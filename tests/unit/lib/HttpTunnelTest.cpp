// The HTTP tunnel over both transports: pieces out as exact frames, responses back unchanged.
#include "LinkFixture.h"

namespace {

Bytes Pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 7 + seed) & 0xFF);
    return b;
}

Bytes PieceFrame(const Bytes& piece) {
    Bytes payload = {0x16};
    payload.insert(payload.end(), piece.begin(), piece.end());
    return MakeFrame(payload);
}

class HttpTunnel : public CLinkTest {
protected:
    // Nothing reached the controller's side of the link.
    void ExpectNoTraffic(const char* what) {
        const Bytes seen = m_pty ? m_pty->Read(200) : m_udp->Read(200);
        EXPECT_TRUE(seen.empty()) << what << ": " << Hex(seen);
    }
};

TEST_P(HttpTunnel, LastPieceIsAnsweredByTheReplyPayload) {
    // Replies of 10 kB cross a pseudo-terminal in many reads: keep the real quiet time
    // between them, so that a busy machine cannot end a read half-way.
    m_session.RecordSleeps(1);
    const Bytes big = Pattern(5000, 3);
    const Bytes largest = Pattern(VRN_MAX_REPLY - 6, 5);
    Bytes tooLong = Pattern(VRN_MAX_REPLY - 5, 9);
    struct Case {
        const char* name;
        size_t pieceLen;
        Bytes reply;
        int status;
        Bytes response;
    };
    const Case cases[] = {
        {"600 bytes, 5000-byte response", 600, MakeFrame(big), VRN_OK, big},
        {"one byte, response filling a whole frame", 1, MakeFrame(largest), VRN_OK, largest},
        {"1023 bytes, bare A is a one-byte response", 1023, Answer('A'), VRN_OK, {'A'}},
        {"answer byte 0 is a one-byte response", 10, Answer(0), VRN_OK, {0}},
        {"refusal J", 10, Answer('J'), VRN_REFUSED_J, {}},
        {"refusal M is not mapped", 10, Answer('M'), 0x4D, {}},
        {"refusal B", 10, Answer('B'), 0x42, {}},
        {"two-byte response starting with J", 10, MakeFrame({'J', 'x'}), VRN_OK, {'J', 'x'}},
        {"response longer than one frame", 10, MakeFrame(tooLong), VRN_BAD_FRAME, {}},
    };
    for (const Case& c : cases) {
        const Bytes piece = Pattern(c.pieceLen, static_cast<unsigned>(c.pieceLen));
        std::vector<char> response(VRN_MAX_REPLY, 0x55);
        int responseLen = -1;
        int status = -1;
        auto seen = Serve({Reply(c.reply)}, [&] {
            status =
                m_session.VrnHttp(reinterpret_cast<const char*>(piece.data()),
                                  static_cast<int>(piece.size()), response.data(), &responseLen);
        });
        EXPECT_EQ(status, c.status) << c.name;
        ASSERT_EQ(seen.size(), 1u) << c.name;
        EXPECT_EQ(seen[0], PieceFrame(piece)) << c.name;
        ASSERT_EQ(responseLen, static_cast<int>(c.response.size())) << c.name;
        EXPECT_TRUE(std::equal(c.response.begin(), c.response.end(),
                               reinterpret_cast<unsigned char*>(response.data())))
            << c.name;
        // Whatever reply a failure brought, the rest of the line must be clean for the next
        // case: the over-long reply leaves its tail behind on a serial line.
        if (m_pty)
            m_pty->Read(100);
    }
}

TEST_P(HttpTunnel, FullPieceIsNotAnsweredAndARequestEndsWithItsShortPiece) {
    const Bytes request = Pattern(1500, 1);
    const Bytes first(request.begin(), request.begin() + 1024);
    const Bytes rest(request.begin() + 1024, request.end());
    const Bytes page = {'H', 'T', 'T', 'P', '/', '1', '.', '0', ' ', '2', '0', '0'};
    std::vector<char> response(VRN_MAX_REPLY, 0);
    int firstLen = -1, lastLen = -1;
    int firstStatus = -1, lastStatus = -1;
    // The peer takes the full piece without answering and answers the short one.
    auto seen = Serve({SStep{}, Reply(MakeFrame(page))}, [&] {
        const auto start = std::chrono::steady_clock::now();
        firstStatus = m_session.VrnHttp(reinterpret_cast<const char*>(first.data()), 1024,
                                        response.data(), &firstLen);
        const auto took = std::chrono::steady_clock::now() - start;
        // No read at all: not even the first poll sleep of the serial read.
        EXPECT_LT(took, std::chrono::milliseconds(500));
        lastStatus = m_session.VrnHttp(reinterpret_cast<const char*>(rest.data()),
                                       static_cast<int>(rest.size()), response.data(), &lastLen);
    });
    EXPECT_EQ(firstStatus, VRN_OK);
    EXPECT_EQ(firstLen, 0);
    EXPECT_EQ(lastStatus, VRN_OK);
    ASSERT_EQ(lastLen, static_cast<int>(page.size()));
    EXPECT_EQ(0, std::memcmp(response.data(), page.data(), page.size()));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].size(), 1031u);
    EXPECT_EQ(seen[0], PieceFrame(first));
    EXPECT_EQ(seen[1], PieceFrame(rest));
}

TEST_P(HttpTunnel, BadArgumentsAreRefusedWithoutTraffic) {
    char piece[1100] = {'G', 'E', 'T'};
    std::vector<char> response(VRN_MAX_REPLY, 0);
    int len = -1;
    struct Case {
        const char* name;
        const char* piece;
        int pieceLen;
        char* response;
        int* responseLen;
    };
    const Case cases[] = {
        {"length 0 (a request of an exact multiple of 1024)", piece, 0, response.data(), &len},
        {"length 1025", piece, 1025, response.data(), &len},
        {"negative length", piece, -1, response.data(), &len},
        {"null piece", nullptr, 3, response.data(), &len},
        {"null response buffer", piece, 3, nullptr, &len},
        {"null response length", piece, 3, response.data(), nullptr},
    };
    for (const Case& c : cases) {
        len = 77;
        EXPECT_EQ(m_session.VrnHttp(c.piece, c.pieceLen, c.response, c.responseLen),
                  VRN_BAD_ARGUMENT)
            << c.name;
        if (c.responseLen != nullptr) {
            EXPECT_EQ(len, 0) << c.name;
        }
    }
    ExpectNoTraffic("bad arguments");
}

INSTANTIATE_TEST_SUITE_P(Links, HttpTunnel, testing::Values(ELink::Serial, ELink::Udp), LinkName);

TEST(HttpTunnelSession, NewSessionHasNoPort) {
    CVrnlib session;
    char response[VRN_MAX_REPLY];
    int len = -1;
    EXPECT_EQ(session.VrnHttp("GET / HTTP/1.0\r\n\r\n", 18, response, &len), VRN_NO_PORT);
    EXPECT_EQ(len, 0);
}

} // namespace
