// Two threads (and a relay-style direct pair) on one session: every reply must reach the
// request it answers. Runs under ThreadSanitizer as well.
#include <atomic>

#include "LinkFixture.h"

namespace {

const Bytes kIdentifyRequest = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x13, 0x14};

Bytes ReplyFor(const Bytes& req) {
    if (req.size() < 7)
        return {};
    switch (req[5]) {
    case 0x19:
        return Answer(33);
    case 0x23: {
        Bytes rec(256, 0);
        std::memcpy(rec.data(), "Shared Vendor", 13);
        return MakeFrame(rec);
    }
    case 0x13: {
        const std::string id = "Varno RAID Subsystem relay";
        return MakeFrame(Bytes(id.begin(), id.end()));
    }
    }
    return Answer('?');
}

class SharedSession : public CLinkTest {};

TEST_P(SharedSession, ConcurrentExchangesNeverMixReplies) {
    constexpr int kRounds = 12;
    std::atomic<bool> stop{false};
    std::atomic<int> served{0};
    // The controller answers each request by its command code, after a varying pause.
    std::thread controller([&] {
        int n = 0;
        while (!stop && n < 4 * kRounds) {
            const Bytes req = m_pty ? m_pty->Read(200) : m_udp->Read(200);
            if (req.empty())
                continue;
            SleepMs((n * 7) % 20);
            const Bytes rep = ReplyFor(req);
            if (m_pty)
                m_pty->Write(rep);
            else
                m_udp->Write(rep);
            ++n;
            ++served;
        }
    });

    std::atomic<int> failures{0};
    std::thread poller([&] {
        for (int i = 0; i < kRounds; ++i) {
            int index = -1;
            if (m_session.VrnPollEvent(&index) != VRN_OK || index != 33)
                ++failures;
        }
    });
    std::thread querier([&] {
        for (int i = 0; i < kRounds; ++i) {
            sSYSTEM_INFO info;
            if (m_session.VrnGetSysInfo(&info) != VRN_OK ||
                std::memcmp(info.gsiVendorName, "Shared Vendor", 13) != 0)
                ++failures;
        }
    });
    std::thread relay([&] {
        for (int i = 0; i < kRounds; ++i) {
            unsigned char buf[2048];
            int got;
            {
                CVrnExchangeGuard hold(m_session);
                if (m_session.WriteMediaDirect(kIdentifyRequest.data(), 7) != 7) {
                    ++failures;
                    continue;
                }
                got = m_session.ReadMediaDirect(buf, sizeof buf);
            }
            const Bytes want = ReplyFor(kIdentifyRequest);
            if (got != static_cast<int>(want.size()) || Bytes(buf, buf + got) != want)
                ++failures;
        }
    });
    std::thread timeouts([&] {
        for (int i = 0; i < kRounds; ++i) {
            m_session.VrnSetTimeOut(2);
            SleepMs(5);
        }
    });
    poller.join();
    querier.join();
    relay.join();
    timeouts.join();
    stop = true;
    controller.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(served.load(), 3 * kRounds);
}

INSTANTIATE_TEST_SUITE_P(Links, SharedSession, testing::Values(ELink::Serial, ELink::Udp),
                         LinkName);

} // namespace
