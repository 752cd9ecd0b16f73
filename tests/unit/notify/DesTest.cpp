// DES known-answer tests: FIPS 81, the NBS validation triples and NIST SP 800-17 entries.
#include "Des.h"
#include "HexUtil.h"

#include <gtest/gtest.h>

namespace {

struct CDesCase {
    const char* key;
    const char* plain;
    const char* cipher;
};

const CDesCase kKnownAnswers[] = {
    {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"}, // "Now is t"
    {"0123456789abcdef", "68652074696d6520", "6a271787ab8883f9"}, // "he time "
    {"0123456789abcdef", "666f7220616c6c20", "893d51ec4b563b53"}, // "for all "
    {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
    {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
    {"3000000000000000", "1000000000000001", "958e6e627a05557b"},
    {"1111111111111111", "1111111111111111", "f40379ab9e0ec533"},
    {"0123456789abcdef", "1111111111111111", "17668dfc7292532d"},
    {"1111111111111111", "0123456789abcdef", "8a5ae1f81ab8f2dd"},
    {"fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
    {"0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    {"07a1133e4a0b2686", "0248d43806f67172", "868ebb51cab4599a"},
    {"3849674c2602319e", "51454b582ddf440a", "7178876e01f19b2a"},
    {"04b915ba43feb5b6", "42fd443059577fa2", "af37fb421f8c4095"},
    {"0113b970fd34f2ce", "059b5e0851cf143a", "86a560f10ec6d85b"},
    {"0170f175468fb5e6", "0756d8e0774761d2", "0cd3da020021dc09"},
    {"43297fad38e373fe", "762514b829bf486a", "ea676b2cb7db2b7a"},
    {"07a7137045da2a16", "3bdd119049372802", "dfd64a815caf1a0f"},
    {"04689104c2fd3b2f", "26955f6835af609a", "5c513c9c4886c088"},
    {"37d06bb516cb7546", "164d5e404f275232", "0a2aeeae3ff4ab77"},
    {"1f08260d1ac2465e", "6b056e18759f5cca", "ef1bf03e5dfa575a"},
    {"584023641aba6176", "004bd6ef09176062", "88bf0db6d70dee56"},
    {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
    {"0101010101010101", "4000000000000000", "dd7f121ca5015619"},
    {"0101010101010101", "0000000000000001", "166b40b44aba4bd6"},
    {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
    {"4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
    {"1046913489980131", "0000000000000000", "88d55e54f54c97b4"},
};

TEST(Des, KnownAnswersEncryptAndDecryptBack) {
    for (const auto& c : kKnownAnswers) {
        const auto key = FromHex(c.key);
        const auto plain = FromHex(c.plain);
        unsigned char out[8];
        DesEncryptBlock(key.data(), plain.data(), out);
        EXPECT_EQ(ToHex(out, 8), c.cipher) << "key " << c.key << " plain " << c.plain;
        unsigned char back[8];
        DesDecryptBlock(key.data(), out, back);
        EXPECT_EQ(ToHex(back, 8), c.plain) << "key " << c.key;
    }
}

// The parity bits take no part: flipping every key byte's low bit leaves the result alone.
TEST(Des, ParityBitsAreIgnored) {
    for (const auto& c : kKnownAnswers) {
        auto key = FromHex(c.key);
        for (auto& b : key) {
            b ^= 1;
        }
        const auto plain = FromHex(c.plain);
        unsigned char out[8];
        DesEncryptBlock(key.data(), plain.data(), out);
        EXPECT_EQ(ToHex(out, 8), c.cipher) << "key " << c.key;
    }
}

} // namespace
