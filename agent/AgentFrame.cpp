#include "AgentFrame.h"

#include <arpa/inet.h>
#include <ifaddrs.h>

#include "VrnPrimitives.h"
#include "Vrnlib.h"

namespace vrnagent {

unsigned char CalCheckSum(const unsigned char* frame, int len) {
    return vrn::FrameChecksum(frame, len);
}

int WaitForReply(int fd, long sec, long usec) {
    return vrn::WaitReadable(fd, sec, usec);
}

ERelayAction ClassifyDatagram(const unsigned char* data, size_t size) {
    if (data == nullptr || size < RELAY_MIN_REQUEST || size > RELAY_MAX_REQUEST)
        return ERelayAction::Drop;
    if (data[0] != 0x5E || data[1] != 0x01 || data[2] != 0x61)
        return ERelayAction::Drop;
    if (data[size - 1] != CalCheckSum(data, static_cast<int>(size)))
        return ERelayAction::Drop;
    switch (data[5]) {
    case CMD_TCP_PORT:
        return ERelayAction::TcpPort;
    case CMD_COM_ATTR:
        return ERelayAction::ComAttr;
    default:
        return ERelayAction::Forward;
    }
}

bool IsFullTunnelPiece(const unsigned char* data, size_t size) {
    constexpr size_t pieceFrame = VRN_HTTP_PIECE + RELAY_MIN_REQUEST;
    constexpr unsigned field = VRN_HTTP_PIECE + 1; // code and piece
    return data != nullptr && size == pieceFrame && data[5] == CMD_HTTP_PIECE &&
           (data[3] | (data[4] << 8)) == field;
}

namespace {

bool IsLocalAddress(in_addr_t addr) {
    if ((ntohl(addr) >> 24) == IN_LOOPBACKNET)
        return true;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool local = false;
    for (const ifaddrs* i = list; i != nullptr && !local; i = i->ifa_next) {
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET)
            local = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == addr;
    }
    ::freeifaddrs(list);
    return local;
}

} // namespace

bool IsRelaySource(const sockaddr_in& from, in_addr_t bindAddress, int relayPort) {
    const int port = ntohs(from.sin_port);
    if (port == VRN_AGENT_PORT)
        return true;
    if (port != relayPort)
        return false;
    return bindAddress == htonl(INADDR_ANY) ? IsLocalAddress(from.sin_addr.s_addr)
                                            : from.sin_addr.s_addr == bindAddress;
}

void BuildTcpPortReply(int port, unsigned char (&reply)[TCP_PORT_REPLY_SIZE]) {
    reply[0] = 0x5E;
    reply[1] = 0x01;
    reply[2] = 0x61;
    reply[3] = 0x02;
    reply[4] = 0x00;
    reply[5] = static_cast<unsigned char>(port & 0xFF);
    reply[6] = static_cast<unsigned char>((port >> 8) & 0xFF);
    reply[7] = CalCheckSum(reply, TCP_PORT_REPLY_SIZE);
}

} // namespace vrnagent
