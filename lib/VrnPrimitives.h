// The two primitives the library and the agent's relay share, so that both judge a frame's
// checksum and wait for a descriptor the same way. Header-only.
#pragma once

#include <cerrno>
#include <chrono>
#include <limits>
#include <poll.h>

namespace vrn {

// Sum of offsets 3 .. len-2; frames of 4 bytes or fewer (and no frame) have nothing to sum.
inline unsigned char FrameChecksum(const unsigned char* frame, int len) {
    unsigned char sum = 0;
    if (frame == nullptr)
        return sum;
    for (int i = 3; i < len - 1; ++i)
        sum = static_cast<unsigned char>(sum + frame[i]);
    return sum;
}

// Waits until fd is readable or the time runs out: 1 readable, 0 time-out, -1 error (also an
// error pending on fd with nothing to read). A signal does not end the wait early; the time
// left is waited out. poll rather than select: a descriptor above FD_SETSIZE must not overrun
// an fd_set in a process with many open files.
inline int WaitReadable(int fd, long sec, long usec) {
    if (fd < 0)
        return -1;
    if (sec < 0)
        sec = 0;
    if (usec < 0)
        usec = 0;
    const long long totalMs = static_cast<long long>(sec) * 1000 + usec / 1000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now())
                                   .count();
        constexpr long long longest = std::numeric_limits<int>::max();
        const int waitMs = static_cast<int>(left <= 0 ? 0 : (left > longest ? longest : left));
        pollfd p = {fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & POLLIN))
            return -1;
        if (ready == 0 && left > longest)
            continue;
        return ready > 0 ? 1 : 0;
    }
}

} // namespace vrn
