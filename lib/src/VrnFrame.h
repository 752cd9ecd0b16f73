// The command frame: 5E 01 61, a 16-bit little-endian payload length L, the payload (the
// command code first in a request), and an 8-bit sum of the length bytes and the payload.
#pragma once

#include <cstring>

#include "VrnPrimitives.h"
#include "Vrnlib.h"

namespace vrn {

inline constexpr unsigned char FRAME_START[3] = {0x5E, 0x01, 0x61};
inline constexpr int FRAME_OVERHEAD = 6; // start bytes, length, checksum
inline constexpr int MAX_REQUEST = 1031; // the largest request: an HTTP piece of 1024 bytes

// Start bytes, length field = len - 6, checksum. A frame shorter than the overhead cannot
// carry a length field and is never valid; nothing past len is read.
inline bool FrameIsValid(const unsigned char* frame, unsigned long len) {
    if (frame == nullptr || len < static_cast<unsigned long>(FRAME_OVERHEAD))
        return false;
    if (std::memcmp(frame, FRAME_START, 3) != 0)
        return false;
    const unsigned long field = frame[3] + 256UL * frame[4];
    if (field != len - FRAME_OVERHEAD)
        return false;
    return FrameChecksum(frame, static_cast<int>(len)) == frame[len - 1];
}

// The refusals an operation names with statuses of their own.
enum EAnswerMap : unsigned { MAP_NONE = 0, MAP_M = 1, MAP_J = 2 };

// The status of a controller's one-byte answer: 'A' (accepted) is 0; a 0 byte is 2, as it
// would otherwise read as success for something the controller never confirmed; 'M' is 8
// and 'J' is 9 where the operation maps them; any other byte is returned as it is.
inline int AnswerStatus(unsigned char answer, unsigned map) {
    if (answer == 'A')
        return VRN_OK;
    if (answer == 0)
        return VRN_BAD_FRAME;
    if (answer == 'M' && (map & MAP_M) != 0)
        return VRN_REFUSED_M;
    if (answer == 'J' && (map & MAP_J) != 0)
        return VRN_REFUSED_J;
    return answer;
}

// A request frame of a fixed total length, zero-filled, with start bytes, length field and
// command code in place. Offsets are frame offsets (data starts at 6); writes outside the
// frame's data area are ignored rather than overrunning it.
class CVrnRequest {
public:
    CVrnRequest(unsigned char code, int total) {
        if (total < 7 || total > MAX_REQUEST)
            total = 0;
        m_nLength = total;
        if (total == 0)
            return;
        std::memcpy(m_frame, FRAME_START, 3);
        const int payload = total - FRAME_OVERHEAD;
        m_frame[3] = static_cast<unsigned char>(payload & 0xFF);
        m_frame[4] = static_cast<unsigned char>(payload >> 8);
        m_frame[5] = code;
    }

    void Set(int offset, unsigned char value) {
        if (InData(offset, 1))
            m_frame[offset] = value;
    }
    void SetLe32(int offset, unsigned long value) {
        for (int i = 0; i < 4; ++i)
            Set(offset + i, static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
    }
    void SetBytes(int offset, const void* data, int n) {
        if (data != nullptr && InData(offset, n))
            std::memcpy(m_frame + offset, data, static_cast<size_t>(n));
    }
    // Stores the checksum last; returns the finished frame.
    const unsigned char* Seal() {
        if (m_nLength > 0)
            m_frame[m_nLength - 1] = FrameChecksum(m_frame, m_nLength);
        return m_frame;
    }
    const unsigned char* Data() const { return m_frame; }
    int Length() const { return m_nLength; }

private:
    bool InData(int offset, int n) const {
        return n >= 0 && offset >= 6 && offset + n <= m_nLength - 1;
    }

    unsigned char m_frame[MAX_REQUEST] = {};
    int m_nLength = 0;
};

} // namespace vrn
