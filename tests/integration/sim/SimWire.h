// Raw byte exchanges with a running vrnsim, written against POSIX only so the simulator
// is tested without the library.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TestFrame.h"

namespace simwire {

using Bytes = std::vector<uint8_t>;

using vrntest::Frame;

inline Bytes Payload(const Bytes& frame) {
    return frame.size() >= 6 ? Bytes(frame.begin() + 5, frame.end() - 1) : Bytes{};
}

inline int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The serial side as the library's polling read sees it: data ends at the first quiet gap.
class CSerial {
public:
    explicit CSerial(const std::string& path) {
        m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~CSerial() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    void Drain() {
        uint8_t buf[4096];
        while (read(m_fd, buf, sizeof buf) > 0) {
        }
    }
    bool Send(const Bytes& b) {
        return write(m_fd, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    }
    // Waits up to firstMs for a first byte, then reads until quietMs pass without data.
    Bytes Read(int firstMs = 2000, int quietMs = 100, size_t limit = 1 << 20) {
        Bytes out;
        int64_t deadline = NowMs() + firstMs;
        for (;;) {
            int wait =
                out.empty() ? static_cast<int>(std::max<int64_t>(0, deadline - NowMs())) : quietMs;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, wait) <= 0)
                break;
            uint8_t buf[4096];
            ssize_t n = read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
            if (out.size() >= limit)
                break;
        }
        return out;
    }
    Bytes Exchange(const Bytes& req, int firstMs = 2000, int quietMs = 100) {
        Drain();
        if (!Send(req))
            return {};
        return Read(firstMs, quietMs);
    }

private:
    int m_fd = -1;
};

class CUdp {
public:
    CUdp(const std::string& addr, int port) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, addr.c_str(), &m_to.sin_addr);
    }
    ~CUdp() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Send(const Bytes& b) {
        return sendto(m_fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&m_to),
                      sizeof m_to) == static_cast<ssize_t>(b.size());
    }
    // One datagram, or empty after waitMs.
    Bytes Receive(int waitMs = 1000) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0)
            return {};
        Bytes buf(65536);
        ssize_t n = recv(m_fd, buf.data(), buf.size(), 0);
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }
    Bytes Exchange(const Bytes& req, int waitMs = 1000) {
        while (!Receive(0).empty()) {
        }
        if (!Send(req))
            return {};
        return Receive(waitMs);
    }

private:
    int m_fd = -1;
    sockaddr_in m_to{};
};

} // namespace simwire
