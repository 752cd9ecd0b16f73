// The mail session's security modes against a scripted peer on loopback: when STARTTLS is
// asked for and what happens when it is missing or refused, and servers that stall, drip or
// send garbage where a TLS handshake should be. Handshakes that succeed, certificates and host
// names are tested against a real TLS server (vrnmail_tls_test.py).
#include "SmtpConnection.h"
#include "SmtpTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Greeting and an EHLO reply that ends with `lastLine`.
std::vector<std::string> GreetedWith(const std::string& lastLine, std::vector<std::string> rest) {
    std::vector<std::string> script = {"S:220 test.local ESMTP", "C", "S:250-test.local",
                                       "S:" + lastLine};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

// What a TLS client's first bytes look like: a handshake record (type 22, version 3.x).
bool StartsWithClientHello(const std::string& bytes) {
    return bytes.size() >= 6 && bytes[0] == '\x16' && bytes[1] == '\x03' && bytes[5] == '\x01';
}

struct SModeCase {
    const char* name;
    int security;
    std::vector<std::string> script;
    bool opens;
    bool encrypted;     // the session tried TLS: the client's bytes after STARTTLS are a hello
    const char* sent;   // what the client sent after its EHLO, when not encrypted
    const char* reason; // part of FailureReason(), when it fails
};

TEST(SmtpTls, StartTlsOfferedRefusedOrMissing) {
    const SModeCase cases[] = {
        {"plain mode never asks for STARTTLS, even when offered", SMTP_SECURITY_NONE,
         GreetedWith("250 STARTTLS", {}), true, false, "QUIT\r\n", nullptr},
        {"when offered: a server without it gets the plain session", SMTP_SECURITY_STARTTLS,
         GreetedWith("250 AUTH LOGIN", {}), true, false, "QUIT\r\n", nullptr},
        {"required: a server without it gets nothing but QUIT", SMTP_SECURITY_STARTTLS_REQUIRED,
         GreetedWith("250 AUTH LOGIN", {}), false, false, "QUIT\r\n", "does not offer STARTTLS"},
        {"required: a keyword that only contains STARTTLS is not the offer",
         SMTP_SECURITY_STARTTLS_REQUIRED, GreetedWith("250 XSTARTTLSX", {}), false, false,
         "QUIT\r\n", "does not offer STARTTLS"},
        {"when offered: a refusal keeps the session plain and in step", SMTP_SECURITY_STARTTLS,
         GreetedWith("250 STARTTLS", {"C", "S:454 4.7.0 TLS not available"}), true, false,
         "STARTTLS\r\nQUIT\r\n", nullptr},
        {"required: a refusal ends the session", SMTP_SECURITY_STARTTLS_REQUIRED,
         GreetedWith("250 STARTTLS", {"C", "S:454 4.7.0 TLS not available"}), false, false,
         "STARTTLS\r\nQUIT\r\n", "STARTTLS refused: 454 4.7.0 TLS not available"},
        {"when offered: no answer at all ends the session", SMTP_SECURITY_STARTTLS,
         GreetedWith("250 STARTTLS", {"C", "P:800"}), false, false, "STARTTLS\r\nQUIT\r\n",
         "no answer to STARTTLS"},
        // A reply that arrives with more behind it: the extra lines were put there before the
        // handshake, by the server or by someone on the way, and must never be read as replies
        // of the encrypted session.
        {"data injected after the 220 ends the session unencrypted",
         SMTP_SECURITY_STARTTLS_REQUIRED,
         GreetedWith("250 STARTTLS", {"C", "R:220 go ahead\r\n250 injected\r\n"}), false, false,
         "STARTTLS\r\nQUIT\r\n", "sent data after its STARTTLS answer"},
        {"offer found in lower case, among other lines",
         SMTP_SECURITY_STARTTLS_REQUIRED,
         {"S:220 hi", "C", "S:250-test.local", "S:250-starttls", "S:250 AUTH PLAIN", "C",
          "S:220 go ahead", "R:this is no TLS server\r\n"},
         false,
         true,
         nullptr,
         "TLS handshake failed"},
        {"garbage after the 220 fails the handshake at once", SMTP_SECURITY_STARTTLS,
         GreetedWith("250 STARTTLS", {"C", "S:220 go ahead", "R:HTTP/1.0 400 Bad Request\r\n\r\n"}),
         false, true, nullptr, "TLS handshake failed"},
        {"a server that closes after the 220", SMTP_SECURITY_STARTTLS_REQUIRED,
         GreetedWith("250 STARTTLS", {"C", "S:220 go ahead", "W", "X"}), false, true, nullptr,
         "closed the connection during the TLS handshake"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(c.script);
        const auto start = std::chrono::steady_clock::now();
        bool opened;
        std::string reason;
        {
            CSMTPConnection smtp;
            smtp.SetTimeout(500);
            smtp.SetSecurity(c.security);
            opened = smtp.OpenSession("127.0.0.1", server.Port());
            reason = smtp.FailureReason();
            EXPECT_FALSE(smtp.IsEncrypted());
        }
        EXPECT_LT(SecondsSince(start), 2.0);
        EXPECT_EQ(opened, c.opens);
        if (c.reason != nullptr) {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        } else {
            EXPECT_EQ(reason, "");
        }
        const std::string after = AfterEhlo(server.Received());
        if (c.encrypted) {
            const std::string command = "STARTTLS\r\n";
            ASSERT_EQ(after.rfind(command, 0), 0u) << after;
            // After a failed handshake nothing more goes out, QUIT included: it would cross
            // the network in the clear to a peer whose identity is unknown.
            const std::string rest = after.substr(command.size());
            EXPECT_TRUE(StartsWithClientHello(rest));
            EXPECT_EQ(rest.find("QUIT"), std::string::npos);
        } else {
            EXPECT_EQ(after, c.sent);
        }
    }
}

struct SHandshakeCase {
    const char* name;
    int security;
    std::vector<std::string> script;
    double maxSeconds;
    double minSeconds;
    const char* reason;
};

// A drip of the record header and then one byte at a time: every byte is progress, so only
// the handshake's overall limit can end it.
std::vector<std::string> Drip(std::vector<std::string> script) {
    script.push_back("R:\x16\x03\x03");
    script.push_back(std::string("R:\x00\x60", 4));
    for (int i = 0; i < 15; ++i) {
        script.push_back("P:100");
        script.push_back("R:x");
    }
    return script;
}

TEST(SmtpTls, HandshakeThatStallsOrDripsEndsWithinTheTimeOut) {
    const std::vector<std::string> offered = GreetedWith("250 STARTTLS", {"C", "S:220 go ahead"});
    const SHandshakeCase cases[] = {
        {"STARTTLS, then silence", SMTP_SECURITY_STARTTLS_REQUIRED,
         GreetedWith("250 STARTTLS", {"C", "S:220 go ahead", "P:1500"}), 1.5, 0.4,
         "within the time-out"},
        {"TLS from the first byte to a server that says nothing",
         SMTP_SECURITY_TLS,
         {"P:1500"},
         1.5,
         0.4,
         "within the time-out"},
        {"TLS from the first byte to a plain SMTP server",
         SMTP_SECURITY_TLS,
         {"S:220 plain.test ESMTP", "P:500"},
         1.0,
         0.0,
         "TLS handshake failed"},
        {"TLS from the first byte, drip-fed", SMTP_SECURITY_TLS, Drip({}), 1.6, 0.9,
         "within the time-out"},
        {"STARTTLS, drip-fed", SMTP_SECURITY_STARTTLS, Drip(offered), 1.6, 0.9,
         "within the time-out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(c.script);
        const auto start = std::chrono::steady_clock::now();
        CSMTPConnection smtp;
        smtp.SetTimeout(500);
        smtp.SetHandshakeLimit(1000);
        smtp.SetSecurity(c.security);
        EXPECT_FALSE(smtp.OpenSession("127.0.0.1", server.Port()));
        const double took = SecondsSince(start);
        EXPECT_LE(took, c.maxSeconds);
        EXPECT_GE(took, c.minSeconds);
        EXPECT_NE(smtp.FailureReason().find(c.reason), std::string::npos) << smtp.FailureReason();
        EXPECT_FALSE(smtp.IsConnected());
        server.Stop();
    }
}

TEST(SmtpTls, SettingsThatCannotBeHonouredFailBeforeConnecting) {
    const struct {
        const char* name;
        int security;
        int port;
        const char* reason;
    } cases[] = {
        {"unknown security number", 7, 0, "security setting 7"},
        {"negative security number", -1, 0, "security setting -1"},
        {"port 0", SMTP_SECURITY_NONE, -1, "port 0"},
        {"port above 65535", SMTP_SECURITY_TLS, 65536, "port 65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server({"S:220 hi", "C", "S:250 STARTTLS"});
        CSMTPConnection smtp;
        smtp.SetSecurity(c.security);
        const int port = c.port == 0 ? server.Port() : c.port < 0 ? 0 : c.port;
        EXPECT_FALSE(smtp.OpenSession("127.0.0.1", port));
        EXPECT_NE(smtp.FailureReason().find(c.reason), std::string::npos) << smtp.FailureReason();
        server.Stop();
        EXPECT_EQ(server.Accepted(), 0);
    }
}

TEST(SmtpTls, MissingCaFileIsAConnectionFailureWithItsName) {
    CScriptedServer server({"R:whatever"});
    CSMTPConnection smtp;
    smtp.SetSecurity(SMTP_SECURITY_TLS);
    smtp.SetCaFile("/nonexistent/extra-ca.pem");
    EXPECT_FALSE(smtp.OpenSession("127.0.0.1", server.Port()));
    EXPECT_NE(smtp.FailureReason().find("/nonexistent/extra-ca.pem"), std::string::npos)
        << smtp.FailureReason();
    server.Stop();
}

} // namespace
