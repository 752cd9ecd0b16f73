#include "MetricsServer.h"

#include "MetricsRequest.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Time left for the connection after the answer is sent, to read what the client still sends
// (closing with unread data would reset the connection and could take the answer with it).
constexpr std::chrono::milliseconds kLinger{1000};
// At most this many connections taken per wake-up, so a flood cannot hold the loop.
constexpr int kAcceptsPerRound = 64;

std::string Answer(int code, const char* reason, const std::string& body, bool head,
                   const char* contentType = "text/plain; charset=utf-8", const char* extra = "") {
    std::string a = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n";
    a += "Content-Type: ";
    a += contentType;
    a += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    a += extra;
    a += "Connection: close\r\n\r\n";
    if (!head)
        a += body;
    return a;
}

std::string Refusal(int code, const char* reason, const char* extra = "") {
    return Answer(code, reason, std::string(reason) + "\n", false, "text/plain; charset=utf-8",
                  extra);
}

enum class EPhase { Reading, Writing, Lingering };

struct SConnection {
    int fd = -1;
    EPhase phase = EPhase::Reading;
    std::string in;
    std::string out;
    std::size_t sent = 0;
    Clock::time_point deadline;

    ~SConnection() {
        if (fd >= 0)
            ::close(fd);
    }
};

void Respond(SConnection& c, std::string answer, const SMetricsServerLimits& limits) {
    c.out = std::move(answer);
    c.sent = 0;
    c.phase = EPhase::Writing;
    c.deadline = Clock::now() + limits.writeTimeout;
    c.in.clear();
    c.in.shrink_to_fit();
}

std::string AnswerFor(EMetricsRequest request, const std::function<std::string()>& page) {
    switch (request) {
    case EMetricsRequest::Metrics:
    case EMetricsRequest::MetricsHead:
        return Answer(200, "OK", page(), request == EMetricsRequest::MetricsHead,
                      "text/plain; version=0.0.4; charset=utf-8");
    case EMetricsRequest::NotFound:
        return Refusal(404, "Not Found");
    case EMetricsRequest::BadMethod:
        return Refusal(405, "Method Not Allowed", "Allow: GET, HEAD\r\n");
    case EMetricsRequest::BadVersion:
        return Refusal(505, "HTTP Version Not Supported");
    case EMetricsRequest::TooLarge:
        return Refusal(431, "Request Header Fields Too Large");
    case EMetricsRequest::Malformed:
    case EMetricsRequest::Incomplete:
        break;
    }
    return Refusal(400, "Bad Request");
}

// Returns false when the connection is finished (closed or failed).
bool ReadSome(SConnection& c, const SMetricsServerLimits& limits,
              const std::function<std::string()>& page) {
    char buffer[4096];
    // Bounded, so that a client that keeps sending cannot hold the loop.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return c.phase == EPhase::Writing; // half-closed after a whole request: answer it
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        if (c.phase == EPhase::Lingering || c.phase == EPhase::Writing)
            continue; // the request was read; the rest is not looked at
        c.in.append(buffer, static_cast<std::size_t>(n));
        const EMetricsRequest request = ReadMetricsRequest(c.in, limits.maxRequestBytes);
        if (request != EMetricsRequest::Incomplete)
            Respond(c, AnswerFor(request, page), limits);
    }
    return true;
}

// Returns false when the connection is finished.
bool WriteSome(SConnection& c) {
    while (c.sent < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.sent += static_cast<std::size_t>(n);
    }
    ::shutdown(c.fd, SHUT_WR);
    c.phase = EPhase::Lingering;
    c.deadline = Clock::now() + kLinger;
    return true;
}

} // namespace

bool ParseMetricsAddress(const std::string& text, std::uint32_t& address, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    in_addr a{};
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &a) != 1)
        return false;
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int p = std::stoi(digits);
    if (p > 65535)
        return false;
    address = a.s_addr;
    port = p;
    return true;
}

CMetricsServer::CMetricsServer(std::function<std::string()> page, SMetricsServerLimits limits)
    : m_page(std::move(page)), m_limits(limits) {}

CMetricsServer::~CMetricsServer() {
    Stop();
}

bool CMetricsServer::Start(std::uint32_t address, int port, std::string& error) {
    if (m_listener >= 0) {
        error = "already started";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof a;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        char text[INET_ADDRSTRLEN] = {};
        in_addr in{};
        in.s_addr = address;
        inet_ntop(AF_INET, &in, text, sizeof text);
        error = std::string("cannot listen on ") + text + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wake < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_listener = fd;
    m_port = ntohs(a.sin_port);
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
}

void CMetricsServer::Stop() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        const std::uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_listener >= 0) {
        ::close(m_listener);
        m_listener = -1;
    }
    if (m_wake >= 0) {
        ::close(m_wake);
        m_wake = -1;
    }
}

void CMetricsServer::Run(std::stop_token stop) {
    std::vector<std::unique_ptr<SConnection>> connections;
    std::vector<pollfd> fds;
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        // Deadlines: a request that has not arrived is refused, an answer not taken or a
        // linger that ran out ends the connection.
        for (auto& c : connections) {
            if (c->deadline > now)
                continue;
            if (c->phase == EPhase::Reading)
                Respond(*c, Refusal(408, "Request Timeout"), m_limits);
            else
                c.reset();
        }
        std::erase(connections, nullptr);

        fds.clear();
        fds.push_back({m_wake, POLLIN, 0});
        fds.push_back({m_listener, POLLIN, 0});
        auto next = now + std::chrono::seconds(1);
        for (const auto& c : connections) {
            const short events = c->phase == EPhase::Writing ? POLLOUT : POLLIN;
            fds.push_back({c->fd, events, 0});
            next = std::min(next, c->deadline);
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait, 0, 1000))) <
            0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stop.stop_requested())
            break;

        for (std::size_t i = 0; i < connections.size(); ++i) {
            SConnection& c = *connections[i];
            const short revents = fds[i + 2].revents;
            if (revents == 0)
                continue;
            bool alive = true;
            if (c.phase == EPhase::Writing) {
                alive = (revents & (POLLERR | POLLNVAL)) == 0 && WriteSome(c);
            } else {
                alive = (revents & POLLNVAL) == 0 && ReadSome(c, m_limits, m_page);
                if (alive && c.phase == EPhase::Writing)
                    alive = WriteSome(c); // most answers go out at once
                else if (alive && c.phase == EPhase::Lingering && (revents & POLLHUP) != 0)
                    alive = false;
            }
            if (!alive)
                connections[i].reset();
        }
        std::erase(connections, nullptr);

        if ((fds[1].revents & POLLIN) != 0) {
            for (int i = 0; i < kAcceptsPerRound; ++i) {
                const int fd =
                    ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                const auto lingering = [](const std::unique_ptr<SConnection>& c) {
                    return c->phase == EPhase::Lingering;
                };
                const auto waiting =
                    std::count_if(connections.begin(), connections.end(), lingering);
                if (static_cast<int>(connections.size() - static_cast<std::size_t>(waiting)) >=
                    m_limits.maxConnections) {
                    // Best effort: the refusal is short and the socket's buffer empty.
                    const std::string busy = Refusal(503, "Service Unavailable");
                    (void)!::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL);
                    ::shutdown(fd, SHUT_WR);
                    // A request already queued, left unread, would make the close a reset
                    // that can overtake the refusal.
                    char discard[4096];
                    (void)!::recv(fd, discard, sizeof discard, 0);
                    ::close(fd);
                    continue;
                }
                // Answered connections wait for their client's close without holding a
                // slot, but no more of them than there are slots: the oldest goes first.
                if (waiting >= m_limits.maxConnections)
                    connections.erase(
                        std::find_if(connections.begin(), connections.end(), lingering));
                auto c = std::make_unique<SConnection>();
                c->fd = fd;
                c->deadline = Clock::now() + m_limits.requestTimeout;
                connections.push_back(std::move(c));
            }
        }
    }
}
