#pragma once
// The one interface between the core and whatever shows it: the Qt main window, or the
// headless front-end. The core never includes either.
//
// Threads. Every method except PostToWindow and IsWindowThread is called on the window's own
// thread only. When a monitor thread needs the window (an agent's row and state picture), the
// core posts the step with PostToWindow and waits for it; a stop request on that monitor
// thread releases the wait, and the posted step then does nothing (CWindowBridge). Everything
// else the core sends (event lines, message boxes) is posted without waiting, so monitoring
// never waits for a user.

#include <ctime>
#include <functional>
#include <string>

class CAgent;

// One line of the event list.
struct SEventLine {
    std::string time; // "%d-%d-%d  %d:%d:%d" (year-month-day, hour:minute:second)
    std::string text; // the event or alarm line
    std::tm when{};   // the local time both were taken from
};

class IMonitorWindow {
public:
    virtual ~IMonitorWindow() = default;

    // --- any thread; must not block ---

    // Runs fn on the window's thread, after what was posted before it (FIFO). Called from
    // monitor threads, timers and the window itself.
    virtual void PostToWindow(std::function<void()> fn) = 0;
    virtual bool IsWindowThread() const = 0;

    // --- window thread only ---

    // The agent list: whether `agent` has a row (the "row exists" rule: an agent's state
    // changes only while it has a row), and its state picture (1..4).
    virtual bool FindAgentRow(const CAgent& agent) = 0;
    virtual void ShowAgentState(const CAgent& agent, int state) = 0;
    // Rebuilds the agent rows from the agent list (after a rescan, Add, Delete).
    virtual void RebuildAgentList() = 0;

    // A new event line (insert it at the top) and status part 0 ("%d/%d/%d %d:%d:%d  %s", at
    // most 127 bytes). Posted in the order the lines were added.
    virtual void ShowEventLine(const SEventLine& line, const std::string& statusText) = 0;
    // Status part 1, once a second.
    virtual void ShowClock(const std::string& text) = 0;

    // A message box (caption "Monitoring Utility", OK). The window must call
    // CMonitor::MessageBoxClosed() once it has gone (at once, for a front-end that only prints
    // it); until then the next text waits and identical texts are merged.
    virtual void ShowMessageBox(const std::string& text) = 0;

    // "Scanning raid subsystem, please wait..." while a rescan runs.
    virtual void ShowWaitNotice(bool visible) = 0;
};
