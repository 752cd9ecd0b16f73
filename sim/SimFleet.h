// A fleet of simulated agent hosts in one process: agent k answers on its own loopback
// address like a vrnhttp relay with its own controller behind it. Every agent has its own
// model, faults and counters; the scenario's immutable parts are shared. One poll() loop
// around one epoll set serves them all, so a thousand agents cost a few megabytes and
// next to no processor time.
#pragma once

#include "SimControl.h"
#include "SimCtlSocket.h"
#include "SimFaults.h"
#include "SimFrame.h"
#include "SimModel.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <netinet/in.h>
#include <queue>
#include <set>
#include <string>
#include <vector>

namespace vrnsim {

struct SFleetOptions {
    int count = 0;
    std::string base = "127.1.0.0"; // the third and fourth numbers start the address range
    int port = 7890;
    int httpPort = 0;
    std::string ctlPath;
    double timeScale = 1.0;
    uint32_t seed = 1;
};

// Address of agent k (from 0): host numbers 1..254 in each third-number block from the
// base's, so that no agent sits on a .0 or .255 address. Returns false when k is negative or
// the range would leave the base's /16.
bool FleetAddress(const std::string& base, int k, std::string& out);
// The inverse: the agent number at `addr`, -1 when it is not one of the range.
int FleetIndex(const std::string& base, const std::string& addr);

class CSimFleet {
public:
    CSimFleet(const SScenario& sc, SFleetOptions opt);
    ~CSimFleet();
    CSimFleet(const CSimFleet&) = delete;
    CSimFleet& operator=(const CSimFleet&) = delete;

    // Binds every agent's socket and the control socket; on failure returns false with the
    // reason (the first address that could not be bound).
    bool Start(std::string& err);
    // Serves until *stop becomes non-zero.
    void Run(const volatile std::sig_atomic_t* stop);

    size_t Count() const { return m_agents.size(); }
    std::string Address(size_t k) const;
    // One control line, as the control socket would run it.
    std::string Execute(const std::string& line, int64_t nowUs);

    static std::string HelpText();

private:
    struct SAgent {
        SAgent(SScenario sc, double timeScale, int64_t nowMs, uint32_t seed)
            : model(std::move(sc), timeScale, nowMs), faults(seed) {}
        CSimModel model;
        CFaults faults;
        SCounters counters;
        CFrameCollector line; // the serial line behind this agent's relay
        sockaddr_in addr{};
        int fd = -1;
        int64_t lastPollUs = -1;
        int64_t firstIdentifyUs = -1;
        int64_t firstPollUs = -1;
        uint64_t polls = 0;
    };
    struct SOutgoing {
        int64_t dueUs;
        uint64_t seq; // keeps two bursts of one reply in order
        uint32_t agent;
        sockaddr_in to;
        Bytes data;
        bool operator>(const SOutgoing& o) const {
            return dueUs != o.dueUs ? dueUs > o.dueUs : seq > o.seq;
        }
    };

    bool Bind(uint32_t k, std::string& err);
    void Unbind(uint32_t k);
    void ReadAgent(uint32_t k, int64_t nowUs);
    void Note(SAgent& a, const Bytes& frame, int64_t nowUs);
    void SendDue(int64_t nowUs);
    void ExpirePartial(int64_t nowUs);
    int PollTimeoutMs(int64_t nowUs) const;
    std::string AgentCommand(const std::vector<std::string>& w, const std::string& line,
                             int64_t nowUs);
    std::string PollStats() const;
    std::string SeenStats() const;

    SFleetOptions m_opt;
    std::vector<std::unique_ptr<SAgent>> m_agents;
    CCtlSocket m_ctl;
    int m_epoll = -1;
    std::priority_queue<SOutgoing, std::vector<SOutgoing>, std::greater<>> m_out;
    uint64_t m_seq = 0;
    std::set<uint32_t> m_partial; // agents whose line holds part of a frame
    int64_t m_nextTickUs = 0;
    // Gaps between successive poll-event requests of one agent, microseconds, all agents.
    std::vector<uint32_t> m_pollGaps;
    uint64_t m_pollGapsLost = 0;
};

} // namespace vrnsim
