#include "AgentDatagram.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

unsigned char FrameChecksum(const unsigned char* frame, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 3; i + 1 < n; ++i)
        sum += frame[i];
    return static_cast<unsigned char>(sum);
}

bool IsValidAgentFrame(const unsigned char* frame, std::size_t n) {
    if (frame == nullptr || n < AGENT_FRAME_OVERHEAD)
        return false;
    if (frame[0] != 0x5E || frame[1] != 0x01 || frame[2] != 0x61)
        return false;
    const std::size_t length = frame[3] | (static_cast<std::size_t>(frame[4]) << 8);
    return length == n - AGENT_FRAME_OVERHEAD && frame[n - 1] == FrameChecksum(frame, n);
}

void BuildAgentCommand(unsigned char command, unsigned char out[7]) {
    out[0] = 0x5E;
    out[1] = 0x01;
    out[2] = 0x61;
    out[3] = 0x01;
    out[4] = 0x00;
    out[5] = command;
    out[6] = FrameChecksum(out, 7);
}

bool IsDiscoveryReply(const unsigned char* buffer, int received, int bufferSize) {
    return received > 0 && received <= bufferSize &&
           IsValidAgentFrame(buffer, static_cast<std::size_t>(received));
}

int ParsePortReply(const unsigned char* frame, std::size_t n) {
    if (n != PORT_REPLY_SIZE || !IsValidAgentFrame(frame, n))
        return -1;
    return frame[5] | (frame[6] << 8);
}

int SendAgentFrame(int sock, std::uint32_t address, int port, const unsigned char* bytes, int len) {
    if (bytes == nullptr || len <= 0)
        return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = address;
    ssize_t n;
    do {
        n = ::sendto(sock, bytes, static_cast<std::size_t>(len), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int WaitReadable(int sock, long seconds, long microseconds) {
    pollfd p{sock, POLLIN, 0};
    const long ms = seconds * 1000 + (microseconds + 999) / 1000;
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(ms));
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        return -1;
    return r > 0 ? 1 : 0;
}

int ReceiveQueuedFrame(int sock, unsigned char* buffer, int size, sockaddr_in* sender) {
    if (buffer == nullptr || size <= 0)
        return -1;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n;
    do {
        // MSG_TRUNC: the datagram's own length, so that one cut to fit is known as such.
        n = ::recvfrom(sock, buffer, static_cast<std::size_t>(size), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromLen);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (sender != nullptr)
        *sender = from;
    return static_cast<int>(n);
}

int ReceiveAgentFrame(int sock, unsigned char* buffer, int size, sockaddr_in* sender, int waitMs) {
    const int ready = WaitReadable(sock, waitMs / 1000, (waitMs % 1000) * 1000L);
    if (ready <= 0)
        return ready;
    const int n = ReceiveQueuedFrame(sock, buffer, size, sender);
    return n < 0 ? -1 : n;
}
