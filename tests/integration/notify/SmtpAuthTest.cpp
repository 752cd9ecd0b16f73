// The four authentication methods against a scripted peer: the lines they send, byte for byte,
// and their answers to refusals, odd prompts and oversized or broken challenges.
#include "Base64Codec.h"
#include "SmtpConnection.h"
#include "SmtpTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string B64(std::string_view bytes) {
    return CBase64Codec().Encode(bytes);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = text.find("\r\n", pos);
        if (at == std::string::npos) {
            if (pos < text.size()) {
                lines.push_back(text.substr(pos) + "<unterminated>");
            }
            return lines;
        }
        lines.push_back(text.substr(pos, at - pos));
        pos = at + 2;
    }
}

// A challenge message of the given size with the server challenge at offset 24.
std::string NtlmChallengeMessage(std::size_t size, const std::string& challenge) {
    std::string m(size, '\0');
    std::memcpy(m.data(), "NTLMSSP\0\2\0\0\0", std::min<std::size_t>(size, 12));
    if (size >= 32) {
        m.replace(24, 8, challenge);
    }
    return m;
}

// The server's answer to the client's "*" that abandons an exchange.
const std::string kAborted = "S:501 5.7.0 Auth aborted";

const std::string kPublishedChallenge("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);

struct CAuthCase {
    const char* name;
    int method;
    std::string account;
    std::string password;
    std::vector<std::string> script; // after EHLO
    bool result;
    std::vector<std::string> sent; // client lines after EHLO, QUIT excluded; empty: not checked
    double maxSeconds = 1.0;
};

void RunAuthCases(const std::vector<CAuthCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(Greeted(c.script));
        const auto start = std::chrono::steady_clock::now();
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            EXPECT_EQ(smtp.Authenticate(c.method, c.account, c.password), c.result);
        }
        EXPECT_LE(SecondsSince(start), c.maxSeconds);
        std::vector<std::string> sent = Lines(AfterEhlo(server.Received()));
        if (!sent.empty() && sent.back() == "QUIT") {
            sent.pop_back();
        }
        if (!c.sent.empty()) {
            EXPECT_EQ(sent, c.sent);
        }
    }
}

TEST(SmtpAuth, Login) {
    const std::string user = "S:334 VXNlcm5hbWU6", pass = "S:334 UGFzc3dvcmQ6";
    RunAuthCases({
        {"accepted",
         AUTH_LOGIN,
         "tim",
         "secret",
         {"C", user, "C", pass, "C", "S:235 ok"},
         true,
         {"AUTH LOGIN", B64("tim"), B64("secret")}},
        {"wrong password",
         AUTH_LOGIN,
         "tim",
         "bad",
         {"C", user, "C", pass, "C", "S:535 no"},
         false,
         {"AUTH LOGIN", B64("tim"), B64("bad")}},
        {"503 means no authentication needed",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:503 already"},
         true,
         {"AUTH LOGIN"}},
        {"unknown command", AUTH_LOGIN, "tim", "x", {"C", "S:502 no"}, false, {"AUTH LOGIN"}},
        {"prompt differing in letter case",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 " + B64("username:"), "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"prompt with more after it",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 " + B64("Username: "), "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"aiosmtpd's own prompts",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 VXNlciBOYW1lAA==", "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"wrong second prompt",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", user, "C", "S:334 " + B64("Passwort:"), "C", kAborted},
         false,
         {"AUTH LOGIN", B64("tim"), "*"}},
        {"account refused",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", user, "C", "S:535 who"},
         false,
         {"AUTH LOGIN", B64("tim")}},
        {"empty account and password still sent",
         AUTH_LOGIN,
         "",
         "",
         {"C", user, "C", pass, "C", "S:235 ok"},
         true,
         {"AUTH LOGIN", "", ""}},
        {"prompt longer than the work buffer",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 " + std::string(252, 'A'), "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"prompt of exactly 255 characters is still read",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 VXNlcm5hbWU6" + std::string(239, '='), "C", "S:535 no"},
         false,
         {"AUTH LOGIN", B64("tim")}},
        {"prompt of 256 characters is refused",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 VXNlcm5hbWU6" + std::string(240, '='), "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"invalid Base64 prompt",
         AUTH_LOGIN,
         "tim",
         "x",
         {"C", "S:334 ****!!!!", "C", kAborted},
         false,
         {"AUTH LOGIN", "*"}},
        {"server closes after AUTH", AUTH_LOGIN, "tim", "x", {"C", "X"}, false, {"AUTH LOGIN"}},
    });
}

TEST(SmtpAuth, Plain) {
    RunAuthCases({
        {"one-character account and password",
         AUTH_PLAIN,
         "a",
         "b",
         {"C", "S:334 ", "C", "S:235 ok"},
         true,
         {"AUTH PLAIN", "YQBhAGI="}},
        {"RFC 4954 example",
         AUTH_PLAIN,
         "test",
         "1234",
         {"C", "S:334 ", "C", "S:235 ok"},
         true,
         {"AUTH PLAIN", B64(std::string("test\0test\0"
                                        "1234",
                                        14))}},
        {"refused",
         AUTH_PLAIN,
         "a",
         "b",
         {"C", "S:334 ", "C", "S:535 no"},
         false,
         {"AUTH PLAIN", "YQBhAGI="}},
        {"503", AUTH_PLAIN, "a", "b", {"C", "S:503 fine"}, true, {"AUTH PLAIN"}},
        {"504", AUTH_PLAIN, "a", "b", {"C", "S:504 unknown"}, false, {"AUTH PLAIN"}},
    });
}

TEST(SmtpAuth, CramMd5) {
    const std::string rfcChallenge =
        "S:334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+";
    RunAuthCases({
        {"RFC 2195 example",
         AUTH_CRAM_MD5,
         "tim",
         "tanstaaftanstaaf",
         {"C", rfcChallenge, "C", "S:235 ok"},
         true,
         {"AUTH CRAM-MD5", "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw"}},
        {"curl test905",
         AUTH_CRAM_MD5,
         "user",
         "secret",
         {"C", "S:334 " + B64("<1972.987654321@curl>"), "C", "S:235 ok"},
         true,
         {"AUTH CRAM-MD5", B64("user 7031725599fdbb5d412689aa323e3e0b")}},
        {"challenge ends at its first zero byte",
         AUTH_CRAM_MD5,
         "user",
         "secret",
         {"C", "S:334 " + B64(std::string("<1972.987654321@curl>\0tail", 26)), "C", "S:235 ok"},
         true,
         {"AUTH CRAM-MD5", B64("user 7031725599fdbb5d412689aa323e3e0b")}},
        {"refused", AUTH_CRAM_MD5, "tim", "wrong", {"C", rfcChallenge, "C", "S:535 no"}, false, {}},
        {"503", AUTH_CRAM_MD5, "tim", "x", {"C", "S:503 fine"}, true, {"AUTH CRAM-MD5"}},
        {"challenge longer than the work buffer",
         AUTH_CRAM_MD5,
         "tim",
         "x",
         {"C", "S:334 " + B64(std::string(200, 'c')), "C", kAborted},
         false,
         {"AUTH CRAM-MD5", "*"}},
        {"no reply", AUTH_CRAM_MD5, "tim", "x", {"C", "P:2500"}, false, {"AUTH CRAM-MD5"}, 2.8},
    });
}

TEST(SmtpAuth, Ntlm) {
    // The published NTLM test values: user "User", password "Password".
    const std::string type2 = "S:334 " + B64(NtlmChallengeMessage(48, kPublishedChallenge));
    const std::string negotiate = "auth ntlm TlRMTVNTUAABAAAAAgIAAAAAAAAAAAAAAAAAAAAAAAA=";
    std::string type3(64 + 8 + 24, '\0');
    {
        const unsigned char head[64] = {
            'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 3, 0, 0, 0, // type 3
            0,   0,   0,   0,   72,  0,   0,   0,             // LM: empty at 64 + U
            24,  0,   24,  0,   72,  0,   0,   0,             // NT: 24 bytes at 64 + U
            0,   0,   0,   0,   64,  0,   0,   0,             // domain: empty at 64
            8,   0,   8,   0,   64,  0,   0,   0,             // user: 8 bytes at 64
            0,   0,   0,   0,   72,  0,   0,   0,             // workstation: empty at 64 + U
            0,   0,   0,   0,   96,  0,   0,   0,             // session key: empty at 88 + U
            1,   2,   0,   0};                                // Unicode | NTLM
        std::memcpy(type3.data(), head, 64);
        std::memcpy(type3.data() + 64, "U\0s\0e\0r\0", 8);
        const unsigned char nt[24] = {0x67, 0xc4, 0x30, 0x11, 0xf3, 0x02, 0x98, 0xa2,
                                      0xad, 0x35, 0xec, 0xe6, 0x4f, 0x16, 0x33, 0x1c,
                                      0x44, 0xbd, 0xbe, 0xd9, 0x27, 0x84, 0x1f, 0x94};
        std::memcpy(type3.data() + 72, nt, 24);
    }
    const std::string tooLong = "S:334 " + B64(NtlmChallengeMessage(600, kPublishedChallenge));
    RunAuthCases({
        {"published values",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", type2, "C", "S:235 ok"},
         true,
         {negotiate, B64(type3)}},
        {"challenge reply in pieces",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "R:3", "P:100", "R:34 " + type2.substr(6, 10), "P:100", "R:" + type2.substr(16),
          "R:\r\n", "C", "S:235 ok"},
         true,
         {negotiate, B64(type3)}},
        {"credentials refused",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", type2, "C", "S:535 no"},
         false,
         {negotiate, B64(type3)}},
        {"no NTLM on this server",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:504 unknown"},
         false,
         {negotiate}},
        {"503 is no success for NTLM",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:503 fine"},
         false,
         {negotiate}},
        {"challenge message of 31 bytes",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:334 " + B64(NtlmChallengeMessage(31, kPublishedChallenge)), "C", kAborted},
         false,
         {negotiate, "*"}},
        {"challenge message of 513 bytes",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:334 " + B64(NtlmChallengeMessage(513, kPublishedChallenge)), "C", kAborted},
         false,
         {negotiate, "*"}},
        {"challenge message of 512 bytes",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:334 " + B64(NtlmChallengeMessage(512, kPublishedChallenge)), "C", "S:235 ok"},
         true,
         {negotiate, B64(type3)}},
        {"challenge reply longer than the receive buffer",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:334 " + std::string(2100, 'A')},
         false,
         {negotiate}},
        {"invalid Base64 challenge",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "S:334 %%%%^^^^", "C", kAborted},
         false,
         {negotiate, "*"}},
        {"challenge never comes",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "P:2500"},
         false,
         {negotiate},
         2.8},
        {"final answer never comes",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", type2, "C", "P:2500"},
         false,
         {negotiate, B64(type3)},
         2.8},
        {"server closes inside the challenge",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", "R:334 TlRMTVNT", "X"},
         false,
         {negotiate}},
        {"oversized challenge stays refused",
         AUTH_NTLM,
         "User",
         "Password",
         {"C", tooLong, "C", kAborted},
         false,
         {negotiate, "*"}},
    });
}

TEST(SmtpAuth, EmptyNtlmAccountSendsAZeroLengthName) {
    CScriptedServer server(Greeted(
        {"C", "S:334 " + B64(NtlmChallengeMessage(40, kPublishedChallenge)), "C", "S:235 ok"}));
    {
        CSMTPConnection smtp;
        ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
        EXPECT_TRUE(smtp.AuthNtlm("", ""));
    }
    const auto lines = Lines(AfterEhlo(server.Received()));
    ASSERT_GE(lines.size(), 2u);
    const std::string type3 = CBase64Codec().Decode(lines[1]);
    ASSERT_EQ(type3.size(), 88u);
    EXPECT_EQ(type3[36], 0) << "user name length";
    EXPECT_EQ(static_cast<unsigned char>(type3[40]), 64) << "user name offset";
}

TEST(SmtpAuth, NumbersThatAreNoMethodSendNothing) {
    for (int method : {3, 5, -1, 100}) {
        CScriptedServer server(Greeted({}));
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            EXPECT_FALSE(smtp.Authenticate(method, "a", "b")) << method;
        }
        EXPECT_EQ(AfterEhlo(server.Received()), "QUIT\r\n") << method;
    }
}

// The mailer's order on one session: NTLM, CRAM-MD5, LOGIN, PLAIN, the first success wins.
TEST(SmtpAuth, MailerOrderOnOneSession) {
    const struct {
        const char* name;
        std::vector<std::string> script;
        bool result;
        int method;
        std::vector<std::string> commands; // first word of each line the client sent
    } cases[] = {
        {"every AUTH answered with 503",
         {"C", "S:503 a", "C", "S:503 b"},
         true,
         AUTH_CRAM_MD5,
         {"auth", "AUTH"}},
        {"only LOGIN offered",
         {"C", "S:504 no ntlm", "C", "S:504 no cram", "C", "S:334 VXNlcm5hbWU6", "C",
          "S:334 UGFzc3dvcmQ6", "C", "S:235 ok"},
         true,
         AUTH_LOGIN,
         {"auth", "AUTH", "AUTH", B64("tim"), B64("pw")}},
        {"only PLAIN offered",
         {"C", "S:504 a", "C", "S:504 b", "C", "S:504 c", "C", "S:334 ", "C", "S:235 ok"},
         true,
         AUTH_PLAIN,
         {"auth", "AUTH", "AUTH", "AUTH", B64(std::string("tim\0tim\0pw", 10))}},
        {"LOGIN prompt refused, the exchange is abandoned and PLAIN follows",
         {"C", "S:504 a", "C", "S:504 b", "C", "S:334 VXNlciBOYW1lAA==", "C", kAborted, "C",
          "S:334 ", "C", "S:235 ok"},
         true,
         AUTH_PLAIN,
         {"auth", "AUTH", "AUTH", "*", "AUTH", B64(std::string("tim\0tim\0pw", 10))}},
        {"no AUTH at all",
         {"C", "S:502 a", "C", "S:502 b", "C", "S:502 c", "C", "S:502 d"},
         false,
         -1,
         {"auth", "AUTH", "AUTH", "AUTH"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(Greeted(c.script));
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            int method = -1;
            EXPECT_EQ(smtp.AuthenticateAny("tim", "pw", &method), c.result);
            EXPECT_EQ(method, c.method);
        }
        std::vector<std::string> sent = Lines(AfterEhlo(server.Received()));
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), "QUIT");
        sent.pop_back();
        std::vector<std::string> firstWords;
        for (const auto& line : sent) {
            firstWords.push_back(line.substr(0, line.find(' ')));
        }
        EXPECT_EQ(firstWords, c.commands);
    }
}

// A reply that comes after the read gave up belongs to the step that timed out. Whatever the
// session is asked next would be answered by it, so after a failed read inside a method no
// further method may run on that session: the server would take the next AUTH command for the
// answer to its prompt.
TEST(SmtpAuth, NoMethodAfterAReadGaveUp) {
    const std::string type2 = "S:334 " + B64(NtlmChallengeMessage(48, kPublishedChallenge));
    const std::string negotiate = "auth ntlm TlRMTVNTUAABAAAAAgIAAAAAAAAAAAAAAAAAAAAAAAA=";
    const std::string user = "S:334 VXNlcm5hbWU6", pass = "S:334 UGFzc3dvcmQ6";
    // The server stays in its exchange: every line the client sends after a late prompt is
    // taken as the answer to it.
    const struct {
        const char* name;
        std::vector<std::string> script;
        std::vector<std::string> sent; // client lines after EHLO, QUIT excluded
    } cases[] = {
        {"NTLM challenge after the time-out",
         {"C", "P:500", type2, "C", "S:535 bad answer", "C", user, "C", pass, "C", "S:535 no"},
         {negotiate}},
        {"CRAM-MD5 challenge after the time-out",
         {"C", "S:504 no ntlm", "C", "P:500", "S:334 " + B64("<1.2@x>"), "C", "S:535 no", "C", user,
          "C", pass, "C", "S:535 no"},
         {negotiate, "AUTH CRAM-MD5"}},
        {"LOGIN password prompt after the time-out",
         {"C", "S:504 a", "C", "S:504 b", "C", user, "C", "P:500", pass, "C", "S:535 no", "C",
          "S:334 ", "C", "S:235 ok"},
         {negotiate, "AUTH CRAM-MD5", "AUTH LOGIN", B64("tim")}},
        {"answer to the abandoning star after the time-out",
         {"C", "S:504 a", "C", "S:504 b", "C", "S:334 VXNlciBOYW1lAA==", "C", "P:500", kAborted,
          "C", "S:334 ", "C", "S:235 ok"},
         {negotiate, "AUTH CRAM-MD5", "AUTH LOGIN", "*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(Greeted(c.script));
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            smtp.SetTimeout(250);
            EXPECT_FALSE(smtp.AuthenticateAny("tim", "pw"));
            // Nothing sent later on this session can be in step either.
            EXPECT_FALSE(smtp.Authenticate(AUTH_PLAIN, "tim", "pw"));
            CMailMessage mail;
            mail.m_from = "a@b";
            mail.AddRecipient("c@d");
            EXPECT_FALSE(smtp.SendMail(mail));
        }
        std::vector<std::string> sent = Lines(AfterEhlo(server.Received()));
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), "QUIT");
        sent.pop_back();
        EXPECT_EQ(sent, c.sent);
    }
}

TEST(SmtpAuth, AbandonedExchangeReportsTheReplyThatEndedIt) {
    CScriptedServer server(Greeted({"C", "S:334 VXNlciBOYW1lAA==", "C", kAborted}));
    CSMTPConnection smtp;
    ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
    EXPECT_FALSE(smtp.AuthLogin("tim", "pw"));
    EXPECT_EQ(smtp.LastReply(), "334 VXNlciBOYW1lAA==");
    EXPECT_EQ(smtp.LastCode(), 334);
}

} // namespace
