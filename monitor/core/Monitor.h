#pragma once
// CMonitor: the monitoring model behind the main window (Qt or headless). It owns AgentList,
// FailedDeviceList and the event list, runs discovery and the rescan steps, and offers the
// three one-second ticks as plain functions for the front-end's own timer.
//
// Threads (see also MonitorWindow.h):
//   window thread   construction, Rescan, UpdateAgentList, RemoveAbnormalAgent,
//                   ApplyPollTimeout, AddAgentByAddress, DeleteAgent, Shutdown, ClockTick,
//                   WarningCountdownTick, MessageBoxClosed. These change AgentList; never
//                   call two of them at once.
//   any thread      FailedDeviceTick (library calls: a front-end may run it off its window
//                   thread, one call at a time), AddEventToList, RaiseMessageBox, the
//                   accessors, snapshots.
//   monitor threads EvtMonitor and what it calls: PostAlarm, DecodeEvent, SetAgentState.
// Locks: an agent's m_Lock, the event-list lock, the failed-device list's lock and the agent
// list's lock are never held while waiting for the window or for a library reply.

#include "Agent.h"
#include "AgentList.h"
#include "AlarmSink.h"
#include "EventList.h"
#include "FailedDeviceList.h"
#include "MonitorWindow.h"
#include "Trace.h"
#include "WindowBridge.h"

#include "SettingsStore.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

inline constexpr std::uint32_t BROADCAST_ADDRESS = 0xFFFFFFFFu; // 255.255.255.255

// Durations that tests shorten. Defaults are the product's.
struct SMonitorTiming {
    // One "second" of PollInterval.
    std::chrono::milliseconds pollUnit{1000};
    // Discovery ends after this long without a datagram.
    std::chrono::milliseconds quietWindow{500};
    // The pause between discovery and the list rebuild in a rescan.
    std::chrono::milliseconds rescanPause{1000};
};

// Where a rescan looks for agents.
struct SRescanTargets {
    bool broadcast = true;                // 255.255.255.255 first
    std::vector<std::uint32_t> addresses; // then these (network order), in one discovery
};

// Settings as the monitor uses them: read at each use, clamped to the Network page's ranges
// (the stored values stay as they are).
struct SPollSettings {
    int interval; // seconds, 1..120
    int retries;  // 0..10
    int timeout;  // seconds, 1..120
    int level;    // 0..3
};

class CMonitor {
public:
    CMonitor(CSettingsStore& settings, IAlarmSink& alarms, IMonitorWindow* window = nullptr);
    // Shutdown().
    ~CMonitor();
    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

    void SetWindow(IMonitorWindow* window) { m_Bridge.SetWindow(window); }
    void SetTiming(const SMonitorTiming& timing) { m_Timing = timing; }
    const SMonitorTiming& Timing() const { return m_Timing; }
    // For the metrics page, from any thread: how many rescans have looked for agents, and how
    // long the search of the last one took (broadcast and address list together).
    std::uint64_t DiscoveryCount() const { return m_DiscoveryCount; }
    std::chrono::microseconds LastDiscoveryDuration() const {
        return std::chrono::microseconds(m_LastDiscoveryMicros.load());
    }

    // --- window thread: the list and discovery ---

    // RemoveAbnormalAgent, discovery (broadcast, then the addresses), the pause, the list
    // rebuild and ApplyPollTimeout, with the wait notice shown meanwhile. A stop request (the
    // program is ending) cuts it short between steps; the list then stays as it was.
    void Rescan(const SRescanTargets& targets, std::stop_token stop = {});
    // Discovery towards one address (BROADCAST_ADDRESS: broadcast) or several at once: one
    // identify frame to each, then every reply until the quiet window passes. New agents are
    // appended in the order their replies came, and their monitor threads started.
    void UpdateAgentList(std::uint32_t address, std::stop_token stop = {});
    void UpdateAgentList(const std::vector<std::uint32_t>& addresses, std::stop_token stop = {});
    // 1 when AgentList holds a record with this address, else 0.
    int AddAgentToAgentList(std::uint32_t address);
    // Identifies every listed agent (concurrently) and removes, in list order, those whose
    // identify query fails. Stopped midway, it removes nothing.
    void RemoveAbnormalAgent(std::stop_token stop = {});
    // PollTimeout to the session of every agent that is not down.
    void ApplyPollTimeout();
    // The Add command: the address entry's four fields (-1: empty). Accepted when at least
    // two are filled and the first two are not 0; then discovery towards it and true. False:
    // the window shows "Invalid IP Address" and keeps the dialog open.
    bool AddAgentByAddress(const int fields[4]);
    // Delete: takes the record out of AgentList, drops its failed devices, stops its thread.
    // False when it was not listed.
    bool DeleteAgent(const CAgent* agent);
    // Exit: every agent from the tail, all monitor threads stopped at once.
    void Shutdown();

    // --- the three one-second ticks ---

    // Status part 1 (the clock); window thread.
    void ClockTick();
    // Ages the warning indication; an agent whose countdown ends in state 2 goes to 3 or 1.
    // Window thread.
    void WarningCountdownTick();
    // Re-checks the failed devices; a healthy one is dropped and its alarm counted off.
    // Library calls: entries of agents that are down are left for their revival. A stop
    // request ends it between entries.
    void FailedDeviceTick(std::stop_token stop = {});

    // --- any thread ---

    // Shows and logs one line (AddEventToList); a failed log write raises "Failed to write
    // to log file" once the event-list lock is released.
    void AddEventToList(const std::string& text);
    // Applies `state` to the agent when it has a row (on the window's thread; the caller
    // waits unless stop is requested). False when there was no row or the wait was released.
    bool SetAgentState(CAgent& agent, int state, std::stop_token stop = {});
    // Same, with the new state decided on the window's thread under m_Lock, and only when the
    // agent has a row: decide may change the counters and returns the state to show, or 0 to
    // leave it.
    bool ChangeAgentState(CAgent& agent, const std::function<int(CAgent&)>& decide,
                          std::stop_token stop = {});
    void RaiseMessageBox(const std::string& text) { m_Bridge.RaiseMessageBox(text); }
    void MessageBoxClosed() { m_Bridge.MessageBoxClosed(); }

    CAgentList& AgentList() { return m_AgentList; }
    CFailedDeviceList& FailedDevices() { return m_FailedDevices; }
    CEventList& EventList() { return m_EventList; }
    CTraceSink& Trace() { return m_Trace; }
    CWindowBridge& Bridge() { return m_Bridge; }
    CSettingsStore& Settings() { return m_Settings; }
    IAlarmSink& Alarms() { return m_Alarms; }

    SPollSettings PollSettings() const;
    // Sleeps PollInterval "seconds"; false when a stop request ended the sleep.
    bool SleepPollInterval(std::stop_token stop) const;
    // Sleeps d; false when stopped.
    bool SleepFor(std::chrono::milliseconds d, std::stop_token stop) const;

    // --- test seams ---

    // Called before every attempt of a retrying query: a non-zero result is taken as the
    // attempt's status and nothing is sent.
    using QueryHook = std::function<int(CAgent& agent, EAgentQuery query)>;
    void SetQueryHook(QueryHook hook) { m_QueryHook = std::move(hook); }
    const QueryHook& GetQueryHook() const { return m_QueryHook; }
    // Replaces the library's sleeps (its fixed pauses) in the sessions of agents created
    // from now on.
    void SetLibrarySleeper(CAgentSession::PFN_VRN_SLEEP fn, void* ctx) {
        m_LibrarySleeper = fn;
        m_LibrarySleeperCtx = ctx;
    }
    void ApplyLibrarySleeper(CAgentSession& session) const {
        if (m_LibrarySleeper != nullptr)
            session.VrnSetSleeper(m_LibrarySleeper, m_LibrarySleeperCtx);
    }
    // The address the subnet filter compares replies with (network order; 0: accept every
    // reply). Unset: this host's, found as LocalFilterAddress does.
    void SetFilterAddress(std::optional<std::uint32_t> address) { m_FilterAddress = address; }

private:
    void StopAgents(std::vector<AgentPtr> agents);

    CSettingsStore& m_Settings;
    IAlarmSink& m_Alarms;
    CWindowBridge m_Bridge;
    CTraceSink m_Trace;
    CAgentList m_AgentList;
    CFailedDeviceList m_FailedDevices;
    CEventList m_EventList;
    SMonitorTiming m_Timing;
    std::atomic<std::uint64_t> m_DiscoveryCount{0};
    std::atomic<std::int64_t> m_LastDiscoveryMicros{0};
    QueryHook m_QueryHook;
    std::optional<std::uint32_t> m_FilterAddress;
    CAgentSession::PFN_VRN_SLEEP m_LibrarySleeper = nullptr;
    void* m_LibrarySleeperCtx = nullptr;
};

// The subnet filter's address of this host (network order): the first non-loopback IPv4
// address its name resolves to, else that of the first non-loopback interface; 0 when there
// is none (then every reply is accepted).
std::uint32_t LocalFilterAddress();
// Whether discovery takes a reply from `sender` given the filter address: loopback senders
// always; otherwise the third number of both dotted quads must match; filter 0 takes all.
bool SubnetFilterAccepts(std::uint32_t filterAddress, std::uint32_t sender);
// Clamps a stored setting to its page range.
SPollSettings ClampPollSettings(int interval, int retries, int timeout, int level);
