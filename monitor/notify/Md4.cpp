#include "Md4.h"

#include <cstdint>

#include "MdFrame.h"

namespace {

using mdframe::Rotl;
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (~x & z);
}
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (x & z) | (y & z);
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return x ^ y ^ z;
}

void Block(std::uint32_t state[4], const unsigned char* p) {
    std::uint32_t x[16];
    mdframe::LoadWords(p, x);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    static const int kS1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rotl(a + F(b, c, d) + x[i], kS1[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    static const int kS2[4] = {3, 5, 9, 13};
    static const int kX2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rotl(a + G(b, c, d) + x[kX2[i]] + 0x5a827999u, kS2[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    static const int kS3[4] = {3, 9, 11, 15};
    static const int kX3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rotl(a + H(b, c, d) + x[kX3[i]] + 0x6ed9eba1u, kS3[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void Md4(const void* data, std::size_t len, unsigned char digest[16]) {
    mdframe::Digest(data, len, Block, digest);
}
