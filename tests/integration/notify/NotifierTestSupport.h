#pragma once
// Pieces of the notification tests: a scratch folder, a notifier over its own settings and
// books, the boxes it shows, a system-log socket of the test's own, and the helper servers
// (aiosmtpd, a private smbd) started for a test.

#include "AddressBook.h"
#include "Notifier.h"
#include "SettingsStore.h"
#include "TestProcess.h"
#include "VrnTestPaths.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CScratch {
public:
    CScratch() {
        char pattern[] = "/tmp/vrn-notify-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_path = pattern;
        }
    }
    ~CScratch() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    std::string Read(const std::string& name) const { return vrntest::ReadFile(File(name)); }
    void Write(const std::string& name, const std::string& content, mode_t mode = 0644) const {
        std::ofstream(File(name), std::ios::binary) << content;
        chmod(File(name).c_str(), mode);
    }

private:
    std::string m_path;
};

// The boxes a notifier showed, from any thread.
class CRecordedMessages : public IUserMessages {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_texts.push_back(text);
    }
    std::vector<std::string> Texts() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

inline std::tm FixedLocalTime() {
    std::tm t{};
    t.tm_year = 2004 - 1900;
    t.tm_mon = 5;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    return t;
}

// A notifier over settings and books of its own, with a fixed clock and its trace kept.
struct SNotifierRig {
    explicit SNotifierRig(const CScratch& scratch, SNotifierOptions options = {})
        : settings(scratch.File("QuillHT.ini")) {
        settings.SetSaveOnDestroy(false);
        options.localTime = FixedLocalTime;
        options.trace = [this](std::string_view line) {
            std::lock_guard<std::mutex> lock(traceMutex);
            trace.emplace_back(line);
        };
        notifier = std::make_unique<CNotifier>(settings, mailBook, messageBook, messages,
                                               std::move(options));
    }
    std::vector<std::string> Trace() {
        std::lock_guard<std::mutex> lock(traceMutex);
        return trace;
    }

    CSettingsStore settings;
    CMailBook mailBook;
    CMessageBook messageBook;
    CRecordedMessages messages;
    std::mutex traceMutex;
    std::vector<std::string> trace;
    std::unique_ptr<CNotifier> notifier;
};

// A datagram socket standing in for /dev/log.
class CSyslogSink {
public:
    explicit CSyslogSink(std::string path) : m_path(std::move(path)) {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, m_path.c_str(), m_path.size() + 1);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~CSyslogSink() {
        close(m_fd);
        unlink(m_path.c_str());
    }
    bool Bound() const { return m_bound; }
    const std::string& Path() const { return m_path; }
    // The next record, or nothing within `ms`.
    std::optional<std::string> Next(int ms = 2000) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, ms) <= 0) {
            return std::nullopt;
        }
        char buffer[8192];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            return std::nullopt;
        }
        return std::string(buffer, static_cast<std::size_t>(n));
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

// One line of a helper's standard output within `ms` ("" when none came).
inline std::string ReadLineFrom(int fd, int ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (line.empty() || line.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{fd, POLLIN, 0};
        char c;
        if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0 || read(fd, &c, 1) != 1) {
            return "";
        }
        line.push_back(c);
    }
    line.pop_back();
    return line;
}

// aiosmtpd that knows the account "alarm" with password "pw" and records into its folder.
class CMailServer {
public:
    // mode: "plain", "starttls" or "tls" (the CA that signed its certificate: Dir() + "/ca.pem").
    explicit CMailServer(const CScratch& scratch, const std::string& mode = "plain")
        : m_dir(scratch.File("mail-" + mode)) {
        std::filesystem::create_directory(m_dir);
        if (m_process.Start({"/usr/bin/python3",
                             VRN_SOURCE_DIR "/tests/integration/notify/alarm_smtpd.py", m_dir,
                             "alarm", "pw", mode},
                            vrntest::CProcess::EStdout::Pipe)) {
            const std::string ready = ReadLineFrom(m_process.StdoutPipe(), 20000);
            if (ready.rfind("ready ", 0) == 0) {
                m_port = std::stoi(ready.substr(6));
            }
        }
    }
    int Port() const { return m_port; }
    const std::string& Dir() const { return m_dir; }
    std::string Stderr() const { return m_process.Stderr(); }

private:
    std::string m_dir;
    vrntest::CProcess m_process;
    int m_port = 0;
};

// Lines of a file ("" lines dropped).
inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}
