// A controller played by the test itself: exact bytes in, exact bytes out, exact timing.
// Over a pseudo-terminal (the test holds the master, the library opens the slave by name)
// or over a UDP socket on loopback.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestFrame.h"
#include "Vrnlib.h"

using Bytes = std::vector<unsigned char>;

inline Bytes MakeFrame(const Bytes& payload) {
    return vrntest::Frame(payload);
}

inline Bytes Answer(unsigned char code) {
    return MakeFrame({code});
}

inline std::string Hex(const Bytes& b) {
    std::string s;
    char tmp[4];
    for (unsigned char c : b) {
        std::snprintf(tmp, sizeof tmp, "%02X ", c);
        s += tmp;
    }
    return s;
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Reads one request frame (by its length field) from fd, waiting at most timeoutMs.
// Returns what was read, possibly incomplete.
inline Bytes ReadRequest(int fd, int timeoutMs = 3000) {
    Bytes got;
    size_t want = 5;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        unsigned char buf[2048];
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
        if (got.size() >= 5 && want == 5)
            want = 6 + got[3] + 256u * got[4];
    }
    return got;
}

// Gives up when the reader has stopped taking bytes for a few seconds (a library read that
// ended early), so that a failing case cannot hang the whole test.
inline void WriteAll(int fd, const Bytes& b) {
    size_t done = 0;
    int stalls = 0;
    while (done < b.size() && stalls < 50) {
        const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            stalls = 0;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p = {fd, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0)
                ++stalls;
        }
    }
}

// The master side of a pseudo-terminal; the library opens the slave by its name.
class CPtyPeer {
public:
    CPtyPeer() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        char name[64];
        if (::ptsname_r(m_master, name, sizeof name) != 0)
            return;
        m_path = name;
        // Keep a slave open ourselves so the master never sees a hang-up between sessions.
        m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY);
        termios t;
        ::tcgetattr(m_slaveKeep, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slaveKeep, TCSANOW, &t);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~CPtyPeer() {
        if (m_slaveKeep >= 0)
            ::close(m_slaveKeep);
        if (m_master >= 0)
            ::close(m_master);
    }
    bool Ok() const { return m_master >= 0 && !m_path.empty(); }
    int Master() const { return m_master; }
    const std::string& Path() const { return m_path; }
    std::string Name() const { return m_path.substr(5); } // below /dev
    Bytes Read(int timeoutMs = 3000) { return ReadRequest(m_master, timeoutMs); }
    void Write(const Bytes& b) { WriteAll(m_master, b); }

private:
    int m_master = -1;
    int m_slaveKeep = -1;
    std::string m_path;
};

// An agent on 127.0.0.1 with a system-chosen port.
class CUdpPeer {
public:
    CUdpPeer() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~CUdpPeer() { ::close(m_fd); }
    int Port() const { return m_port; }
    int Fd() const { return m_fd; }
    // One datagram, remembering its sender for the reply; empty on time-out.
    Bytes Read(int timeoutMs = 3000) {
        pollfd p = {m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        unsigned char buf[65536];
        socklen_t len = sizeof m_from;
        const ssize_t n =
            ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&m_from), &len);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }
    void Write(const Bytes& b) {
        ::sendto(m_fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&m_from), sizeof m_from);
    }

private:
    int m_fd = -1;
    int m_port = 0;
    sockaddr_in m_from = {};
};

// Opens the library's protected pieces to the tests and records every library sleep.
class CTestSession : public CVrnlibSMART {
public:
    using CVrnlib::CalCheckSum;
    using CVrnlib::EVrnReply;
    using CVrnlib::IsValidHandle;
    using CVrnlib::ReadResultValue;
    using CVrnlib::SocketInit;
    using CVrnlib::VrnCkFrameValid;
    using CVrnlib::VrnDevicePath;
    using CVrnlib::VrnExchange;
    using CVrnlib::VrnSetClock;
    using CVrnlib::WaitForReply;
    using CVrnlib::WriteCommand;
    static constexpr EVrnReply kQuery = VRN_REPLY_QUERY;
    static constexpr EVrnReply kAck = VRN_REPLY_ACK;
    static constexpr EVrnReply kPassword = VRN_REPLY_PASSWORD;
    static constexpr EVrnReply kRaw = VRN_REPLY_RAW;
    static constexpr EVrnReply kValid = VRN_REPLY_VALID;
    static constexpr EVrnReply kAnswer = VRN_REPLY_ANSWER;
    static constexpr EVrnReply kConfirm = VRN_REPLY_CONFIRM;

    // Sleeps are recorded; each really lasts ms / divisor (divisor 0: not at all).
    void RecordSleeps(int divisor) {
        m_divisor = divisor;
        VrnSetSleeper(&CTestSession::Sleep, this);
    }
    std::vector<int> Sleeps() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sleeps;
    }
    void ClearSleeps() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sleeps.clear();
    }

private:
    static void Sleep(void* ctx, int ms) {
        auto* self = static_cast<CTestSession*>(ctx);
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_sleeps.push_back(ms);
        }
        // Waits of a second and more (the reset's) are only recorded: what they wait for
        // has happened by the time a scripted controller is asked.
        if (self->m_divisor > 0 && ms < 1000)
            SleepMs(ms / self->m_divisor);
    }

    std::mutex m_mutex;
    std::vector<int> m_sleeps;
    int m_divisor = 1;
};
