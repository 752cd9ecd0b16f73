#include "AgentRelay.h"

#include <cerrno>

#include "AgentFrame.h"

namespace vrnagent {

size_t CRelayQueue::Drain(int sock) {
    size_t kept = 0;
    unsigned char buf[RELAY_MAX_REQUEST];
    while (m_queue.size() < CAPACITY) {
        SRelayDatagram d;
        // MSG_TRUNC reports the datagram's real size, so that an oversized one is recognised
        // and dropped instead of being judged by its first 2048 bytes.
        const ssize_t got = ::recvfrom(sock, buf, sizeof buf, MSG_TRUNC | MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&d.from), &d.fromLen);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        d.size = static_cast<size_t>(got);
        if (ClassifyDatagram(buf, d.size) == ERelayAction::Drop)
            continue;
        d.bytes.assign(buf, buf + (d.size < sizeof buf ? d.size : sizeof buf));
        m_queue.push_back(std::move(d));
        ++kept;
    }
    return kept;
}

void CRelayQueue::Push(SRelayDatagram d) {
    if (m_queue.size() < CAPACITY)
        m_queue.push_back(std::move(d));
}

SRelayDatagram CRelayQueue::Pop() {
    SRelayDatagram d = std::move(m_queue.front());
    m_queue.pop_front();
    return d;
}

bool CRelayQueue::HasRequestFrom(const sockaddr_in& station) const {
    for (const SRelayDatagram& d : m_queue) {
        if (d.from.sin_addr.s_addr == station.sin_addr.s_addr &&
            d.from.sin_port == station.sin_port &&
            ClassifyDatagram(d.bytes.data(), d.size) == ERelayAction::Forward)
            return true;
    }
    return false;
}

} // namespace vrnagent
