#include "SimFrame.h"

namespace vrnsim {

uint8_t FrameChecksum(std::span<const uint8_t> frame) {
    uint8_t sum = 0;
    if (frame.size() <= 4)
        return 0;
    for (size_t i = 3; i + 1 < frame.size(); ++i)
        sum = static_cast<uint8_t>(sum + frame[i]);
    return sum;
}

static bool StartBytesOk(std::span<const uint8_t> f) {
    return f.size() >= 3 && f[0] == kStart0 && f[1] == kStart1 && f[2] == kStart2;
}

bool FrameValid(std::span<const uint8_t> frame) {
    if (frame.size() < kFrameOverhead || !StartBytesOk(frame))
        return false;
    size_t len = frame[3] | (static_cast<size_t>(frame[4]) << 8);
    if (len + kFrameOverhead != frame.size())
        return false;
    return FrameChecksum(frame) == frame.back();
}

bool DatagramAcceptable(std::span<const uint8_t> d) {
    if (d.size() < 4 || !StartBytesOk(d))
        return false;
    return FrameChecksum(d) == d.back();
}

Bytes BuildFrame(std::span<const uint8_t> payload) {
    Bytes f;
    f.reserve(payload.size() + kFrameOverhead);
    f.push_back(kStart0);
    f.push_back(kStart1);
    f.push_back(kStart2);
    f.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
    f.push_back(static_cast<uint8_t>((payload.size() >> 8) & 0xFF));
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(0);
    f.back() = FrameChecksum(f);
    return f;
}

Bytes BuildAnswer(uint8_t answer) {
    const uint8_t p[1] = {answer};
    return BuildFrame(p);
}

void CFrameCollector::Feed(std::span<const uint8_t> data, int64_t nowMs, std::vector<Bytes>& out) {
    if (data.empty())
        return;
    Expire(nowMs);
    m_buf.insert(m_buf.end(), data.begin(), data.end());
    m_lastByteMs = nowMs;
    Scan(out);
}

void CFrameCollector::Scan(std::vector<Bytes>& out) {
    static constexpr uint8_t start[3] = {kStart0, kStart1, kStart2};
    size_t pos = 0;
    while (pos < m_buf.size()) {
        size_t avail = m_buf.size() - pos;
        // Check as many start bytes as have arrived; a mismatch drops one byte and rescans.
        bool startOk = true;
        for (size_t i = 0; i < 3 && i < avail; ++i) {
            if (m_buf[pos + i] != start[i]) {
                startOk = false;
                break;
            }
        }
        if (!startOk) {
            ++m_stats.junkBytes;
            ++pos;
            continue;
        }
        if (avail < kHeaderSize)
            break;
        size_t len = m_buf[pos + 3] | (static_cast<size_t>(m_buf[pos + 4]) << 8);
        if (len + kFrameOverhead > kMaxRequestFrame) {
            // No host request is this long: a length like this means the start bytes were
            // line noise, and waiting for 64 KiB would stall the line for good.
            ++m_stats.junkBytes;
            ++pos;
            continue;
        }
        size_t total = len + kFrameOverhead;
        if (avail < total)
            break;
        Bytes frame(m_buf.begin() + static_cast<std::ptrdiff_t>(pos),
                    m_buf.begin() + static_cast<std::ptrdiff_t>(pos + total));
        ++m_stats.frames;
        if (FrameChecksum(frame) != frame.back())
            ++m_stats.badFrames;
        out.push_back(std::move(frame));
        pos += total;
    }
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(pos));
}

void CFrameCollector::Expire(int64_t nowMs) {
    if (!m_buf.empty() && nowMs - m_lastByteMs >= m_quietMs) {
        ++m_stats.abandoned;
        m_buf.clear();
    }
}

int64_t CFrameCollector::MsUntilExpiry(int64_t nowMs) const {
    if (m_buf.empty())
        return -1;
    int64_t left = m_lastByteMs + m_quietMs - nowMs;
    return left < 0 ? 0 : left;
}

} // namespace vrnsim
