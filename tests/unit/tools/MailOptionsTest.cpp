// vrnmail's command line and its line-end conversion of the body.
#include "MailOptions.h"
#include "SmtpConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CParseCase {
    std::vector<const char*> args; // after the program name
    const char* error;             // nullptr: parses
};

bool Parse(const std::vector<const char*>& args, CMailOptions& options, std::string& error) {
    std::vector<const char*> argv = {"vrnmail"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseMailOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(MailOptions, UsageErrors) {
    const CParseCase cases[] = {
        {{"--server", "h", "--from", "a@b", "--to", "c@d", "--subject", "s", "--body", "x"},
         nullptr},
        {{"--from", "a@b", "--to", "c@d", "--subject", "s", "--body", "x"}, "--server"},
        {{"--server", "h", "--to", "c@d", "--subject", "s", "--body", "x"}, "--from"},
        {{"--server", "h", "--from", "a@b", "--to", " , ", "--subject", "s", "--body", "x"},
         "--to"},
        {{"--server", "h", "--from", "a@b", "--to", "c@d", "--subject", "s"}, "--body"},
        {{"--server", "h", "--from", "a@b", "--to", "c@d", "--body", "x", "--body-file", "f"},
         "either"},
        {{"--server", "h", "--port", "0", "--from", "a", "--to", "c", "--body", "x"}, "--port"},
        {{"--server", "h", "--port", "25x", "--from", "a", "--to", "c", "--body", "x"}, "--port"},
        {{"--server", "h", "--port", "65536", "--from", "a", "--to", "c", "--body", "x"}, "--port"},
        {{"--server", "h", "--auth", "digest", "--from", "a", "--to", "c", "--body", "x"},
         "--auth"},
        {{"--server", "h", "--auth", "login", "--from", "a", "--to", "c", "--body", "x"},
         "--account"},
        {{"--server", "h", "--password", "p", "--from", "a", "--to", "c", "--body", "x"},
         "--account"},
        {{"--server", "h", "--security", "ssl", "--from", "a", "--to", "c", "--body", "x"},
         "--security"},
        {{"--server", "h", "--security", "4", "--from", "a", "--to", "c", "--body", "x"},
         "--security"},
        {{"--server", "h", "--ca-file", "", "--from", "a", "--to", "c", "--body", "x"},
         "--ca-file"},
        {{"--server", "h", "--bogus", "1"}, "--bogus"},
        {{"--server"}, "needs a value"},
    };
    for (const auto& c : cases) {
        CMailOptions options;
        std::string error;
        const bool ok = Parse(c.args, options, error);
        std::string line;
        for (const char* a : c.args) {
            line += std::string(a) + " ";
        }
        EXPECT_EQ(ok, c.error == nullptr) << line << "-> " << error;
        if (c.error != nullptr) {
            EXPECT_NE(error.find(c.error), std::string::npos) << line << "-> " << error;
        }
    }
}

TEST(MailOptions, ValuesAndDefaults) {
    CMailOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--server", "mail.test", "--from", "a@b", "--to", "x@y, z@w,,", "--subject",
                       "S", "--body-file", "/tmp/b"},
                      options, error))
        << error;
    EXPECT_EQ(options.m_port, 25);
    EXPECT_FALSE(options.m_authenticate);
    EXPECT_EQ(options.m_method, -1);
    EXPECT_EQ(options.m_to, (std::vector<std::string>{"x@y", "z@w"}));
    EXPECT_TRUE(options.m_bodyFromFile);
    EXPECT_EQ(options.m_bodyFile, "/tmp/b");

    const struct {
        const char* name;
        int method;
    } methods[] = {{"auto", -1},
                   {"ntlm", AUTH_NTLM},
                   {"cram-md5", AUTH_CRAM_MD5},
                   {"login", AUTH_LOGIN},
                   {"plain", AUTH_PLAIN}};
    for (const auto& m : methods) {
        CMailOptions o;
        ASSERT_TRUE(Parse({"--server", "h", "--port", "2525", "--account", "acc", "--password",
                           "pw", "--auth", m.name, "--from", "a", "--to", "c", "--body", "x"},
                          o, error))
            << error;
        EXPECT_EQ(o.m_method, m.method) << m.name;
        EXPECT_TRUE(o.m_authenticate);
        EXPECT_EQ(o.m_port, 2525);
        EXPECT_EQ(o.m_account, "acc");
        EXPECT_EQ(o.m_password, "pw");
    }
}

TEST(MailOptions, SecurityModesAndTheirPorts) {
    const struct {
        std::vector<const char*> args;
        int security;
        int port;
    } cases[] = {
        {{}, SMTP_SECURITY_NONE, 25},
        {{"--security", "none"}, SMTP_SECURITY_NONE, 25},
        {{"--security", "starttls"}, SMTP_SECURITY_STARTTLS, 25},
        {{"--security", "2", "--port", "587"}, SMTP_SECURITY_STARTTLS_REQUIRED, 587},
        {{"--security", "starttls-required"}, SMTP_SECURITY_STARTTLS_REQUIRED, 25},
        // TLS from the first byte has a port of its own, unless one is given, in any order.
        {{"--security", "tls"}, SMTP_SECURITY_TLS, 465},
        {{"--security", "3"}, SMTP_SECURITY_TLS, 465},
        {{"--port", "2465", "--security", "tls"}, SMTP_SECURITY_TLS, 2465},
        {{"--port", "25", "--security", "tls"}, SMTP_SECURITY_TLS, 25},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = {
            "--server", "h",      "--from", "a",         "--to",
            "c",        "--body", "x",      "--ca-file", "/etc/ssl/extra.pem"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CMailOptions options;
        std::string error;
        ASSERT_TRUE(Parse(args, options, error)) << error;
        EXPECT_EQ(options.m_security, c.security) << c.args.size();
        EXPECT_EQ(options.m_port, c.port) << c.args.size();
        EXPECT_EQ(options.m_caFile, "/etc/ssl/extra.pem");
    }
}

TEST(MailOptions, BodyLineEndsBecomeCrLf) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\nb\n", "a\r\nb\r\n"}, {"a\r\nb", "a\r\nb"},
        {"a\rb", "a\r\nb"},       {"a\n\r\nb", "a\r\n\r\nb"},
        {"\n\n", "\r\n\r\n"},     {"a\r\r\n", "a\r\n\r\n"},
        {"no end", "no end"},     {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToCrLf(c.in), c.out);
    }
}

} // namespace
