#include "HeadlessOptions.h"

#include "MetricsServer.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

const char* UsageText() {
    return "usage: QuillHT --headless [--config FILE] [--workdir DIR] [--agent ADDR]...\n"
           "                          [--no-broadcast] [--rescan-every SECONDS] [--disk-checking]\n"
           "                          [--metrics ADDR:PORT]\n"
           "       QuillHT --help | --version\n"
           "\n"
           "  --headless           monitor without a window: event lines on standard output,\n"
           "                       messages on standard error; no login (the operating system\n"
           "                       decides who may start it)\n"
           "  --config FILE        settings file (default: QuillHT.ini beside the program, or\n"
           "                       $XDG_CONFIG_HOME/QuillHT/QuillHT.ini when that folder is not\n"
           "                       writable)\n"
           "  --workdir DIR        folder of the address books (Mail.dat, Msg.dat), a relative\n"
           "                       log file path and the reports (default: the current folder)\n"
           "  --agent ADDR         also look for an agent at this IPv4 address (repeatable)\n"
           "  --no-broadcast       do not broadcast to find agents\n"
           "  --rescan-every S     rescan every S seconds (1..86400) besides at start\n"
           "  --disk-checking      the window's agent list offers its DiskChecking entry (SMART\n"
           "                       tests, surface test, raid set and volume creation)\n"
           "  --metrics ADDR:PORT  headless: serve the fleet's health for Prometheus at\n"
           "                       http://ADDR:PORT/metrics (port 0: any free one)\n"
           "\n"
           "SIGHUP rescans; SIGTERM or SIGINT logs the exit, saves the settings and ends.\n";
}

ECommandLine ParseCommandLine(int argc, const char* const* argv, SHeadlessOptions& options,
                              std::string& error) {
    options = SHeadlessOptions{};
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&](std::string_view name) -> const char* {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--headless") {
            options.headless = true;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (a == "--disk-checking") {
            options.diskChecking = true;
        } else if (a == "--no-broadcast") {
            options.broadcast = false;
        } else if (a == "--config") {
            const char* v = value(a);
            if (v == nullptr)
                return ECommandLine::Error;
            options.config = v;
        } else if (a == "--workdir") {
            const char* v = value(a);
            if (v == nullptr)
                return ECommandLine::Error;
            options.workdir = v;
        } else if (a == "--agent") {
            const char* v = value(a);
            if (v == nullptr)
                return ECommandLine::Error;
            in_addr address{};
            if (inet_pton(AF_INET, v, &address) != 1) {
                error = std::string("--agent takes a dotted IPv4 address, not '") + v + "'";
                return ECommandLine::Error;
            }
            options.agents.push_back(address.s_addr);
        } else if (a == "--metrics") {
            const char* v = value(a);
            if (v == nullptr)
                return ECommandLine::Error;
            if (!ParseMetricsAddress(v, options.metricsAddress, options.metricsPort)) {
                error = std::string("--metrics takes ADDR:PORT (a dotted IPv4 address, a port "
                                    "0..65535), not '") +
                        v + "'";
                return ECommandLine::Error;
            }
            options.metrics = true;
        } else if (a == "--rescan-every") {
            const char* v = value(a);
            if (v == nullptr)
                return ECommandLine::Error;
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(v, &end, 10);
            if (errno != 0 || end == v || *end != '\0' || n < 1 || n > 86400) {
                error = std::string("--rescan-every takes 1..86400 seconds, not '") + v + "'";
                return ECommandLine::Error;
            }
            options.rescanEverySeconds = static_cast<int>(n);
        } else {
            error = "unknown argument '" + std::string(a) + "'";
            return ECommandLine::Error;
        }
    }
    if (options.metrics && !options.headless && !help && !version) {
        error = "--metrics is served by the headless mode only (add --headless)";
        return ECommandLine::Error;
    }
    if (help)
        return ECommandLine::Help;
    if (version)
        return ECommandLine::Version;
    return ECommandLine::Run;
}
