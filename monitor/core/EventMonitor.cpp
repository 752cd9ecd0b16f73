#include "EventMonitor.h"

#include "Agent.h"
#include "EventDecoder.h"
#include "Monitor.h"

#include <algorithm>

namespace {

constexpr unsigned char DEVICE_FAILED_BIT = 0x10;
constexpr unsigned VOLUME_FAILED_BIT = 0x02;
// Bounds for counts the controller reports: the record sizes, and the char arguments the
// library takes raid set and drive numbers as.
constexpr int MAX_VOLUMES_PER_RAIDSET = 16;
constexpr int MAX_RAID_SETS = 128;
constexpr int MAX_DEVICE_CHANNELS = 32;
constexpr int EVENT_SLOTS = 64;

int ItemCount(const _HWMON_INFO& info) {
    return std::min<int>(info.HwItemCount, HWMON_MAX_ITEMS);
}

void TraceLine(CAgent& agent, const char* format, int value) {
    agent.Monitor().Trace().Format(format, agent.IpText().c_str(), value);
}

} // namespace

void PostAlarm(CAgent& agent, const std::string& text, std::stop_token stop) {
    // An agent that is being taken away reports nothing more.
    if (stop.stop_requested())
        return;
    CMonitor& monitor = agent.Monitor();
    const std::string line = CutUtf8(text, ALARM_TEXT_MAX);
    monitor.Alarms().ReportSystemEvent(SYSLOG_ERROR, EVENT_ID_ERROR, line);
    monitor.AddEventToList(line);
    monitor.Alarms().NotifyAlarm(agent.m_SysInfo.gsiIdeChannels, line, stop);
}

void RaiseAlarm(CAgent& agent, const std::string& text, std::stop_token stop) {
    if (stop.stop_requested())
        return;
    PostAlarm(agent, text, stop);
    {
        std::lock_guard lock(agent.m_Lock);
        ++agent.m_ErrorCount;
    }
    agent.Monitor().SetAgentState(agent, AGENT_ALARM, stop);
}

void ParseHWMonData(CAgent& agent, std::stop_token stop) {
    _HWMON_INFO info{};
    int status = agent.m_Session.VrnGetHWMon(HWMON_FAN_INFO, &info);
    if (status != 0) {
        TraceLine(agent,
                  "ParseHWMonData==> Agent %s VrnGetHWMon(HWMON_FAN_INFO,...) failed, Error Code "
                  "= 0x%X\r\n",
                  status);
        return;
    }
    TraceLine(agent, "EvtMonitor==> Agent %s Fan Number = %d\r\n", info.HwItemCount);
    for (int j = 1; j <= ItemCount(info); ++j) {
        const int rpm = info.ItemInfo[j - 1];
        agent.Monitor().Trace().Format("EvtMonitor==> Agent %s Fan#%d = %d RPM.\r\n",
                                       agent.IpText().c_str(), j, rpm);
        if (rpm == 0)
            RaiseAlarm(agent, FanFailedText(agent.IpText(), j), stop);
    }

    info = {};
    status = agent.m_Session.VrnGetHWMon(HWMON_PWR_INFO, &info);
    if (status != 0) {
        TraceLine(agent,
                  "ParseHWMonData==> Agent %s VrnGetHWMon(HWMON_PWR_INFO,...) failed, Error Code "
                  "= 0x%X\r\n",
                  status);
        return;
    }
    TraceLine(agent, "EvtMonitor==> Agent %s Power Number = %d\r\n", info.HwItemCount);
    for (int j = 1; j <= ItemCount(info); ++j) {
        const int state = info.ItemInfo[j - 1];
        agent.Monitor().Trace().Format("EvtMonitor==> Agent %s Power%d State = 0x%X.\r\n",
                                       agent.IpText().c_str(), j, state);
        if (state == 0)
            RaiseAlarm(agent, PowerFailedText(agent.IpText(), j), stop);
    }

    info = {};
    status = agent.m_Session.VrnGetHWMon(HWMON_VOL_INFO, &info);
    if (status != 0) {
        TraceLine(agent,
                  "ParseHWMonData==> Agent %s VrnGetHWMon(HWMON_PWR_INFO,...) failed, Error Code "
                  "= 0x%X\r\n",
                  status);
        return;
    }
    // Nominal and measured millivolts in pairs; an odd last item has no pair.
    for (int i = 0; i + 1 < ItemCount(info); i += 2) {
        const unsigned nominal = info.ItemInfo[i];
        const double measured = info.ItemInfo[i + 1];
        if (measured > nominal * 1.1 || measured < nominal * 0.9)
            RaiseAlarm(agent, VoltageAbnormalText(agent.IpText(), nominal), stop);
    }
}

void CheckVolumeSets(CAgent& agent, std::stop_token stop) {
    sSYSTEM_INFO info{};
    if (agent.GetSysInfo(&info, stop) != 0)
        return;
    const int raidSets = std::min<int>(info.gsiMaxRaidSet, MAX_RAID_SETS);
    for (int r = 0; r < raidSets && !stop.stop_requested(); ++r) {
        sGUI_RAIDSET raid{};
        if (agent.GetRaidSetInfo(r, &raid, stop) != 0 || raid.grsNewMemberDevices == 0)
            continue;
        const int volumes = std::min<int>(raid.grsVolumes, MAX_VOLUMES_PER_RAIDSET);
        for (int k = 0; k < volumes && !stop.stop_requested(); ++k) {
            const int v = raid.grsVolumeList[k];
            sGUI_VOLUMESET volume{};
            if (agent.GetVolSetInfo(v, &volume, stop) != 0 || volume.gvsFailMask == 0)
                continue;
            if (volume.gvsVolumeStatus & VOLUME_FAILED_BIT)
                RaiseAlarm(agent, VolumeFailedText(agent.IpText(), v), stop);
            else
                RaiseAlarm(agent, VolumeDegradedText(agent.IpText(), v), stop);
        }
    }
}

void CheckDevices(CAgent& agent, std::stop_token stop) {
    sSYSTEM_INFO info{};
    if (agent.GetSysInfo(&info, stop) != 0)
        return;
    const int channels = std::min<int>(info.gsiIdeChannels, MAX_DEVICE_CHANNELS);
    for (int c = 0; c < channels && !stop.stop_requested(); ++c) {
        sGUI_PHY_DRV drive{};
        if (agent.GetPhysicalDriveInfo(c, &drive, stop) != 0)
            continue;
        if (!(drive.gpdDeviceState & DEVICE_FAILED_BIT))
            continue;
        RaiseAlarm(agent, DeviceFailedText(agent.IpText(), c), stop);
        if (!stop.stop_requested())
            agent.Monitor().FailedDevices().Add(agent.shared_from_this(), c);
    }
}

void ReadNewEvents(CAgent& agent, int n, std::stop_token stop) {
    sEVET_DATA event{};
    for (int i = std::min(n, EVENT_SLOTS) - 1; i >= 0 && !stop.stop_requested(); --i) {
        if (agent.GetEventObject(i, &event) != 0)
            DecodeEvent(agent, event, stop);
    }
}

namespace {

void RunChecks(CAgent& agent, std::stop_token stop) {
    ParseHWMonData(agent, stop);
    CheckVolumeSets(agent, stop);
    CheckDevices(agent, stop);
}

void Revive(CAgent& agent, std::stop_token stop) {
    CMonitor& monitor = agent.Monitor();
    PostAlarm(agent, DeviceRevivedText(agent.IpText()), stop);
    // The checks below file every device that is still failed; the old entries must go
    // first, or the count would end below zero once the device recovers.
    monitor.FailedDevices().RemoveAgent(&agent);
    monitor.ChangeAgentState(
        agent, [](CAgent&) { return AGENT_NORMAL; }, stop);
    {
        std::lock_guard lock(agent.m_Lock);
        agent.m_ErrorCount = 0;
        agent.m_WarningCount = 0;
    }
    RunChecks(agent, stop);
}

} // namespace

void EvtMonitor(std::stop_token stop, CAgent& agent) {
    CMonitor& monitor = agent.Monitor();
    // The outage this thread has reported: revival is recognised by it, not by m_State,
    // which the window's timers may have changed meanwhile.
    bool downReported = false;

    RunChecks(agent, stop);

    int index = 0;
    int status = agent.PollEvent(&index, stop);
    if (status == AGENT_QUERY_STOPPED)
        return;
    if (status != 0) {
        index = 0;
        TraceLine(agent,
                  "EvtMonitor==> Agent %s PollEvent(...) failed, Error Code = 0x%X (Check Point "
                  "1)\r\n",
                  status);
    }
    {
        std::lock_guard lock(agent.m_Lock);
        agent.m_LastEventIndex = index;
    }

    while (!stop.stop_requested()) {
        index = 0;
        status = agent.PollEvent(&index, stop);
        if (status == AGENT_QUERY_STOPPED)
            return;
        if (status != 0) {
            TraceLine(agent,
                      "EvtMonitor==> Agent %s PollEvent(...) failed, Error Code = 0x%X (Check "
                      "Point 2)\r\n",
                      status);
            if ((status == VRN_WRITE_FAILED || status == VRN_NO_REPLY) && !downReported &&
                !stop.stop_requested()) {
                PostAlarm(agent, DeviceDownText(agent.IpText()), stop);
                monitor.SetAgentState(agent, AGENT_DOWN, stop);
                downReported = true;
            }
            if (!monitor.SleepPollInterval(stop))
                return;
            continue;
        }
        if (downReported) {
            Revive(agent, stop);
            downReported = false;
        }
        TraceLine(agent, "EvtMonitor==> Agent %s Event Index = %d\r\n", index);

        const int last = agent.m_LastEventIndex;
        if (index != last) {
            int current = index;
            int count = 0;
            status = agent.GetNewEventPages(last, &current, &count, stop);
            if (status == AGENT_QUERY_STOPPED)
                return;
            if (status == 0) {
                {
                    std::lock_guard lock(agent.m_Lock);
                    agent.m_LastEventIndex = current;
                }
                ReadNewEvents(agent, count, stop);
            }
            // On failure the index stays where it was, so the next cycle reads these events.
        }
        if (!monitor.SleepPollInterval(stop))
            return;
    }
}
