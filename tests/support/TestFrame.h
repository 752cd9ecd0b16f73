// Command frames built by the tests themselves, independently of the library's codec, so that
// a mistake in the codec cannot pass by being made twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrntest {

using Bytes = std::vector<uint8_t>;

// The 8-bit sum of the length field and the payload (offsets 3 up to the end of `frame`).
inline uint8_t SumFrom3(const Bytes& frame) {
    uint8_t sum = 0;
    for (size_t i = 3; i < frame.size(); ++i)
        sum = static_cast<uint8_t>(sum + frame[i]);
    return sum;
}

// Bytes written out to the last one but the checksum, which is appended: for frames whose
// length field is made to disagree, or that are larger than any payload builder allows.
inline Bytes Sealed(Bytes frame) {
    const uint8_t sum = SumFrom3(frame);
    frame.push_back(sum);
    return frame;
}

// 5E 01 61, the payload's length (little-endian), the payload, the checksum.
inline Bytes Frame(const Bytes& payload) {
    Bytes f = {0x5E, 0x01, 0x61, static_cast<uint8_t>(payload.size() & 0xFF),
               static_cast<uint8_t>((payload.size() >> 8) & 0xFF)};
    f.insert(f.end(), payload.begin(), payload.end());
    return Sealed(f);
}

} // namespace vrntest
