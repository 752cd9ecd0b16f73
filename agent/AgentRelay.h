// The relay's own queue of the datagrams waiting on its socket. The relay empties the socket
// into it before each exchange and again once the controller has answered, so that it sees
// whether a station has sent a newer request meanwhile: a station has one exchange at a time,
// so a newer request means it gave up on the older one, and the older one's reply would be
// taken for the newer one's answer.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <deque>
#include <vector>

namespace vrnagent {

struct SRelayDatagram {
    sockaddr_in from = {};
    socklen_t fromLen = sizeof(sockaddr_in);
    size_t size = 0;                  // the datagram's real size
    std::vector<unsigned char> bytes; // its first RELAY_MAX_REQUEST bytes at most
};

class CRelayQueue {
public:
    // Enough for every station of a site; beyond it datagrams wait in the socket.
    static constexpr size_t CAPACITY = 256;

    // Takes what is waiting on `sock` without waiting, while there is room; datagrams the
    // relay drops anyway take no room. Returns how many were kept.
    size_t Drain(int sock);
    void Push(SRelayDatagram d);
    bool Empty() const { return m_queue.empty(); }
    size_t Size() const { return m_queue.size(); }
    SRelayDatagram Pop();

    // Whether a request for the controller from the same station (address and port) waits.
    bool HasRequestFrom(const sockaddr_in& station) const;

private:
    std::deque<SRelayDatagram> m_queue;
};

} // namespace vrnagent
