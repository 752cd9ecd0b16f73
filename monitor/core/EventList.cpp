#include "EventList.h"

#include "EventDecoder.h"
#include "StringTable.h"

#include <cstdio>

std::tm SystemLocalTime() {
    std::tm t{};
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &t);
    return t;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
namespace {
std::string Stamp(int id, const std::tm& t) {
    char area[64];
    std::snprintf(area, sizeof area, CStringTable::Text(id), t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return area;
}
} // namespace

std::string FormatEventTime(const std::tm& t) {
    return Stamp(IDS_EVENT_TIME_FORMAT, t);
}
std::string FormatClock(const std::tm& t) {
    return Stamp(IDS_STATUS_CLOCK_FORMAT, t);
}

std::string FormatStatusText(const std::tm& t, std::string_view text) {
    const std::string s(text);
    // The status area held 128 bytes; a long text is cut to fit it, whole characters only.
    char area[512];
    const int n = std::snprintf(area, sizeof area, CStringTable::Text(IDS_STATUS_EVENT_FORMAT),
                                t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                                t.tm_sec, s.c_str());
    if (n < 0)
        return {};
    return CutUtf8(
        std::string(area, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof area - 1)),
        STATUS_TEXT_MAX);
}
#pragma GCC diagnostic pop

void CEventList::SetClock(LocalClock clock) {
    std::lock_guard lock(m_mutex);
    m_clock = clock ? std::move(clock) : LocalClock(SystemLocalTime);
}

std::tm CEventList::Now() const {
    LocalClock clock;
    {
        std::lock_guard lock(m_mutex);
        clock = m_clock;
    }
    return clock();
}

void CEventList::SetLineSink(LineSink sink) {
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void CEventList::SetLogWriter(LogWriter writer) {
    std::lock_guard lock(m_mutex);
    m_log = std::move(writer);
}

void CEventList::SetLineLimit(std::size_t limit) {
    std::lock_guard lock(m_mutex);
    m_limit = limit;
    while (m_limit != 0 && m_lines.size() > m_limit)
        m_lines.pop_back();
}

bool CEventList::Add(const std::string& text) {
    std::lock_guard lock(m_mutex);
    SEventLine line;
    line.when = m_clock();
    line.time = FormatEventTime(line.when);
    line.text = text;
    m_status = FormatStatusText(line.when, text);
    m_lines.push_front(line);
    if (m_limit != 0 && m_lines.size() > m_limit)
        m_lines.pop_back();
    if (m_sink)
        m_sink(line, m_status);
    return m_log ? m_log(text) : true;
}

std::vector<SEventLine> CEventList::Lines() const {
    std::lock_guard lock(m_mutex);
    return {m_lines.begin(), m_lines.end()};
}

std::size_t CEventList::Count() const {
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}

std::string CEventList::StatusText() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}
