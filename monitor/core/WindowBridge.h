#pragma once
// Carries the core's calls to the window: steps a monitor thread must wait for (an agent's
// row and state), posted notifications, and the message-box queue. Without a window (unit
// tests, tools) steps run at once on the caller's thread.

#include "MonitorWindow.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>

class CWindowBridge {
public:
    // Boxes raised before there was a window are shown once it is set.
    void SetWindow(IMonitorWindow* window);
    IMonitorWindow* Window() const { return m_window.load(); }

    // Runs step on the window's thread and waits for it. A stop request before the window
    // has begun the step releases the wait: the step is then never run (it may refer to a
    // record that is about to go) and false comes back. On the window's thread, or without a
    // window, the step runs at once.
    bool RunAndWait(const std::function<void()>& step, std::stop_token stop);
    // Runs step on the window's thread later; without a window it is dropped.
    void Post(std::function<void()> step);

    // Message boxes: shown one at a time; a text identical to the one showing or to one
    // waiting is merged into it. Never blocks. At most MAX_WAITING_BOXES wait; more are
    // dropped (a window nobody answers must not collect texts for ever).
    static constexpr std::size_t MAX_WAITING_BOXES = 64;
    void RaiseMessageBox(const std::string& text);
    // The window's answer to ShowMessageBox: the box has gone, show the next.
    void MessageBoxClosed();
    // Texts merged so far (a test and metrics figure).
    unsigned long MergedMessageBoxes() const { return m_merged.load(); }

private:
    void ShowNextLocked(); // m_boxMutex held

    std::atomic<IMonitorWindow*> m_window{nullptr};
    std::mutex m_boxMutex;
    bool m_boxShowing = false;
    std::string m_boxText;
    std::deque<std::string> m_boxQueue;
    std::atomic<unsigned long> m_merged{0};
};
