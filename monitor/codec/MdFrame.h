// MD4 and MD5 share everything but their block function: 64-byte blocks read as sixteen
// little-endian words, the same starting state, the tail closed by 0x80 and the message
// length in bits, and the state written out little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mdframe {

using BlockFn = void (*)(std::uint32_t state[4], const unsigned char* block);

inline std::uint32_t Rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline void LoadWords(const unsigned char* p, std::uint32_t words[16]) {
    for (int i = 0; i < 16; ++i) {
        words[i] = std::uint32_t(p[4 * i]) | std::uint32_t(p[4 * i + 1]) << 8 |
                   std::uint32_t(p[4 * i + 2]) << 16 | std::uint32_t(p[4 * i + 3]) << 24;
    }
}

inline void Digest(const void* data, std::size_t len, BlockFn block, unsigned char digest[16]) {
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const auto* p = static_cast<const unsigned char*>(data);
    const std::uint64_t bits = std::uint64_t(len) * 8;
    std::size_t left = len;
    while (left >= 64) {
        block(state, p);
        p += 64;
        left -= 64;
    }
    // The tail, the 0x80 marker and the bit length need one or two more blocks.
    unsigned char tail[128] = {};
    if (left > 0) {
        std::memcpy(tail, p, left);
    }
    tail[left] = 0x80;
    const std::size_t total = left + 1 + 8 <= 64 ? 64 : 128;
    for (int i = 0; i < 8; ++i) {
        tail[total - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    block(state, tail);
    if (total == 128) {
        block(state, tail + 64);
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<unsigned char>(state[i] >> (8 * j));
        }
    }
}

} // namespace mdframe
