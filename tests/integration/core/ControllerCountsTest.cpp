// Counts a controller reports are used as loop bounds; a controller (or a damaged reply) that
// claims more than the records hold must not make the monitor read past them or ask without
// end. A fake controller answers over UDP and counts what it is asked.
#include "AgentDatagram.h"
#include "SimAgent.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <map>

using namespace coretest;

namespace {

class CBoastfulController {
public:
    CBoastfulController() {
        m_sock = BindAgentSocket(&m_address);
        m_thread = std::jthread([this](std::stop_token st) { Serve(st); });
    }
    ~CBoastfulController() {
        m_thread.request_stop();
        m_thread.join();
        ::close(m_sock);
    }
    std::uint32_t Ip() const { return coretest::Ip(m_address); }
    // How often each command came, and the numbers asked for with one command.
    int Count(unsigned char command) {
        std::lock_guard lock(m_mutex);
        return m_counts[command];
    }
    std::vector<int> Numbers(unsigned char command) {
        std::lock_guard lock(m_mutex);
        return m_numbers[command];
    }

private:
    static std::vector<unsigned char> Frame(const std::vector<unsigned char>& payload) {
        std::vector<unsigned char> f{0x5E, 0x01, 0x61, static_cast<unsigned char>(payload.size()),
                                     static_cast<unsigned char>(payload.size() >> 8)};
        for (unsigned char b : payload)
            f.push_back(b);
        f.push_back(FrameChecksum(f.data(), f.size() + 1));
        return f;
    }
    static std::vector<unsigned char> Record(const void* r, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(r);
        return Frame({p, p + n});
    }

    std::vector<unsigned char> Answer(unsigned char command, int number) {
        switch (command) {
        case 0x13: {
            const std::string id = "Varno RAID Subsystem V1.1";
            return Frame({id.begin(), id.end()});
        }
        case 0x23: {
            sSYSTEM_INFO info{};
            info.gsiMaxRaidSet = 255;
            info.gsiIdeChannels = 255;
            return Record(&info, sizeof info);
        }
        case 0x20: {
            if (number != 0)
                return Frame({'M'});
            sGUI_RAIDSET raid{};
            std::memset(&raid, 0xEE, sizeof raid);
            raid.grsNewMemberDevices = 1;
            raid.grsVolumes = 255;
            for (int i = 0; i < 16; ++i)
                raid.grsVolumeList[i] = static_cast<unsigned char>(i);
            return Record(&raid, sizeof raid);
        }
        case 0x1B: {
            // 200 fans and 200 rails claimed, a few words sent.
            return Frame({200, 200, 0, 0, 0x10, 0x27, 0x10, 0x27, 0x88, 0x13});
        }
        case 0x19:
            return Frame({0});
        default:
            return Frame({'M'});
        }
    }

    void Serve(std::stop_token st) {
        while (!st.stop_requested()) {
            pollfd p{m_sock, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            unsigned char buf[2048];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(m_sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 6 || !IsValidAgentFrame(buf, static_cast<std::size_t>(n)))
                continue;
            const int number = n >= 8 ? buf[6] : -1;
            {
                std::lock_guard lock(m_mutex);
                ++m_counts[buf[5]];
                m_numbers[buf[5]].push_back(number);
            }
            const auto reply = Answer(buf[5], number);
            ::sendto(m_sock, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     len);
        }
    }

    std::string m_address;
    int m_sock = -1;
    std::mutex m_mutex;
    std::map<unsigned char, int> m_counts;
    std::map<unsigned char, std::vector<int>> m_numbers;
    std::jthread m_thread;
};

TEST(ControllerCountsTest, ClaimedCountsAreClampedToTheRecordsAndArguments) {
    SScratchSettings settings;
    CRecordingSink sink;
    CTraceLog trace;
    CBoastfulController controller;
    CMonitor monitor(settings.store, sink);
    monitor.SetTiming({50ms, 100ms, 0ms});
    monitor.SetLibrarySleeper(NoLibrarySleep, nullptr);
    trace.Attach(monitor);
    monitor.UpdateAgentList(controller.Ip());
    ASSERT_EQ(monitor.AgentList().Count(), 1u);
    ASSERT_TRUE(trace.WaitFor("Event Index =", 1, 30s));
    monitor.Shutdown();

    EXPECT_EQ(controller.Count(0x20), 128) << "raid sets asked for";
    const std::vector<int> volumes = controller.Numbers(0x21);
    ASSERT_EQ(volumes.size(), 16u) << "a raid set holds 16 volume numbers";
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(volumes[i], i);
    EXPECT_EQ(controller.Count(0x22), 32) << "drive channels asked for";
    // 200 fans and rails claimed, two fan words sent: nothing is read from words that never
    // came (a zero there would be a stopped fan or an abnormal rail).
    EXPECT_EQ(sink.LogCount("Fan#"), 0);
    EXPECT_EQ(sink.LogCount("Abnormal"), 0);
}

} // namespace
