// The front-ends around the model: a pseudo-terminal (the controller's serial port), a UDP
// socket that answers like an agent with this controller behind it, and the control socket.
// One poll() loop serves all of them, so a slow serial reader never stalls the others.
#pragma once

#include "SimControl.h"
#include "SimCtlSocket.h"
#include "SimFaults.h"
#include "SimFrame.h"
#include "SimModel.h"

#include <csignal>
#include <deque>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace vrnsim {

struct SServerOptions {
    bool pty = false;
    std::string link;
    bool udp = false;
    std::string udpAddr = "127.0.0.1";
    int udpPort = 0;
    int httpPort = 0;
    std::string ctlPath;
    bool pace = false;
};

int64_t MonotonicUs();

class CSimServer {
public:
    CSimServer(CSimModel& model, CFaults& faults, SServerOptions opt);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Opens every front-end asked for; on failure returns false with the reason.
    bool Start(std::string& err);
    const std::string& PtyPath() const { return m_ptyPath; }
    std::string UdpBound() const;
    // Serves until *stop becomes non-zero.
    void Run(const volatile std::sig_atomic_t* stop);

private:
    struct SChunk {
        Bytes data;
        size_t off = 0;
        int64_t notBeforeUs = 0;
        int64_t gapUs = 0;  // wait after the previous chunk finished
        bool armed = false; // notBeforeUs is final
    };
    struct SDatagram {
        int64_t dueUs;
        sockaddr_in to;
        Bytes data;
    };
    enum class EOrigin { Pty, Udp };

    bool OpenPty(std::string& err);
    bool OpenUdp(std::string& err);
    void ReadPty(int64_t nowUs);
    void WritePty(int64_t nowUs);
    void ReadUdp(int64_t nowUs);
    void SendDueDatagrams(int64_t nowUs);
    void Serve(const Bytes& frame, EOrigin origin, const sockaddr_in* from, int64_t nowUs);
    void QueuePty(const SReplyPlan& plan, int64_t nowUs);
    void QueueUdp(const SReplyPlan& plan, const sockaddr_in& to, int64_t nowUs);
    void Collect(CFrameCollector& line, std::span<const uint8_t> data, int64_t nowUs,
                 EOrigin origin, const sockaddr_in* from);
    void ExpireLines(int64_t nowUs);
    int PollTimeoutMs(int64_t nowUs) const;

    CSimModel& m_model;
    CFaults& m_faults;
    SServerOptions m_opt;
    SCounters m_counters;
    CSimControl m_control;
    CCtlSocket m_ctl;
    CFrameCollector m_serialLine;
    CFrameCollector m_udpLine; // the serial line behind the agent front-end

    int m_master = -1;
    int m_slave = -1;
    std::string m_ptyPath;
    bool m_linkMade = false;
    int m_udp = -1;
    sockaddr_in m_udpBound{};

    std::deque<SChunk> m_ptyOut;
    std::vector<SDatagram> m_udpOut;
};

} // namespace vrnsim
