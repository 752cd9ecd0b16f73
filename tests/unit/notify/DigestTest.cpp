// MD4 and HMAC-MD5 against their published vectors.
#include "HexUtil.h"
#include "HmacMd5.h"
#include "Md4.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Md4, PublishedVectors) {
    const struct {
        std::string input;
        const char* hex;
    } cases[] = {
        // RFC 1320 appendix A.5
        {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
        {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {"message digest", "d9130a8164549fe818874806e1c7014b"},
        {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "043f8582f241db351ce627e153e7f0e4"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "e33b4ddc9c38f2199c3e7b164fcc0536"},
        // curl's unit tests
        {"1", "8be1ec697b14ad3a53b371436120641d"},
        {"hello-you-fool", "a7161cad7ebedbbcf8c723102d2ce20b"},
    };
    for (const auto& c : cases) {
        unsigned char digest[16];
        Md4(c.input.data(), c.input.size(), digest);
        EXPECT_EQ(ToHex(digest, 16), c.hex) << "input '" << c.input << "'";
    }
}

TEST(HmacMd5, PublishedVectors) {
    const struct {
        std::vector<unsigned char> key;
        std::string data;
        const char* hex;
    } cases[] = {
        // RFC 2202 section 2, cases 1 to 7 (6 and 7 hash a key longer than a block first)
        {std::vector<unsigned char>(16, 0x0b), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {{'J', 'e', 'f', 'e'}, "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::vector<unsigned char>(16, 0xaa), std::string(50, '\xdd'),
         "56be34521d144c88dbb8c733f0e8b3f6"},
        {FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::string(50, '\xcd'),
         "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::vector<unsigned char>(16, 0x0c), "Test With Truncation",
         "56461ef2342edc00f9bab995690efd4c"},
        {std::vector<unsigned char>(80, 0xaa),
         "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::vector<unsigned char>(80, 0xaa),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
        // curl's unit tests
        {{'P', 'a', '5', '5', 'w', 'o', 'r', 'D'}, "1", "d129754358dcab78dfcd7f2b29311337"},
        {{'P', 'a', '5', '5', 'w', 'o', 'r', 'D'},
         "hello-you-fool",
         "75f1a7b9f540e5a498839f645a276dd0"},
        // CRAM-MD5 examples: RFC 2195 section 2 and curl test905
        {{'t', 'a', 'n', 's', 't', 'a', 'a', 'f', 't', 'a', 'n', 's', 't', 'a', 'a', 'f'},
         "<1896.697170952@postoffice.reston.mci.net>",
         "b913a602c7eda7a495b4e6e7334d3890"},
        {{'s', 'e', 'c', 'r', 'e', 't'},
         "<1972.987654321@curl>",
         "7031725599fdbb5d412689aa323e3e0b"},
    };
    for (const auto& c : cases) {
        unsigned char digest[16];
        HmacMd5(reinterpret_cast<const unsigned char*>(c.data.data()), c.data.size(), c.key.data(),
                c.key.size(), digest);
        EXPECT_EQ(ToHex(digest, 16), c.hex) << "data '" << c.data << "'";
    }
}

} // namespace
