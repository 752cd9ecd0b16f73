// The exchange every operation shares, held to exact bytes over both transports.
#include "LinkFixture.h"

namespace {

const Bytes kSysInfoRequest = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
const Bytes kIdentifyRequest = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x13, 0x14};
const Bytes kPollRequest = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x19, 0x1A};

Bytes SysInfoPayload() {
    Bytes p(256, 0);
    const char vendor[] = "Varno Storage";
    std::memcpy(p.data(), vendor, sizeof vendor - 1);
    p[174] = 8;    // drive channels
    p[255] = 0xEE; // the last byte must arrive too
    return p;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

class Exchange : public CLinkTest {};

TEST_P(Exchange, OperationsSendGoldenRequestsAndReadReplies) {
    struct Case {
        const char* name;
        int op; // 0 system information, 1 identify, 2 poll
        Bytes reply;
        int status;
        Bytes record; // expected system information record, or {index} for the poll
    };
    Bytes shortRecord(256, 0);
    shortRecord[0] = 'V';
    shortRecord[1] = 'W';
    shortRecord[2] = 0xAF; // the reply's checksum lands right after the payload
    Bytes answerA(256, 0);
    answerA[0] = 0x41;
    answerA[1] = 0x42;
    const Case cases[] = {
        {"system information", 0, MakeFrame(SysInfoPayload()), VRN_OK, SysInfoPayload()},
        {"system information, short reply", 0, MakeFrame({'V', 'W'}), VRN_OK, shortRecord},
        {"system information, answer V", 0, MakeFrame({'V'}), 0x56, Bytes(256, 0)},
        {"system information, answer A", 0, Answer('A'), VRN_OK, answerA},
        {"system information, refusal M", 0, Answer('M'), VRN_REFUSED_M, Bytes(256, 0)},
        {"system information, refusal B", 0, Answer('B'), 0x42, Bytes(256, 0)},
        {"system information, refusal J", 0, Answer('J'), 0x4A, Bytes(256, 0)},
        {"identify", 1, MakeFrame(Text("Varno RAID Subsystem V1.2")), VRN_OK, {}},
        {"identify, exact text", 1, MakeFrame(Text("Varno RAID Subsystem")), VRN_OK, {}},
        {"identify, other text",
         1,
         MakeFrame(Text("Varno RAID Subsystek")),
         VRN_NOT_IDENTIFIED,
         {}},
        {"identify, short text", 1, MakeFrame(Text("Varno")), VRN_NOT_IDENTIFIED, {}},
        {"identify, answer A", 1, Answer('A'), 0x41, {}},
        {"identify, answer M", 1, Answer('M'), 0x4D, {}},
        {"identify, answer byte 0 is no identification", 1, Answer(0), VRN_NOT_IDENTIFIED, {}},
        {"poll", 2, Answer(42), VRN_OK, {42}},
        {"poll, index 0x4D is no refusal", 2, Answer('M'), VRN_OK, {0x4D}},
        {"poll, index 0", 2, Answer(0), VRN_OK, {0}},
    };
    for (const Case& c : cases) {
        sSYSTEM_INFO info;
        std::memset(&info, 0x77, sizeof info);
        int index = -1;
        int status = -1;
        const Bytes golden = c.op == 0   ? kSysInfoRequest
                             : c.op == 1 ? kIdentifyRequest
                                         : kPollRequest;
        auto seen = Serve({Reply(c.reply)}, [&] {
            status = c.op == 0   ? m_session.VrnGetSysInfo(&info)
                     : c.op == 1 ? m_session.VrnIdentify()
                                 : m_session.VrnPollEvent(&index);
        });
        EXPECT_EQ(status, c.status) << c.name;
        ASSERT_EQ(seen.size(), 1u) << c.name;
        EXPECT_EQ(seen[0], golden) << c.name << ": " << Hex(seen[0]);
        if (c.op == 0) {
            const auto* p = reinterpret_cast<const unsigned char*>(&info);
            EXPECT_EQ(Bytes(p, p + 256), c.record) << c.name;
        }
        if (c.op == 2) {
            EXPECT_EQ(index, c.record[0]) << c.name;
            EXPECT_EQ(m_session.m_iCurrentIndex, c.record[0]) << c.name;
        }
    }
}

TEST_P(Exchange, ReplyPatternsMapAnswerBytes) {
    using R = CTestSession::EVrnReply;
    const R patterns[] = {CTestSession::kQuery,  CTestSession::kAck,   CTestSession::kPassword,
                          CTestSession::kRaw,    CTestSession::kValid, CTestSession::kAnswer,
                          CTestSession::kConfirm};
    struct Case {
        const char* name;
        Bytes reply;
        int expected[7]; // query, acknowledge, password, raw, valid-only, answer, confirm
    };
    const Case cases[] = {
        {"A", Answer('A'), {0, 0, 0, 0, 0, 0, 0}},
        {"M", Answer('M'), {8, 8, 0x4D, 0x4D, 0, 0x4D, 0x4D}},
        {"J", Answer('J'), {0x4A, 0x4A, 9, 0x4A, 0, 0x4A, 0x4A}},
        {"B", Answer('B'), {0x42, 0x42, 0x42, 0x42, 0, 0x42, 0x42}},
        // Data to query and raw; for the answer patterns never a confirmation.
        {"byte 0", Answer(0), {0, 2, 2, 0, 0, 2, 2}},
        // A longer reply is data to query and raw, whatever its first byte is; acknowledge
        // and password look at that byte all the same.
        {"M with data", MakeFrame({'M', 1}), {0, 8, 0x4D, 0, 0, 0x4D, 0}},
        {"J with data", MakeFrame({'J', 1}), {0, 0x4A, 9, 0, 0, 0x4A, 0}},
        {"A with data", MakeFrame({'A', 0}), {0, 0, 0, 0, 0, 0, 0}},
        {"0 with data", MakeFrame({0, 'A'}), {0, 2, 2, 0, 0, 2, 0}},
    };
    const Bytes request = {0x5E, 0x01, 0x61, 0x02, 0x00, 0x31, 0x01, 0x33};
    for (const Case& c : cases) {
        for (int p = 0; p < 7; ++p) {
            unsigned char record[8];
            std::memset(record, 0x77, sizeof record);
            int status = -1;
            auto seen = Serve({Reply(c.reply)}, [&] {
                status = m_session.VrnExchange(request.data(), 8, 64, patterns[p], record, 4);
            });
            EXPECT_EQ(status, c.expected[p]) << c.name << " pattern " << p;
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0], request);
            if (patterns[p] == CTestSession::kQuery) {
                // Copied only on success: the payload, then the checksum and zeros.
                Bytes want(4, 0x77);
                if (status == 0) {
                    Bytes payload(c.reply.begin() + 5, c.reply.end());
                    want.assign(4, 0);
                    std::copy_n(payload.begin(), std::min<size_t>(4, payload.size()), want.begin());
                }
                EXPECT_EQ(Bytes(record, record + 4), want) << c.name;
                EXPECT_EQ(record[4], 0x77) << c.name << ": nothing past the record size";
            }
        }
    }
}

TEST_P(Exchange, DamagedRepliesGiveStatus2AndLeaveNothingBehind) {
    Bytes good = MakeFrame(SysInfoPayload());
    auto changed = [&](size_t at, int delta) {
        Bytes b = good;
        b[at] = static_cast<unsigned char>(b[at] + delta);
        return b;
    };
    // Length field one off, with the checksum adjusted so that only the length is wrong.
    Bytes lengthPlus = good, lengthMinus = good;
    lengthPlus[3] += 1;
    lengthPlus.back() += 1;
    lengthMinus[3] -= 1;
    lengthMinus.back() -= 1;
    Bytes truncated(good.begin(), good.end() - 1);
    struct Case {
        const char* name;
        int op; // 0 system information, 2 poll
        Bytes reply;
    };
    const Case cases[] = {
        {"start byte 0", 0, changed(0, 1)},
        {"start byte 1", 0, changed(1, 1)},
        {"start byte 2", 0, changed(2, 1)},
        {"length one more", 0, lengthPlus},
        {"length one less", 0, lengthMinus},
        {"checksum", 0, changed(good.size() - 1, 1)},
        {"payload", 0, changed(100, 1)},
        {"cut short", 0, truncated},
        {"empty payload", 0, {0x5E, 0x01, 0x61, 0x00, 0x00, 0x00}},
        {"one byte", 0, {0x5E}},
        {"longer than the read limit", 2, MakeFrame({3, 4})},
        {"far longer than the read limit", 2, good},
    };
    for (const Case& c : cases) {
        sSYSTEM_INFO info;
        int index = -1;
        int status = -1;
        auto seen = Serve({Reply(c.reply), Reply(Answer(17))}, [&] {
            status = c.op == 0 ? m_session.VrnGetSysInfo(&info) : m_session.VrnPollEvent(&index);
            EXPECT_EQ(status, VRN_BAD_FRAME) << c.name;
            // Whatever of the bad reply was not read must not spoil the next exchange.
            index = -1;
            EXPECT_EQ(m_session.VrnPollEvent(&index), VRN_OK) << c.name;
            EXPECT_EQ(index, 17) << c.name;
        });
        EXPECT_EQ(seen.size(), 2u) << c.name;
        if (c.op == 0) {
            EXPECT_EQ(Bytes(info.gsiVendorName, info.gsiVendorName + 40), Bytes(40, 0)) << c.name;
        }
    }
}

TEST_P(Exchange, LateReplyIsNotTakenForTheNextAnswer) {
    if (GetParam() == ELink::Serial)
        m_session.RecordSleeps(0); // the 301 empty polls without waiting 30 s
    else
        m_session.VrnSetTimeOut(0);
    int index = -1;
    auto seen =
        Serve({Silence()}, [&] { EXPECT_EQ(m_session.VrnPollEvent(&index), VRN_NO_REPLY); });
    ASSERT_EQ(seen.size(), 1u);
    // The controller answers after the read gave up: a refusal here, and for UDP two
    // datagrams, so that dropping just one would not do.
    Inject(Answer('M'));
    if (GetParam() == ELink::Udp)
        Inject(Answer(63));
    SleepMs(50);
    m_session.RecordSleeps(10);
    m_session.VrnSetTimeOut(2);
    sSYSTEM_INFO info;
    seen = Serve({Reply(MakeFrame(SysInfoPayload()))},
                 [&] { EXPECT_EQ(m_session.VrnGetSysInfo(&info), VRN_OK); });
    EXPECT_EQ(std::string(info.gsiVendorName, 13), "Varno Storage");
    seen = Serve({Reply(Answer(5))}, [&] { EXPECT_EQ(m_session.VrnPollEvent(&index), VRN_OK); });
    EXPECT_EQ(index, 5);
}

TEST_P(Exchange, NullOutputRecordsFailWithoutTraffic) {
    auto seen = Serve(
        {Reply(Answer(1))},
        [&] {
            EXPECT_EQ(m_session.VrnGetSysInfo(nullptr), VRN_BAD_ARGUMENT);
            EXPECT_EQ(m_session.VrnPollEvent(nullptr), VRN_BAD_ARGUMENT);
        },
        300);
    EXPECT_TRUE(seen.empty()) << Hex(seen.empty() ? Bytes{} : seen[0]);
}

TEST_P(Exchange, DirectMediaPassesBytesUnchanged) {
    // Not a valid frame (its checksum is wrong): the direct path neither builds nor checks.
    const Bytes out = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x10, 0x99};
    struct Case {
        const char* name;
        size_t replySize;
        int cap;
        int expected;
    };
    const Case cases[] = {
        {"small", 9, 64, 9},
        {"one less than the buffer", 63, 64, 63},
        {"fills the buffer", 64, 64, 0},
        {"longer than the buffer", 100, 64, 0},
        {"largest reply, one short", VRN_MAX_REPLY - 1, VRN_MAX_REPLY, VRN_MAX_REPLY - 1},
        {"largest reply fills the buffer", VRN_MAX_REPLY, VRN_MAX_REPLY, 0},
    };
    m_session.RecordSleeps(1); // large replies trickle through a pty: keep the real pace
    for (const Case& c : cases) {
        Bytes reply(c.replySize);
        for (size_t i = 0; i < reply.size(); ++i)
            reply[i] = static_cast<unsigned char>(i * 7 + 3);
        std::vector<unsigned char> buf(static_cast<size_t>(c.cap) + 16, 0xAB);
        int got = -1;
        auto seen = Serve({Reply(reply)}, [&] {
            CVrnExchangeGuard hold(m_session);
            EXPECT_EQ(m_session.WriteMediaDirect(out.data(), static_cast<int>(out.size())), 7);
            got = m_session.ReadMediaDirect(buf.data(), c.cap);
        });
        EXPECT_EQ(got, c.expected) << c.name;
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0], out) << c.name;
        if (c.expected > 0) {
            EXPECT_EQ(Bytes(buf.begin(), buf.begin() + c.expected), reply) << c.name;
        }
        EXPECT_EQ(buf[static_cast<size_t>(c.cap)], 0xAB) << c.name << ": wrote past the buffer";
    }
    EXPECT_EQ(m_session.WriteMediaDirect(nullptr, 7), 0);
    EXPECT_EQ(m_session.ReadMediaDirect(nullptr, 7), 0);
}

INSTANTIATE_TEST_SUITE_P(Links, Exchange, testing::Values(ELink::Serial, ELink::Udp), LinkName);

} // namespace
