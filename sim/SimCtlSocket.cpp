#include "SimCtlSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vrnsim {

namespace {

constexpr int64_t kIdleUs = 2'000'000;
constexpr size_t kMaxConns = 32;
constexpr size_t kMaxLine = 4096;

} // namespace

CCtlSocket::~CCtlSocket() {
    for (SConn& c : m_conns)
        close(c.fd);
    if (m_listen >= 0) {
        close(m_listen);
        unlink(m_path.c_str());
    }
}

bool CCtlSocket::Open(const std::string& path, std::string& err) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        err = "control socket path too long";
        return false;
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            err = path + " exists and is not a socket";
            return false;
        }
        unlink(path.c_str()); // left over from a killed run
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
        err = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    m_listen = fd;
    m_path = path;
    return true;
}

void CCtlSocket::AddPollFds(std::vector<pollfd>& fds) const {
    if (m_listen < 0)
        return;
    fds.push_back({m_listen, POLLIN, 0});
    for (const SConn& c : m_conns)
        fds.push_back({c.fd, POLLIN, 0});
}

void CCtlSocket::Service(const pollfd* fds, size_t count, int64_t nowUs) {
    if (m_listen < 0 || count == 0)
        return;
    // Connections accepted now are served in the next round, once their line can be there.
    size_t known = std::min(m_conns.size(), count - 1);
    std::vector<bool> finished(known, false);
    for (size_t i = 0; i < known; ++i)
        if (fds[1 + i].revents != 0 || nowUs - m_conns[i].openedUs >= kIdleUs)
            finished[i] = Serve(m_conns[i], nowUs);
    size_t keep = 0;
    for (size_t i = 0; i < m_conns.size(); ++i) {
        if (i < known && finished[i])
            close(m_conns[i].fd);
        else
            m_conns[keep++] = m_conns[i];
    }
    m_conns.resize(keep);
    if (fds[0].revents & POLLIN)
        Accept(nowUs);
}

int64_t CCtlSocket::NextDueUs() const {
    int64_t due = -1;
    for (const SConn& c : m_conns)
        if (due < 0 || c.openedUs + kIdleUs < due)
            due = c.openedUs + kIdleUs;
    return due;
}

void CCtlSocket::Accept(int64_t nowUs) {
    for (;;) {
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_conns.size() >= kMaxConns) {
            close(fd);
            continue;
        }
        m_conns.push_back({fd, {}, nowUs});
    }
}

bool CCtlSocket::Serve(SConn& c, int64_t nowUs) {
    char buf[512];
    bool eof = false;
    for (;;) {
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n > 0) {
            c.in.append(buf, static_cast<size_t>(n));
            if (c.in.size() > kMaxLine)
                break;
            continue;
        }
        if (n == 0)
            eof = true;
        else if (errno == EAGAIN || errno == EINTR)
            break;
        else
            eof = true;
        break;
    }
    size_t nl = c.in.find('\n');
    if (nl == std::string::npos && !eof && c.in.size() <= kMaxLine && nowUs - c.openedUs < kIdleUs)
        return false;
    if (c.in.empty() && nl == std::string::npos)
        return true; // nothing asked, nothing to answer
    std::string line = c.in.substr(0, nl);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::string reply = c.in.size() > kMaxLine ? "err request too long" : m_handler(line, nowUs);
    reply += '\n';
    // A long reply (a `state` line with big web pages) may exceed the socket buffer: write it
    // out, but give a client that does not read at most a second before it loses the rest.
    int fl = fcntl(c.fd, F_GETFL);
    fcntl(c.fd, F_SETFL, fl & ~O_NONBLOCK);
    timeval tv{1, 0};
    setsockopt(c.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    size_t off = 0;
    while (off < reply.size()) {
        ssize_t n = send(c.fd, reply.data() + off, reply.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        off += static_cast<size_t>(n);
    }
    return true;
}

} // namespace vrnsim
