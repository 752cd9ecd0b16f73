// The program's notifier as main() builds it: the environment points it at a system-log socket
// and a mail server of the test's own, and its message boxes reach the front-end's function.
#include "NotifierGlue.h"
#include "AddressBook.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(NotifierGlueTest, PortFromText) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"2525", 2525}, {"1", 1},      {"65535", 65535}, {nullptr, 25},  {"", 25},
        {"0", 25},      {"65536", 25}, {"99999", 25},    {"25x", 25},    {" 25", 25},
        {"+25", 25},    {"-25", 25},   {"0x19", 25},     {"000025", 25}, {"4294967321", 25},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortFromText(c.text, 25), c.expected) << (c.text ? c.text : "(null)");
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/quillht-glue-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string dir;
};

// A system-log socket bound where the notifier is told to send.
TEST(NotifierGlueTest, SystemLogRecordReachesTheSocketFromTheEnvironment) {
    Scratch scratch;
    const std::string path = scratch.dir + "/log.sock";
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ScopedEnv env("QUILLHT_SYSLOG_SOCKET", path);

    CSettingsStore settings(scratch.dir + "/QuillHT.ini");
    settings.SetSaveOnDestroy(false);
    settings.Update([](SettingsRecord& r) { r.EnableSysLog = 1; });
    CMailBook mail;
    CMessageBook message;
    auto notifier = MakeAppNotifier(settings, mail, message, [](const std::string&) {});
    notifier->ReportSystemEvent(SYSLOG_WARNING, EVENT_ID_WARNING, "10.0.0.5 Fan#1 Failed");

    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1) << "no record at " << path;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    ASSERT_GT(n, 0);
    const std::string record(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(record.rfind("<12>", 0), 0u) << record; // facility user, warning
    EXPECT_NE(record.find("QuillHT["), std::string::npos) << record;
    EXPECT_NE(record.find("[0x80000020] 10.0.0.5 Fan#1 Failed"), std::string::npos) << record;
    ::close(fd);
}

// A mail server that takes the connection and closes it at once: the notifier went to the
// port the environment gave, its failure box came back through the front-end's function and
// its trace line through the writer set later.
TEST(NotifierGlueTest, MailGoesToThePortFromTheEnvironmentAndItsBoxToTheFrontEnd) {
    Scratch scratch;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t len = sizeof a;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    ScopedEnv env("QUILLHT_SMTP_PORT", std::to_string(ntohs(a.sin_port)));

    CSettingsStore settings(scratch.dir + "/QuillHT.ini");
    settings.SetSaveOnDestroy(false);
    settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MAIL;
        std::strcpy(r.Server, "127.0.0.1");
    });
    CMailBook mail;
    mail.AddUser(true, "Ops", "ops@site.test");
    CMessageBook message;
    std::mutex mutex;
    std::vector<std::string> boxes;
    auto notifier = MakeAppNotifier(settings, mail, message, [&](const std::string& text) {
        std::lock_guard lock(mutex);
        boxes.push_back(text);
    });
    std::vector<std::string> trace;
    notifier->SetTrace([&](std::string_view line) {
        std::lock_guard lock(mutex);
        trace.emplace_back(line);
    });
    std::atomic<bool> accepted{false};
    std::jthread server([&] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 5000) == 1) {
            const int c = ::accept(listener, nullptr, nullptr);
            if (c >= 0) {
                accepted = true;
                ::close(c);
            }
        }
    });
    notifier->NotifyAlarm(1, "10.0.0.5 Vol0 Volume Failed", {});
    server.join();
    ::close(listener);
    EXPECT_TRUE(accepted) << "the notifier did not come to the port from the environment";
    std::lock_guard lock(mutex);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("SMTP"), std::string::npos) << boxes[0];
    // The notifier's own trace reaches the writer the program set.
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0].rfind("SendAlarmMail==> ", 0), 0u) << trace[0];
}

} // namespace
