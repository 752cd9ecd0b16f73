#include "Notifier.h"

#include "AddressBook.h"
#include "FixedText.h"
#include "MailMessage.h"
#include "SettingsStore.h"
#include "StringTable.h"
#include "TextSafety.h"

#include <unistd.h>

namespace {

constexpr int kMailOnlyMaxIdeChannels = 5;
constexpr char kAlarmBodyIntro[] = "[SYSTEM ALARM]\r\nAn Event Occurred In:";

} // namespace

CNotifier::CNotifier(CSettingsStore& settings, CMailBook& mailBook, CMessageBook& messageBook,
                     IUserMessages& messages, SNotifierOptions options)
    : m_settings(settings), m_mailBook(mailBook), m_messageBook(messageBook), m_messages(messages),
      m_options(std::move(options)) {}

CNotifier::~CNotifier() = default;

void CNotifier::NotifyAlarm(int ideChannels, std::string text, std::stop_token stop) {
    const SettingsRecord settings = m_settings.Snapshot();
    if (settings.EnableNotify == 0) {
        return;
    }
    const bool byMessage = (settings.NotifyType & NOTIFY_BY_MESSAGE) != 0;
    const bool byMail = (settings.NotifyType & NOTIFY_BY_MAIL) != 0 &&
                        ((settings.NotifyType & NOTIFY_MAIL_ONLY_NO_ETHERNET) == 0 ||
                         ideChannels <= kMailOnlyMaxIdeChannels);
    // The books as they are now; the window may change them while this alarm goes out.
    const std::vector<std::string> computers =
        byMessage ? m_messageBook.EnabledComputers() : std::vector<std::string>{};
    const std::vector<CMailReceiver> mailBook =
        byMail ? m_mailBook.Entries() : std::vector<CMailReceiver>{};

    // Every pop-up goes out before the mail server is contacted.
    if (byMessage) {
        SendMessages(computers, text, stop);
    }
    if (byMail && !stop.stop_requested()) {
        SendMail(settings, mailBook, text, stop);
    }
}

void CNotifier::SendAlarmMessage(const std::string& text, std::stop_token stop) {
    SendMessages(m_messageBook.EnabledComputers(), text, stop);
}

void CNotifier::SendAlarmMail(const std::string& text, std::stop_token stop) {
    SendMail(m_settings.Snapshot(), m_mailBook.Entries(), text, stop);
}

void CNotifier::ShowMessengerError(const std::string& reason) {
    m_messages.ShowMessage(std::string(kNetMessengerPrefix) + " " + reason);
}

void CNotifier::SendMessages(const std::vector<std::string>& computers, const std::string& text,
                             std::stop_token stop) {
    const bool chinese = CStringTable::Language() == ELanguage::Chinese;
    for (const std::string& computer : computers) {
        if (stop.stop_requested()) {
            return;
        }
        const SMessengerOutcome outcome =
            SendMessengerMessage(m_options.messenger, computer, text, chinese, stop);
        if (outcome.stopped) {
            return;
        }
        if (outcome.sent) {
            ++m_popupsSent;
        } else {
            ++m_popupsFailed;
            Trace("SendAlarmMessage==> " + computer + ": " + outcome.reason + "\r\n");
            ShowMessengerError(outcome.reason);
        }
    }
}

void CNotifier::SendMail(const SettingsRecord& settings, const std::vector<CMailReceiver>& book,
                         const std::string& text, std::stop_token stop) {
    const std::string server(FixedText::Get(settings.Server));
    if (server.empty()) {
        return;
    }
    CSMTPConnection smtp;
    smtp.SetTimeout(m_options.smtpIdleTimeoutMs);
    smtp.SetConnectTimeout(m_options.smtpConnectTimeoutMs);
    smtp.SetHostLookup(m_options.smtpLookup);
    smtp.SetStopToken(stop);
    smtp.SetSecurity(settings.Security);
    smtp.SetCaFile(settings.CAFile);
    const int port = m_options.smtpPort != 0 ? m_options.smtpPort : settings.Port;
    if (!smtp.OpenSession(server.c_str(), port)) {
        if (!stop.stop_requested()) {
            ++m_mailsFailed;
            Trace("SendAlarmMail==> cannot open a session with " + server + ": " +
                  OneLineText(smtp.FailureReason()) + "\r\n");
            if (settings.Security != SMTP_SECURITY_NONE) {
                // A certificate or STARTTLS failure has no other place where its reason shows:
                // the box only says that the server could not be reached.
                const std::string why = "SMTP server " + server + ":" + std::to_string(port) +
                                        ": " + OneLineText(smtp.FailureReason()) +
                                        "; alarm mail not sent: " + text;
                (void)SendSyslogRecord(m_options.syslogPath,
                                       FormatSyslogRecord(EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR,
                                                          why, LocalTime(),
                                                          static_cast<int>(getpid())));
            }
            m_messages.ShowMessage(CStringTable::Text(IDS_SMTP_CONNECT_FAILED));
        }
        return;
    }
    if (smtp.IsEncrypted()) {
        Trace("SendAlarmMail==> " + server + " over " + smtp.TlsDescription() + "\r\n");
    }
    if (!smtp.AuthenticateAny(std::string(FixedText::Get(settings.Account)),
                              std::string(FixedText::Get(settings.Password)))) {
        if (stop.stop_requested()) {
            return;
        }
        ++m_mailsFailed;
        // No mail goes out; this record and the trace are the only sign of it.
        const std::string why = "SMTP server " + server +
                                " accepted none of NTLM, CRAM-MD5, LOGIN, PLAIN (last reply: " +
                                OneLineText(smtp.LastReply()) + "); alarm mail not sent: " + text;
        Trace("SendAlarmMail==> " + why + "\r\n");
        (void)SendSyslogRecord(m_options.syslogPath,
                               FormatSyslogRecord(EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, why,
                                                  LocalTime(), static_cast<int>(getpid())));
        return;
    }
    if (book.empty()) {
        return; // the session closes with QUIT; no transaction
    }
    CMailMessage mail;
    for (const CMailReceiver& entry : book) {
        if (entry.Enabled == 1) {
            mail.AddRecipient(std::string(FixedText::Get(entry.Address)));
        }
    }
    const std::string line = OneLineText(text);
    mail.m_from = std::string(FixedText::Get(settings.SenderAddr));
    mail.m_subject = line;
    mail.SetBody(kAlarmBodyIntro + line);
    if (smtp.SendMail(mail)) {
        ++m_mailsSent;
    } else if (!stop.stop_requested()) {
        ++m_mailsFailed;
        Trace("SendAlarmMail==> message not accepted: " + OneLineText(smtp.LastReply()) + "\r\n");
    }
}

void CNotifier::ReportSystemEvent(int type, std::uint32_t id, std::string_view text) {
    if (m_settings.Snapshot().EnableSysLog == 0) {
        return;
    }
    (void)SendSyslogRecord(m_options.syslogPath, FormatSyslogRecord(type, id, text, LocalTime(),
                                                                    static_cast<int>(getpid())));
}

void CNotifier::RegisterEventLogSource() {}

bool CNotifier::OpenLogFile() {
    m_log.Close();
    const std::string path = m_settings.Snapshot().Logfilepath;
    if (path.empty()) {
        return true;
    }
    return m_log.Open(path);
}

void CNotifier::CloseLogFile() {
    m_log.Close();
}

bool CNotifier::WriteLogLine(std::string_view text) {
    if (m_settings.Snapshot().Logfile == 0 || !m_log.IsOpen()) {
        return true;
    }
    return m_log.Append(FormatLogLine(LocalTime(), text));
}

bool CNotifier::LogResourceString(int id) {
    if (m_settings.Snapshot().Logfile == 0 || !m_log.IsOpen()) {
        return false;
    }
    if (!WriteLogLine(CStringTable::Text(id))) {
        m_messages.ShowMessage(CStringTable::Text(IDS_LOG_WRITE_FAILED));
        return false;
    }
    return true;
}

std::tm CNotifier::LocalTime() const {
    if (m_options.localTime) {
        return m_options.localTime();
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void CNotifier::Trace(const std::string& line) const {
    if (m_options.trace) {
        m_options.trace(line);
    }
}

SNotifierCounts CNotifier::Counts() const {
    SNotifierCounts counts;
    counts.mailsSent = m_mailsSent;
    counts.mailsFailed = m_mailsFailed;
    counts.popupsSent = m_popupsSent;
    counts.popupsFailed = m_popupsFailed;
    return counts;
}
