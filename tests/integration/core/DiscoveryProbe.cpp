// One discovery as the monitor makes it, for tests that run it inside a network namespace:
//   core_discovery_probe [--broadcast] [ADDR...]
// Prints one "agent ADDR" line per record in list order, then "elapsed_ms N" (the discovery
// alone, quiet window included).
#include "Monitor.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

struct SQuietSink : IAlarmSink {
    void NotifyAlarm(int, const std::string&, std::stop_token) override {}
    void ReportSystemEvent(int, std::uint32_t, const std::string&) override {}
    bool WriteLogLine(std::string_view) override { return true; }
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::uint32_t> targets;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--broadcast") == 0) {
            targets.push_back(BROADCAST_ADDRESS);
            continue;
        }
        in_addr a{};
        if (inet_pton(AF_INET, argv[i], &a) != 1) {
            std::fprintf(stderr, "core_discovery_probe: not an address: %s\n", argv[i]);
            return 2;
        }
        targets.push_back(a.s_addr);
    }
    CSettingsStore settings{std::string()};
    settings.SetSaveOnDestroy(false);
    SQuietSink sink;
    CMonitor monitor(settings, sink);
    const auto t0 = std::chrono::steady_clock::now();
    monitor.UpdateAgentList(targets);
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0);
    for (const AgentPtr& agent : monitor.AgentList().Snapshot())
        std::printf("agent %s\n", agent->IpText().c_str());
    std::printf("elapsed_ms %.1f\n", ms.count());
    std::fflush(stdout);
    monitor.Shutdown();
    return 0;
}
