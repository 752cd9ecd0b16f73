// A station's session over UDP takes as its answer only a datagram from the agent it asked
// (its address and port): whatever else arrives is passed over while the on-time reply still
// gets through.
#include "ScriptedPeer.h"

#include <gtest/gtest.h>

namespace {

enum class EFrom { Agent, OtherPort, OtherAddress };

struct SDatagram {
    EFrom from;
    Bytes bytes;
};

// A loopback socket of its own, for the datagrams that do not come from the agent.
class CStranger {
public:
    explicit CStranger(const char* addr) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, addr, &a.sin_addr);
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~CStranger() { ::close(m_fd); }
    bool Ok() const { return m_ok; }
    void SendTo(int port, const Bytes& b) {
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<unsigned short>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(m_fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

int LocalPort(int fd) {
    sockaddr_in a = {};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

Bytes Record(size_t n, unsigned char mark) {
    Bytes r(n, 0);
    for (size_t i = 0; i < n; ++i)
        r[i] = static_cast<unsigned char>(mark + i % 5);
    return r;
}

const Bytes kDrive = Record(128, 'D');
const Bytes kSysInfo = Record(256, 'S');

TEST(UdpReply, OnlyTheAgentsDatagramAnswersTheRequest) {
    Bytes shortRecord(128, 0);
    shortRecord[0] = 'V';
    shortRecord[1] = 'W';
    shortRecord[2] = static_cast<unsigned char>(2 + 'V' + 'W'); // the checksum follows
    const struct {
        const char* name;
        std::vector<SDatagram> datagrams;
        int status;
        Bytes record; // empty: not looked at
    } cases[] = {
        {"the agent answers", {{EFrom::Agent, MakeFrame(kDrive)}}, VRN_OK, kDrive},
        {"another port of the agent's address answers first",
         {{EFrom::OtherPort, MakeFrame(Record(128, 'X'))}, {EFrom::Agent, MakeFrame(kDrive)}},
         VRN_OK,
         kDrive},
        {"another address answers first",
         {{EFrom::OtherAddress, MakeFrame(Record(128, 'X'))}, {EFrom::Agent, MakeFrame(kDrive)}},
         VRN_OK,
         kDrive},
        {"only a stranger answers", {{EFrom::OtherPort, MakeFrame(kDrive)}}, VRN_NO_REPLY, {}},
        {"a refusal is an answer to any request", {{EFrom::Agent, Answer('M')}}, VRN_REFUSED_M, {}},
        {"a record shorter than the drive record is still one",
         {{EFrom::Agent, MakeFrame({'V', 'W'})}},
         VRN_OK,
         shortRecord},
        {"a stranger floods the station's port",
         {{EFrom::OtherPort, Answer('A')},
          {EFrom::OtherAddress, Answer('A')},
          {EFrom::OtherPort, MakeFrame(kSysInfo)},
          {EFrom::OtherAddress, MakeFrame(Record(128, 'X'))},
          {EFrom::OtherPort, Answer('M')},
          {EFrom::Agent, MakeFrame(kDrive)}},
         VRN_OK,
         kDrive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CUdpPeer agent;
        CStranger otherPort("127.0.0.1"), otherAddress("127.0.0.2");
        ASSERT_TRUE(otherPort.Ok() && otherAddress.Ok());
        CTestSession station;
        ASSERT_EQ(VRN_OK, station.VrnInitSession("127.0.0.1", agent.Port()));
        station.VrnSetTimeOut(1);
        station.RecordSleeps(10);
        const int stationPort = LocalPort(station.VrnGetSocket());
        Bytes request;
        std::thread peer([&] {
            request = agent.Read(3000);
            if (request.empty())
                return;
            for (const SDatagram& d : c.datagrams) {
                if (d.from == EFrom::Agent)
                    agent.Write(d.bytes);
                else
                    (d.from == EFrom::OtherPort ? otherPort : otherAddress)
                        .SendTo(stationPort, d.bytes);
                SleepMs(5);
            }
        });
        sGUI_PHY_DRV rec = {};
        const int status = station.VrnGetPhysicalDriveInfo(0, &rec);
        const Bytes record(reinterpret_cast<const unsigned char*>(&rec),
                           reinterpret_cast<const unsigned char*>(&rec) + sizeof rec);
        peer.join();
        EXPECT_FALSE(request.empty());
        EXPECT_EQ(c.status, status);
        if (!c.record.empty()) {
            EXPECT_TRUE(c.record == record) << Hex(Bytes(record.begin(), record.begin() + 8));
        }
    }
}

} // namespace
