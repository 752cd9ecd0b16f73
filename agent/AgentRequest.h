// One browser request: gathering its bytes from the connection, and carrying them to the
// controller in tunnel pieces.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

class CVrnlib;

namespace vrnagent {

inline constexpr size_t REQUEST_BUFFER_SIZE = 512000;
inline constexpr size_t RESPONSE_BUFFER_SIZE = 10240;
inline constexpr int TUNNEL_PIECE = 1024;

// Timing of the receive phase: the request is complete after quietMs of silence; before each
// receive the handler lets settleMs pass so that a receive takes what has arrived since.
// The proxy serves one connection at a time and everyone else waits behind it, so a client
// that is never silent for quietMs yet never done must not hold it: a request has deadlineMs,
// plus chunkMs for every chunk's worth of bytes it has delivered (twice the time the handler
// itself takes to receive a chunk, so that a large request sent at full speed still fits).
struct SGatherTiming {
    int quietMs = 300;
    int settleMs = 100;
    size_t chunk = 1024; // largest single receive
    int deadlineMs = 10000;
    int chunkMs = 200;
};

enum class EGatherEnd {
    Quiet,      // the browser was silent for quietMs
    PeerClosed, // the browser closed its sending side (a receive of 0 bytes)
    RecvError,  // a receive failed; what came before stays
    Oversized,  // more bytes than the buffer holds: the request is not served
    Stopped,    // the agent is shutting down
    TooSlow,    // still arriving when its time was up: it is not served
};

// A zero-filled request buffer of fixed capacity.
class CRequestBuffer {
public:
    explicit CRequestBuffer(size_t capacity);
    bool Ok() const { return m_data != nullptr; }
    char* Data() { return m_data.get(); }
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }
    size_t Room() const { return m_capacity - m_size; }
    char* Tail() { return m_data.get() + m_size; }
    void Commit(size_t n) { m_size += n < Room() ? n : Room(); }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_capacity;
    size_t m_size = 0;
};

// Receives the request from `fd` into `buf` until one of the ends above. `stop` (may be null)
// is looked at before every wait.
EGatherEnd GatherRequest(int fd, CRequestBuffer& buf, const SGatherTiming& timing,
                         const std::atomic<bool>* stop);

// Carries one piece to the controller: the library's tunnel call, or a test's stand-in.
using PFN_TUNNEL_PIECE = int (*)(void* ctx, char* piece, int len, char* response, int* responseLen);

// The piece function of the real agent: the session's HTTP tunnel.
int SessionTunnelPiece(void* session, char* piece, int len, char* response, int* responseLen);

// Sends the n request bytes as full 1024-byte pieces and one shorter final piece through
// `piece` (see TunnelRequest), without any lock.
int SendPieces(char* request, size_t n, char* response, int* responseLen, PFN_TUNNEL_PIECE piece,
               void* ctx);

// Sends the n request bytes as full 1024-byte pieces and one shorter final piece, and returns
// the status of the first piece that failed, or 0 with the controller's response. A request
// of an exact multiple of 1024 bytes would end on an empty piece, which never reaches the
// controller; it gets an empty line (CR LF) as its final piece instead, which HTTP readers
// skip after a message. The session's exchange lock is held from the first piece to the
// response, so that no relay exchange lands between the pieces of one request.
int TunnelRequest(CVrnlib& session, char* request, size_t n, char* response, int* responseLen,
                  PFN_TUNNEL_PIECE piece, void* ctx);

} // namespace vrnagent
