#include "NotifierGlue.h"

#include "Notifier.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// The two numbering schemes of the system log name the same records.
static_assert(SYSLOG_ERROR == EVENTLOG_ERROR_TYPE && SYSLOG_WARNING == EVENTLOG_WARNING_TYPE &&
              SYSLOG_INFORMATION == EVENTLOG_INFORMATION_TYPE);
static_assert(EVENT_ID_ERROR == EVENTLOG_ID_ERROR && EVENT_ID_WARNING == EVENTLOG_ID_WARNING &&
              EVENT_ID_INFORMATION == EVENTLOG_ID_INFORMATION);

int PortFromEnvironment(const char* name, int fallback) {
    return PortFromText(std::getenv(name), fallback);
}

SNotifierOptions OptionsFromEnvironment() {
    SNotifierOptions o;
    if (const char* path = std::getenv("QUILLHT_SYSLOG_SOCKET"); path != nullptr && *path != '\0')
        o.syslogPath = path;
    o.smtpPort = PortFromEnvironment("QUILLHT_SMTP_PORT", o.smtpPort);
    o.messenger.port = PortFromEnvironment("QUILLHT_SMB_PORT", o.messenger.port);
    return o;
}

class CAppNotifier final : public IAppNotifier {
public:
    CAppNotifier(CSettingsStore& settings, CMailBook& mail, CMessageBook& message,
                 std::function<void(const std::string&)> showMessage)
        : m_messages(std::move(showMessage)),
          m_notifier(settings, mail, message, m_messages, Options()) {}

    void NotifyAlarm(int ideChannels, const std::string& text, std::stop_token stop) override {
        m_notifier.NotifyAlarm(ideChannels, text, stop);
    }
    void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) override {
        m_notifier.ReportSystemEvent(type, id, text);
    }
    bool WriteLogLine(std::string_view text) override { return m_notifier.WriteLogLine(text); }
    bool OpenLogFile() override { return m_notifier.OpenLogFile(); }
    void CloseLogFile() override { m_notifier.CloseLogFile(); }
    bool LogResourceString(int id) override { return m_notifier.LogResourceString(id); }
    void SetTrace(std::function<void(std::string_view)> writer) override {
        std::lock_guard lock(m_traceMutex);
        m_trace = std::move(writer);
    }
    SDeliveryCounts Deliveries() const override {
        const SNotifierCounts c = m_notifier.Counts();
        return {c.mailsSent, c.mailsFailed, c.popupsSent, c.popupsFailed};
    }

private:
    // The notifier takes its trace writer once, at construction; the monitor's trace comes
    // later, so the notifier writes through this member.
    SNotifierOptions Options() {
        SNotifierOptions o = OptionsFromEnvironment();
        o.trace = [this](std::string_view line) {
            std::lock_guard lock(m_traceMutex);
            if (m_trace)
                m_trace(line);
        };
        return o;
    }

    std::mutex m_traceMutex;
    std::function<void(std::string_view)> m_trace;
    CMessagesToFunction m_messages;
    CNotifier m_notifier;
};

} // namespace

int PortFromText(const char* text, int fallback) {
    if (text == nullptr || *text == '\0' || std::strlen(text) > 5)
        return fallback;
    int port = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return fallback;
        port = port * 10 + (*c - '0');
    }
    return (port > 0 && port < 65536) ? port : fallback;
}

std::unique_ptr<IAppNotifier> MakeAppNotifier(CSettingsStore& settings, CMailBook& mail,
                                              CMessageBook& message,
                                              std::function<void(const std::string&)> showMessage) {
    return std::make_unique<CAppNotifier>(settings, mail, message, std::move(showMessage));
}
