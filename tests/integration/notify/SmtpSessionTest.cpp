// CSMTPConnection against a scripted peer on loopback: opening, replies, the mail transaction.
#include "SmtpConnection.h"
#include "SmtpTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>
#include <stop_token>
#include <thread>

namespace {

struct COpenCase {
    const char* name;
    std::vector<std::string> script;
    bool opens;
    const char* sentAfterEhlo; // nullptr: the client must not even send EHLO
    double maxSeconds;
    double minSeconds = 0;
};

TEST(SmtpSession, OpenSessionOutcomes) {
    const COpenCase cases[] = {
        {"plain greeting", Greeted({}), true, "QUIT\r\n", 1.0},
        {"greeting 554 is refused with QUIT",
         {"S:554 go away", "C", "S:221 bye"},
         false,
         nullptr,
         1.0},
        {"greeting cut after its first digit",
         {"R:2", "P:100", "R:20 ready\r\n", "C", "S:250 ok"},
         true,
         "QUIT\r\n",
         1.0},
        {"multi-line EHLO reply in one piece",
         {"S:220 hi", "C", "R:250-a\r\n250-b\r\n250 c\r\n"},
         true,
         "QUIT\r\n",
         1.0},
        {"EHLO refused", {"S:220 hi", "C", "S:502 no", "C", "S:221 bye"}, false, "QUIT\r\n", 1.0},
        {"server never greets", {"P:3000"}, false, nullptr, 3.0, 1.8},
        {"server closes inside the greeting", {"R:22", "X"}, false, nullptr, 1.0},
        {"greeting without a code", {"S:hello there", "C", "S:221 bye"}, false, nullptr, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(c.script);
        const auto start = std::chrono::steady_clock::now();
        bool opened;
        {
            CSMTPConnection smtp;
            opened = smtp.OpenSession("127.0.0.1", server.Port());
            const double took = SecondsSince(start);
            EXPECT_LE(took, c.maxSeconds);
            EXPECT_GE(took, c.minSeconds);
            EXPECT_EQ(smtp.IsConnected(), opened);
        }
        EXPECT_EQ(opened, c.opens);
        const std::string& sent = server.Received();
        if (c.sentAfterEhlo != nullptr) {
            EXPECT_EQ(AfterEhlo(sent), c.sentAfterEhlo);
        } else {
            EXPECT_EQ(sent.find("ehlo"), std::string::npos) << sent;
        }
    }
}

TEST(SmtpSession, GreetingSplitAtEveryByteIsJoined) {
    const std::string greeting = "220 mail.test ready\r\n";
    for (std::size_t cut = 1; cut < greeting.size(); ++cut) {
        CScriptedServer server(
            {"R:" + greeting.substr(0, cut), "P:30", "R:" + greeting.substr(cut), "C", "S:250 ok"});
        CSMTPConnection smtp;
        EXPECT_TRUE(smtp.OpenSession("127.0.0.1", server.Port())) << "cut at " << cut;
        EXPECT_EQ(smtp.LastCode(), 250);
    }
}

TEST(SmtpSession, DestructionAndCloseSendQuit) {
    {
        CScriptedServer server(Greeted({"C", "S:221 bye"}));
        CSMTPConnection smtp;
        ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
        EXPECT_TRUE(smtp.CloseSession());
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_FALSE(smtp.CloseSession()) << "a second close has no session";
        EXPECT_EQ(AfterEhlo(server.Received()), "QUIT\r\n");
    }
    {
        CScriptedServer server(Greeted({"C", "S:500 what"}));
        CSMTPConnection smtp;
        ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
        EXPECT_FALSE(smtp.CloseSession()) << "QUIT answered with another code than 221";
    }
    CSMTPConnection never;
    EXPECT_FALSE(never.CloseSession());
}

// Replies are read one at a time, a multi-line reply up to its last line however it arrives.
TEST(SmtpSession, RepliesAfterTheSession) {
    const std::string longLine = "250 " + std::string(9000, 'x');
    struct CReplyCase {
        const char* name;
        std::vector<std::string> steps;
        std::vector<int> codes;
        std::vector<std::size_t> lengths;
        double maxSeconds;
    };
    const CReplyCase cases[] = {
        {"two-line reply in one piece is one reply",
         {"R:250-first\r\n250 second\r\n"},
         {250},
         {std::string("250-first\r\n250 second").size()},
         1.0},
        {"two-line reply in two pieces is still one reply",
         {"R:250-first\r\n", "P:300", "R:250 second\r\n", "P:200", "S:354 next"},
         {250, 354},
         {std::string("250-first\r\n250 second").size(), 8},
         1.5},
        {"continuation cut inside its code",
         {"R:250-a\r\n25", "P:100", "R:0-b\r\n250 c\r\n"},
         {250},
         {std::string("250-a\r\n250-b\r\n250 c").size()},
         1.0},
        {"first line's code counts", {"R:250-a\r\n550 b\r\n"}, {250}, {12}, 1.0},
        {"reply longer than 4095 bytes is read whole",
         {"S:" + longLine},
         {250},
         {longLine.size()},
         1.0},
        {"reply without a code", {"S:ok fine"}, {0}, {7}, 1.0},
        {"reply past the size limit fails at once",
         {"R:250-" + std::string(SMTP_REPLY_LIMIT + 10, 'y')},
         {0},
         {SMTP_REPLY_LIMIT - 1},
         1.5},
        {"server closes in the middle", {"R:25", "X"}, {0}, {2}, 1.0},
        {"silence fails after the idle time-out", {"P:2600"}, {0}, {0}, 2.8},
        {"each piece restarts the idle time-out",
         {"R:2", "P:1200", "R:5", "P:1200", "R:0 late\r\n"},
         {250},
         {8},
         3.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The pause keeps these replies out of the read that takes the EHLO reply.
        std::vector<std::string> steps = {"P:200"};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        CScriptedServer server(Greeted(steps));
        CSMTPConnection smtp;
        ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < c.codes.size(); ++i) {
            EXPECT_EQ(smtp.ReadReplyCode(250), c.codes[i]) << "reply " << i;
            EXPECT_EQ(smtp.LastReply().size(), c.lengths[i]) << "reply " << i;
        }
        EXPECT_LE(SecondsSince(start), c.maxSeconds);
    }
}

TEST(SmtpSession, ReadReplyLeavesGrownBufferToTheCaller) {
    const std::string line = "250 " + std::string(5000, 'g');
    CScriptedServer server(Greeted({"P:200", "S:" + line}));
    CSMTPConnection smtp;
    ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));

    char small[64];
    char* grown = nullptr;
    EXPECT_EQ(smtp.ReadReply(small, sizeof small, "\r\n", 250, &grown, 1000), 250);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::string(grown), line + "\r\n") << "the grown buffer holds the whole text";
    EXPECT_EQ(smtp.LastReply(), line);
    delete[] grown;

    // Without a grown-buffer slot the reply must fit, and fails cleanly when it does not.
    CScriptedServer tight(Greeted({"P:200", "S:250 " + std::string(100, 'z')}));
    CSMTPConnection smtp2;
    ASSERT_TRUE(smtp2.OpenSession("127.0.0.1", tight.Port()));
    char buf[32];
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(smtp2.ReadReply(buf, sizeof buf, "\r\n", 250, nullptr, 0), 0);
    EXPECT_EQ(smtp2.LastReply().size(), sizeof buf - 1);
}

// Any caller buffer and growth step, down to one byte, reads the reply whole.
TEST(SmtpSession, TinyBuffersGrowInSmallSteps) {
    const std::string line = "250 grown in small steps";
    for (int size : {1, 2, 5}) {
        for (int growth : {1, 3, 64}) {
            CScriptedServer server(Greeted({"P:200", "S:" + line}));
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            std::vector<char> buffer(static_cast<std::size_t>(size));
            char* grown = nullptr;
            EXPECT_EQ(smtp.ReadReply(buffer.data(), size, "\r\n", 250, &grown, growth), 250)
                << size << "/" << growth;
            EXPECT_EQ(smtp.LastReply(), line) << size << "/" << growth;
            delete[] grown;
        }
    }
}

struct CMailCase {
    const char* name;
    std::vector<std::string> script;
    bool accepted;
    std::vector<std::string> mustSend;
    std::vector<std::string> mustNotSend;
};

TEST(SmtpSession, MailTransaction) {
    const std::vector<std::string> fullOk = {"C", "S:250 sender ok", "C", "S:250 rcpt 1",
                                             "C", "S:250 rcpt 2",    "C", "S:354 go on",
                                             "D", "S:250 queued",    "C", "S:221 bye"};
    const CMailCase cases[] = {
        {"accepted",
         fullOk,
         true,
         {"MAIL FROM:<raid@site.test>\r\nRCPT TO:<ops@site.test>\r\nRCPT TO:<boss@site.test>\r\n"
          "DATA\r\n",
          "\r\n\r\n[SYSTEM ALARM]\r\n..hidden dot\r\nlast\r\n.\r\nQUIT\r\n"},
         {}},
        {"refused sender",
         {"C", "S:550 no such sender", "C", "S:221 bye"},
         false,
         {"MAIL FROM:<raid@site.test>\r\nQUIT\r\n"},
         {"RCPT", "DATA"}},
        {"second recipient refused stops before DATA",
         {"C", "S:250 ok", "C", "S:250 ok", "C", "S:550 mailbox unavailable", "C", "S:221 bye"},
         false,
         {"RCPT TO:<boss@site.test>\r\nQUIT\r\n"},
         {"DATA"}},
        {"DATA refused",
         {"C", "S:250 ok", "C", "S:250 ok", "C", "S:250 ok", "C", "S:451 later"},
         false,
         {"DATA\r\nQUIT\r\n"},
         {"Subject:"}},
        {"message refused after the data",
         {"C", "S:250 ok", "C", "S:250 ok", "C", "S:250 ok", "C", "S:354 go", "D", "S:554 rejected",
          "C", "S:221 bye"},
         false,
         {"\r\n.\r\nQUIT\r\n"},
         {}},
        {"server gone during the transaction", {"C", "S:250 ok", "X"}, false, {}, {"DATA"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedServer server(Greeted(c.script));
        bool accepted;
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            CMailMessage mail;
            mail.m_from = "raid@site.test";
            mail.m_subject = "Volume Failed";
            mail.AddRecipient("ops@site.test");
            mail.AddRecipient("boss@site.test");
            mail.SetBody("[SYSTEM ALARM]\r\n.hidden dot\r\nlast");
            accepted = smtp.SendMail(mail);
        }
        EXPECT_EQ(accepted, c.accepted);
        const std::string sent = AfterEhlo(server.Received());
        for (const auto& s : c.mustSend) {
            EXPECT_NE(sent.find(s), std::string::npos) << "missing " << s << " in\n" << sent;
        }
        for (const auto& s : c.mustNotSend) {
            EXPECT_EQ(sent.find(s), std::string::npos) << "unexpected " << s << " in\n" << sent;
        }
    }
}

TEST(SmtpSession, HeaderGoesOutInOrderBetweenDataAndBody) {
    CScriptedServer server(Greeted(
        {"C", "S:250 ok", "C", "S:250 ok", "C", "S:354 go", "D", "S:250 ok", "C", "S:221 bye"}));
    {
        CSMTPConnection smtp;
        ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
        CMailMessage mail;
        mail.m_from = "a@b.test";
        mail.m_subject = "Subject text";
        mail.AddRecipient("c@d.test");
        mail.SetBody("body");
        EXPECT_TRUE(smtp.SendMail(mail));
        EXPECT_TRUE(smtp.CloseSession());
    }
    const std::regex wire("MAIL FROM:<a@b\\.test>\r\nRCPT TO:<c@d\\.test>\r\nDATA\r\n"
                          "From: a@b\\.test\r\nTo: c@d\\.test\r\nSubject: Subject text\r\n"
                          "Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d "
                          "[+-]\\d{4}\r\nX-Mailer: CSMTPConnection v1\\.3\r\n"
                          "MIME-Version: 1\\.0\r\nContent-type: text/plain; charset=US-ASCII\r\n"
                          "\r\nbody\r\n\\.\r\nQUIT\r\n");
    const std::string sent = AfterEhlo(server.Received());
    EXPECT_TRUE(std::regex_match(sent, wire)) << sent;
}

TEST(SmtpSession, LineBreakInAnAddressSendsNothing) {
    const struct {
        const char* from;
        const char* to;
    } cases[] = {{"a@b.test\r\nRCPT TO:<x@evil.test>", "c@d.test"},
                 {"a@b.test", "c@d.test>\r\nDATA"},
                 {"a@b.test\n", "c@d.test"}};
    for (const auto& c : cases) {
        CScriptedServer server(Greeted({"C", "S:221 bye"}));
        {
            CSMTPConnection smtp;
            ASSERT_TRUE(smtp.OpenSession("127.0.0.1", server.Port()));
            CMailMessage mail;
            mail.m_from = c.from;
            mail.AddRecipient(c.to);
            EXPECT_FALSE(smtp.SendMail(mail)) << c.from << " / " << c.to;
        }
        EXPECT_EQ(AfterEhlo(server.Received()), "QUIT\r\n");
    }
}

int g_lookups = 0;
bool FailingLookup(const char*, in_addr*) {
    ++g_lookups;
    return false;
}
bool LoopbackLookup(const char*, in_addr* address) {
    ++g_lookups;
    address->s_addr = htonl(INADDR_LOOPBACK);
    return true;
}

TEST(SmtpSession, AddressResolution) {
    const struct {
        const char* host;
        CSMTPConnection::HostLookup lookup;
        bool opens;
        int lookups;
    } cases[] = {
        {"127.0.0.1", FailingLookup, true, 0},             // dotted: never looked up
        {"no-such-host.invalid", FailingLookup, false, 1}, // and no connect attempt at all
        {"mail.site.test", LoopbackLookup, true, 1},
        {"localhost", CSMTPConnection::SystemHostLookup, true, 0}, // the system's own lookup
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        CScriptedServer server(Greeted({"C", "S:221 bye"}));
        g_lookups = 0;
        {
            CSMTPConnection smtp;
            smtp.SetHostLookup(c.lookup);
            EXPECT_EQ(smtp.OpenSession(c.host, server.Port()), c.opens);
        }
        if (c.lookup != CSMTPConnection::SystemHostLookup) {
            EXPECT_EQ(g_lookups, c.lookups);
        }
        if (!c.opens) {
            server.Stop();
        }
        // A failed lookup must not fall through to a connect on the zero address, which would
        // reach this very listener.
        EXPECT_EQ(server.Accepted(), c.opens ? 1 : 0);
    }
}

TEST(SmtpSession, RefusedConnectAndBadArguments) {
    // A port with nobody listening: bind one, read it back, close it again.
    int port;
    {
        CScriptedServer gone({});
        port = gone.Port();
        gone.Stop();
        gone.Accepted();
    }
    CSMTPConnection refused;
    EXPECT_FALSE(refused.OpenSession("127.0.0.1", port));
    EXPECT_FALSE(refused.IsConnected());
    EXPECT_FALSE(refused.CloseSession());

    CSMTPConnection bad;
    EXPECT_FALSE(bad.OpenSession(nullptr, 25));
    EXPECT_FALSE(bad.OpenSession("127.0.0.1", 0));
    EXPECT_FALSE(bad.OpenSession("127.0.0.1", 70000));

    CScriptedServer server(Greeted({"C", "S:221 bye"}));
    CSMTPConnection twice;
    ASSERT_TRUE(twice.OpenSession("127.0.0.1", server.Port()));
    EXPECT_FALSE(twice.OpenSession("127.0.0.1", server.Port())) << "one session per object";
}

// A listener whose accept queue is full: the kernel drops further SYNs, so a connect to it
// stays unanswered the way a firewalled mail server's does.
class CUnansweringListener {
public:
    CUnansweringListener() {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_listen, 0);
        socklen_t len = sizeof addr;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        // Fill the queue (a backlog of 0 still queues one or two) with connections never taken.
        for (int i = 0; i < 4; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            m_fillers.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~CUnansweringListener() {
        for (int fd : m_fillers) {
            close(fd);
        }
        close(m_listen);
    }
    int Port() const { return m_port; }

private:
    int m_listen = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

// Every wait of a session ends by itself (connect time-out, idle time-out) or at once on a stop
// request, so an agent's monitor thread that is mailing an alarm can always be stopped.
TEST(SmtpSession, WaitsEndAtTheirTimeOutOrOnStop) {
    const struct {
        const char* name;
        bool unansweredConnect;         // else a server that greets and then stays silent
        std::uint32_t connectTimeoutMs; // the idle time-out stays 2000
        int stopAfterMs;                // -1: no stop request
        std::function<bool(CSMTPConnection&)> step; // after a successful open
        bool opens;
        double minSeconds, maxSeconds;
    } cases[] = {
        {"unanswered connect ends at the connect time-out", true, 400, -1, nullptr, false, 0.35,
         1.5},
        {"stop ends an unanswered connect", true, 10000, 200, nullptr, false, 0.15, 1.5},
        {"stop ends the wait for the greeting", false, 10000, 200, nullptr, false, 0.15, 1.5},
        {"stop ends the wait for an AUTH answer", false, 10000, 300,
         [](CSMTPConnection& smtp) { return smtp.AuthenticateAny("tim", "pw"); }, true, 0.25, 1.5},
        {"stop ends the wait for the answer to MAIL FROM", false, 10000, 300,
         [](CSMTPConnection& smtp) {
             CMailMessage mail;
             mail.m_from = "a@b";
             mail.AddRecipient("c@d");
             return smtp.SendMail(mail);
         },
         true, 0.25, 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CUnansweringListener> unanswering;
        std::unique_ptr<CScriptedServer> silent;
        int port;
        if (c.unansweredConnect) {
            unanswering = std::make_unique<CUnansweringListener>();
            port = unanswering->Port();
        } else if (c.step) {
            silent = std::make_unique<CScriptedServer>(Greeted({"C", "P:1200"}));
            port = silent->Port();
        } else {
            silent = std::make_unique<CScriptedServer>(std::vector<std::string>{"P:1200"});
            port = silent->Port();
        }
        std::stop_source stop;
        std::jthread stopper;
        if (c.stopAfterMs >= 0) {
            stopper = std::jthread([&stop, ms = c.stopAfterMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                stop.request_stop();
            });
        }
        const auto start = std::chrono::steady_clock::now();
        {
            CSMTPConnection smtp;
            smtp.SetConnectTimeout(c.connectTimeoutMs);
            smtp.SetStopToken(stop.get_token());
            EXPECT_EQ(smtp.OpenSession("127.0.0.1", port), c.opens);
            if (c.step) {
                EXPECT_FALSE(c.step(smtp));
                // Once stopped, nothing but QUIT goes out.
                EXPECT_FALSE(smtp.Authenticate(AUTH_PLAIN, "tim", "pw"));
            }
        }
        const double seconds = SecondsSince(start);
        EXPECT_GE(seconds, c.minSeconds);
        EXPECT_LE(seconds, c.maxSeconds);
        if (silent && c.step) {
            const std::string sent = AfterEhlo(silent->Received());
            EXPECT_EQ(sent.substr(sent.size() - 6), "QUIT\r\n");
            EXPECT_EQ(sent.find("AUTH PLAIN"), std::string::npos);
        }
    }
}

} // namespace
