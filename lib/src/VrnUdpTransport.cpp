// UDP transport: requests go in one datagram to the agent, which relays them to its
// controller and sends the reply back in one datagram, from whatever address answers.
#include <cerrno>
#include <sys/socket.h>

#include "VrnTransport.h"

namespace {

// The agent's relay needs time to collect the controller's whole reply after its first
// bytes; the datagram is signalled before that settles on some agents.
constexpr int SETTLE_MS = 300;

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
        if (session.WaitForReply(session.m_socket, static_cast<long>(session.m_nTimeout), 0) <= 0)
            return 0;
        session.VrnSleep(SETTLE_MS);
        ssize_t n;
        do {
            // A longer datagram is cut to the capacity by the receive itself.
            n = ::recvfrom(session.m_socket, buf, static_cast<size_t>(cap), MSG_DONTWAIT, nullptr,
                           nullptr);
        } while (n < 0 && errno == EINTR);
        return n > 0 ? static_cast<int>(n) : 0;
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
