#pragma once
// What the program needs of notification: the core's alarm sink plus the log file's opening,
// its start and exit lines, and its closing. Glued to the notifier of monitor/notify.

#include "AlarmSink.h"

#include <cstdint>
#include <functional>
#include <string_view>

// Mails and pop-ups that went out and those that did not, since the start.
struct SDeliveryCounts {
    std::uint64_t mailsSent = 0;
    std::uint64_t mailsFailed = 0;
    std::uint64_t popupsSent = 0;
    std::uint64_t popupsFailed = 0;
};

class IAppNotifier : public IAlarmSink {
public:
    // True when no log file is configured or it opened.
    virtual bool OpenLogFile() = 0;
    virtual void CloseLogFile() = 0;
    // One string-table text as a log line; true when written.
    virtual bool LogResourceString(int id) = 0;
    // Where the notifier's own trace lines go (the monitor's trace, once it exists); until
    // then, and with an empty writer, they are dropped. Any thread.
    virtual void SetTrace(std::function<void(std::string_view)> writer) { (void)writer; }
    // For the metrics page; any thread.
    virtual SDeliveryCounts Deliveries() const { return {}; }
};
