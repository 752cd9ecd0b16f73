#pragma once
// The headless front-end's "window": the main thread's loop. Posted work runs on it in order;
// event lines go to standard output in the log file's form, message boxes to standard error;
// an agent "has a row" while it is in AgentList.

#include "Monitor.h"
#include "MonitorWindow.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CHeadlessWindow : public IMonitorWindow {
public:
    // Lines go to `out`, message boxes to `err`.
    CHeadlessWindow(std::FILE* out, std::FILE* err);
    ~CHeadlessWindow() override;

    // The loop thread is the one that calls this (before the monitor starts).
    void BindToThisThread() { m_loopThread = std::this_thread::get_id(); }
    void SetMonitor(CMonitor* monitor) { m_monitor = monitor; }

    // Runs everything posted so far; true when something ran.
    bool RunPosted();
    // Descriptor that becomes readable when work is posted (for the loop's poll).
    int WakeFd() const { return m_wakeFd; }

    // IMonitorWindow
    void PostToWindow(std::function<void()> fn) override;
    bool IsWindowThread() const override;
    bool FindAgentRow(const CAgent& agent) override;
    void ShowAgentState(const CAgent& agent, int state) override;
    void RebuildAgentList() override;
    void ShowEventLine(const SEventLine& line, const std::string& statusText) override;
    void ShowClock(const std::string& text) override;
    void ShowMessageBox(const std::string& text) override;
    void ShowWaitNotice(bool visible) override;

private:
    std::FILE* m_out;
    std::FILE* m_err;
    int m_wakeFd = -1;
    std::thread::id m_loopThread;
    CMonitor* m_monitor = nullptr;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_posted;
};
