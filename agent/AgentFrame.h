// The relay's view of a command frame: which datagrams it passes on, which it answers itself,
// and the one reply it builds.
#pragma once

#include <netinet/in.h>

#include <cstddef>

namespace vrnagent {

// Codes the agent answers itself; they never reach the controller.
inline constexpr unsigned char CMD_TCP_PORT = 0xF0;
inline constexpr unsigned char CMD_COM_ATTR = 0xF1;
// The controller's HTTP tunnel.
inline constexpr unsigned char CMD_HTTP_PIECE = 0x16;

// The relay takes datagrams of at most this size; anything longer is dropped whole.
inline constexpr size_t RELAY_MAX_REQUEST = 2048;
// Start bytes, length, command code, checksum: nothing shorter carries a command.
inline constexpr size_t RELAY_MIN_REQUEST = 7;
inline constexpr size_t TCP_PORT_REPLY_SIZE = 8;

// The library's checksum and readiness wait (vrn::FrameChecksum, vrn::WaitReadable), under
// the names the relay has always used for them.
unsigned char CalCheckSum(const unsigned char* frame, int len);
int WaitForReply(int fd, long sec, long usec);

enum class ERelayAction {
    Drop,    // not a frame the relay accepts: no answer, no serial traffic
    TcpPort, // 0xF0: the agent answers with its HTTP proxy port
    ComAttr, // 0xF1: the agent stays silent
    Forward, // everything else goes to the controller unchanged
};

// Decides what to do with one received datagram. `size` is the datagram's real length
// (it may exceed what fitted into the receive buffer); `data` holds min(size, 2048) bytes.
// The length field is not compared with the size: the controller judges that.
ERelayAction ClassifyDatagram(const unsigned char* data, size_t size);

// A full 1024-byte HTTP tunnel piece (command 0x16): the controller collects it silently and
// answers only the shorter piece that ends the request, so the relay reads no reply for it.
bool IsFullTunnelPiece(const unsigned char* data, size_t size);

// Whether a datagram claims to come from a relay: the relay's own address and port (any local
// address when it is bound to all of them), or any sender's port 7890. Answering it would send
// the controller's reply to a relay as its next request; a reply that is itself a valid
// request frame then goes round for ever. `bindAddress` is in network order.
bool IsRelaySource(const sockaddr_in& from, in_addr_t bindAddress, int relayPort);

// The 8-byte answer to 0xF0: 5E 01 61 02 00, the port little-endian, checksum.
void BuildTcpPortReply(int port, unsigned char (&reply)[TCP_PORT_REPLY_SIZE]);

} // namespace vrnagent
