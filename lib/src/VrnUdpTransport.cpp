// UDP transport: requests go in one datagram to the agent, which relays them to its
// controller and sends the reply back in one datagram from the address and port it was asked
// on. The reply is the first datagram from there; whatever else arrives meanwhile is passed
// over while the time-out runs, so that no stranger can answer in the agent's place.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/socket.h>

#include "VrnTransport.h"

namespace {

// The agent's relay needs time to collect the controller's whole reply after its first
// bytes; the datagram is signalled before that settles on some agents.
constexpr int SETTLE_MS = 300;

// Datagrams passed over per wake-up, so that a flood cannot keep one read busy.
constexpr int MAX_PASSED_OVER = 256;

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_family == b.sin_family && a.sin_port == b.sin_port &&
           a.sin_addr.s_addr == b.sin_addr.s_addr;
}

} // namespace

class CVrnUdpTransport final : public CVrnTransport {
public:
    int Write(CVrnlib& session, const unsigned char* data, int len) const override {
        if (session.m_socket == -1 || data == nullptr || len <= 0)
            return 0;
        ssize_t n;
        do {
            n = ::sendto(session.m_socket, data, static_cast<size_t>(len), 0,
                         reinterpret_cast<const sockaddr*>(&session.agentaddr),
                         sizeof session.agentaddr);
        } while (n < 0 && errno == EINTR);
        return n > 0 ? static_cast<int>(n) : 0;
    }

    int Read(CVrnlib& session, unsigned char* buf, int cap) const override {
        if (session.m_socket == -1 || buf == nullptr || cap <= 0)
            return 0;
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(session.m_nTimeout);
        for (bool first = true;; first = false) {
            const long long leftMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (!first && leftMs <= 0)
                return 0;
            const long long waitMs = leftMs > 0 ? leftMs : 0;
            if (session.WaitForReply(session.m_socket, static_cast<long>(waitMs / 1000),
                                     static_cast<long>(waitMs % 1000) * 1000) <= 0)
                return 0;
            session.VrnSleep(SETTLE_MS);
            if (const int n = TakeReply(session, buf, cap))
                return n;
        }
    }

    // The first waiting datagram from the agent, or 0 once nothing more is waiting.
    static int TakeReply(CVrnlib& session, unsigned char* buf, int cap) {
        for (int i = 0; i < MAX_PASSED_OVER; ++i) {
            sockaddr_in from = {};
            socklen_t fromLen = sizeof from;
            // A longer datagram is cut to the capacity by the receive itself.
            const ssize_t n =
                ::recvfrom(session.m_socket, buf, static_cast<size_t>(cap), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return 0;
            if (n > 0 && SameEndpoint(from, session.agentaddr))
                return static_cast<int>(n);
            // Callers count on zeros after a reply shorter than their record.
            std::memset(buf, 0, static_cast<size_t>(cap));
        }
        return 0;
    }

    void DropStale(CVrnlib& session) const override {
        if (session.m_socket == -1)
            return;
        unsigned char sink[2048];
        // Bounded: a peer flooding the socket must not hold the session forever.
        for (int i = 0; i < 256; ++i) {
            const ssize_t n = ::recv(session.m_socket, sink, sizeof sink, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
        }
    }
};

const CVrnTransport& VrnUdpTransport() {
    static const CVrnUdpTransport transport;
    return transport;
}
