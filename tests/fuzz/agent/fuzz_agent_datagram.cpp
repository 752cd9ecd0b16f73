// The relay's judgement of a datagram: whatever it lets through is a sealed frame of a size the
// relay can hold, a datagram larger than its buffer never passes, and the port answer it builds
// is sealed and carries the port.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "AgentFrame.h"

using namespace vrnagent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ERelayAction action = ClassifyDatagram(data, size);
    if (action != ERelayAction::Drop) {
        if (size < RELAY_MIN_REQUEST || size > RELAY_MAX_REQUEST)
            __builtin_trap();
        if (data[0] != 0x5E || data[1] != 0x01 || data[2] != 0x61)
            __builtin_trap();
        if (data[size - 1] != CalCheckSum(data, static_cast<int>(size)))
            __builtin_trap();
        const bool local = data[5] == CMD_TCP_PORT || data[5] == CMD_COM_ATTR;
        if (local != (action != ERelayAction::Forward))
            __builtin_trap();
    }

    // The receive buffer holds the first 2048 bytes of a datagram that was larger.
    static unsigned char buffer[RELAY_MAX_REQUEST];
    const size_t kept = size < sizeof buffer ? size : sizeof buffer;
    std::memcpy(buffer, data, kept);
    if (ClassifyDatagram(buffer, RELAY_MAX_REQUEST + 1 + size) != ERelayAction::Drop)
        __builtin_trap();

    const int port = size >= 2 ? data[0] | data[1] << 8 : 0;
    unsigned char reply[TCP_PORT_REPLY_SIZE];
    BuildTcpPortReply(port, reply);
    if (reply[7] != CalCheckSum(reply, sizeof reply) || (reply[5] | reply[6] << 8) != port)
        __builtin_trap();
    return 0;
}
