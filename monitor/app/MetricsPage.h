#pragma once
// The metrics page of QuillHT --headless: the fleet's health in the text exposition format
// that Prometheus scrapes. A snapshot is taken from the monitor without the main loop (every
// value it reads is an atomic or a list snapshot), then rendered.

#include "AlarmSink.h"
#include "AppNotifier.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CMonitor;

struct SAgentMetrics {
    std::string address; // dotted quad
    std::string serial;  // as the controller reports them
    std::string model;
    int state = 0;
    int outstandingAlarms = 0;
    std::uint64_t polls = 0; // no poll status or duration before the first
    int lastPollStatus = 0;
    double lastPollSeconds = 0;
    std::uint64_t eventsRead = 0;
};

struct SMetricsSnapshot {
    std::vector<SAgentMetrics> agents;
    std::uint64_t alarmsError = 0;
    std::uint64_t alarmsWarning = 0;
    std::uint64_t alarmsInformation = 0;
    SDeliveryCounts deliveries;
    std::uint64_t discoveries = 0; // no discovery duration before the first
    double lastDiscoverySeconds = 0;
    std::size_t failedDevices = 0;
};

// The alarm sink between the monitor and the notifier: passes everything on and counts the
// system-log records by level, one per alarm the monitor raises.
class CAlarmCounter final : public IAlarmSink {
public:
    explicit CAlarmCounter(IAlarmSink& next) : m_next(next) {}

    void NotifyAlarm(int ideChannels, const std::string& text, std::stop_token stop) override {
        m_next.NotifyAlarm(ideChannels, text, stop);
    }
    void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) override;
    bool WriteLogLine(std::string_view text) override { return m_next.WriteLogLine(text); }

    std::uint64_t Count(int type) const;

private:
    IAlarmSink& m_next;
    // SYSLOG_ERROR, SYSLOG_WARNING, SYSLOG_INFORMATION.
    std::array<std::atomic<std::uint64_t>, 3> m_counts{};
};

SMetricsSnapshot CollectMetrics(CMonitor& monitor, const CAlarmCounter& alarms,
                                const SDeliveryCounts& deliveries);

std::string RenderMetrics(const SMetricsSnapshot& snapshot);

// A label value as the exposition format wants it: backslash, double quote and line feed
// escaped. Text from a controller is cut at its first NUL, trailing blanks go, and bytes that
// are not printable ASCII become '?', so the page is always valid UTF-8.
std::string MetricsLabelValue(std::string_view text);
