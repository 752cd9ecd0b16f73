// vrnhttp: start-up, the HTTP proxy's accept loop and handler, and the relay thread.
#include "VrnHttp.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "AgentFrame.h"
#include "AgentOptions.h"
#include "AgentRelay.h"
#include "AgentRequest.h"

using namespace vrnagent;

namespace {

// Set by SIGTERM and SIGINT; every loop of the agent looks at it at least every poll period.
std::atomic<bool> g_bStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// How long the accept loop and the relay wait before looking at the stop flag again.
constexpr int kStopPollMs = 250;

// The local address both sockets bind to (-b), network order.
in_addr_t g_bindAddress = 0;
int g_relayPort = VRN_AGENT_PORT;

extern "C" void OnStopSignal(int) {
    g_bStop.store(true);
}

void InstallSignalHandlers() {
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocked wait returns early and its loop sees the flag.
    sa.sa_flags = 0;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    // A browser that goes away before its answer must not take the agent with it.
    struct sigaction ign = {};
    ign.sa_handler = SIG_IGN;
    sigemptyset(&ign.sa_mask);
    sigaction(SIGPIPE, &ign, nullptr);
}

// perror with a well-defined errno: the checks before any system call report "Success".
void ReportWithErrno(const char* message, int err) {
    errno = err;
    std::perror(message);
}

// Errors of accept that concern one connection only (or pass): the agent keeps serving.
bool AcceptErrorIsTransient(int err) {
    switch (err) {
    case EINTR:
    case EAGAIN:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return true;
    default:
        return false;
    }
}

sockaddr_in LocalAddress(int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = g_bindAddress;
    a.sin_port = htons(static_cast<unsigned short>(port));
    return a;
}

// Start-up failures end the agent with 0 as it always did; in the foreground (a service
// manager watching) they end it with 1.
int g_startFailureStatus = 0;

} // namespace

void DebugPrint(const char* fmtstr, ...) {
    // The trace hook stays silent; the trace points document what the agent is doing.
    (void)fmtstr;
}

void ShowUsage() {
    std::printf("Usage: vrnhttp [TCP_PORT] [COM_PORT] [BAUDRATE] \n"
                "TCP_PORT value ( 1 ~ 65535 )\n"
                "COM_PORT value ( 1 ~ 10 )\n"
                "BAUDRATE value ( 2400, 4800, 9600, 19200, 38400, 57600, 115200 )\n"
                "Example: vrnhttp 6666 1 115200\n"
                "Start the HTTP PROXY SERVER for TCP_PORT = 6666, COM_PORT = 1 and BAUDRATE = "
                "115200bps\n\n");
    std::fflush(stdout);
}

void* ClientProc(void* pData) {
    _ClientInfo* info = static_cast<_ClientInfo*>(pData);
    const int fd = info->socket;
    CRequestBuffer request(REQUEST_BUFFER_SIZE);
    if (!request.Ok()) {
        ::close(fd);
        return nullptr;
    }
    const EGatherEnd end = GatherRequest(fd, request, SGatherTiming{}, &g_bStop);
    if (end == EGatherEnd::RecvError)
        std::perror("Failed to recv(...)\n");
    // A request cut off at the buffer's end, by its deadline or by shutdown, would reach the
    // controller as a different request than the browser sent: it is not served at all.
    const bool whole =
        end != EGatherEnd::Oversized && end != EGatherEnd::Stopped && end != EGatherEnd::TooSlow;
    if (request.Size() > 0 && whole) {
        static thread_local char response[RESPONSE_BUFFER_SIZE];
        std::memset(response, 0, sizeof response);
        int responseLen = 0;
        const int status = TunnelRequest(*info->al, request.Data(), request.Size(), response,
                                         &responseLen, SessionTunnelPiece, info->al);
        if (status == VRN_OK && responseLen > 0) {
            size_t sent = 0;
            const size_t total = static_cast<size_t>(responseLen);
            while (sent < total) {
                const ssize_t n = ::send(fd, response + sent, total - sent, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR && !g_bStop.load())
                    continue;
                if (n <= 0) {
                    std::perror("Failed to send back to client\n");
                    break;
                }
                sent += static_cast<size_t>(n);
            }
        }
    }
    ::close(fd);
    return nullptr;
}

void SendTcpPortBack(void* pData) {
    _SrvTcpInfo* info = static_cast<_SrvTcpInfo*>(pData);
    unsigned char reply[TCP_PORT_REPLY_SIZE];
    BuildTcpPortReply(info->nTcpPort, reply);
    ::sendto(info->SrvSocket, reply, sizeof reply, MSG_NOSIGNAL,
             reinterpret_cast<sockaddr*>(info->ClientAddr), sizeof(sockaddr_in));
}

void SendComAttrBack() {
    // No station reads the agent's own line settings: 0xF1 stays unanswered.
}

void* MonProc(void* pData) {
    _MonInfo* mon = static_cast<_MonInfo*>(pData);
    DebugPrint("Starting monitor thread\r\n");
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        std::perror("Failed to create monitor socket\n");
        return nullptr;
    }
    sockaddr_in local = LocalAddress(g_relayPort);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("Failed to bind monitor socket\n");
        ::close(sock);
        return nullptr;
    }
    static thread_local unsigned char reply[RESPONSE_BUFFER_SIZE];
    CRelayQueue queue;
    while (!g_bStop.load()) {
        if (queue.Empty() && WaitForReply(sock, 0, kStopPollMs * 1000L) <= 0)
            continue;
        DebugPrint("select() passed\r\n");
        queue.Drain(sock);
        if (queue.Empty())
            continue;
        SRelayDatagram d = queue.Pop();
        const unsigned char* request = d.bytes.data();
        if (IsRelaySource(d.from, g_bindAddress, g_relayPort))
            continue;
        char who[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &d.from.sin_addr, who, sizeof who);
        DebugPrint("New monitor client[%s] accepted, ", who);
        DebugPrint("Command Code = 0x%x\r\n", request[5]);
        const ERelayAction action = ClassifyDatagram(request, d.size);
        if (action == ERelayAction::TcpPort) {
            _SrvTcpInfo info = {sock, &d.from, mon->nTcpPort};
            SendTcpPortBack(&info);
            continue;
        }
        if (action == ERelayAction::ComAttr) {
            SendComAttrBack();
            continue;
        }
        // A full tunnel piece is no exchange: the station sends the next piece without waiting.
        const bool fullPiece = IsFullTunnelPiece(request, d.size);
        if (!fullPiece && queue.HasRequestFrom(d.from))
            continue; // the station has already moved on to a newer request
        int replyLen = 0;
        {
            // The write and the read of one exchange belong together: no HTTP piece and no
            // other exchange may take this reply.
            CVrnExchangeGuard guard(*mon->al);
            if (mon->al->WriteMediaDirect(request, static_cast<int>(d.size)) == 0 || fullPiece)
                continue;
            replyLen = mon->al->ReadMediaDirect(reply, static_cast<int>(sizeof reply));
        }
        // A station that asked again while the controller was answering has given this reply
        // up; sent now, it would be read as the answer to the newer request.
        queue.Drain(sock);
        if (replyLen > 0 && !queue.HasRequestFrom(d.from)) {
            DebugPrint("Write [%d] bytes back to monitor client\r\n", replyLen);
            ::sendto(sock, reply, static_cast<size_t>(replyLen), MSG_NOSIGNAL,
                     reinterpret_cast<sockaddr*>(&d.from), d.fromLen);
        }
    }
    ::close(sock);
    return nullptr;
}

int MainProc(int argc, char** argv) {
    CVrnlib session;
    const SAgentOptions opt = ParseAgentCommandLine(argc, argv);
    SAgentConfig config;
    const SCheckResult check = CheckAgentArguments(opt, config);
    if (!check.ok) {
        if (check.usePerror)
            ReportWithErrno(check.message.c_str(), 0);
        else
            std::fputs(check.message.c_str(), stderr);
        return g_startFailureStatus;
    }
    g_bindAddress = config.bindAddress;
    g_relayPort = config.relayPort;

    // The validated rate is the line's speed (8N1, no flow control).
    if (session.VrnInitSession(config.deviceName.c_str(), &config.line) != VRN_OK) {
        std::perror("Failed to VrnInitSession(...)\n");
        return g_startFailureStatus;
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        std::perror("Failed to create socket\n");
        return g_startFailureStatus;
    }
    // A restarted agent must get its port back while connections it closed are still in
    // TIME_WAIT; this never lets two listeners share the port.
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local = LocalAddress(config.tcpPort);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        DebugPrint("Failed to bind socket\r\n");
        ReportWithErrno("Failed to bind socket\n", err);
        ::close(listener);
        return g_startFailureStatus;
    }
    ::listen(listener, 10);
    // TCP_PORT 0 lets the system choose: stations asking for the port get the real one.
    sockaddr_in bound = {};
    socklen_t boundLen = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLen);

    _MonInfo mon = {&session, ntohs(bound.sin_port)};
    std::thread relay(MonProc, &mon);

    int result = 0;
    while (!g_bStop.load()) {
        if (WaitForReply(listener, 0, kStopPollMs * 1000L) <= 0)
            continue;
        _ClientInfo client = {};
        socklen_t addrLen = sizeof client.addr;
        const int fd =
            ::accept4(listener, reinterpret_cast<sockaddr*>(&client.addr), &addrLen, SOCK_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (AcceptErrorIsTransient(err)) {
                if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
                    ReportWithErrno("Failed to accept new client\n", err);
                    std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
                }
                continue;
            }
            ReportWithErrno("Failed to accept new client\n", err);
            result = 1;
            g_bStop.store(true);
            break;
        }
        DebugPrint("New client [%d] accepted\r\n", fd);
        client.al = &session;
        client.socket = fd;
        ClientProc(&client);
    }
    // The relay finishes the exchange it may be in, then sees the flag.
    relay.join();
    ::close(listener);
    return result;
}

int main(int argc, char** argv) {
    const SAgentOptions opt = ParseAgentCommandLine(argc, argv);
    if (opt.count != 3) {
        ShowUsage();
        return opt.foreground ? 1 : 0;
    }
    InstallSignalHandlers();
    if (opt.foreground) {
        // 0 after a stop by signal, 1 after a start-up failure or an accept that cannot go on.
        g_startFailureStatus = 1;
        return MainProc(argc, argv);
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("Failed to fork()\n");
        return 0;
    }
    if (pid > 0)
        return 0;
    MainProc(argc, argv);
    return 0;
}
