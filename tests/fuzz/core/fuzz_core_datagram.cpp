// The monitor's check of agent datagrams (discovery replies, port replies): whatever passes is
// a sealed frame whose length field matches, a port comes only from an 8-byte reply, and
// discovery's cut to 128 bytes never lets a longer reply pass.
#include "AgentDatagram.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that any read past the datagram is caught.
    std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* p = bytes.empty() ? nullptr : bytes.data();
    const bool valid = IsValidAgentFrame(p, size);
    if (valid) {
        if (size < AGENT_FRAME_OVERHEAD || p[0] != 0x5E || p[1] != 0x01 || p[2] != 0x61)
            __builtin_trap();
        if ((p[3] | p[4] << 8) != static_cast<int>(size) - AGENT_FRAME_OVERHEAD)
            __builtin_trap();
        if (p[size - 1] != FrameChecksum(p, size))
            __builtin_trap();
    }
    const int port = ParsePortReply(p, size);
    if (port >= 0 && (!valid || size != PORT_REPLY_SIZE || port != (p[5] | p[6] << 8)))
        __builtin_trap();
    if (port > 65535)
        __builtin_trap();

    // Discovery keeps the first 128 bytes of a datagram; a longer one never counts, whatever
    // those bytes say.
    unsigned char cut[DISCOVERY_REPLY_SIZE] = {};
    if (size > 0)
        std::memcpy(cut, p, size < sizeof cut ? size : sizeof cut);
    const bool reply = IsDiscoveryReply(cut, static_cast<int>(size), DISCOVERY_REPLY_SIZE);
    if (reply != (valid && size <= DISCOVERY_REPLY_SIZE))
        __builtin_trap();
    return 0;
}
