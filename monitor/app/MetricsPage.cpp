#include "MetricsPage.h"

#include "Monitor.h"

#include <cstdio>
#include <cstring>

namespace {

int LevelSlot(int type) {
    switch (type) {
    case SYSLOG_ERROR:
        return 0;
    case SYSLOG_WARNING:
        return 1;
    case SYSLOG_INFORMATION:
        return 2;
    default:
        return -1;
    }
}

// A fixed-size text field of a controller record: up to its first NUL or its end.
template <std::size_t N> std::string_view Field(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

class CPage {
public:
    void Family(const char* name, const char* type, const char* help) {
        m_text += "# HELP ";
        m_text += name;
        m_text += ' ';
        m_text += help;
        m_text += "\n# TYPE ";
        m_text += name;
        m_text += ' ';
        m_text += type;
        m_text += '\n';
    }
    void Sample(const char* name, const std::string& labels, const std::string& value) {
        m_text += name;
        if (!labels.empty()) {
            m_text += '{';
            m_text += labels;
            m_text += '}';
        }
        m_text += ' ';
        m_text += value;
        m_text += '\n';
    }
    void Sample(const char* name, const std::string& labels, std::uint64_t value) {
        Sample(name, labels, std::to_string(value));
    }
    void Sample(const char* name, const std::string& labels, int value) {
        Sample(name, labels, std::to_string(value));
    }
    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
};

std::string AgentLabels(const SAgentMetrics& a) {
    return "address=\"" + MetricsLabelValue(a.address) + "\",serial=\"" +
           MetricsLabelValue(a.serial) + "\",model=\"" + MetricsLabelValue(a.model) + "\"";
}

} // namespace

void CAlarmCounter::ReportSystemEvent(int type, std::uint32_t id, const std::string& text) {
    if (const int slot = LevelSlot(type); slot >= 0)
        ++m_counts[static_cast<std::size_t>(slot)];
    m_next.ReportSystemEvent(type, id, text);
}

std::uint64_t CAlarmCounter::Count(int type) const {
    const int slot = LevelSlot(type);
    return slot < 0 ? 0 : m_counts[static_cast<std::size_t>(slot)].load();
}

std::string MetricsLabelValue(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < ' ' || c > '~') {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

SMetricsSnapshot CollectMetrics(CMonitor& monitor, const CAlarmCounter& alarms,
                                const SDeliveryCounts& deliveries) {
    SMetricsSnapshot s;
    for (const AgentPtr& agent : monitor.AgentList().Snapshot()) {
        SAgentMetrics a;
        a.address = agent->IpText();
        a.serial = std::string(Field(agent->m_SysInfo.gsiSerialNumber));
        a.model = std::string(Field(agent->m_SysInfo.gsiModelName));
        a.state = agent->m_State;
        a.outstandingAlarms = agent->m_ErrorCount;
        a.polls = agent->PollCount();
        a.lastPollStatus = agent->LastPollStatus();
        a.lastPollSeconds = static_cast<double>(agent->LastPollDuration().count()) / 1e6;
        a.eventsRead = agent->EventsRead();
        s.agents.push_back(std::move(a));
    }
    s.alarmsError = alarms.Count(SYSLOG_ERROR);
    s.alarmsWarning = alarms.Count(SYSLOG_WARNING);
    s.alarmsInformation = alarms.Count(SYSLOG_INFORMATION);
    s.deliveries = deliveries;
    s.discoveries = monitor.DiscoveryCount();
    s.lastDiscoverySeconds = static_cast<double>(monitor.LastDiscoveryDuration().count()) / 1e6;
    s.failedDevices = monitor.FailedDevices().Count();
    return s;
}

std::string RenderMetrics(const SMetricsSnapshot& s) {
    CPage page;
    page.Family("quillht_agents", "gauge", "Agents being monitored.");
    page.Sample("quillht_agents", "", static_cast<std::uint64_t>(s.agents.size()));

    page.Family("quillht_agent_state", "gauge",
                "State of the agent: 1 normal, 2 warning, 3 alarm, 4 down.");
    for (const SAgentMetrics& a : s.agents)
        page.Sample("quillht_agent_state", AgentLabels(a), a.state);
    page.Family("quillht_agent_outstanding_alarms", "gauge",
                "Alarms of the agent not yet cleared.");
    for (const SAgentMetrics& a : s.agents)
        page.Sample("quillht_agent_outstanding_alarms", AgentLabels(a), a.outstandingAlarms);
    page.Family("quillht_agent_polls_total", "counter", "Event polls of the agent that ended.");
    for (const SAgentMetrics& a : s.agents)
        page.Sample("quillht_agent_polls_total", AgentLabels(a), a.polls);
    page.Family("quillht_agent_last_poll_success", "gauge",
                "1 when the last event poll of the agent was answered, 0 when it failed.");
    for (const SAgentMetrics& a : s.agents)
        if (a.polls > 0)
            page.Sample("quillht_agent_last_poll_success", AgentLabels(a),
                        a.lastPollStatus == 0 ? 1 : 0);
    page.Family("quillht_agent_last_poll_status", "gauge",
                "Library status of the last event poll of the agent (0 success).");
    for (const SAgentMetrics& a : s.agents)
        if (a.polls > 0)
            page.Sample("quillht_agent_last_poll_status", AgentLabels(a), a.lastPollStatus);
    page.Family("quillht_agent_last_poll_duration_seconds", "gauge",
                "Length of the last event poll of the agent, retries included.");
    for (const SAgentMetrics& a : s.agents)
        if (a.polls > 0)
            page.Sample("quillht_agent_last_poll_duration_seconds", AgentLabels(a),
                        Number(a.lastPollSeconds));
    page.Family("quillht_agent_events_read_total", "counter",
                "Event records read from the agent's controller.");
    for (const SAgentMetrics& a : s.agents)
        page.Sample("quillht_agent_events_read_total", AgentLabels(a), a.eventsRead);

    page.Family("quillht_alarms_total", "counter", "Alarms raised, by level.");
    page.Sample("quillht_alarms_total", "level=\"error\"", s.alarmsError);
    page.Sample("quillht_alarms_total", "level=\"warning\"", s.alarmsWarning);
    page.Sample("quillht_alarms_total", "level=\"information\"", s.alarmsInformation);
    page.Family("quillht_mails_total", "counter", "Alarm mails, by result.");
    page.Sample("quillht_mails_total", "result=\"sent\"", s.deliveries.mailsSent);
    page.Sample("quillht_mails_total", "result=\"failed\"", s.deliveries.mailsFailed);
    page.Family("quillht_popups_total", "counter", "Alarm pop-up messages, by result.");
    page.Sample("quillht_popups_total", "result=\"sent\"", s.deliveries.popupsSent);
    page.Sample("quillht_popups_total", "result=\"failed\"", s.deliveries.popupsFailed);
    page.Family("quillht_failed_devices", "gauge", "Devices found failed and not yet recovered.");
    page.Sample("quillht_failed_devices", "", static_cast<std::uint64_t>(s.failedDevices));
    page.Family("quillht_discoveries_total", "counter", "Searches for agents (rescans).");
    page.Sample("quillht_discoveries_total", "", s.discoveries);
    page.Family("quillht_last_discovery_duration_seconds", "gauge",
                "Length of the last search for agents.");
    if (s.discoveries > 0)
        page.Sample("quillht_last_discovery_duration_seconds", "", Number(s.lastDiscoverySeconds));
    return page.Take();
}
