#include "HmacMd5.h"

#include "Md5.h"

#include <cstring>
#include <vector>

void HmacMd5(const unsigned char* message, std::size_t messageLen, const unsigned char* key,
             std::size_t keyLen, unsigned char digest[16]) {
    constexpr std::size_t kBlock = 64;
    unsigned char block[kBlock] = {};
    if (keyLen > kBlock) {
        Md5(key, keyLen, block);
    } else if (keyLen > 0) {
        std::memcpy(block, key, keyLen);
    }

    std::vector<unsigned char> inner(kBlock + messageLen);
    for (std::size_t i = 0; i < kBlock; ++i) {
        inner[i] = block[i] ^ 0x36;
    }
    if (messageLen > 0) {
        std::memcpy(inner.data() + kBlock, message, messageLen);
    }
    unsigned char innerDigest[16];
    Md5(inner.data(), inner.size(), innerDigest);

    unsigned char outer[kBlock + 16];
    for (std::size_t i = 0; i < kBlock; ++i) {
        outer[i] = block[i] ^ 0x5c;
    }
    std::memcpy(outer + kBlock, innerDigest, 16);
    Md5(outer, sizeof outer, digest);
}
