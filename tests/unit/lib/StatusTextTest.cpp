// The words for a status: every code the library returns has its own, an answer byte is shown
// as the byte it is, and a text stays valid for whoever keeps it.
#include "Vrnlib.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(StatusText, EveryStatusHasWordsOfItsOwn) {
    const int named[] = {VRN_OK,           VRN_NOT_IDENTIFIED, VRN_BAD_FRAME,    VRN_NO_PORT,
                         VRN_WRITE_FAILED, VRN_NO_REPLY,       VRN_BAD_ARGUMENT, VRN_REFUSED_M,
                         VRN_REFUSED_J,    VRN_NO_BUFFER,      VRN_NO_SOCKET,    VRN_OPEN_FAILED,
                         VRN_BIND_FAILED};
    std::set<std::string> seen;
    for (int status = 0; status <= 0xFF; ++status) {
        const char* text = VrnStatusText(status);
        ASSERT_NE(nullptr, text) << status;
        EXPECT_TRUE(seen.insert(text).second) << status << " shares \"" << text << "\"";
        EXPECT_EQ(text, VrnStatusText(status)) << "the same text, kept, for " << status;
    }
    for (int status : named)
        EXPECT_EQ(std::string::npos, std::string(VrnStatusText(status)).find("answered")) << status;
    const struct {
        int status;
        const char* text;
    } answers[] = {{0x42, "controller answered 0x42"},
                   {'M', "controller answered 0x4D"}, // only 8 is the refusal 'M'
                   {0xFF, "controller answered 0xFF"},
                   {-1, "unknown status"},
                   {0x100, "unknown status"}};
    for (const auto& c : answers)
        EXPECT_STREQ(c.text, VrnStatusText(c.status)) << c.status;
}

} // namespace
