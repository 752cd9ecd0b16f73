// The library against the stand-in controller, over a real pseudo-terminal and over UDP:
// golden request bytes as the controller received them, replies, refusals and faults.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "SimProcess.h"
#include "Vrnlib.h"

namespace {

enum class ELink { Serial, Udp };

std::string LinkName(const testing::TestParamInfo<ELink>& info) {
    return info.param == ELink::Serial ? "Serial" : "Udp";
}

class SimSession : public testing::TestWithParam<ELink> {
protected:
    void SetUp() override {
        CSimProcess::Options opt;
        opt.pty = true;
        opt.udp = true;
        m_sim = std::make_unique<CSimProcess>(opt);
        ASSERT_TRUE(m_sim->Ready());
        if (GetParam() == ELink::Serial) {
            ASSERT_EQ(m_session.VrnInitSession(m_sim->PtyName().c_str()), VRN_OK);
        } else {
            ASSERT_EQ(m_session.VrnInitSession(m_sim->UdpAddr().c_str(), m_sim->UdpPort()), VRN_OK);
            m_session.VrnSetTimeOut(2);
        }
    }

    // Runs one operation by name; the system information lands in m_info, the index in
    // m_index.
    int Run(const std::string& op) {
        if (op == "sysinfo")
            return m_session.VrnGetSysInfo(&m_info);
        if (op == "identify")
            return m_session.VrnIdentify();
        m_index = -1;
        return m_session.VrnPollEvent(&m_index);
    }

    std::string Ctl(const std::string& line) { return m_sim->Ctl(line); }

    int SimIndex() {
        const std::string r = Ctl("event-index");
        return r.rfind("ok ", 0) == 0 ? std::atoi(r.c_str() + 3) : -1;
    }

    std::unique_ptr<CSimProcess> m_sim;
    CVrnlib m_session;
    sSYSTEM_INFO m_info{};
    int m_index = -1;
};

TEST_P(SimSession, RequestsReachTheControllerByteForByte) {
    struct Case {
        const char* op;
        const char* frame;
    };
    const Case cases[] = {
        {"sysinfo", "ok 5e 01 61 01 00 23 24"},
        {"identify", "ok 5e 01 61 01 00 13 14"},
        {"poll", "ok 5e 01 61 01 00 19 1a"},
    };
    for (const Case& c : cases) {
        const long before = m_sim->Frames();
        EXPECT_EQ(Run(c.op), VRN_OK) << c.op;
        EXPECT_EQ(Ctl("last-frame"), c.frame) << c.op;
        EXPECT_EQ(m_sim->Frames(), before + 1) << c.op << ": one frame per operation";
    }
}

TEST_P(SimSession, AnswersAreDecoded) {
    ASSERT_EQ(Run("sysinfo"), VRN_OK);
    EXPECT_NE(m_info.gsiVendorName[0], 0);
    EXPECT_NE(m_info.gsiIdeChannels, 5) << "the default controller is not the 5-channel family";
    EXPECT_LE(m_info.gsiEvents, 64u);
    EXPECT_EQ(Run("identify"), VRN_OK);

    // The index follows the controller's log, wrapping at 64.
    ASSERT_EQ(Run("poll"), VRN_OK);
    EXPECT_EQ(m_index, SimIndex());
    const int first = m_index;
    ASSERT_EQ(Ctl("event add 2 12 0"), "ok");
    ASSERT_EQ(Run("poll"), VRN_OK);
    EXPECT_EQ(m_index, (first + 1) % 64);
    EXPECT_EQ(m_session.m_iCurrentIndex, m_index);
}

TEST_P(SimSession, RefusalsBecomeStatuses) {
    struct Case {
        const char* refusal;
        const char* op;
        int status;
        int index; // poll: the byte taken as index
    };
    const Case cases[] = {
        {"M", "sysinfo", VRN_REFUSED_M, -1}, {"B", "sysinfo", 0x42, -1},
        {"J", "sysinfo", 0x4A, -1},          {"A", "sysinfo", VRN_OK, -1},
        {"M", "identify", 0x4D, -1},         {"A", "identify", 0x41, -1},
        {"M", "poll", VRN_OK, 0x4D},         {"0x07", "poll", VRN_OK, 7},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Ctl(std::string("fault refuse ") + c.refusal + " count 1"), "ok");
        std::memset(&m_info, 0x5A, sizeof m_info);
        EXPECT_EQ(Run(c.op), c.status) << c.refusal << " " << c.op;
        if (std::string(c.op) == "sysinfo") {
            // A refusal leaves zeros; an 'A' answer is one byte of data and its checksum.
            const unsigned char* r = reinterpret_cast<const unsigned char*>(&m_info);
            const bool isA = c.refusal[0] == 'A';
            EXPECT_EQ(r[0], isA ? 0x41 : 0) << c.refusal;
            EXPECT_EQ(r[1], isA ? 0x42 : 0) << c.refusal;
            EXPECT_EQ(r[2], 0) << c.refusal;
            EXPECT_EQ(r[255], 0) << c.refusal;
        }
        if (c.index >= 0) {
            EXPECT_EQ(m_index, c.index) << c.refusal;
        }
        // The count has run out: the next exchange is answered normally.
        EXPECT_EQ(Run("identify"), VRN_OK) << c.refusal;
    }
}

TEST_P(SimSession, FaultsGiveTheirStatusAndDoNotSpillOver) {
    struct Case {
        const char* fault;
        const char* op;
        int status;
        bool serialOnly;
    };
    const Case cases[] = {
        {"fault garbage on count 1", "sysinfo", VRN_BAD_FRAME, false},
        {"fault garbage on count 1", "poll", VRN_BAD_FRAME, false},
        // Two bursts 250 ms apart: the serial read ends at the first quiet poll.
        {"fault split 250 count 1", "sysinfo", VRN_BAD_FRAME, true},
        {"fault split 250 count 1", "identify", VRN_BAD_FRAME, true},
        // A short gap is bridged.
        {"fault split 30 count 1", "sysinfo", VRN_OK, true},
    };
    for (const Case& c : cases) {
        if (c.serialOnly && GetParam() != ELink::Serial)
            continue;
        ASSERT_EQ(Ctl(c.fault), "ok") << c.fault;
        EXPECT_EQ(Run(c.op), c.status) << c.fault << " " << c.op;
        // Whatever came late stays behind on the line; the next answer must be clean.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(Run("sysinfo"), VRN_OK) << c.fault;
        EXPECT_EQ(Run("identify"), VRN_OK) << c.fault;
        ASSERT_EQ(Ctl("fault clear"), "ok");
    }
}

TEST_P(SimSession, NullRecordMakesNoTraffic) {
    const long before = m_sim->Frames();
    EXPECT_EQ(m_session.VrnGetSysInfo(nullptr), VRN_BAD_ARGUMENT);
    EXPECT_EQ(m_session.VrnPollEvent(nullptr), VRN_BAD_ARGUMENT);
    EXPECT_EQ(m_sim->Frames(), before);
}

INSTANTIATE_TEST_SUITE_P(Links, SimSession, testing::Values(ELink::Serial, ELink::Udp), LinkName);

// UDP only: the agent answers too late for the wait, and that late answer must not be
// taken for the reply to the next request.
TEST(SimUdp, SilentAndLateAgent) {
    CSimProcess::Options opt;
    opt.pty = false;
    opt.udp = true;
    CSimProcess sim(opt);
    ASSERT_TRUE(sim.Ready());
    CVrnlib s;
    ASSERT_EQ(s.VrnInitSession(sim.UdpAddr().c_str(), sim.UdpPort()), VRN_OK);
    s.VrnSetTimeOut(1);

    ASSERT_EQ(sim.Ctl("fault silent on count 1"), "ok");
    int index = -1;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.VrnPollEvent(&index), VRN_NO_REPLY);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 950);
    EXPECT_LE(ms, 1800);

    // An answer delayed past the wait arrives while the next request is being prepared:
    // a whole system information frame that a poll would otherwise read the start of.
    ASSERT_EQ(sim.Ctl("fault delay 1500 count 1"), "ok");
    sSYSTEM_INFO info;
    EXPECT_EQ(s.VrnGetSysInfo(&info), VRN_NO_REPLY);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    index = -1;
    EXPECT_EQ(s.VrnPollEvent(&index), VRN_OK);
    const std::string simIndex = sim.Ctl("event-index");
    EXPECT_EQ("ok " + std::to_string(index), simIndex);
}

} // namespace
