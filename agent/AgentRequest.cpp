#include "AgentRequest.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <sys/socket.h>
#include <thread>

#include "AgentFrame.h"
#include "Vrnlib.h"

namespace vrnagent {

CRequestBuffer::CRequestBuffer(size_t capacity)
    : m_data(new (std::nothrow) char[capacity]()), m_capacity(m_data ? capacity : 0) {}

EGatherEnd GatherRequest(int fd, CRequestBuffer& buf, const SGatherTiming& timing,
                         const std::atomic<bool>* stop) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (stop != nullptr && stop->load())
            return EGatherEnd::Stopped;
        const int ready = WaitForReply(fd, timing.quietMs / 1000, (timing.quietMs % 1000) * 1000L);
        if (ready == 0)
            return stop != nullptr && stop->load() ? EGatherEnd::Stopped : EGatherEnd::Quiet;
        if (ready < 0)
            return EGatherEnd::RecvError;
        if (timing.settleMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timing.settleMs));
        if (buf.Room() == 0) {
            // The buffer holds a whole request only if nothing follows; one more byte
            // waiting means the request does not fit, and half a request is no request.
            char probe;
            const ssize_t more = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (more > 0)
                return EGatherEnd::Oversized;
            if (more == 0)
                return EGatherEnd::PeerClosed;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return EGatherEnd::RecvError;
        }
        const size_t want = buf.Room() < timing.chunk ? buf.Room() : timing.chunk;
        const ssize_t got = ::recv(fd, buf.Tail(), want, MSG_DONTWAIT);
        if (got > 0) {
            buf.Commit(static_cast<size_t>(got));
            // Still sending when its time is up. Once the last byte is in, the quiet time may
            // run past it.
            const long long allowedMs =
                timing.deadlineMs + static_cast<long long>(timing.chunkMs) *
                                        static_cast<long long>(buf.Size()) /
                                        static_cast<long long>(timing.chunk > 0 ? timing.chunk : 1);
            if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(allowedMs))
                return EGatherEnd::TooSlow;
            continue;
        }
        if (got == 0)
            return EGatherEnd::PeerClosed;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;
        return EGatherEnd::RecvError;
    }
}

int SendPieces(char* request, size_t n, char* response, int* responseLen, PFN_TUNNEL_PIECE piece,
               void* ctx) {
    *responseLen = 0;
    if (request == nullptr || n == 0 || piece == nullptr)
        return VRN_BAD_ARGUMENT;
    const size_t full = n / TUNNEL_PIECE;
    for (size_t i = 0; i < full; ++i) {
        const int status =
            piece(ctx, request + i * TUNNEL_PIECE, TUNNEL_PIECE, response, responseLen);
        if (status != VRN_OK)
            return status;
    }
    const size_t rest = n % TUNNEL_PIECE;
    char emptyLine[] = {'\r', '\n'};
    char* last = rest > 0 ? request + full * TUNNEL_PIECE : emptyLine;
    const int lastLen = rest > 0 ? static_cast<int>(rest) : static_cast<int>(sizeof emptyLine);
    return piece(ctx, last, lastLen, response, responseLen);
}

} // namespace vrnagent
