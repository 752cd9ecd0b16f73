#pragma once
// Turning one controller event record into its line, level and effect on the agent, and the
// alarm texts the event monitor raises itself. All texts come from the string table in the
// current language; lines are cut to fit their 128-byte areas.

#include "Vrnlib.h"

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

class CAgent;

// Event levels.
inline constexpr int LEVEL_1_URGENT = 1;
inline constexpr int LEVEL_2_SERIOUS = 2;
inline constexpr int LEVEL_3_WARNING = 3;
inline constexpr int LEVEL_4_INFORMATION = 4;

// Lines and alarm texts travel in 128-byte areas: at most this many bytes, never a
// character cut in half.
inline constexpr std::size_t ALARM_TEXT_MAX = 127;

// What an event means, before anything is done with it.
struct SDecodedEvent {
    bool listed = false; // false: the record is skipped (category 0 or above 5)
    int level = LEVEL_1_URGENT;
    std::string line;           // "%s %s %s": address, middle field, event text
    int countChange = 0;        // -1, 0, +1 on m_ErrorCount (levels 1 and 2, and Complete Rebuild)
    bool raisesAlarm = false;   // state 3 (the +1 case)
    bool startsWarning = false; // level 3: the 10-second warning indication
    int syslogType = 0;
    std::uint32_t syslogId = 0;
};

// Pure: no agent, no settings. ip is the agent's dotted-quad address.
SDecodedEvent DescribeEvent(std::string_view ip, const sEVET_DATA& event);

// The event's controller text (evtStr) up to its first zero byte, at most 16 bytes, with
// control bytes (below 0x20, and 0x7F) replaced, so that mail headers, log lines and the
// journal never carry them.
std::string EventName(const char (&evtStr)[16]);

// Whether a level passes the `Level` setting (0 urgent only .. 3 everything).
bool LevelPassesSetting(int level, int levelSetting);

// The syslog type and identifier of a level.
void SyslogForLevel(int level, int* type, std::uint32_t* id);

// Alarm texts of the event monitor; ip is the dotted-quad address.
std::string FanFailedText(std::string_view ip, int fan);      // fans count from 1
std::string PowerFailedText(std::string_view ip, int supply); // supplies count from 1
std::string VoltageAbnormalText(std::string_view ip, unsigned nominalMillivolts);
std::string VolumeFailedText(std::string_view ip, int volumeSet);
std::string VolumeDegradedText(std::string_view ip, int volumeSet);
std::string DeviceFailedText(std::string_view ip, int channel); // channels count from 0
std::string DeviceDownText(std::string_view ip);
std::string DeviceRevivedText(std::string_view ip);

// Cuts UTF-8 text to at most maxBytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t maxBytes);

// Lists, logs, notifies and reports one event for the agent and updates its alarm count and
// state. Runs on the agent's monitor thread; after a stop request it does nothing.
void DecodeEvent(CAgent& agent, const sEVET_DATA& event, std::stop_token stop);
