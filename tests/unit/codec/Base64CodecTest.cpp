#include "Base64Codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct CVector {
    std::string plain;
    std::string text;
};

// RFC 4648 section 10.
const CVector kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64Codec, PublishedVectorsBothDirections) {
    CBase64Codec codec;
    for (const auto& v : kRfc4648) {
        EXPECT_EQ(codec.Encode(v.plain), v.text);
        EXPECT_EQ(codec.Decode(v.text), v.plain);

        std::vector<char> dst(CBase64Codec::EncodedLength(int(v.plain.size())) + 1, '#');
        const int n = codec.Encode(reinterpret_cast<const unsigned char*>(v.plain.data()),
                                   int(v.plain.size()), dst.data());
        EXPECT_EQ(n, int(v.text.size()));
        EXPECT_STREQ(dst.data(), v.text.c_str());

        unsigned char out[16];
        std::memset(out, 0xEE, sizeof out);
        const int m = codec.Decode(v.text.c_str(), out, sizeof out);
        ASSERT_EQ(m, int(v.plain.size()));
        EXPECT_EQ(std::memcmp(out, v.plain.data(), v.plain.size()), 0);
        EXPECT_EQ(out[m], 0xEE) << "decoder wrote past its output";
    }
}

TEST(Base64Codec, EncodedLength) {
    const struct {
        int len;
        int expected;
    } cases[] = {{-5, 0}, {0, 0}, {1, 4}, {2, 4}, {3, 4}, {4, 8}, {300, 400}, {2147483647, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(CBase64Codec::EncodedLength(c.len), c.expected) << c.len;
    }
}

TEST(Base64Codec, DecodeSkipsCharactersOutsideTheAlphabet) {
    CBase64Codec codec;
    const struct {
        const char* text;
        std::string plain;
    } cases[] = {
        {"Zm9v\r\nYmFy", "foobar"}, // line break inside
        {"Zm 9v Ym Fy", "foobar"},  // blanks
        {"Zg==Zm8=", std::string("f\x06"
                                 "f",
                                 3)}, // "=" inside is skipped: same as "ZgZm8"
        {"ZgZm8", std::string("f\x06"
                              "f",
                              3)},
        {"Z", ""},        // a single final character gives nothing
        {"Zm9vY", "foo"}, // a final single character after a group
        {"!!!***", ""},   // nothing valid
        {"Zm9v\x80\xff"
         "YmFy",
         "foobar"}, // 8-bit bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codec.Decode(std::string_view(c.text)), c.plain) << c.text;
        unsigned char out[32] = {};
        const int n = codec.Decode(c.text, out, sizeof out);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.plain) << c.text;
    }
}

// The output bound is the whole point of the sized form: the bytes after dstSize stay intact.
TEST(Base64Codec, DecodeNeverWritesPastTheBound) {
    CBase64Codec codec;
    const std::string text = codec.Encode(std::string(100, 'Q'));
    for (int size : {0, 1, 2, 3, 4, 50, 99, 100, 101}) {
        std::vector<unsigned char> out(size + 8, 0xA5);
        const int n = codec.Decode(text.c_str(), out.data(), size);
        EXPECT_EQ(n, std::min(size, 100)) << size;
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(out[i], 'Q') << size;
        }
        for (std::size_t i = n; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0xA5) << "size " << size << " byte " << i;
        }
    }
    unsigned char one = 0;
    EXPECT_EQ(codec.Decode(nullptr, &one, 1), 0);
    EXPECT_EQ(codec.Decode("Zm9v", nullptr, 4), 0);
    EXPECT_EQ(codec.Decode("Zm9v", &one, -1), 0);
}

TEST(Base64Codec, RoundTripOfEveryByteValueAndLength) {
    CBase64Codec codec;
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    for (std::size_t len = 0; len <= all.size(); len += 37) {
        const std::string part = all.substr(0, len);
        const std::string text = codec.Encode(part);
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "no line breaks at any length";
        EXPECT_EQ(codec.Decode(text), part) << len;
    }
}

TEST(Base64Codec, EncodeRefusesNegativeLength) {
    CBase64Codec codec;
    char dst[4] = {'x', 'x', 'x', 'x'};
    const unsigned char src[1] = {0};
    EXPECT_EQ(codec.Encode(src, -1, dst), 0);
    EXPECT_EQ(dst[0], '\0');
    EXPECT_EQ(dst[1], 'x');
}

} // namespace
