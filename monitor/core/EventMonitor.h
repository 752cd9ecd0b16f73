#pragma once
// The per-agent monitor: checks the hardware monitor, volume sets and devices at start and
// after every outage, polls the event index every PollInterval seconds and decodes the new
// events. All of it runs on the agent's own thread (std::jthread); every sleep and every wait
// for the window ends at a stop request, and every library call is bounded by its time-out.

#include <stop_token>
#include <string>

class CAgent;
struct sEVET_DATA;

// Thread body; returns once stop is requested.
void EvtMonitor(std::stop_token stop, CAgent& agent);

// The three condition checks; each raises its alarms (state 3, m_ErrorCount + 1).
void ParseHWMonData(CAgent& agent, std::stop_token stop);
void CheckVolumeSets(CAgent& agent, std::stop_token stop);
// Also files every failed device in FailedDeviceList (once per channel).
void CheckDevices(CAgent& agent, std::stop_token stop);

// Reads event objects n - 1 down to 0 (oldest first) and decodes each.
void ReadNewEvents(CAgent& agent, int n, std::stop_token stop);

// One alarm raised by the monitor itself: system log (error), event list and log file, and
// notification whatever the Level setting says.
void PostAlarm(CAgent& agent, const std::string& text, std::stop_token stop);
// An alarm of the checks: PostAlarm, state 3, m_ErrorCount + 1.
void RaiseAlarm(CAgent& agent, const std::string& text, std::stop_token stop);
