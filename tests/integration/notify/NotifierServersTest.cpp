// The notifier against the real thing: aiosmtpd receives the alarm mail, a private smbd
// receives the pop-ups that smbclient delivers.
#include "NotifierTestSupport.h"
#include "StringTable.h"
#include "VrnTestPaths.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <random>

namespace {

TEST(NotifierServers, AlarmMailReachesTheServer) {
    CScratch scratch;
    CMailServer server(scratch);
    ASSERT_NE(server.Port(), 0) << server.Stderr();
    SNotifierOptions options;
    options.smtpPort = server.Port();
    SNotifierRig rig(scratch, options);
    // Book order, not alphabetical order; a disabled entry gets nothing.
    rig.mailBook.AddUser(true, "Second", "zeta@site.test");
    rig.mailBook.AddUser(false, "Away", "away@site.test");
    rig.mailBook.AddUser(true, "First", "alpha@site.test");
    rig.settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MAIL;
        std::strcpy(r.Server, "127.0.0.1");
        std::strcpy(r.Account, "alarm");
        std::strcpy(r.Password, "pw");
        std::strcpy(r.SenderAddr, "raid@site.test");
    });
    const struct {
        const char* what;
        std::string text;
        std::string subject; // and what the body ends with
    } cases[] = {
        {"plain alarm", "127.0.0.1 Volume Set # 00  Volume Failed",
         "127.0.0.1 Volume Set # 00  Volume Failed"},
        // Controller text with a line break must not become a header of its own.
        {"line break in the text", "127.0.0.1 Fan#1 Failed\r\nBcc: all@site.test",
         "127.0.0.1 Fan#1 Failed??Bcc: all@site.test"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        rig.notifier->NotifyAlarm(2, c.text);
        const std::string base = server.Dir() + "/" + std::to_string(++n);
        EXPECT_EQ(
            FileLines(base + ".env"),
            (std::vector<std::string>{"raid@site.test", "zeta@site.test", "alpha@site.test"}));
        const std::string content = vrntest::ReadFile(base + ".eml");
        const std::size_t split = content.find("\r\n\r\n");
        ASSERT_NE(split, std::string::npos) << content;
        const std::string header = content.substr(0, split + 2);
        EXPECT_NE(header.find("\r\nSubject: " + c.subject + "\r\n"), std::string::npos) << header;
        EXPECT_NE(header.find("From: raid@site.test\r\nTo: zeta@site.test,alpha@site.test\r\n"),
                  std::string::npos)
            << header;
        EXPECT_EQ(header.find("\r\nBcc:"), std::string::npos) << header;
        EXPECT_EQ(content.substr(split + 4),
                  "[SYSTEM ALARM]\r\nAn Event Occurred In:" + c.subject + "\r\n");
    }
    EXPECT_EQ(
        FileLines(server.Dir() + "/events"),
        (std::vector<std::string>{"ehlo", "auth LOGIN", "mail 1", "ehlo", "auth LOGIN", "mail 2"}));
    EXPECT_TRUE(rig.messages.Texts().empty());
}

// An empty mail book still opens and authenticates a session, then only says QUIT.
TEST(NotifierServers, EmptyMailBookSendsNoMail) {
    CScratch scratch;
    CMailServer server(scratch);
    ASSERT_NE(server.Port(), 0) << server.Stderr();
    SNotifierOptions options;
    options.smtpPort = server.Port();
    SNotifierRig rig(scratch, options);
    rig.settings.Update([](SettingsRecord& r) {
        std::strcpy(r.Server, "127.0.0.1");
        std::strcpy(r.Account, "alarm");
        std::strcpy(r.Password, "pw");
    });
    rig.notifier->SendAlarmMail("127.0.0.1 Volume Set # 00  Volume Failed");
    EXPECT_EQ(FileLines(server.Dir() + "/events"),
              (std::vector<std::string>{"ehlo", "auth LOGIN"}));
}

// Mail security from the settings: the Port setting is where the session goes (no test port
// given), Security and CAFile decide how it is protected. A certificate the settings do not
// trust is a connection failure with its reason in the system log and the trace.
TEST(NotifierServers, AlarmMailOverTls) {
    const struct {
        const char* what;
        const char* mode; // of the server
        int security;
        bool trustCa;
        std::vector<std::string> events; // on the server; empty: nothing reached it
        bool sent;
        const char* reason; // in the system-log record and the trace, when not sent
        bool box;           // "Failed to connect SMTP server" shown
    } cases[] = {
        {"STARTTLS required, EHLO again and everything else inside TLS",
         "starttls",
         SMTP_SECURITY_STARTTLS_REQUIRED,
         true,
         {"ehlo", "ehlo tls", "auth LOGIN tls", "mail 1 tls"},
         true,
         nullptr,
         false},
        {"TLS from the first byte",
         "tls",
         SMTP_SECURITY_TLS,
         true,
         {"ehlo tls", "auth LOGIN tls", "mail 1 tls"},
         true,
         nullptr,
         false},
        {"plain setting to a STARTTLS-only server: as before, no method is accepted",
         "starttls",
         SMTP_SECURITY_NONE,
         true,
         {"ehlo"},
         false,
         "accepted none of",
         false},
        {"a CA the settings do not name",
         "tls",
         SMTP_SECURITY_TLS,
         false,
         {},
         false,
         "is not accepted: unable to get local issuer certificate",
         true},
        {"required, but the server offers no STARTTLS",
         "plain",
         SMTP_SECURITY_STARTTLS_REQUIRED,
         false,
         {"ehlo"},
         false,
         "does not offer STARTTLS",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CScratch scratch;
        CMailServer server(scratch, c.mode);
        ASSERT_NE(server.Port(), 0) << server.Stderr();
        CSyslogSink sink(scratch.File("log"));
        ASSERT_TRUE(sink.Bound());
        SNotifierOptions options;
        options.syslogPath = sink.Path();
        SNotifierRig rig(scratch, options);
        rig.mailBook.AddUser(true, "Ops", "ops@site.test");
        rig.settings.Update([&](SettingsRecord& r) {
            std::strcpy(r.Server, "127.0.0.1");
            std::strcpy(r.Account, "alarm");
            std::strcpy(r.Password, "pw");
            std::strcpy(r.SenderAddr, "raid@site.test");
            r.Port = server.Port();
            r.Security = c.security;
            r.CAFile = c.trustCa ? server.Dir() + "/ca.pem" : "";
        });
        rig.notifier->SendAlarmMail("127.0.0.1 Volume Set # 00  Volume Failed");
        EXPECT_EQ(FileLines(server.Dir() + "/events"), c.events);
        const SNotifierCounts counts = rig.notifier->Counts();
        EXPECT_EQ(counts.mailsSent, c.sent ? 1u : 0u);
        EXPECT_EQ(counts.mailsFailed, c.sent ? 0u : 1u);
        EXPECT_EQ(rig.messages.Texts(),
                  c.box ? std::vector<std::string>{CStringTable::Text(IDS_SMTP_CONNECT_FAILED)}
                        : std::vector<std::string>{});
        if (c.reason != nullptr) {
            const std::optional<std::string> record = sink.Next();
            ASSERT_TRUE(record.has_value());
            EXPECT_NE(record->find(c.reason), std::string::npos) << *record;
            EXPECT_NE(record->find("Volume Failed"), std::string::npos) << *record;
            const std::vector<std::string> trace = rig.Trace();
            EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [&](const std::string& line) {
                return line.find(c.reason) != std::string::npos;
            }));
        } else {
            EXPECT_EQ(sink.Next(200), std::nullopt);
        }
    }
}

// A private smbd on 127.0.0.1 at a port of the test's own, which writes every message it
// receives to a file. Skips the test when samba or smbclient is missing.
class CMessengerReceiver {
public:
    CMessengerReceiver(const CScratch& scratch, const std::string& name, bool refuse = false)
        : m_dir(scratch.File(name)) {
        std::filesystem::create_directory(m_dir);
        // smbd's message command runs as its guest account, which must reach the inbox.
        chmod(scratch.Path().c_str(), 0711);
        for (int attempt = 0; attempt < 3 && !m_ready; ++attempt) {
            m_port = FreePort();
            m_process = std::make_unique<vrntest::CProcess>();
            std::vector<std::string> args = {"/bin/sh",
                                             VRN_SOURCE_DIR
                                             "/tests/integration/notify/messenger_receiver.sh",
                                             m_dir,
                                             "127.0.0.1",
                                             std::to_string(m_port),
                                             "CP950"};
            if (refuse) {
                args.push_back("refuse");
            }
            if (!m_process->Start(args, vrntest::CProcess::EStdout::Pipe)) {
                continue;
            }
            m_ready = ReadLineFrom(m_process->StdoutPipe(), 15000) == "ready";
            if (!m_ready) {
                m_failure = m_process->Stderr();
                m_process->Stop();
            }
        }
    }
    bool Ready() const { return m_ready; }
    const std::string& Failure() const { return m_failure; }
    int Port() const { return m_port; }

    // The texts received so far (waits up to `ms` for `count` of them), sorted.
    std::vector<std::string> Messages(std::size_t count, int ms = 5000) const {
        std::vector<std::string> texts;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            texts.clear();
            for (const auto& entry : std::filesystem::directory_iterator(m_dir + "/inbox")) {
                if (entry.path().filename().string().rfind("msg-", 0) == 0) {
                    texts.push_back(vrntest::ReadFile(entry.path().string()));
                }
            }
            if (texts.size() >= count || std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::sort(texts.begin(), texts.end());
        return texts;
    }

private:
    static int FreePort() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        close(fd);
        return ntohs(addr.sin_port);
    }

    std::string m_dir;
    std::unique_ptr<vrntest::CProcess> m_process;
    int m_port = 0;
    bool m_ready = false;
    std::string m_failure;
};

bool SambaInstalled(std::string& missing) {
    for (const char* program : {"/usr/sbin/smbd", "/usr/bin/smbclient"}) {
        if (access(program, X_OK) != 0) {
            missing = program;
            return false;
        }
    }
    return true;
}

// A loopback address other than 127.0.0.1, where no receiver listens.
std::string NobodysAddress() {
    std::random_device random;
    return "127." + std::to_string(1 + random() % 254) + "." + std::to_string(1 + random() % 254) +
           "." + std::to_string(1 + random() % 254);
}

TEST(NotifierServers, PopUpsReachTheReceiver) {
    std::string missing;
    if (!SambaInstalled(missing)) {
        GTEST_SKIP() << missing << " is not installed (Debian packages samba and smbclient)";
    }
    CScratch scratch;
    CMessengerReceiver receiver(scratch, "receiver");
    ASSERT_TRUE(receiver.Ready()) << receiver.Failure();
    const std::string gone = NobodysAddress();
    SNotifierOptions options;
    options.messenger.port = receiver.Port();
    options.messenger.lookup = [gone](const std::string& name, in_addr* address) {
        return inet_pton(AF_INET, name == "GONE" ? gone.c_str() : "127.0.0.1", address) == 1;
    };
    SNotifierRig rig(scratch, options);
    rig.messageBook.AddComputer(true, "WS01");
    rig.messageBook.AddComputer(true, "GONE");
    rig.messageBook.AddComputer(false, "OFF01");
    rig.messageBook.AddComputer(true, "WS02");
    rig.settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MESSAGE;
    });

    // English: plain text. The unreachable computer gives one box; the one after it still
    // gets its message.
    CStringTable::SetLanguage(ELanguage::English);
    const std::string english = "127.0.0.1 Volume Set # 00  Volume Failed";
    rig.notifier->NotifyAlarm(5, english);
    EXPECT_EQ(receiver.Messages(2), (std::vector<std::string>{english, english}));
    const std::vector<std::string> boxes = rig.messages.Texts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Net Messenger:  Connection to GONE failed", 0), 0u) << boxes[0];

    // Traditional Chinese goes out in Big5 bytes, which the receiver (a CP950 workstation)
    // reads back as the same characters.
    CStringTable::SetLanguage(ELanguage::Chinese);
    const std::string chinese = "127.0.0.1 \xe5\x8d\xb7\xe9\x9b\x86 00 "
                                "\xe6\x95\x85\xe9\x9a\x9c Volume Failed";
    rig.messageBook.Remove(1); // GONE
    rig.notifier->SendAlarmMessage(chinese);
    CStringTable::SetLanguage(ELanguage::English);
    EXPECT_EQ(receiver.Messages(4), (std::vector<std::string>{english, english, chinese, chinese}));
    EXPECT_EQ(rig.messages.Texts().size(), 1u);
}

// smbclient exits 0 when the receiver drops the message; its "cli_message returned" line is
// what tells.
TEST(NotifierServers, ReceiverThatDropsMessagesGivesABox) {
    std::string missing;
    if (!SambaInstalled(missing)) {
        GTEST_SKIP() << missing << " is not installed (Debian packages samba and smbclient)";
    }
    CScratch scratch;
    CMessengerReceiver receiver(scratch, "refusing", true);
    ASSERT_TRUE(receiver.Ready()) << receiver.Failure();
    SNotifierOptions options;
    options.messenger.port = receiver.Port();
    options.messenger.lookup = [](const std::string&, in_addr* address) {
        return inet_pton(AF_INET, "127.0.0.1", address) == 1;
    };
    SNotifierRig rig(scratch, options);
    rig.messageBook.AddComputer(true, "WS01");
    rig.notifier->SendAlarmMessage("127.0.0.1 Volume Set # 00  Volume Failed");
    EXPECT_EQ(rig.messages.Texts(),
              std::vector<std::string>{
                  "Net Messenger:  cli_message returned NT_STATUS_CONNECTION_DISCONNECTED"});
    EXPECT_TRUE(receiver.Messages(0, 0).empty());
}

} // namespace
