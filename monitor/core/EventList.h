#pragma once
// The event list as a model: every event or alarm line of the run, newest first, the status
// text of the last one, and the log file line written with it. The window's list view and
// status line show what this holds; the headless front-end prints it.

#include "MonitorWindow.h"

#include <cstddef>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Local time now, as the event list and the clock show it (a test seam).
using LocalClock = std::function<std::tm()>;
std::tm SystemLocalTime();

// "%d-%d-%d  %d:%d:%d": the event list's Time column.
std::string FormatEventTime(const std::tm& t);
// "%d/%d/%d %d:%d:%d  %s": status part 0, cut to 127 bytes (never mid-character).
std::string FormatStatusText(const std::tm& t, std::string_view text);
// "%d/%d/%d  %d:%d:%d": status part 1, and the log file's stamp.
std::string FormatClock(const std::tm& t);

inline constexpr std::size_t STATUS_TEXT_MAX = 127;

class CEventList {
public:
    // Receives each new line with its status text, under the list's lock (so in list order).
    using LineSink = std::function<void(const SEventLine& line, const std::string& status)>;
    // Writes the log line; false when the write failed.
    using LogWriter = std::function<bool(std::string_view text)>;

    void SetClock(LocalClock clock);
    std::tm Now() const;
    void SetLineSink(LineSink sink);
    void SetLogWriter(LogWriter writer);
    // Keeps only the newest `limit` lines (0: all, the window's way; a headless run that lasts
    // months keeps a bounded number).
    void SetLineLimit(std::size_t limit);

    // AddEventToList: time-stamps the line, inserts it at the top, sets the status text and
    // writes the log line, all under one lock so lines of different agents never interleave.
    // Returns false when the log write failed; the caller reports that after the lock is gone.
    bool Add(const std::string& text);

    std::vector<SEventLine> Lines() const; // newest first
    std::size_t Count() const;
    std::string StatusText() const;

private:
    mutable std::mutex m_mutex; // the event-list lock
    std::deque<SEventLine> m_lines;
    std::string m_status;
    std::size_t m_limit = 0;
    LocalClock m_clock = SystemLocalTime;
    LineSink m_sink;
    LogWriter m_log;
};
