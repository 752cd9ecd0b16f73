// The frame layer held to hand-computed bytes: checksum, validity and request building.
#include <gtest/gtest.h>

#include "ScriptedPeer.h"
#include "VrnFrame.h"

namespace {

TEST(FrameChecksum, SumsLengthAndPayloadOnly) {
    struct Case {
        const char* name;
        Bytes frame; // the checksum byte position holds a placeholder
        unsigned char expected;
    };
    const Case cases[] = {
        {"system information", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x00}, 0x24},
        {"raid set 3", {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x00}, 0x25},
        {"start bytes not summed", {0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x23, 0x00}, 0x24},
        {"wraps modulo 256", {0x5E, 0x01, 0x61, 0x03, 0x00, 0xFF, 0xFF, 0x02, 0x00}, 0x03},
        {"four bytes", {0x5E, 0x01, 0x61, 0x01}, 0x00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTestSession::CalCheckSum(c.frame.data(), static_cast<int>(c.frame.size())),
                  c.expected)
            << c.name;
    }
}

TEST(FrameValidity, RejectsEveryDamagedPart) {
    const Bytes good = {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x25};
    struct Case {
        const char* name;
        Bytes frame;
        bool valid;
    };
    auto with = [&](size_t at, unsigned char v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    // Length field off by one in either direction, with the checksum made to match, so only
    // the length test can catch it.
    Bytes longField = {0x5E, 0x01, 0x61, 0x03, 0x00, 0x20, 0x03, 0x26};
    Bytes shortField = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x20, 0x03, 0x24};
    Bytes highByte = {0x5E, 0x01, 0x61, 0x02, 0x01, 0x20, 0x03, 0x26};
    const Case cases[] = {
        {"good", good, true},
        {"one-byte answer", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x41, 0x42}, true},
        {"first start byte", with(0, 0x5F), false},
        {"second start byte", with(1, 0x00), false},
        {"third start byte", with(2, 0x41), false},
        {"length one too long", longField, false},
        {"length one too short", shortField, false},
        {"length high byte", highByte, false},
        {"checksum", with(7, 0x24), false},
        {"payload changed", with(6, 0x04), false},
        {"too short for a length", {0x5E, 0x01, 0x61, 0x00, 0x00}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTestSession::VrnCkFrameValid(c.frame.data(), c.frame.size()) != 0, c.valid)
            << c.name;
    }
}

TEST(FrameValidity, NeverReadsPastTheGivenLength) {
    // Only the first 3 bytes are handed over; the buffer behind them would pass as a frame.
    std::unique_ptr<unsigned char[]> exact(new unsigned char[3]{0x5E, 0x01, 0x61});
    EXPECT_FALSE(CTestSession::VrnCkFrameValid(exact.get(), 3));
    EXPECT_FALSE(CTestSession::VrnCkFrameValid(exact.get(), 1));
}

TEST(RequestBuilder, BuildsGoldenFrames) {
    struct Case {
        const char* name;
        unsigned char code;
        int total;
        std::vector<std::pair<int, unsigned char>> data;
        Bytes expected;
    };
    const Case cases[] = {
        {"system information", 0x23, 7, {}, {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}},
        {"identify", 0x13, 7, {}, {0x5E, 0x01, 0x61, 0x01, 0x00, 0x13, 0x14}},
        {"event index poll", 0x19, 7, {}, {0x5E, 0x01, 0x61, 0x01, 0x00, 0x19, 0x1A}},
        {"raid set 3", 0x20, 8, {{6, 3}}, {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x25}},
        {"write into the checksum is ignored",
         0x20,
         8,
         {{6, 3}, {7, 0x99}, {40, 1}},
         {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x25}},
    };
    for (const Case& c : cases) {
        vrn::CVrnRequest r(c.code, c.total);
        for (auto [at, v] : c.data)
            r.Set(at, v);
        const unsigned char* f = r.Seal();
        EXPECT_EQ(Bytes(f, f + r.Length()), c.expected) << c.name;
    }

    // The largest request (an HTTP piece of 1024 bytes) carries its length in both bytes.
    vrn::CVrnRequest big(0x16, 1031);
    const unsigned char* f = big.Seal();
    EXPECT_EQ(f[3], 0x01);
    EXPECT_EQ(f[4], 0x04);
    EXPECT_TRUE(vrn::FrameIsValid(f, 1031));
    EXPECT_EQ(vrn::CVrnRequest(0x16, 1032).Length(), 0);
}

} // namespace
