#include "EventDecoder.h"

#include "Agent.h"
#include "Monitor.h"
#include "StringTable.h"

#include <cstdio>

namespace {

constexpr int CAT_RAIDSET = 1;
constexpr int CAT_VOLUMESET = 2;
constexpr int CAT_DEVICE = 3;
constexpr int CAT_HWMON = 5;

constexpr int VOL_COMPLETE_REBUILD = 5;
constexpr int VOL_FAILED_REVIVED = 13;
constexpr int HWMON_FIRST_RECOVERED = 20;
constexpr int HWMON_LAST_RECOVERED = 37;
constexpr int WARNING_SECONDS = 10;

// One category: its event texts and the level of each type.
struct SCategory {
    const char* const* texts;
    int count;
    int (*level)(int type);
};

int RaidLevel(int type) {
    return type == 4 ? LEVEL_1_URGENT : LEVEL_3_WARNING;
}
int VolumeLevel(int type) {
    return type >= 11 ? LEVEL_1_URGENT : LEVEL_3_WARNING;
}
int DeviceLevel(int type) {
    if (type == 8)
        return LEVEL_2_SERIOUS;
    return type >= 7 ? LEVEL_1_URGENT : LEVEL_3_WARNING;
}
int HostLevel(int) {
    return LEVEL_4_INFORMATION;
}
int HwMonLevel(int type) {
    if (type <= 19)
        return LEVEL_1_URGENT;
    return type <= HWMON_LAST_RECOVERED ? LEVEL_2_SERIOUS : LEVEL_3_WARNING;
}

template <std::size_t N> constexpr int Count(const char* const (&)[N]) {
    return static_cast<int>(N);
}

const SCategory kCategories[] = {
    {nullptr, 0, nullptr}, // 0: no event
    {htmRaidEvent, Count(htmRaidEvent), RaidLevel},
    {htmVolEvent, Count(htmVolEvent), VolumeLevel},
    {htmDevEvent, Count(htmDevEvent), DeviceLevel},
    // The host events are the SCSI host's.
    {htmScsiHostEvent, Count(htmScsiHostEvent), HostLevel},
    {htmHwMonEvent, Count(htmHwMonEvent), HwMonLevel},
};

// The string table's formats are checked against their English originals when the table is
// built, so their conversions are the ones given here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string AlarmText(int id, std::string_view ip) {
    const std::string a(ip);
    char area[256];
    std::snprintf(area, sizeof area, CStringTable::Text(id), a.c_str());
    return CutUtf8(area, ALARM_TEXT_MAX);
}
std::string AlarmText(int id, std::string_view ip, int number) {
    const std::string a(ip);
    char area[256];
    std::snprintf(area, sizeof area, CStringTable::Text(id), a.c_str(), number);
    return CutUtf8(area, ALARM_TEXT_MAX);
}
std::string AlarmText(int id, std::string_view ip, double number) {
    const std::string a(ip);
    char area[256];
    std::snprintf(area, sizeof area, CStringTable::Text(id), a.c_str(), number);
    return CutUtf8(area, ALARM_TEXT_MAX);
}
std::string LineText(std::string_view ip, std::string_view middle, std::string_view text) {
    const std::string a(ip), m(middle), t(text);
    char area[256];
    std::snprintf(area, sizeof area, CStringTable::Text(IDS_EVENT_LINE_FORMAT), a.c_str(),
                  m.c_str(), t.c_str());
    return CutUtf8(area, ALARM_TEXT_MAX);
}
std::string ChannelText(int channel) {
    char area[64];
    std::snprintf(area, sizeof area, CStringTable::Text(IDS_EVENT_DEVICE_CHANNEL), channel);
    return area;
}
#pragma GCC diagnostic pop

} // namespace

std::string CutUtf8(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

std::string EventName(const char (&evtStr)[16]) {
    std::string name;
    for (char c : evtStr) {
        if (c == '\0')
            break;
        const unsigned char b = static_cast<unsigned char>(c);
        name.push_back(b < 0x20 || b == 0x7F ? '?' : c);
    }
    return name;
}

bool LevelPassesSetting(int level, int levelSetting) {
    return level <= levelSetting + 1;
}

void SyslogForLevel(int level, int* type, std::uint32_t* id) {
    if (level == LEVEL_1_URGENT || level == LEVEL_2_SERIOUS) {
        *type = SYSLOG_ERROR;
        *id = EVENT_ID_ERROR;
    } else if (level == LEVEL_3_WARNING) {
        *type = SYSLOG_WARNING;
        *id = EVENT_ID_WARNING;
    } else {
        *type = SYSLOG_INFORMATION;
        *id = EVENT_ID_INFORMATION;
    }
}

SDecodedEvent DescribeEvent(std::string_view ip, const sEVET_DATA& event) {
    SDecodedEvent d;
    const int cat = event.evtCategory;
    const int type = event.evtType;
    if (cat < CAT_RAIDSET || cat > CAT_HWMON)
        return d;
    d.listed = true;
    const SCategory& c = kCategories[cat];
    // A type beyond the category's table has no text: an empty one, at the most severe level.
    const bool known = type < c.count;
    d.level = known ? c.level(type) : LEVEL_1_URGENT;
    const char* text = known ? c.texts[type] : "";

    std::string middle;
    switch (cat) {
    case CAT_RAIDSET:
    case CAT_VOLUMESET:
        middle = EventName(event.evtStr);
        break;
    case CAT_DEVICE:
        middle = ChannelText(event.evtChannel + 1);
        break;
    default:
        middle = eventCat[cat];
        break;
    }
    d.line = LineText(ip, middle, text);
    SyslogForLevel(d.level, &d.syslogType, &d.syslogId);

    if (d.level == LEVEL_1_URGENT || d.level == LEVEL_2_SERIOUS) {
        if (cat == CAT_HWMON && type >= HWMON_FIRST_RECOVERED && type <= HWMON_LAST_RECOVERED)
            d.countChange = -1;
        else if (cat == CAT_VOLUMESET && type == VOL_FAILED_REVIVED)
            d.countChange = -1;
        else if (cat != CAT_RAIDSET) {
            d.countChange = +1;
            d.raisesAlarm = true;
        }
    }
    if (cat == CAT_VOLUMESET && type == VOL_COMPLETE_REBUILD)
        d.countChange -= 1;
    d.startsWarning = d.level == LEVEL_3_WARNING;
    return d;
}

std::string FanFailedText(std::string_view ip, int fan) {
    return AlarmText(IDS_ALARM_FAN_FAILED, ip, fan);
}
std::string PowerFailedText(std::string_view ip, int supply) {
    return AlarmText(IDS_ALARM_POWER_FAILED, ip, supply);
}
std::string VoltageAbnormalText(std::string_view ip, unsigned nominalMillivolts) {
    return AlarmText(IDS_ALARM_VOLTAGE_ABNORMAL, ip, nominalMillivolts * 0.001);
}
std::string VolumeFailedText(std::string_view ip, int volumeSet) {
    return AlarmText(IDS_ALARM_VOLUME_FAILED, ip, volumeSet);
}
std::string VolumeDegradedText(std::string_view ip, int volumeSet) {
    return AlarmText(IDS_ALARM_VOLUME_DEGRADED, ip, volumeSet);
}
std::string DeviceFailedText(std::string_view ip, int channel) {
    return AlarmText(IDS_ALARM_DEVICE_FAILED, ip, channel);
}
std::string DeviceDownText(std::string_view ip) {
    return AlarmText(IDS_ALARM_DEVICE_DOWN, ip);
}
std::string DeviceRevivedText(std::string_view ip) {
    return AlarmText(IDS_ALARM_DEVICE_REVIVED, ip);
}

void DecodeEvent(CAgent& agent, const sEVET_DATA& event, std::stop_token stop) {
    if (stop.stop_requested())
        return;
    CMonitor& monitor = agent.Monitor();
    const SDecodedEvent d = DescribeEvent(agent.IpText(), event);
    if (!d.listed) {
        monitor.Trace().Format("DecodeEvent==> Agent %s skipped an event of category %d\r\n",
                               agent.IpText().c_str(), event.evtCategory);
        return;
    }
    monitor.AddEventToList(d.line);
    if (LevelPassesSetting(d.level, monitor.PollSettings().level))
        monitor.Alarms().NotifyAlarm(agent.m_SysInfo.gsiIdeChannels, d.line, stop);
    // Notification may have been cut short by a stop request: the agent is going away.
    if (stop.stop_requested())
        return;
    monitor.Alarms().ReportSystemEvent(d.syslogType, d.syslogId, d.line);

    int count;
    {
        std::lock_guard lock(agent.m_Lock);
        count = agent.m_ErrorCount += d.countChange;
        if (d.startsWarning)
            agent.m_WarningCount = WARNING_SECONDS;
    }
    if (d.level == LEVEL_1_URGENT || d.level == LEVEL_2_SERIOUS)
        monitor.Trace().Format("m_ErrorCount = %d\r\n", count);
    if (d.raisesAlarm)
        monitor.SetAgentState(agent, AGENT_ALARM, stop);
    if (d.startsWarning)
        monitor.SetAgentState(agent, AGENT_WARNING, stop);
    monitor.ChangeAgentState(
        agent,
        [](CAgent& a) {
            if (a.m_ErrorCount != 0)
                return 0;
            return a.m_WarningCount != 0 ? AGENT_WARNING : AGENT_NORMAL;
        },
        stop);
}
