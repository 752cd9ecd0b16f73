// The simulator's own frame codec against the protocol's golden bytes.
#include "SimFrame.h"

#include <gtest/gtest.h>

using vrnsim::Bytes;

namespace {

TEST(SimCodec, ChecksumAndValidityFollowTheGoldenFrames) {
    struct Case {
        const char* name;
        Bytes frame;
        uint8_t checksum; // over offsets 3 .. size-2
        bool valid;
    };
    const Case cases[] = {
        {"system information", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24}, 0x24, true},
        {"raid set 3", {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x03, 0x25}, 0x25, true},
        {"answer A", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x41, 0x42}, 0x42, true},
        {"wrong checksum", {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x25}, 0x24, false},
        {"length one too long", {0x5E, 0x01, 0x61, 0x02, 0x00, 0x23, 0x25}, 0x25, false},
        {"wrong start", {0x5E, 0x02, 0x61, 0x01, 0x00, 0x23, 0x24}, 0x24, false},
        {"checksum wraps", {0x5E, 0x01, 0x61, 0x02, 0x00, 0xF0, 0x20, 0x12}, 0x12, true},
        {"four bytes", {0x5E, 0x01, 0x61, 0x00}, 0x00, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.checksum, vrnsim::FrameChecksum(c.frame));
        EXPECT_EQ(c.valid, vrnsim::FrameValid(c.frame));
    }
    EXPECT_EQ(Bytes({0x5E, 0x01, 0x61, 0x01, 0x00, 0x4A, 0x4B}), vrnsim::BuildAnswer('J'));
    const uint8_t port[2] = {0x0A, 0x1A};
    EXPECT_EQ(Bytes({0x5E, 0x01, 0x61, 0x02, 0x00, 0x0A, 0x1A, 0x26}), vrnsim::BuildFrame(port));
}

TEST(SimCodec, CollectorCutsAStreamIntoFrames) {
    const Bytes sys = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
    const Bytes badSum = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x99};
    struct Case {
        const char* name;
        std::vector<Bytes> feeds; // delivered 10 ms apart
        size_t frames;
        uint64_t badFrames;
        uint64_t junk;
        size_t pending;
    };
    Bytes two = sys;
    two.insert(two.end(), sys.begin(), sys.end());
    const Case cases[] = {
        {"one frame", {sys}, 1, 0, 0, 0},
        {"byte by byte", {{0x5E}, {0x01}, {0x61}, {0x01}, {0x00}, {0x23}, {0x24}}, 1, 0, 0, 0},
        {"two in one read", {two}, 2, 0, 0, 0},
        {"junk first", {{0x00, 0xFF, 0x5E, 0x01, 0x62}, sys}, 1, 0, 5, 0},
        {"bad checksum still a frame", {badSum}, 1, 1, 0, 0},
        {"incomplete", {{0x5E, 0x01, 0x61, 0x05, 0x00, 0x23}}, 0, 0, 0, 6},
        // A length no host request can have marks the start bytes as noise.
        {"absurd length", {{0x5E, 0x01, 0x61, 0xFF, 0xFF}, sys}, 1, 0, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vrnsim::CFrameCollector line;
        std::vector<Bytes> out;
        int64_t t = 1000;
        for (const Bytes& f : c.feeds) {
            line.Feed(f, t, out);
            t += 10;
        }
        EXPECT_EQ(c.frames, out.size());
        for (const Bytes& f : out)
            EXPECT_EQ(7u, f.size());
        EXPECT_EQ(c.frames, line.Stats().frames);
        EXPECT_EQ(c.badFrames, line.Stats().badFrames);
        EXPECT_EQ(c.junk, line.Stats().junkBytes);
        EXPECT_EQ(c.pending, line.Pending());
    }
}

TEST(SimCodec, PartialFrameIsDroppedAfterHalfASecondOfQuiet) {
    vrnsim::CFrameCollector line;
    std::vector<Bytes> out;
    line.Feed(Bytes{0x5E, 0x01, 0x61, 0x01, 0x00}, 1000, out);
    EXPECT_EQ(500, line.MsUntilExpiry(1000));
    line.Expire(1499);
    EXPECT_EQ(5u, line.Pending());
    // The rest after the quiet period no longer completes it: it starts over as junk.
    line.Feed(Bytes{0x23, 0x24}, 1500, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(1u, line.Stats().abandoned);
    EXPECT_EQ(2u, line.Stats().junkBytes);
    EXPECT_EQ(-1, line.MsUntilExpiry(1500));
    line.Feed(Bytes{0x5E, 0x01, 0x61, 0x01, 0x00}, 2000, out);
    line.Feed(Bytes{0x23, 0x24}, 2400, out);
    EXPECT_EQ(1u, out.size());
}

} // namespace
