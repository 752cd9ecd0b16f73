#pragma once
// How the core hands an alarm on to notification. The program glues this to its notifier;
// tests plug in fakes. Every call comes from a monitor thread (or the window's thread for
// the start and exit lines) and may run at the same time as others.

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

// System log entry types and the event identifier that goes with each.
inline constexpr int SYSLOG_ERROR = 1;
inline constexpr int SYSLOG_WARNING = 2;
inline constexpr int SYSLOG_INFORMATION = 4;
inline constexpr std::uint32_t EVENT_ID_ERROR = 0xC0000030u;
inline constexpr std::uint32_t EVENT_ID_WARNING = 0x80000020u;
inline constexpr std::uint32_t EVENT_ID_INFORMATION = 0x40000010u;

class IAlarmSink {
public:
    virtual ~IAlarmSink() = default;

    // Messenger pop-ups and mail as the notification settings say. ideChannels is the
    // controller's gsiIdeChannels (the one thing of the agent notification looks at). Must
    // return promptly once stop is requested: it runs on the agent's monitor thread, and
    // deleting the agent waits for that thread.
    virtual void NotifyAlarm(int ideChannels, const std::string& text, std::stop_token stop) = 0;

    // One system log record (when the settings enable it); type SYSLOG_*, id EVENT_ID_*.
    virtual void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) = 0;

    // One time-stamped log file line. False only when a write failed or was short; the
    // caller then shows "Failed to write to log file" itself, after releasing its locks.
    virtual bool WriteLogLine(std::string_view text) = 0;
};
