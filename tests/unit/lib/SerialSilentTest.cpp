// The real thing once: a silent controller on a serial line, no sleeps shortened.
#include <gtest/gtest.h>

#include "PeerScript.h"

namespace {

TEST(SerialSilent, GivesUpAfterAboutThirtySeconds) {
    CPtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CVrnlib s;
    ASSERT_EQ(s.VrnInitSession(peer.Name().c_str()), VRN_OK);
    CPeerScript<CPtyPeer> script(peer, {Silence()});
    const auto t0 = std::chrono::steady_clock::now();
    int index = -1;
    EXPECT_EQ(s.VrnPollEvent(&index), VRN_NO_REPLY);
    const auto s30 =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(s30, 30000);
    EXPECT_LE(s30, 45000);
    EXPECT_EQ(index, -1);
}

} // namespace
