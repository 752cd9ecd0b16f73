// A browser's bytes through the request gathering and the tunnel's piece plan: the buffer holds
// exactly what was sent (or the request is refused as too large), and the pieces carry exactly
// the request, full pieces first and one shorter piece last.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "AgentRequest.h"
#include "Vrnlib.h"

using namespace vrnagent;

namespace {

struct SPlan {
    std::string carried;
    int pieces = 0;
    bool shortSeen = false;
    bool bad = false;
};

int Record(void* ctx, char* piece, int len, char* response, int* responseLen) {
    SPlan& plan = *static_cast<SPlan*>(ctx);
    if (len < 1 || len > TUNNEL_PIECE || plan.shortSeen)
        plan.bad = true;
    if (len < TUNNEL_PIECE)
        plan.shortSeen = true;
    plan.carried.append(piece, static_cast<size_t>(len));
    ++plan.pieces;
    *responseLen = 0;
    if (len < TUNNEL_PIECE) {
        std::memcpy(response, "ok", 2);
        *responseLen = 2;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 20000)
        return 0;
    // The first two bytes choose the buffer's capacity and the largest single receive.
    const size_t capacity = 1 + (data[0] << 5 | data[1] >> 3);
    const size_t chunk = 1 + (data[1] & 7) * 150;
    const uint8_t* body = data + 2;
    const size_t n = size - 2;

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    if (n > 0 && send(fds[0], body, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    shutdown(fds[0], SHUT_WR);
    CRequestBuffer buf(capacity);
    const EGatherEnd end = GatherRequest(fds[1], buf, SGatherTiming{50, 0, chunk}, nullptr);
    close(fds[0]);
    close(fds[1]);

    const size_t expect = n < capacity ? n : capacity;
    if (buf.Size() != expect || std::memcmp(buf.Data(), body, expect) != 0)
        __builtin_trap();
    if ((n > capacity) != (end == EGatherEnd::Oversized))
        __builtin_trap();
    if (n <= capacity && end != EGatherEnd::PeerClosed)
        __builtin_trap();
    if (end == EGatherEnd::Oversized || buf.Size() == 0)
        return 0;

    SPlan plan;
    char response[RESPONSE_BUFFER_SIZE];
    int responseLen = 0;
    if (SendPieces(buf.Data(), buf.Size(), response, &responseLen, Record, &plan) != 0)
        __builtin_trap();
    std::string expected(buf.Data(), buf.Size());
    if (buf.Size() % TUNNEL_PIECE == 0)
        expected += "\r\n";
    if (plan.bad || !plan.shortSeen || plan.carried != expected || responseLen != 2)
        __builtin_trap();
    if (plan.pieces != static_cast<int>(buf.Size() / TUNNEL_PIECE) + 1)
        __builtin_trap();
    return 0;
}
