// The name the client greets the server with, whatever gethostname gave.
#include "SmtpConnection.h"

#include <gtest/gtest.h>

namespace {

TEST(EhloHostName, StandsInWhenTheLocalNameIsUnusable) {
    const struct {
        bool ok;
        const char* name;
        const char* ehlo;
    } cases[] = {
        {true, "vm", "vm"},
        {true, "raid-host.site.test", "raid-host.site.test"},
        {false, "garbage", "localhost"}, // the call failed: its buffer means nothing
        {true, "", "localhost"},
        {true, nullptr, "localhost"},
        {true, "two words", "localhost"},
        {true, "name\r\nMAIL FROM:<x>", "localhost"},
        {true, "tab\there", "localhost"},
        {true, "del\x7f", "localhost"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EhloHostName(c.ok, c.name), c.ehlo) << (c.name ? c.name : "(null)");
    }
}

} // namespace
