// DecodeEvent over the categories and types: the exact line, its level, what it notifies,
// the system log record, and the agent's count and state afterwards.
#include "EventDecoder.h"
#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace coretest;

namespace {

constexpr const char* kIp = "127.0.0.9";

sEVET_DATA Event(int category, int type, int channel, const char* name, std::size_t nameLen = 0) {
    sEVET_DATA e{};
    e.evtCategory = static_cast<unsigned char>(category);
    e.evtType = static_cast<unsigned char>(type);
    e.evtChannel = static_cast<unsigned char>(channel);
    std::memcpy(e.evtStr, name, nameLen ? nameLen : std::strlen(name));
    return e;
}

struct SDecodeCase {
    const char* what;
    sEVET_DATA event;
    int countBefore;
    const char* line; // "" when the record is skipped
    int level;
    int syslogType;
    std::uint32_t syslogId;
    int countAfter;
    int stateAfter;
    int warningAfter;
    int lowestNotifyingSetting; // 4: never notified
};

const SDecodeCase kCases[] = {
    {"volume failed", Event(2, 12, 0, "Vol0"), 0, "127.0.0.9 Vol0 Volume Failed", 1, 1, 0xC0000030,
     1, 3, 0, 0},
    {"device inserted on channel 0 shows #1", Event(3, 0, 0, ""), 0,
     "127.0.0.9 Device Channel #1 Device Inserted", 3, 2, 0x80000020, 0, 2, 10, 2},
    {"host parity", Event(4, 1, 0, ""), 0, "127.0.0.9 HOST SCSI Bus Parity", 4, 4, 0x40000010, 0, 1,
     0, 3},
    {"fan recovered counts off", Event(5, 30, 0, ""), 1,
     "127.0.0.9 H/W MONITOR Fan#1 Failed Recovered", 2, 1, 0xC0000030, 0, 1, 0, 1},
    {"raid set degraded changes no count", Event(1, 4, 0, "Raid0"), 0,
     "127.0.0.9 Raid0 RaidSet Degraded", 1, 1, 0xC0000030, 0, 1, 0, 0},
    {"complete rebuild without alarms goes below zero", Event(2, 5, 0, "Vol1"), 0,
     "127.0.0.9 Vol1 Complete Rebuild", 3, 2, 0x80000020, -1, 2, 10, 2},
    {"fan failed keeps its padding", Event(5, 12, 0, ""), 0,
     "127.0.0.9 H/W MONITOR Fan#1 Failed    ", 1, 1, 0xC0000030, 1, 3, 0, 0},
    {"pci parity is serious", Event(3, 8, 2, ""), 0, "127.0.0.9 Device Channel #3 PCI Parity Error",
     2, 1, 0xC0000030, 1, 3, 0, 1},
    {"failed volume revived counts off", Event(2, 13, 0, "Vol0"), 1,
     "127.0.0.9 Vol0 Failed Volume Revived", 1, 1, 0xC0000030, 0, 1, 0, 0},
    {"powered on is a warning", Event(5, 38, 0, ""), 0, "127.0.0.9 H/W MONITOR Raid Powered On", 3,
     2, 0x80000020, 0, 2, 10, 2},
    {"last alarm row before the recoveries", Event(5, 19, 0, ""), 0,
     "127.0.0.9 H/W MONITOR UPS ACPower Loss", 1, 1, 0xC0000030, 1, 3, 0, 0},
    {"type beyond the volume table: empty text, urgent", Event(2, 14, 0, "VolX"), 0,
     "127.0.0.9 VolX ", 1, 1, 0xC0000030, 1, 3, 0, 0},
    {"type beyond the host table", Event(4, 200, 0, ""), 0, "127.0.0.9 HOST ", 1, 1, 0xC0000030, 1,
     3, 0, 0},
    {"control bytes in the name are replaced", Event(2, 11, 0, "Vo\x01l\n\x7f"), 0,
     "127.0.0.9 Vo?l?? Volume Degraded", 1, 1, 0xC0000030, 1, 3, 0, 0},
    {"a full 16-byte name is taken whole", Event(1, 0, 0, "ABCDEFGHIJKLMNOP", 16), 0,
     "127.0.0.9 ABCDEFGHIJKLMNOP Create RaidSet", 3, 2, 0x80000020, 0, 2, 10, 2},
    {"category 0 is skipped", Event(0, 1, 0, ""), 0, "", 0, 0, 0, 0, 1, 0, 4},
    {"category 6 is skipped", Event(6, 0, 0, ""), 0, "", 0, 0, 0, 0, 1, 0, 4},
    {"category 255 is skipped", Event(255, 3, 0, ""), 0, "", 0, 0, 0, 0, 1, 0, 4},
};

class DecodeEventTest : public ::testing::TestWithParam<SDecodeCase> {};

TEST_P(DecodeEventTest, LineLevelNotificationAndAgentState) {
    const SDecodeCase& c = GetParam();
    for (int setting = 0; setting <= 3; ++setting) {
        SCOPED_TRACE("Level setting " + std::to_string(setting));
        SScratchSettings settings;
        settings.store.Update([&](SettingsRecord& r) { r.Level = setting; });
        CRecordingSink sink;
        std::vector<std::string> trace;
        CMonitor monitor(settings.store, sink);
        monitor.Trace().Attach([&](std::string_view l) { trace.emplace_back(l); });
        AgentPtr agent = OfflineAgent(monitor, kIp);
        agent->m_ErrorCount = c.countBefore;
        agent->m_State = c.countBefore != 0 ? AGENT_ALARM : AGENT_NORMAL;

        DecodeEvent(*agent, c.event, {});

        EXPECT_EQ(sink.Notified().size(), setting >= c.lowestNotifyingSetting ? 1u : 0u);
        if (setting != 3)
            continue;
        EXPECT_EQ(agent->m_ErrorCount, c.countAfter);
        EXPECT_EQ(agent->m_State, c.stateAfter);
        EXPECT_EQ(agent->m_WarningCount, c.warningAfter);
        if (*c.line == '\0') {
            EXPECT_TRUE(sink.Log().empty());
            EXPECT_TRUE(sink.Syslog().empty());
            EXPECT_EQ(monitor.EventList().Count(), 0u);
            EXPECT_EQ(trace.size(), 1u) << "a skipped record is traced";
            continue;
        }
        ASSERT_EQ(sink.Log().size(), 1u);
        EXPECT_EQ(sink.Log()[0], c.line);
        ASSERT_EQ(monitor.EventList().Lines().size(), 1u);
        EXPECT_EQ(monitor.EventList().Lines()[0].text, c.line);
        ASSERT_EQ(sink.Syslog().size(), 1u);
        EXPECT_EQ(sink.Syslog()[0].type, c.syslogType);
        EXPECT_EQ(sink.Syslog()[0].id, c.syslogId);
        EXPECT_EQ(sink.Syslog()[0].text, c.line);
        EXPECT_EQ(DescribeEvent(kIp, c.event).level, c.level);
    }
}

INSTANTIATE_TEST_SUITE_P(Events, DecodeEventTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// The alarm texts the monitor raises itself; the spacing is part of the text.
TEST(AlarmTextTest, ExactTexts) {
    CStringTable::SetLanguage(ELanguage::English);
    const struct {
        std::string got;
        const char* want;
    } cases[] = {
        {FanFailedText("10.0.0.1", 2), "10.0.0.1 H/W MONITOR Fan#2 Failed"},
        {PowerFailedText("10.0.0.1", 1), "10.0.0.1 H/W MONITOR Power#1 Failed"},
        {VoltageAbnormalText("10.0.0.1", 5000), "10.0.0.1 H/W MONITOR 5.0V Abnormal"},
        {VoltageAbnormalText("10.0.0.1", 12000), "10.0.0.1 H/W MONITOR 12.0V Abnormal"},
        {VoltageAbnormalText("10.0.0.1", 3300), "10.0.0.1 H/W MONITOR 3.3V Abnormal"},
        {VolumeFailedText("10.0.0.1", 3), "10.0.0.1 Volume Set # 03  Volume Failed "},
        {VolumeDegradedText("10.0.0.1", 3), "10.0.0.1 Volume Set # 03  Volume Degraded "},
        {DeviceFailedText("10.0.0.1", 0), "10.0.0.1 IDE Channel # 0  Device Failed "},
        {DeviceDownText("10.0.0.1"), "10.0.0.1 Device Down"},
        {DeviceRevivedText("10.0.0.1"), "10.0.0.1 Device Revived"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
}

TEST(AlarmTextTest, LongTextsAreCutAtACharacterBoundary) {
    const struct {
        std::string text;
        std::size_t max;
        std::string want;
    } cases[] = {
        {"abcdef", 4, "abcd"},
        {"abc", 4, "abc"},
        {"ab\xE9\x9B\xBB", 4, "ab"},             // a 3-byte character that does not fit whole
        {"ab\xE9\x9B\xBB", 5, "ab\xE9\x9B\xBB"}, // fits exactly
        {"\xC3\xA9\xC3\xA9", 3, "\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CutUtf8(c.text, c.max), c.want) << c.text;
}

} // namespace
