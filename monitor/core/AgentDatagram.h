#pragma once
// The datagrams the monitor exchanges with agents itself (discovery and the HTTP port
// query), in the controller's command frame format: 5E 01 61, a 16-bit little-endian payload
// length, the payload, an 8-bit additive checksum.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

inline constexpr int AGENT_FRAME_OVERHEAD = 6;
// Discovery reads replies into a buffer of this size; a longer reply is cut to it and then
// fails the length check.
inline constexpr int DISCOVERY_REPLY_SIZE = 128;
// The controller's identify command, and the agent-local HTTP port query.
inline constexpr unsigned char AGENT_CMD_IDENTIFY = 0x13;
inline constexpr unsigned char AGENT_CMD_HTTP_PORT = 0xF0;
inline constexpr int PORT_REPLY_SIZE = 8;
inline constexpr int DEFAULT_HTTP_PORT = 80;

// Sum modulo 256 of bytes 3 .. n - 2 (length field and payload); 0 for n < 4.
unsigned char FrameChecksum(const unsigned char* frame, std::size_t n);
// Start bytes, a length field equal to n - 6, and the checksum in the last byte.
bool IsValidAgentFrame(const unsigned char* frame, std::size_t n);
// Builds the one-byte command frame (7 bytes) into out.
void BuildAgentCommand(unsigned char command, unsigned char out[7]);
// Discovery's test of a reply: `received` bytes arrived into a buffer of bufferSize; a reply
// that did not fit (longer than 128 bytes) is no reply.
bool IsDiscoveryReply(const unsigned char* buffer, int received, int bufferSize);
// The HTTP port of a port reply (lo + 256 * hi, unsigned), or -1 when the datagram is not a
// valid 8-byte reply.
int ParsePortReply(const unsigned char* frame, std::size_t n);

// Plain functions on a datagram socket. Addresses are IPv4 in network byte order.
// Returns the byte count sent, or -1.
int SendAgentFrame(int sock, std::uint32_t address, int port, const unsigned char* bytes, int len);
// Readiness count: 1 readable, 0 time-out, -1 error.
int WaitReadable(int sock, long seconds, long microseconds);
// Waits up to waitMs for one datagram and reads it (a datagram arrives in one piece, so there
// is nothing to wait for once it is signalled). Returns its length, which is larger than size
// when the datagram was cut to fit (only size bytes are in the buffer), 0 on time-out, -1 on
// error; sender gets the source address.
int ReceiveAgentFrame(int sock, unsigned char* buffer, int size, sockaddr_in* sender,
                      int waitMs = 20000);
// Reads one already queued datagram without waiting: its length as above (0 for an empty
// one), or -1 when none is queued or on error.
int ReceiveQueuedFrame(int sock, unsigned char* buffer, int size, sockaddr_in* sender);
