#include "Agent.h"

#include "AgentDatagram.h"
#include "EventMonitor.h"
#include "Monitor.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

CAgent::CAgent(CMonitor& monitor, const sockaddr_in& address)
    : m_Address(address), m_Ip(address.sin_addr.s_addr), m_LastEventIndex(0), m_ErrorCount(0),
      m_WarningCount(0), m_State(AGENT_NORMAL), m_SysInfo{}, m_Socket(-1), m_Monitor(monitor) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = m_Ip;
    inet_ntop(AF_INET, &a, text, sizeof text);
    m_IpText = text;

    monitor.ApplyLibrarySleeper(m_Session);
    // A session that does not open is not reported: its queries fail like a silent agent's.
    m_Session.VrnInitSession(m_IpText.c_str(), AGENT_UDP_PORT);
    m_Socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // On failure the record stays zeroed: no channels, no raid sets until found again.
    GetSysInfo(&m_SysInfo);
}

CAgent::~CAgent() {
    Stop();
    if (m_Socket >= 0) {
        ::shutdown(m_Socket, SHUT_RDWR);
        ::close(m_Socket);
        m_Socket = -1;
    }
}

void CAgent::StartMonitor() {
    if (m_Thread.joinable())
        return;
    m_Thread = std::jthread([this](std::stop_token stop) { EvtMonitor(stop, *this); });
}

void CAgent::Stop() {
    m_Thread.request_stop();
    if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id())
        m_Thread.join();
}

template <class F> int CAgent::Retry(EAgentQuery query, std::stop_token stop, F attempt) {
    const int attempts = 1 + m_Monitor.PollSettings().retries;
    const CMonitor::QueryHook& hook = m_Monitor.GetQueryHook();
    int status = VRN_NO_REPLY;
    for (int i = 0; i < attempts; ++i) {
        if (stop.stop_requested())
            return AGENT_QUERY_STOPPED;
        status = hook ? hook(*this, query) : 0;
        if (status == 0)
            status = attempt();
        if (status == 0)
            return 0;
    }
    // A failure that a stop request cut short is no finding about the agent.
    return stop.stop_requested() ? AGENT_QUERY_STOPPED : status;
}

int CAgent::Identify(std::stop_token stop) {
    return Retry(EAgentQuery::Identify, stop, [&] { return m_Session.VrnIdentify(); });
}

int CAgent::GetSysInfo(sSYSTEM_INFO* info, std::stop_token stop) {
    return Retry(EAgentQuery::SysInfo, stop, [&] { return m_Session.VrnGetSysInfo(info); });
}

int CAgent::GetRaidSetInfo(int raidSet, sGUI_RAIDSET* info, std::stop_token stop) {
    return Retry(EAgentQuery::RaidSet, stop,
                 [&] { return m_Session.VrnGetRaidSetInfo(static_cast<char>(raidSet), info); });
}

int CAgent::GetVolSetInfo(int volumeSet, sGUI_VOLUMESET* info, std::stop_token stop) {
    return Retry(EAgentQuery::VolumeSet, stop,
                 [&] { return m_Session.VrnGetVolSetInfo(static_cast<char>(volumeSet), info); });
}

int CAgent::GetPhysicalDriveInfo(int channel, sGUI_PHY_DRV* info, std::stop_token stop) {
    return Retry(EAgentQuery::PhysicalDrive, stop, [&] {
        return m_Session.VrnGetPhysicalDriveInfo(static_cast<char>(channel), info);
    });
}

int CAgent::PollEvent(int* index, std::stop_token stop) {
    const auto start = std::chrono::steady_clock::now();
    const int status =
        Retry(EAgentQuery::PollEvent, stop, [&] { return m_Session.VrnPollEvent(index); });
    if (status != AGENT_QUERY_STOPPED) {
        m_LastPollMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
        m_LastPollStatus = status;
        ++m_PollCount;
    }
    return status;
}

int CAgent::GetNewEventPages(int lastIndex, int* currentIndex, int* count, std::stop_token stop) {
    return Retry(EAgentQuery::EventPage, stop, [&] {
        // The library counts new events from the index of its previous fetch; starting it
        // from the monitor's own index makes it fetch exactly the pages those events are in,
        // also after a fetch that failed half-way.
        CVrnExchangeGuard hold(m_Session);
        m_Session.m_iPreIndex = lastIndex;
        int n = 0;
        const int status = m_Session.VrnGetReqEventPage(1, &n);
        if (status == 0) {
            *currentIndex = m_Session.m_iCurrentIndex;
            *count = n;
        }
        return status;
    });
}

int CAgent::GetEventObject(int index, sEVET_DATA* event) {
    const int filled = m_Session.VrnGetEventObject(index, event);
    if (filled != 0)
        ++m_EventsRead;
    return filled;
}

int CAgent::QueryHttpPort(int waitMs) {
    std::lock_guard lock(m_SocketLock);
    if (m_Socket < 0)
        return DEFAULT_HTTP_PORT;
    // A reply that came after an earlier query gave up must not answer this one.
    unsigned char stale[64];
    for (int i = 0; i < 64 && ReceiveQueuedFrame(m_Socket, stale, sizeof stale, nullptr) >= 0;
         ++i) {
    }
    unsigned char query[7];
    BuildAgentCommand(AGENT_CMD_HTTP_PORT, query);
    if (SendAgentFrame(m_Socket, m_Ip, AGENT_UDP_PORT, query, sizeof query) <= 0)
        return DEFAULT_HTTP_PORT;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return DEFAULT_HTTP_PORT;
        unsigned char reply[PORT_REPLY_SIZE] = {};
        sockaddr_in from{};
        const int n =
            ReceiveAgentFrame(m_Socket, reply, sizeof reply, &from, static_cast<int>(left));
        if (n < 0 || (n == 0 && from.sin_family == 0))
            return DEFAULT_HTTP_PORT;
        // Only the agent's relay answers this query.
        if (from.sin_addr.s_addr != m_Ip || from.sin_port != htons(AGENT_UDP_PORT))
            continue;
        const int port = n == PORT_REPLY_SIZE ? ParsePortReply(reply, PORT_REPLY_SIZE) : -1;
        return port < 0 ? DEFAULT_HTTP_PORT : port;
    }
}
