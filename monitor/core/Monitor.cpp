#include "Monitor.h"

#include "AgentDatagram.h"
#include "StringTable.h"
#include "TaskRunner.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace {

// Identify and system-information exchanges run side by side up to this many at a time; each
// is one reply time at most, and a thousand agents must not take a thousand of them in a row.
constexpr std::size_t MAX_PARALLEL_EXCHANGES = 1024;
// Room for the replies of thousands of agents arriving together.
constexpr int DISCOVERY_RECEIVE_BUFFER = 8 * 1024 * 1024;

int Clamp(int v, int lo, int hi) {
    return std::max(lo, std::min(hi, v));
}

bool IsLoopback(std::uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

std::string DottedQuad(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

SPollSettings ClampPollSettings(int interval, int retries, int timeout, int level) {
    return SPollSettings{
        Clamp(interval, static_cast<int>(kPollIntervalRange.nMin),
              static_cast<int>(kPollIntervalRange.nMax)),
        Clamp(retries, static_cast<int>(kPollRetriesRange.nMin),
              static_cast<int>(kPollRetriesRange.nMax)),
        Clamp(timeout, static_cast<int>(kPollTimeoutRange.nMin),
              static_cast<int>(kPollTimeoutRange.nMax)),
        Clamp(level, LEVEL_URGENT, LEVEL_INFORMATION),
    };
}

std::uint32_t LocalFilterAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(name, nullptr, &hints, &found) == 0) {
            std::uint32_t address = 0;
            for (addrinfo* p = found; p != nullptr && address == 0; p = p->ai_next) {
                const auto* in = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
                if (!IsLoopback(in->sin_addr.s_addr))
                    address = in->sin_addr.s_addr;
            }
            freeaddrinfo(found);
            if (address != 0)
                return address;
        }
    }
    // The host's name often resolves to a loopback address here: take the first interface
    // that is not one.
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return 0;
    std::uint32_t address = 0;
    for (ifaddrs* p = list; p != nullptr && address == 0; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET ||
            (p->ifa_flags & IFF_LOOPBACK) || !(p->ifa_flags & IFF_UP))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
        if (!IsLoopback(in->sin_addr.s_addr))
            address = in->sin_addr.s_addr;
    }
    freeifaddrs(list);
    return address;
}

bool SubnetFilterAccepts(std::uint32_t filterAddress, std::uint32_t sender) {
    if (filterAddress == 0 || IsLoopback(sender))
        return true;
    // The third number of the dotted quad: byte 2 in network order.
    return reinterpret_cast<const unsigned char*>(&filterAddress)[2] ==
           reinterpret_cast<const unsigned char*>(&sender)[2];
}

CMonitor::CMonitor(CSettingsStore& settings, IAlarmSink& alarms, IMonitorWindow* window)
    : m_Settings(settings), m_Alarms(alarms) {
    m_Bridge.SetWindow(window);
    m_EventList.SetLogWriter([this](std::string_view text) { return m_Alarms.WriteLogLine(text); });
    // Posted under the event-list lock, so the window gets the lines in list order.
    m_EventList.SetLineSink([this](const SEventLine& line, const std::string& status) {
        IMonitorWindow* w = m_Bridge.Window();
        if (w != nullptr)
            w->PostToWindow([w, line, status] { w->ShowEventLine(line, status); });
    });
}

CMonitor::~CMonitor() {
    Shutdown();
}

SPollSettings CMonitor::PollSettings() const {
    const SettingsRecord r = m_Settings.Snapshot();
    return ClampPollSettings(r.PollInterval, r.PollRetries, r.PollTimeout, r.Level);
}

bool CMonitor::SleepFor(std::chrono::milliseconds d, std::stop_token stop) const {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stop, d, [] { return false; });
    return !stop.stop_requested();
}

bool CMonitor::SleepPollInterval(std::stop_token stop) const {
    return SleepFor(PollSettings().interval * m_Timing.pollUnit, stop);
}

void CMonitor::AddEventToList(const std::string& text) {
    if (!m_EventList.Add(text))
        RaiseMessageBox(CStringTable::Text(IDS_LOG_WRITE_FAILED));
}

bool CMonitor::ChangeAgentState(CAgent& agent, const std::function<int(CAgent&)>& decide,
                                std::stop_token stop) {
    bool found = false;
    const bool ran = m_Bridge.RunAndWait(
        [&] {
            IMonitorWindow* w = m_Bridge.Window();
            if (!(w != nullptr ? w->FindAgentRow(agent) : m_AgentList.Contains(&agent)))
                return;
            found = true;
            int state;
            {
                std::lock_guard lock(agent.m_Lock);
                state = decide(agent);
                if (state != 0)
                    agent.m_State = state;
            }
            if (state != 0 && w != nullptr)
                w->ShowAgentState(agent, state);
        },
        stop);
    return ran && found;
}

bool CMonitor::SetAgentState(CAgent& agent, int state, std::stop_token stop) {
    return ChangeAgentState(
        agent, [state](CAgent&) { return state; }, stop);
}

int CMonitor::AddAgentToAgentList(std::uint32_t address) {
    m_Trace.Write("CQuillHTDlg::AddAgentToAgentList()\r\n");
    return m_AgentList.Find(address) ? 1 : 0;
}

void CMonitor::UpdateAgentList(std::uint32_t address, std::stop_token stop) {
    UpdateAgentList(std::vector<std::uint32_t>{address}, stop);
}

void CMonitor::UpdateAgentList(const std::vector<std::uint32_t>& addresses, std::stop_token stop) {
    m_Trace.Write("CQuillHTDlg::UpdateAgentList()\r\n");
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return;
    const int one = 1;
    setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    // Replies are read as fast as they come, but a thousand agents answer within
    // milliseconds: the queue must hold them all (beyond rmem_max needs the privileged form).
    const int room = DISCOVERY_RECEIVE_BUFFER;
    if (setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0)
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);

    unsigned char request[7];
    BuildAgentCommand(AGENT_CMD_IDENTIFY, request);
    bool sent = false;
    for (std::uint32_t address : addresses)
        sent |= SendAgentFrame(sock, address, AGENT_UDP_PORT, request, sizeof request) > 0;
    if (!sent) {
        ::close(sock);
        return;
    }

    const std::uint32_t filter = m_FilterAddress ? *m_FilterAddress : LocalFilterAddress();
    // New agents in the order their replies came; their records are built (one system
    // information exchange each) while further replies are read.
    std::vector<sockaddr_in> senders;
    std::vector<AgentPtr> built;
    std::mutex builtMutex;
    std::unordered_set<std::uint32_t> seen;
    CTaskRunner builders(MAX_PARALLEL_EXCHANGES);
    const long quietUs = static_cast<long>(m_Timing.quietWindow.count()) * 1000;

    while (!stop.stop_requested() && WaitReadable(sock, quietUs / 1000000, quietUs % 1000000) > 0) {
        unsigned char reply[DISCOVERY_REPLY_SIZE];
        sockaddr_in from{};
        int n;
        while ((n = ReceiveQueuedFrame(sock, reply, sizeof reply, &from)) >= 0) {
            const std::uint32_t ip = from.sin_addr.s_addr;
            if (!SubnetFilterAccepts(filter, ip))
                continue;
            if (!IsDiscoveryReply(reply, n, sizeof reply))
                continue;
            if (AddAgentToAgentList(ip) == 1 || seen.count(ip) != 0) {
                m_Trace.Format("CQuillHTDlg==>Agent [%s] Existed.\r\n", DottedQuad(ip).c_str());
                continue;
            }
            seen.insert(ip);
            const std::size_t slot = senders.size();
            senders.push_back(from);
            {
                std::lock_guard lock(builtMutex);
                built.resize(senders.size());
            }
            builders.Submit([this, from, slot, &built, &builtMutex] {
                auto agent = std::make_shared<CAgent>(*this, from);
                std::lock_guard lock(builtMutex);
                built[slot] = std::move(agent);
            });
        }
    }
    builders.Wait();
    ::close(sock);
    if (stop.stop_requested())
        return;

    for (AgentPtr& agent : built) {
        m_AgentList.Append(agent);
        m_Trace.Format("CQuillHTDlg==>Agent [%s] Added\r\n", agent->IpText().c_str());
        agent->StartMonitor();
        m_Trace.Format("CQuillHTDlg==>Agent [%s] Evtmonitor() began\r\n", agent->IpText().c_str());
    }
    m_Trace.Format("CQuillHTDlg==>Total AgentList Count = %d\r\n",
                   static_cast<int>(m_AgentList.Count()));
}

void CMonitor::RemoveAbnormalAgent(std::stop_token stop) {
    m_Trace.Write("CQuillHTDlg::RemoveAbnormalAgent()\r\n");
    const std::vector<AgentPtr> agents = m_AgentList.Snapshot();
    std::vector<int> status(agents.size(), 0);
    {
        CTaskRunner identify(MAX_PARALLEL_EXCHANGES);
        for (std::size_t i = 0; i < agents.size(); ++i)
            identify.Submit([&, i] { status[i] = agents[i]->Identify(stop); });
        identify.Wait();
    }
    // An identify cut short says nothing about the agent.
    if (stop.stop_requested())
        return;
    std::vector<AgentPtr> removed;
    for (std::size_t i = 0; i < agents.size(); ++i) {
        if (status[i] == 0)
            continue;
        m_Trace.Format("CQuillHTDlg::RemoveAbnormalAgent()==>Agent [%s] removed.\r\n",
                       agents[i]->IpText().c_str());
        m_FailedDevices.RemoveAgent(agents[i].get());
        m_AgentList.Remove(agents[i].get());
        removed.push_back(agents[i]);
    }
    StopAgents(std::move(removed));
}

void CMonitor::ApplyPollTimeout() {
    const unsigned timeout = static_cast<unsigned>(PollSettings().timeout);
    for (const AgentPtr& agent : m_AgentList.Snapshot())
        if (agent->m_State != AGENT_DOWN)
            agent->m_Session.VrnSetTimeOut(timeout);
}

bool CMonitor::AddAgentByAddress(const int fields[4]) {
    int filled = 0;
    for (int i = 0; i < 4; ++i)
        if (fields[i] >= 0)
            ++filled;
    if (filled < 2 || fields[0] <= 0 || fields[1] <= 0)
        return false;
    std::uint32_t host = 0;
    for (int i = 0; i < 4; ++i)
        host = (host << 8) | static_cast<std::uint32_t>(std::clamp(fields[i], 0, 255));
    UpdateAgentList(htonl(host));
    return true;
}

bool CMonitor::DeleteAgent(const CAgent* agent) {
    AgentPtr held;
    for (const AgentPtr& a : m_AgentList.Snapshot())
        if (a.get() == agent)
            held = a;
    if (!held)
        return false;
    // The failed-device entries go before the record does.
    m_FailedDevices.RemoveAgent(agent);
    m_AgentList.Remove(agent);
    StopAgents({held});
    return true;
}

void CMonitor::Shutdown() {
    std::vector<AgentPtr> all;
    while (AgentPtr agent = m_AgentList.TakeTail()) {
        m_Trace.Format("QuillHTDlg==> Killing agent items [%s] in AgentList\r\n",
                       agent->IpText().c_str());
        m_FailedDevices.RemoveAgent(agent.get());
        all.push_back(std::move(agent));
    }
    StopAgents(std::move(all));
}

void CMonitor::StopAgents(std::vector<AgentPtr> agents) {
    // Every thread is asked at once, so stopping many costs one library call, not one each.
    for (const AgentPtr& agent : agents)
        agent->m_Thread.request_stop();
    for (const AgentPtr& agent : agents)
        agent->Stop();
}

void CMonitor::Rescan(const SRescanTargets& targets, std::stop_token stop) {
    IMonitorWindow* w = m_Bridge.Window();
    if (w != nullptr)
        w->ShowWaitNotice(true);
    RemoveAbnormalAgent(stop);
    const auto searchStart = std::chrono::steady_clock::now();
    if (targets.broadcast && !stop.stop_requested())
        UpdateAgentList(BROADCAST_ADDRESS, stop);
    if (!targets.addresses.empty() && !stop.stop_requested())
        UpdateAgentList(targets.addresses, stop);
    m_LastDiscoveryMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - searchStart)
                                .count();
    ++m_DiscoveryCount;
    SleepFor(m_Timing.rescanPause, stop);
    if (w != nullptr) {
        w->ShowWaitNotice(false);
        w->RebuildAgentList();
    }
    ApplyPollTimeout();
}

void CMonitor::ClockTick() {
    if (IMonitorWindow* w = m_Bridge.Window())
        w->ShowClock(FormatClock(m_EventList.Now()));
}

void CMonitor::WarningCountdownTick() {
    for (const AgentPtr& agent : m_AgentList.Snapshot()) {
        int left;
        {
            std::lock_guard lock(agent->m_Lock);
            if (agent->m_WarningCount == 0)
                continue;
            left = --agent->m_WarningCount;
        }
        m_Trace.Format("warning count = %d\r\n", left);
        if (left != 0)
            continue;
        // Only the warning indication ends here: an alarm or an outage shown meanwhile stays.
        ChangeAgentState(*agent, [](CAgent& a) {
            if (a.m_State != AGENT_WARNING || a.m_WarningCount != 0)
                return 0;
            return a.m_ErrorCount != 0 ? AGENT_ALARM : AGENT_NORMAL;
        });
    }
}

void CMonitor::FailedDeviceTick(std::stop_token stop) {
    for (const SFailedDevice& entry : m_FailedDevices.Snapshot()) {
        if (stop.stop_requested())
            return;
        CAgent& agent = *entry.agent;
        // A down agent would hold the tick for its reply time-outs; its revival re-checks
        // its devices anyway.
        if (agent.m_State == AGENT_DOWN || agent.StopRequested())
            continue;
        sGUI_PHY_DRV drive{};
        if (agent.GetPhysicalDriveInfo(entry.Channel(), &drive, stop) != 0)
            continue;
        if (drive.gpdDeviceState & 0x10)
            continue;
        // Counted off only by whoever takes the entry out, so one recovery is one decrement.
        if (!m_FailedDevices.Remove(&agent, entry.Channel()))
            continue;
        ChangeAgentState(
            agent,
            [](CAgent& a) {
                --a.m_ErrorCount;
                if (a.m_State == AGENT_DOWN)
                    return 0;
                return a.m_ErrorCount != 0 ? AGENT_ALARM : AGENT_NORMAL;
            },
            stop);
    }
}
