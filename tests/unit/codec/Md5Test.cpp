#include "Md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct CDigestCase {
    std::string input;
    const char* hex;
};

// RFC 1321 appendix A.5 test suite.
const CDigestCase kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, PublishedVectorsGiveLowerCaseHex) {
    for (const auto& c : kRfc1321) {
        EXPECT_EQ(Md5Hex(c.input), c.hex) << "input '" << c.input << "'";
    }
}

TEST(Md5, RawDigestMatchesHexForm) {
    for (const auto& c : kRfc1321) {
        unsigned char digest[16];
        Md5(c.input.data(), c.input.size(), digest);
        char hex[33];
        for (int i = 0; i < 16; ++i) {
            std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
        }
        EXPECT_STREQ(hex, c.hex) << "input '" << c.input << "'";
    }
}

// Lengths around the 56- and 64-byte padding boundaries take different tail paths; a digest
// that ignored the byte count would give equal results for all of them.
TEST(Md5, PaddingBoundariesGiveDistinctDigests) {
    std::string prev;
    for (std::size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
        const std::string digest = Md5Hex(std::string(len, 'x'));
        EXPECT_NE(digest, prev) << len;
        prev = digest;
    }
    // A many-block input, value taken from an independent implementation.
    EXPECT_EQ(Md5Hex(std::string(1000, 'a')), "cabe45dcc9ae5b66ba86600cca6b8ba8");
}

} // namespace
