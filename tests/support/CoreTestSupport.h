// Fakes and helpers for the monitor core's tests: an alarm sink that records, a window with a
// thread of its own, a scratch settings store, and agents on random loopback addresses.
#pragma once

#include "Agent.h"
#include "AlarmSink.h"
#include "Monitor.h"
#include "MonitorWindow.h"
#include "SettingsStore.h"
#include "StringTable.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace coretest {

using namespace std::chrono_literals;

class CScratchDir {
public:
    CScratchDir() {
        char tmpl[] = "/tmp/vrncore-XXXXXX";
        if (mkdtemp(tmpl) != nullptr)
            m_path = tmpl;
    }
    ~CScratchDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Records everything the core hands on. NotifyAlarm can be made to hang like a mail server
// that never answers, until the stop request it was given.
class CRecordingSink : public IAlarmSink {
public:
    struct SSyslog {
        int type;
        std::uint32_t id;
        std::string text;
    };

    void NotifyAlarm(int ideChannels, const std::string& text, std::stop_token stop) override {
        {
            std::lock_guard lock(m_mutex);
            m_notified.push_back(text);
            m_ideChannels.push_back(ideChannels);
        }
        m_cv.notify_all();
        if (m_hangNotify) {
            std::mutex m;
            std::condition_variable_any cv;
            std::unique_lock lock(m);
            cv.wait(lock, stop, [] { return false; });
        }
    }
    void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_syslog.push_back({type, id, text});
    }
    bool WriteLogLine(std::string_view text) override {
        {
            std::lock_guard lock(m_mutex);
            m_log.emplace_back(text);
        }
        m_cv.notify_all();
        return !m_failLog;
    }

    std::vector<std::string> Notified() const {
        std::lock_guard lock(m_mutex);
        return m_notified;
    }
    std::vector<SSyslog> Syslog() const {
        std::lock_guard lock(m_mutex);
        return m_syslog;
    }
    std::vector<std::string> Log() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    // Log lines that contain `part`.
    int LogCount(const std::string& part) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const std::string& l : m_log)
            n += l.find(part) != std::string::npos;
        return n;
    }
    // Waits until `part` has been logged `times` times; false after the time limit.
    bool WaitLogged(const std::string& part, int times = 1,
                    std::chrono::milliseconds limit = 10s) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(m_mutex);
        for (;;) {
            int n = 0;
            for (const std::string& l : m_log)
                n += l.find(part) != std::string::npos;
            if (n >= times)
                return true;
            if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout)
                return false;
        }
    }

    std::atomic<bool> m_hangNotify{false};
    std::atomic<bool> m_failLog{false};

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::vector<std::string> m_notified;
    std::vector<int> m_ideChannels;
    std::vector<SSyslog> m_syslog;
    std::vector<std::string> m_log;
};

// A window with its own thread running what is posted to it, as the Qt event loop would.
// Rows exist for the agents in `rows` (all agents when m_allRows).
class CThreadWindow : public IMonitorWindow {
public:
    CThreadWindow() : m_thread([this](std::stop_token st) { Run(st); }) {}
    ~CThreadWindow() override { Close(); }

    void Close() {
        m_thread.request_stop();
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    // The window thread stops taking posted work until Resume (a long rescan, say).
    void Hold() { m_held = true; }
    void Resume() {
        m_held = false;
        m_cv.notify_all();
    }
    std::size_t Pending() const {
        std::lock_guard lock(m_mutex);
        return m_queue.size();
    }
    // Runs fn on the window thread and waits for it.
    void RunOnWindow(std::function<void()> fn) {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        PostToWindow([&] {
            fn();
            std::lock_guard lock(m);
            done = true;
            cv.notify_all();
        });
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }

    void PostToWindow(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(fn));
        }
        m_cv.notify_all();
    }
    bool IsWindowThread() const override { return std::this_thread::get_id() == m_thread.get_id(); }
    bool FindAgentRow(const CAgent& agent) override {
        std::lock_guard lock(m_mutex);
        return m_allRows || m_rows.count(&agent) != 0;
    }
    void ShowAgentState(const CAgent&, int state) override {
        std::lock_guard lock(m_mutex);
        m_pictures.push_back(state);
    }
    void RebuildAgentList() override { ++m_rebuilds; }
    void ShowEventLine(const SEventLine& line, const std::string& status) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line.text);
        m_status = status;
    }
    void ShowClock(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_clock = text;
    }
    void ShowMessageBox(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back(text);
    }
    void ShowWaitNotice(bool visible) override {
        std::lock_guard lock(m_mutex);
        m_waitNotices.push_back(visible);
    }

    void SetRow(const CAgent* agent, bool present) {
        std::lock_guard lock(m_mutex);
        if (present)
            m_rows.insert(agent);
        else
            m_rows.erase(agent);
    }
    std::vector<std::string> Boxes() const {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::vector<int> Pictures() const {
        std::lock_guard lock(m_mutex);
        return m_pictures;
    }
    std::vector<bool> WaitNotices() const {
        std::lock_guard lock(m_mutex);
        return m_waitNotices;
    }
    std::string Clock() const {
        std::lock_guard lock(m_mutex);
        return m_clock;
    }

    std::atomic<bool> m_allRows{true};
    std::atomic<int> m_rebuilds{0};

private:
    void Run(std::stop_token st) {
        std::unique_lock lock(m_mutex);
        while (!st.stop_requested()) {
            if (m_held || m_queue.empty()) {
                m_cv.wait(lock,
                          [&] { return st.stop_requested() || (!m_held && !m_queue.empty()); });
                continue;
            }
            auto fn = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_queue;
    std::atomic<bool> m_held{false};
    std::set<const CAgent*> m_rows;
    std::vector<int> m_pictures;
    std::vector<std::string> m_lines;
    std::string m_status, m_clock;
    std::vector<std::string> m_boxes;
    std::vector<bool> m_waitNotices;
    std::jthread m_thread; // last: starts once everything above exists
};

// A settings store in a scratch folder with fast polling.
struct SScratchSettings {
    CScratchDir dir;
    CSettingsStore store{dir.File("QuillHT.ini")};
    SScratchSettings(int interval = 1, int retries = 0, int timeout = 1) {
        store.Update([&](SettingsRecord& r) {
            r.PollInterval = interval;
            r.PollRetries = retries;
            r.PollTimeout = timeout;
        });
        CStringTable::SetLanguage(ELanguage::English);
    }
};

// The library's fixed pauses, dropped: a datagram has arrived whole once it is signalled.
inline void NoLibrarySleep(void*, int) {}

inline std::uint32_t Ip(const std::string& dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted.c_str(), &a);
    return a.s_addr;
}

inline sockaddr_in AgentAddress(const std::string& dotted) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(AGENT_UDP_PORT);
    a.sin_addr.s_addr = Ip(dotted);
    return a;
}

// Polls pred until it holds; false after the limit.
inline bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A loopback address picked at random for this test process (127.x.y.z, no 0 or 255 parts):
// agents answer on the fixed port 7890, so parallel test runs must not share addresses.
inline std::string RandomLoopback() {
    static std::mt19937 rng(std::random_device{}() ^ static_cast<unsigned>(getpid()));
    std::uniform_int_distribution<int> part(1, 254);
    return "127." + std::to_string(part(rng)) + "." + std::to_string(part(rng)) + "." +
           std::to_string(part(rng));
}

// A UDP socket bound to the agent port at a random loopback address of its own (a few tries
// past addresses another test holds); -1 when none could be bound. The address goes to *address.
inline int BindAgentSocket(std::string* address) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        *address = RandomLoopback();
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = AgentAddress(*address);
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return s;
        ::close(s);
    }
    return -1;
}

// An agent record without a controller behind it: its system information read fails at once
// (no traffic), and it is listed so that it has a "row".
inline AgentPtr OfflineAgent(CMonitor& monitor, const std::string& dotted) {
    auto saved = monitor.GetQueryHook();
    monitor.SetQueryHook([](CAgent&, EAgentQuery) { return VRN_NO_REPLY; });
    auto agent = std::make_shared<CAgent>(monitor, AgentAddress(dotted));
    monitor.SetQueryHook(saved);
    monitor.AgentList().Append(agent);
    return agent;
}

} // namespace coretest
