#pragma once
// The utility's settings as one record: every field with its file section, key and default.
// The record is copied whole to readers (CSettingsStore::Snapshot), so it holds plain values.

#include <cstddef>
#include <cstdint>
#include <string>

// NotifyType bits.
inline constexpr std::int32_t NOTIFY_BY_MAIL = 0x1;
inline constexpr std::int32_t NOTIFY_BY_MESSAGE = 0x2;
inline constexpr std::int32_t NOTIFY_MAIL_ONLY_NO_ETHERNET = 0x10000000;

// Level: the index of the notification level list.
inline constexpr std::int32_t LEVEL_URGENT = 0;
inline constexpr std::int32_t LEVEL_SERIOUS = 1;
inline constexpr std::int32_t LEVEL_WARNING = 2;
inline constexpr std::int32_t LEVEL_INFORMATION = 3;

// Security: how the alarm mail protects its session. 0 keeps the plain session on port 25 the
// mailer has always used; the others need a server that speaks TLS.
inline constexpr std::int32_t SMTP_SECURITY_NONE = 0;
inline constexpr std::int32_t SMTP_SECURITY_STARTTLS = 1;          // when the server offers it
inline constexpr std::int32_t SMTP_SECURITY_STARTTLS_REQUIRED = 2; // no mail without it
inline constexpr std::int32_t SMTP_SECURITY_TLS = 3;               // TLS from the first byte

// Language: 0 is Chinese (Taiwan), any other value English (US).
inline constexpr std::int32_t LANGUAGE_CHINESE = 0;
inline constexpr std::int32_t LANGUAGE_ENGLISH = 1;

struct SettingsRecord {
    // [General]
    std::int32_t Language = LANGUAGE_ENGLISH;
    std::int32_t Logfile = 1;
    std::string Logfilepath = "Log.log";
    // [Network]
    std::uint16_t AgentPort = 7890;
    std::int32_t PollInterval = 5;
    std::int32_t PollRetries = 1;
    std::int32_t PollTimeout = 5;
    // [Security]: MD5 of the login password as 32 lower-case hex digits, or empty
    std::string LoginP;
    // [EVENT]
    std::int32_t EnableNotify = 0;
    std::int32_t NotifyType = 0;
    std::int32_t Level = LEVEL_INFORMATION;
    std::int32_t EnableSysLog = 0;
    // [SMTP]: zero-terminated texts, array sizes include the terminator
    char Account[32] = {};
    std::int32_t Auth = 0;
    char Password[64] = {}; // in clear here, Base64 in the file
    char Server[64] = {};
    char SenderName[32] = {};
    char SenderAddr[64] = {};
    std::int32_t Port = 25;
    std::int32_t Security = SMTP_SECURITY_NONE;
    std::string CAFile; // one more CA certificate file (PEM) trusted beside the system's
};

// Ranges the settings pages accept.
struct SIntRange {
    std::int64_t nMin;
    std::int64_t nMax;
    constexpr bool Contains(std::int64_t v) const { return v >= nMin && v <= nMax; }
};
inline constexpr SIntRange kPollIntervalRange{1, 120};
inline constexpr SIntRange kPollRetriesRange{0, 10};
inline constexpr SIntRange kPollTimeoutRange{1, 120};
inline constexpr SIntRange kAgentPortRange{1, 65535};
inline constexpr std::size_t kLogfilepathMaxLength = 256;
inline constexpr SIntRange kSmtpPortRange{1, 65535};
inline constexpr SIntRange kSmtpSecurityRange{SMTP_SECURITY_NONE, SMTP_SECURITY_TLS};
// The INI reader hands out at most 299 characters; a longer path would come back cut.
inline constexpr std::size_t kCAFileMaxLength = 256;

// File sections and keys.
namespace SettingsKeys {
inline constexpr char General[] = "General";
inline constexpr char Network[] = "Network";
inline constexpr char Security[] = "Security";
inline constexpr char Event[] = "EVENT";
inline constexpr char Smtp[] = "SMTP";
} // namespace SettingsKeys
