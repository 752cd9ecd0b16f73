// vrnsim: a stand-in RAID controller on a pseudo-terminal and/or behind a UDP agent front-end.
#include "SimControl.h"
#include "SimFleet.h"
#include "SimJson.h"
#include "SimServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vrnsim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

void Usage(FILE* out) {
    std::fprintf(
        out,
        "usage: vrnsim [--scenario FILE] [--pty] [--link PATH] [--udp ADDR:PORT] [--http-port N]\n"
        "              [--ctl SOCKET] [--pace] [--time-scale X] [--seed N]\n"
        "       vrnsim --fleet N [--fleet-base ADDR] [--fleet-port PORT] [--scenario FILE]\n"
        "              [--http-port N] [--ctl SOCKET] [--time-scale X] [--seed N]\n"
        "       vrnsim ctl SOCKET COMMAND [ARGS...]\n"
        "       vrnsim --help\n"
        "\n"
        "  --pty            serve on a new pseudo-terminal (prints `pty /dev/pts/N`)\n"
        "  --link PATH      also make PATH a symbolic link to the terminal\n"
        "  --udp ADDR:PORT  answer like an agent on UDP (port 0: system-chosen)\n"
        "  --http-port N    port reported for the agent port query 0xF0 (default 0)\n"
        "  --ctl SOCKET     control channel on a Unix socket\n"
        "  --pace           write serial replies at the 115200-baud line rate\n"
        "  --time-scale X   multiply every duration of the model (default 1.0)\n"
        "  --seed N         seed of the garbage fault's bytes\n"
        "  --scenario FILE  JSON scenario instead of the built-in controller\n"
        "  --fleet N        N agents in one process, each with its own controller, on\n"
        "                   consecutive addresses from --fleet-base (default 127.1.0.0: agent 0\n"
        "                   at 127.1.0.1, agent 254 at 127.1.1.1) at --fleet-port (default 7890)\n"
        "\n"
        "Once serving it prints `pty PATH`, `udp ADDR:PORT` (or `fleet N FIRST LAST`),\n"
        "`ctl SOCKET` and `ready`.\n"
        "\n"
        "Control commands (`vrnsim ctl SOCKET ...`; exit 0 on ok, 1 on err, 2 unreachable):\n%s"
        "\n"
        "Refusals: a wrong access code or password is answered `J`; any other request the\n"
        "controller cannot carry out (bad number, drives in use, no room) is answered `M`.\n"
        "\n"
        "Control commands of a fleet:\n%s",
        CSimControl::HelpText().c_str(), CSimFleet::HelpText().c_str());
}

int CtlClient(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "vrnsim ctl: needs SOCKET and COMMAND\n");
        return 2;
    }
    std::string path = argv[2];
    std::string line;
    for (int i = 3; i < argc; ++i) {
        if (i > 3)
            line += ' ';
        line += argv[i];
    }
    line += '\n';
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        std::fprintf(stderr, "vrnsim ctl: socket path too long\n");
        return 2;
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::fprintf(stderr, "vrnsim ctl: cannot connect to %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 2;
    }
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        std::fprintf(stderr, "vrnsim ctl: cannot send the request\n");
        close(fd);
        return 2;
    }
    std::string reply;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        reply.append(buf, static_cast<size_t>(n));
        if (reply.find('\n') != std::string::npos)
            break;
    }
    close(fd);
    size_t nl = reply.find('\n');
    if (nl != std::string::npos)
        reply.resize(nl);
    if (reply.empty()) {
        std::fprintf(stderr, "vrnsim ctl: no reply\n");
        return 2;
    }
    std::printf("%s\n", reply.c_str());
    return reply.rfind("ok", 0) == 0 ? 0 : 1;
}

bool ParseInt(const char* s, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0)
        return CtlClient(argc, argv);

    SServerOptions opt;
    SFleetOptions fleet;
    std::string scenarioPath;
    double timeScale = 1.0;
    long seed = 1;
    auto value = [&](int& i) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vrnsim: %s needs a value\n", argv[i]);
            std::exit(2);
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        long n = 0;
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--pty") {
            opt.pty = true;
        } else if (a == "--pace") {
            opt.pace = true;
        } else if (a == "--link") {
            opt.link = value(i);
        } else if (a == "--ctl") {
            opt.ctlPath = value(i);
        } else if (a == "--scenario") {
            scenarioPath = value(i);
        } else if (a == "--udp") {
            std::string v = value(i);
            size_t colon = v.rfind(':');
            if (colon == std::string::npos || !ParseInt(v.c_str() + colon + 1, 0, 65535, n)) {
                std::fprintf(stderr, "vrnsim: --udp takes ADDR:PORT\n");
                return 2;
            }
            opt.udp = true;
            opt.udpAddr = v.substr(0, colon);
            opt.udpPort = static_cast<int>(n);
        } else if (a == "--fleet") {
            if (!ParseInt(value(i), 1, 65024, n)) {
                std::fprintf(stderr, "vrnsim: --fleet takes 1..65024 agents\n");
                return 2;
            }
            fleet.count = static_cast<int>(n);
        } else if (a == "--fleet-base") {
            fleet.base = value(i);
        } else if (a == "--fleet-port") {
            if (!ParseInt(value(i), 1, 65535, n)) {
                std::fprintf(stderr, "vrnsim: --fleet-port takes 1..65535\n");
                return 2;
            }
            fleet.port = static_cast<int>(n);
        } else if (a == "--http-port") {
            if (!ParseInt(value(i), 0, 65535, n)) {
                std::fprintf(stderr, "vrnsim: --http-port takes 0..65535\n");
                return 2;
            }
            opt.httpPort = static_cast<int>(n);
        } else if (a == "--time-scale") {
            const char* v = value(i);
            char* end = nullptr;
            timeScale = std::strtod(v, &end);
            if (end == v || *end != '\0' || !(timeScale > 0) || timeScale > 1e6) {
                std::fprintf(stderr, "vrnsim: --time-scale takes a positive number\n");
                return 2;
            }
        } else if (a == "--seed") {
            if (!ParseInt(value(i), 0, 0xFFFFFFFFL, seed)) {
                std::fprintf(stderr, "vrnsim: --seed takes a number\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "vrnsim: unknown argument %s\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }
    if (fleet.count > 0 && (opt.pty || opt.udp || opt.pace)) {
        std::fprintf(stderr, "vrnsim: --fleet stands alone (no --pty, --udp, --pace)\n");
        return 2;
    }
    if (!opt.pty && !opt.udp && fleet.count == 0) {
        std::fprintf(stderr, "vrnsim: give --pty and/or --udp, or --fleet\n");
        Usage(stderr);
        return 2;
    }
    if (!opt.link.empty() && !opt.pty) {
        std::fprintf(stderr, "vrnsim: --link needs --pty\n");
        return 2;
    }

    SScenario sc = DefaultScenario();
    if (!scenarioPath.empty()) {
        std::string err;
        if (!LoadScenarioFile(scenarioPath, sc, err)) {
            std::fprintf(stderr, "vrnsim: scenario %s: %s\n", scenarioPath.c_str(), err.c_str());
            return 2;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (fleet.count > 0) {
        fleet.httpPort = opt.httpPort;
        fleet.ctlPath = opt.ctlPath;
        fleet.timeScale = timeScale;
        fleet.seed = static_cast<uint32_t>(seed);
        CSimFleet agents(sc, fleet);
        std::string err;
        if (!agents.Start(err)) {
            std::fprintf(stderr, "vrnsim: %s\n", err.c_str());
            return 1;
        }
        std::printf("fleet %zu %s %s\n", agents.Count(), agents.Address(0).c_str(),
                    agents.Address(agents.Count() - 1).c_str());
        if (!fleet.ctlPath.empty())
            std::printf("ctl %s\n", fleet.ctlPath.c_str());
        std::printf("ready\n");
        std::fflush(stdout);
        agents.Run(&g_stop);
        return 0;
    }

    CSimModel model(std::move(sc), timeScale, MonotonicUs() / 1000);
    CFaults faults(static_cast<uint32_t>(seed));
    CSimServer server(model, faults, opt);
    std::string err;
    if (!server.Start(err)) {
        std::fprintf(stderr, "vrnsim: %s\n", err.c_str());
        return 1;
    }
    if (opt.pty)
        std::printf("pty %s\n", server.PtyPath().c_str());
    if (opt.udp)
        std::printf("udp %s\n", server.UdpBound().c_str());
    if (!opt.ctlPath.empty())
        std::printf("ctl %s\n", opt.ctlPath.c_str());
    std::printf("ready\n");
    std::fflush(stdout);
    server.Run(&g_stop);
    return 0;
}
