#pragma once
// One agent found on the network: its controller session, cached system information, alarm
// bookkeeping and monitor thread.
//
// Lifetime: records are created by discovery, held by the agent list as shared pointers and
// destroyed by the removal pass of a rescan, by Delete and at exit (CMonitor). Whoever takes a
// record out of the list calls Stop() first; the destructor does it too. Disk checking may
// keep a shared pointer while it works on the session.
//
// Threads: the record's own monitor thread (all polling), the window's thread (timers, list
// rebuilds, the HTTP port query) and disk-checking workers (commands on m_Session) use it at
// once. The session serialises exchanges itself. Counters and the state change only under
// m_Lock and are atomics, so anyone may read them without the lock and never see a torn value.

#include "Vrnlib.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

class CMonitor;

// Agent states; the number is also the state picture of the agent's row.
inline constexpr int AGENT_NORMAL = 1;
inline constexpr int AGENT_WARNING = 2;
inline constexpr int AGENT_ALARM = 3;
inline constexpr int AGENT_DOWN = 4;

// The agent's UDP port, for the session and for discovery alike.
inline constexpr int AGENT_UDP_PORT = VRN_AGENT_PORT;

// The retrying queries' own status when a stop request ended them (before an attempt, or
// after a failed one). It is no library status, so it never reads as Device Down.
inline constexpr int AGENT_QUERY_STOPPED = -1;

// Which retrying query an attempt belongs to (for the test hook, CMonitor::SetQueryHook).
enum class EAgentQuery {
    Identify,
    SysInfo,
    RaidSet,
    VolumeSet,
    PhysicalDrive,
    PollEvent,
    EventPage,
};

// The agent's session: the library's SMART-capable session (disk checking sends SMART
// commands on it), with the library's sleep hook reachable so that tests can drop the
// library's fixed pauses.
class CAgentSession : public CVrnlibSMART {
public:
    using CVrnlib::PFN_VRN_SLEEP;
    using CVrnlib::VrnSetSleeper;
};

class CAgent : public std::enable_shared_from_this<CAgent> {
public:
    // Opens the session to the sender's address at AGENT_UDP_PORT, the port-query socket, and
    // reads the system information (with retries; zeroes when that fails). Blocking: one
    // retrying query.
    CAgent(CMonitor& monitor, const sockaddr_in& address);
    virtual ~CAgent();
    CAgent(const CAgent&) = delete;
    CAgent& operator=(const CAgent&) = delete;

    // The declared fields, in their order.
    CAgentSession m_Session;           // a CVrnlibSMART
    std::jthread m_Thread;             // EvtMonitor; empty until StartMonitor
    sockaddr_in m_Address;             // the discovery reply's sender, whole
    std::uint32_t m_Ip;                // m_Address's address, network order; the identity
    std::atomic<int> m_LastEventIndex; // controller event index seen last, 0..63
    std::atomic<int> m_ErrorCount;     // outstanding alarms; may go below 0
    std::atomic<int> m_WarningCount;   // seconds left of the warning indication
    std::atomic<int> m_State;          // AGENT_NORMAL .. AGENT_DOWN
    sSYSTEM_INFO m_SysInfo;            // read once at creation; never written afterwards
    std::mutex m_Lock;                 // every change of the four counters above
    int m_Socket;                      // the HTTP port query only

    // Dotted-quad form of m_Ip.
    const std::string& IpText() const { return m_IpText; }
    CMonitor& Monitor() const { return m_Monitor; }

    // Starts EvtMonitor on m_Thread.
    void StartMonitor();
    // Requests the monitor thread to stop and waits for it: at most one library call (the
    // thread's sleeps and waits for the window end at once). Idempotent; never call it from
    // the monitor thread itself.
    void Stop();
    bool StopRequested() const { return m_Thread.get_stop_token().stop_requested(); }

    // Retrying queries: 1 + PollRetries attempts (the setting read at each call, clamped to
    // its page range) while the status is not 0; the last status comes back. A stop request
    // ends them with AGENT_QUERY_STOPPED, checked before each attempt and after a failed one.
    int Identify(std::stop_token stop = {});
    int GetSysInfo(sSYSTEM_INFO* info, std::stop_token stop = {});
    int GetRaidSetInfo(int raidSet, sGUI_RAIDSET* info, std::stop_token stop = {});
    int GetVolSetInfo(int volumeSet, sGUI_VOLUMESET* info, std::stop_token stop = {});
    int GetPhysicalDriveInfo(int channel, sGUI_PHY_DRV* info, std::stop_token stop = {});
    int PollEvent(int* index, std::stop_token stop = {});
    // Fetches the pages holding the events after `lastIndex` (the index this monitor has
    // read up to). On 0, *currentIndex is the controller index the fetch itself saw and
    // *count the number of events from lastIndex up to it (objects 0 .. count - 1, newest
    // first). Taking both from the fetch means an event logged between the monitor's poll
    // and the fetch is neither lost nor read twice.
    int GetNewEventPages(int lastIndex, int* currentIndex, int* count, std::stop_token stop = {});
    // One attempt, no exchange: non-zero when the record was filled.
    int GetEventObject(int index, sEVET_DATA* event);

    // The agent's HTTP proxy port through the port query on m_Socket (80 when it fails).
    // Blocks up to waitMs for the reply.
    int QueryHttpPort(int waitMs = 20000);

    // For the metrics page, readable from any thread: how many PollEvent calls have ended
    // (a stopped one does not count), the status and length of the last, and the event
    // records read so far.
    std::uint64_t PollCount() const { return m_PollCount; }
    int LastPollStatus() const { return m_LastPollStatus; }
    std::chrono::microseconds LastPollDuration() const {
        return std::chrono::microseconds(m_LastPollMicros.load());
    }
    std::uint64_t EventsRead() const { return m_EventsRead; }

private:
    template <class F> int Retry(EAgentQuery query, std::stop_token stop, F attempt);

    CMonitor& m_Monitor;
    std::string m_IpText;
    std::mutex m_SocketLock; // one port query at a time on m_Socket
    std::atomic<std::uint64_t> m_PollCount{0};
    std::atomic<int> m_LastPollStatus{0};
    std::atomic<std::int64_t> m_LastPollMicros{0};
    std::atomic<std::uint64_t> m_EventsRead{0};
};
