// Runs the real vrnhttp for a test and talks to it the way its clients do: raw TCP and curl
// for the HTTP proxy, raw datagrams and library sessions for the relay. The controller is
// either vrnsim on a pseudo-terminal or the test itself on a pseudo-terminal of its own.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "SimProcess.h"
#include "TestFrame.h"
#include "TestProcess.h"
#include "VrnTestPaths.h"

#ifndef VRN_BUILD_DIR
#error "VRN_BUILD_DIR must name the build folder"
#endif

namespace agenttest {

using Bytes = std::vector<uint8_t>;

inline int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

using vrntest::CProcess;
using vrntest::Frame;
using vrntest::ReadFile;
using vrntest::RunProgram;
using vrntest::Sealed;

inline Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
inline std::string ToString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// The serial number vrnsim's default scenario gives a drive (drives count from 0).
inline std::string DriveSerial(int drive) {
    char s[24];
    std::snprintf(s, sizeof s, "VNS%02u%07u", static_cast<unsigned>(drive),
                  4711000u + static_cast<unsigned>(drive) * 13u);
    return s;
}

// A drive query's reply (the 128-byte record framed) for that drive of the default scenario.
inline bool IsDriveReply(const Bytes& r, int drive) {
    const std::string serial = DriveSerial(drive);
    return r.size() == 134 && std::memcmp(r.data() + 45, serial.data(), serial.size()) == 0;
}

// A loopback address of this process's own, so that tests running in parallel never meet
// on a port.
inline std::string UniqueLoopback() {
    static int counter = 0;
    const int pid = static_cast<int>(getpid());
    ++counter;
    return "127." + std::to_string(60 + pid % 150) + "." + std::to_string((pid / 150) % 250) + "." +
           std::to_string(1 + counter % 250);
}

inline sockaddr_in Address(const std::string& addr, int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, addr.c_str(), &a.sin_addr);
    return a;
}

// A port the system hands out on `addr` right now.
inline int FreePort(const std::string& addr, int type) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a = Address(addr, 0);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// Whether the kernel lists a socket bound to addr:port in /proc/net/<table> (and, for TCP,
// listening).
inline bool SocketListed(const char* table, const std::string& addr, int port) {
    std::ifstream in(std::string("/proc/net/") + table);
    in_addr a = {};
    inet_pton(AF_INET, addr.c_str(), &a);
    char want[32];
    std::snprintf(want, sizeof want, "%08X:%04X", a.s_addr, port);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string sl, local, remote, state;
        fields >> sl >> local >> remote >> state;
        if (local == want && (std::strcmp(table, "tcp") != 0 || state == "0A"))
            return true;
    }
    return false;
}

inline std::string AgentPath() {
    return VRN_BUILD_DIR "/agent/vrnhttp";
}

// Reports of the sanitizer builds land on the agent's standard error.
inline bool SanitizerClean(const std::string& stderrText) {
    return stderrText.find("Sanitizer") == std::string::npos &&
           stderrText.find("runtime error") == std::string::npos;
}

// The agent in the foreground on its own loopback address and ports.
struct SAgent {
    std::string addr = UniqueLoopback();
    int tcpPort = 0;
    int relayPort = 0;
    CProcess proc;

    // Starts `vrnhttp -f -d device -b addr -u relayPort [extra] tcpPort 1 baud` and waits
    // until both sockets are bound.
    bool Start(const std::string& device, const std::vector<std::string>& extra = {},
               const std::string& baud = "115200", int fixedTcpPort = -1, int fixedRelayPort = -1) {
        tcpPort = fixedTcpPort >= 0 ? fixedTcpPort : FreePort(addr, SOCK_STREAM);
        relayPort = fixedRelayPort > 0 ? fixedRelayPort : FreePort(addr, SOCK_DGRAM);
        std::vector<std::string> args = {AgentPath(), "-f", "-d", device,
                                         "-b",        addr, "-u", std::to_string(relayPort)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {std::to_string(tcpPort), "1", baud});
        if (!proc.Start(args))
            return false;
        return WaitBound(5000);
    }

    bool WaitBound(int ms) {
        const int64_t deadline = NowMs() + ms;
        while (NowMs() < deadline) {
            if ((tcpPort == 0 || SocketListed("tcp", addr, tcpPort)) &&
                SocketListed("udp", addr, relayPort))
                return true;
            if (proc.WaitExit(0) >= 0)
                return false;
            SleepMs(10);
        }
        return false;
    }
};

// vrnsim's default controller on a pseudo-terminal, behind the agent.
struct SSimAgent {
    CSimProcess sim;
    SAgent agent;
    bool Start() { return sim.Ready() && agent.Start(sim.PtyPath()); }
};

// The controller played by the test: the master side of a pseudo-terminal whose slave the
// agent opens.
class CPtyController {
public:
    CPtyController() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        char name[128];
        if (ptsname_r(m_master, name, sizeof name) == 0)
            m_slave = name;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~CPtyController() {
        if (m_master >= 0)
            close(m_master);
    }
    CPtyController(const CPtyController&) = delete;
    CPtyController& operator=(const CPtyController&) = delete;

    bool Ok() const { return m_master >= 0 && !m_slave.empty(); }
    const std::string& SlavePath() const { return m_slave; }

    // Everything the agent writes until the line has been quiet for quietMs after the first
    // byte, or nothing after firstMs.
    Bytes Read(int firstMs, int quietMs = 60) {
        Bytes got;
        int64_t deadline = NowMs() + firstMs;
        for (;;) {
            const int left = static_cast<int>(deadline - NowMs());
            if (left <= 0)
                return got;
            pollfd p = {m_master, POLLIN, 0};
            if (poll(&p, 1, left) <= 0)
                return got;
            uint8_t buf[4096];
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0)
                return got;
            got.insert(got.end(), buf, buf + n);
            deadline = NowMs() + quietMs;
        }
    }

    // Reads whole frames by their length field until `count` frames or `ms` have passed.
    std::vector<Bytes> ReadFrames(size_t count, int ms) {
        std::vector<Bytes> frames;
        const int64_t deadline = NowMs() + ms;
        while (frames.size() < count && NowMs() < deadline) {
            const int left = static_cast<int>(deadline - NowMs());
            pollfd p = {m_master, POLLIN, 0};
            if (m_pending.size() < 5 || m_pending.size() < FrameSize()) {
                if (poll(&p, 1, left) <= 0)
                    break;
                uint8_t buf[4096];
                const ssize_t n = read(m_master, buf, sizeof buf);
                if (n <= 0)
                    break;
                m_pending.insert(m_pending.end(), buf, buf + n);
            }
            while (m_pending.size() >= 5 && m_pending.size() >= FrameSize() &&
                   frames.size() < count) {
                const size_t size = FrameSize();
                frames.emplace_back(m_pending.begin(), m_pending.begin() + size);
                m_pending.erase(m_pending.begin(), m_pending.begin() + size);
            }
        }
        return frames;
    }

    bool Write(const Bytes& data) {
        size_t done = 0;
        const int64_t deadline = NowMs() + 5000;
        while (done < data.size() && NowMs() < deadline) {
            const ssize_t n = write(m_master, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd p = {m_master, POLLOUT, 0};
            poll(&p, 1, 50);
        }
        return done == data.size();
    }

    // The line speed the agent left on the terminal.
    speed_t OutputSpeed() const {
        int fd = open(m_slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t = {};
        speed_t s = 0;
        if (fd >= 0 && tcgetattr(fd, &t) == 0)
            s = cfgetospeed(&t);
        if (fd >= 0)
            close(fd);
        return s;
    }

private:
    size_t FrameSize() const {
        return m_pending.size() < 5 ? SIZE_MAX
                                    : static_cast<size_t>(m_pending[3] | (m_pending[4] << 8)) + 6;
    }

    int m_master = -1;
    std::string m_slave;
    Bytes m_pending;
};

// One datagram to the relay from a fresh socket, and the answer (empty after `ms`).
inline Bytes UdpAsk(const std::string& addr, int port, const Bytes& datagram, int ms,
                    int* socketOut = nullptr) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = Address(addr, port);
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    Bytes reply;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, ms) > 0) {
        reply.resize(65536);
        const ssize_t n = recv(fd, reply.data(), reply.size(), 0);
        reply.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    if (socketOut != nullptr)
        *socketOut = fd;
    else
        close(fd);
    return reply;
}

// The agent's HTTP port as its relay reports it.
inline int AskTcpPort(const std::string& addr, int relayPort) {
    Bytes r = UdpAsk(addr, relayPort, {0x5E, 0x01, 0x61, 0x01, 0x00, 0xF0, 0xF1}, 2000);
    return r.size() == 8 ? r[5] | (r[6] << 8) : -1;
}

struct SRawOptions {
    std::vector<size_t> chunks;  // send the request in these sizes (default: at once)
    int gapMs = 0;               // between chunks
    bool halfClose = false;      // shutdown(SHUT_WR) after the request
    bool resetAfterSend = false; // close with RST right after the request
    int timeoutMs = 10000;
};

struct SRawResult {
    bool connected = false;
    bool closed = false; // the agent closed the connection
    Bytes received;
    int64_t msAfterSend = 0; // from the last byte sent until the close
};

// A browser written against the socket API, for the byte-exact cases.
inline SRawResult RawHttp(const std::string& addr, int port, const Bytes& request,
                          const SRawOptions& opt = {}) {
    SRawResult r;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = Address(addr, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return r;
    }
    r.connected = true;
    size_t done = 0;
    std::vector<size_t> chunks =
        opt.chunks.empty() ? std::vector<size_t>{request.size()} : opt.chunks;
    for (size_t i = 0; i < chunks.size() && done < request.size(); ++i) {
        if (i > 0 && opt.gapMs > 0)
            SleepMs(opt.gapMs);
        const size_t n = std::min(chunks[i], request.size() - done);
        size_t sent = 0;
        while (sent < n) {
            const ssize_t k = send(fd, request.data() + done + sent, n - sent, MSG_NOSIGNAL);
            if (k <= 0)
                break;
            sent += static_cast<size_t>(k);
        }
        done += sent;
    }
    const int64_t t0 = NowMs();
    if (opt.resetAfterSend) {
        linger l = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(fd);
        return r;
    }
    if (opt.halfClose)
        shutdown(fd, SHUT_WR);
    const int64_t deadline = t0 + opt.timeoutMs;
    for (;;) {
        const int left = static_cast<int>(deadline - NowMs());
        pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0)
            break;
        uint8_t buf[16384];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            r.closed = true;
            break;
        }
        r.received.insert(r.received.end(), buf, buf + n);
    }
    r.msAfterSend = NowMs() - t0;
    close(fd);
    return r;
}

inline Bytes GetRequest(const std::string& path, size_t padTo = 0) {
    std::string req = "GET " + path + " HTTP/1.0\r\nHost: agent\r\n";
    const std::string head = "X-Fill: ";
    if (padTo >= req.size() + head.size() + 4) {
        // A filler header brings the request to the exact size.
        const size_t fill = padTo - req.size() - head.size() - 2 - 2;
        req += head + std::string(fill, 'f') + "\r\n";
    }
    req += "\r\n";
    return ToBytes(req);
}

} // namespace agenttest
