#pragma once
// The notification half of the application: it turns an alarm text into pop-up messages and an
// alarm mail, writes system-log records and the utility's log file. Every monitor thread calls
// it, several at a time; it reads the settings and the two address books through copies taken
// when a notification starts, so the window may change them meanwhile.

#include "LogFile.h"
#include "Messenger.h"
#include "SmtpConnection.h"
#include "SystemLog.h"
#include "UserMessages.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class CSettingsStore;
class CMailBook;
class CMailReceiver;
class CMessageBook;
struct SettingsRecord;

// The text every "Net Messenger: " box begins with; the reason follows after one more blank.
inline constexpr char kNetMessengerPrefix[] = "Net Messenger: ";

// Where the notifier reaches the world. The defaults are the real ones; tests point them at
// servers and sockets of their own.
struct SNotifierOptions {
    std::string syslogPath = kDefaultSyslogPath;
    SMessengerOptions messenger;
    // 0: the Port setting.
    int smtpPort = 0;
    std::uint32_t smtpIdleTimeoutMs = SMTP_IDLE_TIMEOUT_MS;
    std::uint32_t smtpConnectTimeoutMs = SMTP_CONNECT_TIMEOUT_MS;
    CSMTPConnection::HostLookup smtpLookup = &CSMTPConnection::SystemHostLookup;
    // Local time for log and system-log stamps; empty: the system clock.
    std::function<std::tm()> localTime;
    // Trace lines (the product's diagnostic trace); empty: discarded.
    std::function<void(std::string_view)> trace;
};

// What the notifier has done since it was made, for the metrics page: mails and pop-ups that
// went out and those that did not (a stop request counts as neither).
struct SNotifierCounts {
    std::uint64_t mailsSent = 0;
    std::uint64_t mailsFailed = 0;
    std::uint64_t popupsSent = 0;
    std::uint64_t popupsFailed = 0;
};

class CNotifier {
public:
    CNotifier(CSettingsStore& settings, CMailBook& mailBook, CMessageBook& messageBook,
              IUserMessages& messages, SNotifierOptions options = {});
    ~CNotifier();
    CNotifier(const CNotifier&) = delete;
    CNotifier& operator=(const CNotifier&) = delete;

    // Pop-ups, then mail, as EnableNotify and NotifyType say. Mail is left out for a
    // controller with more than 5 IDE channels when NotifyType asks for mail only without
    // Ethernet. A stop request ends it between computers and steps, and ends any wait.
    void NotifyAlarm(int ideChannels, std::string text, std::stop_token stop = {});
    // One pop-up to every enabled computer of the message book, in book order; a computer that
    // fails gets one "Net Messenger: " box and the next is still tried.
    void SendAlarmMessage(const std::string& text, std::stop_token stop = {});
    // One mail to the enabled addresses of the mail book. A server that cannot be reached
    // shows "Failed to connect SMTP server"; when every authentication method fails nothing is
    // sent, and a system-log record and a trace line say so.
    void SendAlarmMail(const std::string& text, std::stop_token stop = {});
    void ShowMessengerError(const std::string& reason);

    // A system-log record when EnableSysLog is set; failures are ignored. Types
    // EVENTLOG_*_TYPE, identifiers EVENTLOG_ID_*.
    void ReportSystemEvent(int type, std::uint32_t id, std::string_view text);
    // Nothing to register: the system log takes records from any program.
    void RegisterEventLogSource();

    // Opens Logfilepath (whatever Logfile says): true when no path is set or the file opened.
    // The caller shows "Failed to open log file" on false.
    bool OpenLogFile();
    void CloseLogFile();
    // Appends one stamped line when Logfile is set and a file is open. False only when the
    // write failed or was short; the caller shows "Failed to write to log file" once it holds
    // no lock.
    bool WriteLogLine(std::string_view text);
    // The string table text `id` as a log line; shows "Failed to write to log file" itself.
    // True when a line was written.
    bool LogResourceString(int id);

    SNotifierCounts Counts() const;

private:
    void SendMessages(const std::vector<std::string>& computers, const std::string& text,
                      std::stop_token stop);
    void SendMail(const SettingsRecord& settings, const std::vector<CMailReceiver>& book,
                  const std::string& text, std::stop_token stop);
    std::tm LocalTime() const;
    void Trace(const std::string& line) const;

    CSettingsStore& m_settings;
    CMailBook& m_mailBook;
    CMessageBook& m_messageBook;
    IUserMessages& m_messages;
    const SNotifierOptions m_options;
    CLogFile m_log;
    std::atomic<std::uint64_t> m_mailsSent{0};
    std::atomic<std::uint64_t> m_mailsFailed{0};
    std::atomic<std::uint64_t> m_popupsSent{0};
    std::atomic<std::uint64_t> m_popupsFailed{0};
};
