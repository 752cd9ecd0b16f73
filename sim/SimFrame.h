// Frame layer of the stand-in controller. Kept apart from the library's codec on purpose:
// tests compare both against the golden bytes, so one shared mistake cannot pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vrnsim {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStart0 = 0x5E;
constexpr uint8_t kStart1 = 0x01;
constexpr uint8_t kStart2 = 0x61;
constexpr size_t kHeaderSize = 5;
constexpr size_t kFrameOverhead = 6;
// Nothing the host sends is larger than one HTTP piece (1031 bytes); the relay accepts 2048.
constexpr size_t kMaxRequestFrame = 2048;

// 8-bit sum of offsets 3 .. total-2 (the length field and the payload).
uint8_t FrameChecksum(std::span<const uint8_t> frame);

// Start bytes, length field consistent with the size, checksum correct.
bool FrameValid(std::span<const uint8_t> frame);

// Only start bytes and checksum, as the agent's relay checks a datagram.
bool DatagramAcceptable(std::span<const uint8_t> datagram);

Bytes BuildFrame(std::span<const uint8_t> payload);
Bytes BuildAnswer(uint8_t answer);

// Collects request frames from a byte stream (the serial line). Bytes that cannot start
// a frame are dropped; a partial frame is abandoned after a quiet period.
class CFrameCollector {
public:
    struct SStats {
        uint64_t frames = 0;    // complete frames, checksum good or bad
        uint64_t badFrames = 0; // complete frames with a bad checksum
        uint64_t junkBytes = 0; // bytes dropped because no frame could start with them
        uint64_t abandoned = 0; // partial frames dropped after the quiet period
    };

    explicit CFrameCollector(int64_t quietMs = 500) : m_quietMs(quietMs) {}

    // Feeds received bytes; complete frames (valid or not) are appended to `out`.
    void Feed(std::span<const uint8_t> data, int64_t nowMs, std::vector<Bytes>& out);
    // Drops a partial frame whose last byte came in more than the quiet period ago.
    void Expire(int64_t nowMs);
    // Milliseconds until Expire has something to do, -1 when nothing is pending.
    int64_t MsUntilExpiry(int64_t nowMs) const;

    const SStats& Stats() const { return m_stats; }
    void ResetStats() { m_stats = {}; }
    size_t Pending() const { return m_buf.size(); }

private:
    void Scan(std::vector<Bytes>& out);

    Bytes m_buf;
    int64_t m_lastByteMs = 0;
    int64_t m_quietMs;
    SStats m_stats;
};

} // namespace vrnsim
