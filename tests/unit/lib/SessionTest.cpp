// Opening, switching and closing sessions; the handle checks before any traffic.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include "ScriptedPeer.h"

namespace {

bool FdOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(Session, StartsInSerialModeWithoutPort) {
    CVrnlib s;
    EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL);
    EXPECT_EQ(s.m_hComm, -1);
    EXPECT_EQ(s.m_socket, -1);
    EXPECT_EQ(s.m_iPreIndex, 0);
    EXPECT_EQ(s.m_iCurrentIndex, 0);
    EXPECT_EQ(s.m_iNewCount, 0);
    EXPECT_EQ(s.m_nTimeout, 5u);
    EXPECT_EQ(s.VrnGetLibVersion(), 257);
    ASSERT_NE(s.m_pEventPage, nullptr);
    ASSERT_NE(s.m_pEventMapping, nullptr);
    EXPECT_EQ(Bytes(s.m_pEventPage, s.m_pEventPage + 518), Bytes(518, 0));
    EXPECT_EQ(Bytes(s.m_pEventMapping, s.m_pEventMapping + 2048), Bytes(2048, 0));
    s.VrnSetTimeOut(1);
    EXPECT_EQ(s.m_nTimeout, 1u);
}

TEST(Session, OperationsWithoutHandleFailBeforeTraffic) {
    struct Mode {
        const char* name;
        int iface;
        int expected;
    };
    const Mode modes[] = {{"serial", VRN_IF_SERIAL, VRN_NO_PORT},
                          {"udp", VRN_IF_UDP, VRN_NO_SOCKET},
                          {"unknown mode", 7, VRN_NO_PORT}};
    for (const Mode& m : modes) {
        CTestSession s;
        s.m_nInterface = m.iface;
        sSYSTEM_INFO info;
        std::memset(&info, 0x5A, sizeof info);
        int index = -7;
        EXPECT_EQ(s.VrnGetSysInfo(&info), m.expected) << m.name;
        EXPECT_EQ(s.VrnGetSysInfo(nullptr), m.expected) << m.name << ": handle check comes first";
        EXPECT_EQ(s.VrnIdentify(), m.expected) << m.name;
        EXPECT_EQ(s.VrnPollEvent(&index), m.expected) << m.name;
        EXPECT_EQ(index, -7) << m.name;
        EXPECT_EQ(info.gsiVendorName[0], 0x5A) << m.name << ": record untouched";
        const unsigned char frame[7] = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
        unsigned char buf[16];
        EXPECT_EQ(s.WriteMediaDirect(frame, 7), 0) << m.name;
        EXPECT_EQ(s.ReadMediaDirect(buf, sizeof buf), 0) << m.name;
        EXPECT_FALSE(s.IsValidHandle()) << m.name;
    }
}

TEST(Session, SerialOpenOutcomes) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    struct Case {
        const char* name;
        const char* device; // nullptr: the null pointer
        int expected;
        const char* path; // device path tried, nullptr: none tried (earlier path stays)
    };
    const Case cases[] = {
        {"null name", nullptr, VRN_BAD_ARGUMENT, nullptr},
        {"empty name", "", VRN_BAD_ARGUMENT, nullptr},
        {"ten characters do not fit the path", "ttyUSB1234", VRN_BAD_ARGUMENT, nullptr},
        {"not a terminal", "null", VRN_OPEN_FAILED, "/dev/null"},
        {"nine characters fit", "nosuchdev", VRN_OPEN_FAILED, "/dev/nosuchdev"},
    };
    for (const Case& c : cases) {
        CTestSession s;
        ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
        const int fd = s.m_hComm;
        s.m_nInterface = VRN_IF_UDP; // a failed open must not switch the mode back
        EXPECT_EQ(s.VrnInitSession(c.device), c.expected) << c.name;
        EXPECT_EQ(s.m_nInterface, VRN_IF_UDP) << c.name;
        if (c.path == nullptr) {
            EXPECT_EQ(s.m_hComm, fd) << c.name << ": session untouched";
            EXPECT_TRUE(FdOpen(fd)) << c.name;
            EXPECT_EQ(std::string(s.VrnDevicePath()), peer.Path()) << c.name;
        } else {
            EXPECT_EQ(s.m_hComm, -1) << c.name;
            EXPECT_FALSE(FdOpen(fd)) << c.name << ": the replaced port is closed";
            EXPECT_EQ(std::string(s.VrnDevicePath()), c.path) << c.name;
        }
    }
}

TEST(Session, SerialPortNumbersNameTtyS) {
    struct Case {
        unsigned char port;
        const char* path;
    };
    const Case cases[] = {{1, "/dev/ttyS0"}, {9, "/dev/ttyS8"}, {0, "/dev/ttyS/"}};
    for (const Case& c : cases) {
        CTestSession s;
        const int status = s.VrnInitSession(c.port);
        EXPECT_EQ(std::string(s.VrnDevicePath()), c.path);
        if (c.port == 0) {
            EXPECT_EQ(status, VRN_OPEN_FAILED);
        } else {
            EXPECT_TRUE(status == VRN_OK || status == VRN_OPEN_FAILED) << status;
        }
        if (status != VRN_OK) {
            EXPECT_EQ(s.m_hComm, -1);
        }
    }
}

TEST(Session, OpenedPortIsRawAt115200) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CVrnlib s;
    ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
    EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL);
    termios t;
    ASSERT_EQ(::tcgetattr(s.VrnGetCommHandle(), &t), 0);
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IGNPAR));
    EXPECT_EQ(t.c_oflag, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(::fcntl(s.VrnGetCommHandle(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(Session, LineAttributeRecordForms) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    struct Case {
        const char* name;
        sCOM_ATTR attr;
        int expected;
        speed_t speed;
        tcflag_t size;
        tcflag_t cflagSet;
        tcflag_t iflagSet;
    };
    const Case cases[] = {
        {"9600 8N2", {3, 1, 1, 0, 0}, VRN_OK, B9600, CS8, CSTOPB, 0},
        {"38400 8N1 rts/cts", {5, 1, 0, 0, 2}, VRN_OK, B38400, CS8, CRTSCTS, 0},
        {"1200 8N1 xon/xoff", {0, 1, 0, 0, 1}, VRN_OK, B1200, CS8, 0, IXON | IXOFF},
        // A pseudo-terminal always runs 8 bits without parity: the port refuses these.
        {"19200 7N1 refused", {4, 0, 0, 0, 0}, VRN_OPEN_FAILED, 0, 0, 0, 0},
        {"57600 8E1 refused", {6, 1, 0, 2, 0}, VRN_OPEN_FAILED, 0, 0, 0, 0},
        {"speed code 8", {8, 1, 0, 0, 0}, VRN_BAD_ARGUMENT, 0, 0, 0, 0},
        {"data bits code 2", {7, 2, 0, 0, 0}, VRN_BAD_ARGUMENT, 0, 0, 0, 0},
        {"stop bits code 2", {7, 1, 2, 0, 0}, VRN_BAD_ARGUMENT, 0, 0, 0, 0},
        {"parity code 3", {7, 1, 0, 3, 0}, VRN_BAD_ARGUMENT, 0, 0, 0, 0},
        {"flow code 3", {7, 1, 0, 0, 3}, VRN_BAD_ARGUMENT, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        for (int form = 0; form < 2; ++form) {
            CVrnlib s;
            sCOM_ATTR attr = c.attr;
            int status;
            if (form == 0) {
                // Re-programming the open port.
                ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
                s.m_nInterface = VRN_IF_UDP;
                status = s.VrnInitSession(&attr);
            } else {
                status = s.VrnInitSession(peer.Name().c_str(), &attr);
            }
            ASSERT_EQ(status, c.expected) << c.name << " form " << form;
            termios t;
            if (c.expected != VRN_OK) {
                if (form == 0) {
                    EXPECT_EQ(s.m_nInterface, VRN_IF_UDP) << c.name;
                    ASSERT_EQ(::tcgetattr(s.m_hComm, &t), 0);
                    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200))
                        << c.name << ": a refused change keeps the earlier settings";
                } else {
                    EXPECT_EQ(s.m_hComm, -1) << c.name;
                }
                continue;
            }
            EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL) << c.name;
            ASSERT_EQ(::tcgetattr(s.m_hComm, &t), 0);
            EXPECT_EQ(::cfgetospeed(&t), c.speed) << c.name;
            EXPECT_EQ(::cfgetispeed(&t), c.speed) << c.name;
            EXPECT_EQ(t.c_cflag & CSIZE, c.size) << c.name;
            EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), c.cflagSet) << c.name;
            EXPECT_EQ(t.c_iflag, IGNPAR | c.iflagSet) << c.name;
            EXPECT_EQ(t.c_cc[VMIN], 0) << c.name;
        }
    }
    CVrnlib none;
    sCOM_ATTR attr = {7, 1, 0, 0, 0};
    EXPECT_EQ(none.VrnInitSession(&attr), VRN_NO_PORT);
    EXPECT_EQ(none.VrnInitSession(static_cast<sCOM_ATTR*>(nullptr)), VRN_BAD_ARGUMENT);
}

TEST(Session, AdoptedDescriptorStaysTheCallers) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const int fd = ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before;
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    before.c_lflag |= ICANON | ECHO; // anything the library would not choose itself
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    {
        CVrnlib s;
        EXPECT_EQ(s.VrnInitSession(-1), VRN_NO_PORT);
        EXPECT_EQ(s.m_hComm, -1);
        s.m_nInterface = VRN_IF_UDP;
        EXPECT_EQ(s.VrnInitSession(fd), VRN_OK);
        EXPECT_EQ(s.m_hComm, fd);
        EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL);
        EXPECT_EQ(s.VrnInitSession(-1), VRN_NO_PORT);
        EXPECT_EQ(s.m_hComm, fd) << "-1 leaves the session as it was";
        termios after;
        ASSERT_EQ(::tcgetattr(fd, &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag) << "adopted, not configured";
        EXPECT_EQ(after.c_cflag, before.c_cflag) << "adopted, not configured";
    }
    EXPECT_TRUE(FdOpen(fd)) << "the session must not close a descriptor it did not open";
    ::close(fd);

    // A port the session opened itself is closed with it, and when it is replaced.
    int first, second;
    {
        CVrnlib s;
        ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
        first = s.m_hComm;
        ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
        second = s.m_hComm;
        EXPECT_FALSE(first != second && FdOpen(first));
    }
    EXPECT_FALSE(FdOpen(second));
}

TEST(Session, SocketOpenOutcomes) {
    struct Case {
        const char* name;
        const char* addr;
        int port;
        int expected;
    };
    const Case cases[] = {
        {"loopback", "127.0.0.1", 40001, VRN_OK},
        {"null address", nullptr, 40001, VRN_BAD_ARGUMENT},
        {"empty address", "", 40001, VRN_BAD_ARGUMENT},
        {"not dotted", "localhost", 40001, VRN_BAD_ARGUMENT},
        {"octet out of range", "127.0.0.300", 40001, VRN_BAD_ARGUMENT},
        {"port 0", "127.0.0.1", 0, VRN_BAD_ARGUMENT},
        {"port above 65535", "127.0.0.1", 65536, VRN_BAD_ARGUMENT},
    };
    for (const Case& c : cases) {
        CVrnlib s;
        EXPECT_EQ(s.VrnInitSession(c.addr, c.port), c.expected) << c.name;
        if (c.expected == VRN_OK) {
            EXPECT_EQ(s.m_nInterface, VRN_IF_UDP) << c.name;
            EXPECT_NE(s.VrnGetSocket(), -1) << c.name;
            EXPECT_EQ(s.VrnGetAgentAddr()->sin_family, AF_INET);
            EXPECT_EQ(ntohs(s.VrnGetAgentAddr()->sin_port), c.port);
            EXPECT_EQ(ntohl(s.VrnGetAgentAddr()->sin_addr.s_addr), 0x7F000001u);
        } else {
            EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL) << c.name;
            EXPECT_EQ(s.m_socket, -1) << c.name;
        }
    }
}

TEST(Session, SameAgentAddressKeepsTheFirstPort) {
    CUdpPeer first, second;
    CVrnlib s;
    ASSERT_EQ(s.VrnInitSession("127.0.0.1", first.Port()), VRN_OK);
    const int sock = s.m_socket;
    ASSERT_EQ(s.VrnInitSession("127.0.0.1", second.Port()), VRN_OK);
    EXPECT_EQ(s.m_socket, sock);
    EXPECT_EQ(ntohs(s.agentaddr.sin_port), first.Port());
    const unsigned char frame[7] = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x19, 0x1A};
    ASSERT_EQ(s.WriteMediaDirect(frame, 7), 7);
    EXPECT_EQ(first.Read(1000), Bytes(frame, frame + 7));
    EXPECT_TRUE(second.Read(200).empty());

    // Another agent: a new socket, the old one closed, requests go to the new port.
    ASSERT_EQ(s.VrnInitSession("127.0.0.2", second.Port()), VRN_OK);
    EXPECT_EQ(ntohs(s.agentaddr.sin_port), second.Port());
    EXPECT_NE(s.m_socket, -1);
    EXPECT_TRUE(s.m_socket == sock || !FdOpen(sock));

    // Switching to serial and back leaves the socket alone.
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const int now = s.m_socket;
    ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
    EXPECT_EQ(s.m_nInterface, VRN_IF_SERIAL);
    EXPECT_EQ(s.m_socket, now);
    EXPECT_TRUE(FdOpen(now));
}

TEST(Session, SocketThatCannotBeCreatedGives16) {
    // Run in a child: the descriptor limit is lowered so that no socket can be created.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CVrnlib s;
        rlimit none = {0, 0};
        ::setrlimit(RLIMIT_NOFILE, &none);
        int code = 0;
        if (s.VrnInitSession("127.0.0.1", 40002) != VRN_BIND_FAILED)
            code |= 1;
        if (s.m_nInterface != VRN_IF_SERIAL)
            code |= 2;
        if (s.m_socket != -1)
            code |= 4;
        if (ntohs(s.agentaddr.sin_port) != 40002)
            code |= 8;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Session, DestructorClosesSocket) {
    int sock;
    {
        CVrnlib s;
        ASSERT_EQ(s.VrnInitSession("127.0.0.1", 40003), VRN_OK);
        sock = s.m_socket;
        EXPECT_TRUE(FdOpen(sock));
    }
    EXPECT_FALSE(FdOpen(sock));
}

} // namespace
