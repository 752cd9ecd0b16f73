// agent_latency [N]: starts vrnsim on a pseudo-terminal and vrnhttp in front of it (loopback
// only), then times N relay exchanges and N proxied pages end to end and prints them beside
// the fixed waits of the protocol: 50 ms + 100 ms of the serial read, 300 ms of the station's
// UDP read, 100 ms + 300 ms of the proxy's request gathering.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

using namespace agenttest;

namespace {

struct SStats {
    double mean = 0;
    double median = 0;
    double min = 0;
    double max = 0;
    int failures = 0;
};

SStats Summarise(std::vector<double> ms, int failures) {
    SStats s;
    s.failures = failures;
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    s.mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    s.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    s.min = ms.front();
    s.max = ms.back();
    return s;
}

double Ms(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void Print(const char* what, const SStats& s, double fixedMs, const char* fixedText) {
    std::printf("%-34s mean %7.1f ms  median %7.1f ms  (min %6.1f, max %6.1f, failed %d)\n"
                "%-34s fixed %6.1f ms (%s); median / fixed = %.3f, overhead %.1f ms\n",
                what, s.mean, s.median, s.min, s.max, s.failures, "", fixedMs, fixedText,
                s.median / fixedMs, s.median - fixedMs);
}

} // namespace

int main(int argc, char** argv) {
    const int n = std::clamp(argc > 1 ? std::atoi(argv[1]) : 20, 1, 200);
    CSimProcess sim;
    if (!sim.Ready()) {
        std::fprintf(stderr, "agent_latency: vrnsim did not start\n");
        return 1;
    }
    SAgent agent;
    if (!agent.Start(sim.PtyPath())) {
        std::fprintf(stderr, "agent_latency: vrnhttp did not start: %s\n",
                     agent.proc.Stderr().c_str());
        return 1;
    }
    std::printf("agent_latency: %d of each, vrnhttp on %s (HTTP %d, relay %d)\n\n", n,
                agent.addr.c_str(), agent.tcpPort, agent.relayPort);

    // The relay alone: a raw datagram out, the reply datagram back.
    std::vector<double> raw, station, page, pageHalfClosed;
    int rawFail = 0, stationFail = 0, pageFail = 0, halfFail = 0;
    const Bytes sysInfo = {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24};
    for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const Bytes r = UdpAsk(agent.addr, agent.relayPort, sysInfo, 5000);
        (r.size() == 262 ? raw.push_back(Ms(t0)) : void(++rawFail));
    }
    // A station as the monitoring utility has it: the library's UDP session.
    CVrnlib session;
    if (session.VrnInitSession(agent.addr.c_str(), agent.relayPort) == VRN_OK) {
        for (int i = 0; i < n; ++i) {
            sSYSTEM_INFO info = {};
            const auto t0 = std::chrono::steady_clock::now();
            (session.VrnGetSysInfo(&info) == VRN_OK ? station.push_back(Ms(t0))
                                                    : void(++stationFail));
        }
    }
    // A browser: the page's request, the agent's gathering, the tunnel, the page.
    for (int i = 0; i < n; ++i) {
        SRawOptions plain, half;
        half.halfClose = true;
        const auto t0 = std::chrono::steady_clock::now();
        SRawResult r = RawHttp(agent.addr, agent.tcpPort, GetRequest("/status.html"), plain);
        (ToString(r.received).find("Raid Set Hierarchy") != std::string::npos
             ? page.push_back(Ms(t0))
             : void(++pageFail));
        const auto t1 = std::chrono::steady_clock::now();
        SRawResult h = RawHttp(agent.addr, agent.tcpPort, GetRequest("/status.html"), half);
        (ToString(h.received).find("Raid Set Hierarchy") != std::string::npos
             ? pageHalfClosed.push_back(Ms(t1))
             : void(++halfFail));
    }

    Print("relay exchange, raw datagram", Summarise(raw, rawFail), 150.0, "serial 50 + 100");
    Print("relay exchange, library station", Summarise(station, stationFail), 450.0,
          "serial 150 + station 300");
    Print("proxied page (browser waits)", Summarise(page, pageFail), 550.0,
          "gathering 100 + 300 quiet + serial 150");
    Print("proxied page (browser half-closes)", Summarise(pageHalfClosed, halfFail), 350.0,
          "gathering 100 + 100 end of stream + serial 150");
    const int status = agent.proc.Stop();
    return status == 0 && rawFail + stationFail + pageFail + halfFail == 0 ? 0 : 1;
}
