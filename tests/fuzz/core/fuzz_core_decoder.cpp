// DecodeEvent over arbitrary 32-byte event records: every record gives a line that fits its
// 128-byte area and carries no control bytes, a level of 1 to 4 with its system log record,
// and the agent's count and state stay in range; records of unknown categories are skipped.
#include "CoreTestSupport.h"
#include "EventDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

struct SNullSink : IAlarmSink {
    void NotifyAlarm(int, const std::string& text, std::stop_token) override { Check(text); }
    void ReportSystemEvent(int type, std::uint32_t id, const std::string& text) override {
        const bool pair = (type == SYSLOG_ERROR && id == EVENT_ID_ERROR) ||
                          (type == SYSLOG_WARNING && id == EVENT_ID_WARNING) ||
                          (type == SYSLOG_INFORMATION && id == EVENT_ID_INFORMATION);
        if (!pair)
            __builtin_trap();
        Check(text);
    }
    bool WriteLogLine(std::string_view text) override {
        Check(text);
        return true;
    }
    static void Check(std::string_view text) {
        if (text.size() > ALARM_TEXT_MAX)
            __builtin_trap();
        for (unsigned char c : text)
            if (c < 0x20 || c == 0x7F)
                __builtin_trap();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static coretest::SScratchSettings settings;
    static SNullSink sink;
    static CMonitor monitor(settings.store, sink);
    static AgentPtr agent = coretest::OfflineAgent(monitor, "255.255.255.255");

    sEVET_DATA event{};
    std::memcpy(&event, data, size < sizeof event ? size : sizeof event);

    const SDecodedEvent d = DescribeEvent(agent->IpText(), event);
    const bool known = event.evtCategory >= 1 && event.evtCategory <= 5;
    if (d.listed != known || d.level < 1 || d.level > 4 || d.countChange < -1 || d.countChange > 1)
        __builtin_trap();
    if (d.listed && d.line.rfind("255.255.255.255 ", 0) != 0)
        __builtin_trap();

    const int before = agent->m_ErrorCount;
    DecodeEvent(*agent, event, {});
    const int after = agent->m_ErrorCount;
    if (after - before != d.countChange || agent->m_State < AGENT_NORMAL ||
        agent->m_State > AGENT_ALARM)
        __builtin_trap();
    return 0;
}
