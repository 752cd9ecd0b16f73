#pragma once
// Alarm records for the system log: one datagram per record to the local syslog socket
// (journald reads /dev/log), in the traditional format "<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT".
// The event type picks the priority and the event identifier leads the text, so journal
// filters can tell an alarm's class both ways. The socket path is a parameter, so tests can
// bind a socket of their own and read what arrives.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Event types as the event monitor reports them.
inline constexpr int EVENTLOG_ERROR_TYPE = 1;
inline constexpr int EVENTLOG_WARNING_TYPE = 2;
inline constexpr int EVENTLOG_INFORMATION_TYPE = 4;

// Event identifiers: error, warning and information alarms.
inline constexpr std::uint32_t EVENTLOG_ID_ERROR = 0xC0000030u;
inline constexpr std::uint32_t EVENTLOG_ID_WARNING = 0x80000020u;
inline constexpr std::uint32_t EVENTLOG_ID_INFORMATION = 0x40000010u;

inline constexpr char kDefaultSyslogPath[] = "/dev/log";
inline constexpr char kSyslogIdentifier[] = "QuillHT";
// Longer texts are cut; alarm texts are far shorter.
inline constexpr std::size_t kSyslogTextMax = 2048;

// Syslog severity of an event type: error 3, warning 4, information (and anything else) 6.
int SyslogSeverity(int eventType);

// The whole record for facility user, e.g. "<11>Jun  5 09:07:03 QuillHT[42]: [0xC0000030] text".
// Control characters of the text become "?", so one alarm is always one line.
std::string FormatSyslogRecord(int eventType, std::uint32_t eventId, std::string_view text,
                               const std::tm& local, int pid);

// Sends one record to the socket at `path` (datagram, or stream when the socket is one);
// false when nothing could be sent.
bool SendSyslogRecord(const std::string& path, std::string_view record);
