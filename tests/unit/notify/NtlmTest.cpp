// NTLM version 1 pieces against the published test values and the message layouts.
#include "Ntlm.h"
#include "HexUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::uint16_t U16(const std::vector<unsigned char>& m, std::size_t at) {
    return static_cast<std::uint16_t>(m[at] | m[at + 1] << 8);
}
std::uint32_t U32(const std::vector<unsigned char>& m, std::size_t at) {
    return std::uint32_t(m[at]) | std::uint32_t(m[at + 1]) << 8 | std::uint32_t(m[at + 2]) << 16 |
           std::uint32_t(m[at + 3]) << 24;
}

TEST(Ntlm, PasswordHashes) {
    const struct {
        std::string password;
        const char* hex;
    } cases[] = {
        {"Password", "a4f49c406510bdcab6824ee7c30fd852"},
        {"1", "69943c5e63b4d2c104dbbcc15138b72b"},
        {std::string(300, 'A'), "369dae06847ee1c14a9439ea6f448c65"},
    };
    for (const auto& c : cases) {
        unsigned char hash[16];
        NtlmHash(c.password, hash);
        EXPECT_EQ(ToHex(hash, 16), c.hex) << c.password.size() << " characters";
    }
}

TEST(Ntlm, KeySpreadingSetsOddParity) {
    const auto hash = FromHex("a4f49c406510bdcab6824ee7c30fd852");
    unsigned char padded[21] = {};
    std::memcpy(padded, hash.data(), 16);
    const char* expected[3] = {"a47a26890729437a", "cb5ba149ef3e0d1f", "d929800101010101"};
    for (int i = 0; i < 3; ++i) {
        unsigned char key[8];
        NtlmDesKey(padded + 7 * i, key);
        EXPECT_EQ(ToHex(key, 8), expected[i]) << "key " << i;
        for (unsigned char b : key) {
            int ones = 0;
            for (unsigned char v = b; v; v >>= 1) {
                ones += v & 1;
            }
            EXPECT_EQ(ones % 2, 1) << "key " << i;
        }
    }
}

TEST(Ntlm, ResponsesOfPublishedValues) {
    const struct {
        std::string password;
        const char* challenge;
        const char* response;
    } cases[] = {
        {"Password", "0123456789abcdef", "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {"testpass", "739d406150e0c8d7", "a98572178cbaff2ffb17aaa6110ee55e35c5177b47d75e39"},
    };
    for (const auto& c : cases) {
        unsigned char hash[16];
        NtlmHash(c.password, hash);
        const auto challenge = FromHex(c.challenge);
        unsigned char response[24];
        NtlmResponse(hash, challenge.data(), response);
        EXPECT_EQ(ToHex(response, 24), c.response) << c.password;
    }
}

TEST(Ntlm, NegotiateMessageBytes) {
    const auto m = NtlmNegotiateMessage();
    EXPECT_EQ(ToHex(m.data(), m.size()),
              "4e544c4d53535000"                   // "NTLMSSP" and a zero byte
              "01000000"                           // type 1
              "02020000"                           // OEM | NTLM
              "00000000000000000000000000000000"); // empty domain and workstation
}

TEST(Ntlm, AuthenticateMessageLayout) {
    unsigned char nt[24];
    for (int i = 0; i < 24; ++i) {
        nt[i] = static_cast<unsigned char>(0xa0 + i);
    }
    const struct {
        std::string account;
        std::size_t size;
    } cases[] = {{"", 88}, {"U", 90}, {"User", 96}, {"abcdefghij", 108}};
    for (const auto& c : cases) {
        const auto m = NtlmAuthenticateMessage(c.account, nt);
        const std::uint32_t u = static_cast<std::uint32_t>(2 * c.account.size());
        ASSERT_EQ(m.size(), c.size) << c.account;
        EXPECT_EQ(std::memcmp(m.data(), "NTLMSSP\0", 8), 0);
        EXPECT_EQ(U32(m, 8), 3u);
        const struct {
            std::size_t at;
            std::uint16_t length;
            std::uint32_t offset;
        } fields[] = {{12, 0, 64 + u}, {20, 24, 64 + u}, {28, 0, 64}, {36, std::uint16_t(u), 64},
                      {44, 0, 64 + u}, {52, 0, 88 + u}};
        for (const auto& f : fields) {
            EXPECT_EQ(U16(m, f.at), f.length) << c.account << " field at " << f.at;
            EXPECT_EQ(U16(m, f.at + 2), f.length) << c.account << " max length at " << f.at;
            EXPECT_EQ(U32(m, f.at + 4), f.offset) << c.account << " offset at " << f.at;
        }
        EXPECT_EQ(U32(m, 60), 0x201u);
        for (std::size_t i = 0; i < c.account.size(); ++i) {
            EXPECT_EQ(m[64 + 2 * i], static_cast<unsigned char>(c.account[i]));
            EXPECT_EQ(m[64 + 2 * i + 1], 0);
        }
        EXPECT_EQ(std::memcmp(m.data() + 64 + u, nt, 24), 0) << c.account;
    }
}

TEST(Ntlm, ServerChallengeNeedsAWholeMessage) {
    std::vector<unsigned char> message(600, 0);
    for (int i = 0; i < 8; ++i) {
        message[24 + i] = static_cast<unsigned char>(0x11 * (i + 1));
    }
    const struct {
        int length;
        bool ok;
    } cases[] = {{0, false},  {24, false}, {31, false}, {32, true},
                 {200, true}, {512, true}, {513, false}};
    for (const auto& c : cases) {
        unsigned char challenge[8] = {};
        EXPECT_EQ(NtlmServerChallenge(message.data(), c.length, challenge), c.ok) << c.length;
        if (c.ok) {
            EXPECT_EQ(ToHex(challenge, 8), "1122334455667788");
        }
    }
}

} // namespace
