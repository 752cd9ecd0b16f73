// agent_soak [--seconds S] [--stations N] [--browsers N]: vrnhttp cabled to vrnsim over a
// pseudo-terminal (loopback only) under mixed load for a bounded time. Library stations
// (UDP relay) ask for records that name what they are (drive k's serial, volume v's name, the
// raid set's name, the system's serial), one of them with a 1 s reply time-out so that late
// replies happen; browsers fetch pages through the HTTP proxy, some of them slowly. Every
// reply is checked to be the answer to its own request. Prints requests served, mixed
// replies, and the agent's resident memory and open descriptors at start and end.
// Exit status 0 only with no mixed reply, the agent alive to the end and ending cleanly,
// and no descriptor gained.
#include "AgentHarness.h"
#include "SimProcess.h"
#include "Vrnlib.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace agenttest;

namespace {

constexpr int kDrives = 8;
constexpr int kReportEverySeconds = 60;

struct SProcStats {
    long rssKb = -1;
    long descriptors = -1;
};

SProcStats Measure(pid_t pid) {
    SProcStats s;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            s.rssKb = std::atol(line.c_str() + 6);
    std::error_code ec;
    long n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    if (!ec)
        s.descriptors = n;
    return s;
}

// What each kind of request must bring back. The default controller's drives carry serials
// VNS<drive><number>, its volumes and raid set their names.
std::string DriveSerial(int k) {
    char s[24];
    std::snprintf(s, sizeof s, "VNS%02d%07d", k, 4711000 + k * 13);
    return s;
}

template <size_t N> std::string Field(const char (&f)[N]) {
    return std::string(f, strnlen(f, N));
}

struct SCounts {
    std::atomic<long> served{0};
    std::atomic<long> timedOut{0};
    std::atomic<long> failed{0};
    std::atomic<long> mixed{0};
};

struct SShared {
    std::string addr;
    int relayPort = 0;
    int tcpPort = 0;
    std::chrono::steady_clock::time_point deadline;
    SCounts udp;
    SCounts http;
    std::mutex printLock;
};

bool Before(const SShared& sh) {
    return std::chrono::steady_clock::now() < sh.deadline;
}

void Mixed(SShared& sh, SCounts& c, const std::string& what) {
    ++c.mixed;
    std::lock_guard<std::mutex> lock(sh.printLock);
    std::printf("  MIXED: %s\n", what.c_str());
    std::fflush(stdout);
}

// One station: a library session asking at random; `timeoutS` is its reply time-out.
void Station(SShared& sh, unsigned seed, unsigned timeoutS) {
    CVrnlib session;
    if (session.VrnInitSession(sh.addr.c_str(), sh.relayPort) != VRN_OK) {
        ++sh.udp.failed;
        return;
    }
    session.VrnSetTimeOut(timeoutS);
    std::mt19937 rng(seed);
    while (Before(sh)) {
        int status = VRN_OK;
        std::string wrong; // empty when the reply is the request's own
        switch (rng() % 4) {
        case 0: {
            const int k = static_cast<int>(rng() % kDrives);
            sGUI_PHY_DRV d{};
            status = session.VrnGetPhysicalDriveInfo(static_cast<char>(k), &d);
            if (status == VRN_OK && Field(d.gpdSerialNumber) != DriveSerial(k))
                wrong = "drive " + std::to_string(k) + " came back as " + Field(d.gpdSerialNumber);
            break;
        }
        case 1: {
            const int v = static_cast<int>(rng() % 2);
            sGUI_VOLUMESET vs{};
            status = session.VrnGetVolSetInfo(static_cast<char>(v), &vs);
            const std::string want = v == 0 ? "Volume Set # 00" : "Volume Set # 01";
            if (status == VRN_OK && Field(vs.gvsVolumeName) != want)
                wrong = "volume " + std::to_string(v) + " came back as " + Field(vs.gvsVolumeName);
            break;
        }
        case 2: {
            sGUI_RAIDSET rs{};
            status = session.VrnGetRaidSetInfo(0, &rs);
            if (status == VRN_OK && Field(rs.grsRaidSetName) != "Raid Set # 00")
                wrong = "raid set 0 came back as " + Field(rs.grsRaidSetName);
            break;
        }
        default: {
            sSYSTEM_INFO info{};
            status = session.VrnGetSysInfo(&info);
            if (status == VRN_OK && Field(info.gsiSerialNumber) != "VRN2004A0001")
                wrong = "system information came back with serial " + Field(info.gsiSerialNumber);
            break;
        }
        }
        if (!wrong.empty())
            Mixed(sh, sh.udp, wrong);
        else if (status == VRN_OK)
            ++sh.udp.served;
        else if (status == VRN_NO_REPLY)
            ++sh.udp.timedOut;
        else
            ++sh.udp.failed;
    }
}

// One browser: pages through the proxy; one request in eight trickles in two pieces.
void Browser(SShared& sh, unsigned seed) {
    struct SPage {
        const char* path;
        const char* mark;
    };
    const SPage pages[] = {{"/", "<h1>Varno RAID Subsystem</h1>"},
                           {"/status.html", "<h2>Raid Set Hierarchy</h2>"}};
    std::mt19937 rng(seed);
    while (Before(sh)) {
        const SPage& p = pages[rng() % 2];
        const SPage& other = pages[&p == &pages[0] ? 1 : 0];
        SRawOptions opt;
        opt.halfClose = rng() % 2 == 0;
        opt.timeoutMs = 15000;
        Bytes req = GetRequest(p.path);
        if (rng() % 8 == 0) {
            opt.chunks = {req.size() / 2, req.size()};
            opt.gapMs = 150;
        }
        SRawResult r = RawHttp(sh.addr, sh.tcpPort, req, opt);
        const std::string body = ToString(r.received);
        if (body.find(other.mark) != std::string::npos)
            Mixed(sh, sh.http, std::string(p.path) + " came back as the other page");
        else if (body.rfind("HTTP/1.", 0) == 0 && body.find(p.mark) != std::string::npos)
            ++sh.http.served;
        else if (!r.connected || body.empty())
            ++sh.http.timedOut;
        else
            ++sh.http.failed;
    }
}

long Flag(int argc, char** argv, const char* name, long def, long lo, long hi) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::clamp(std::atol(argv[i + 1]), lo, hi);
    return def;
}

void PrintCounts(const char* what, const SCounts& c) {
    std::printf("%-16s served %ld, timed out %ld, other failures %ld, mixed %ld\n", what,
                c.served.load(), c.timedOut.load(), c.failed.load(), c.mixed.load());
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: agent_soak [--seconds S (600)] [--stations N (8)] "
                        "[--browsers N (2)]\n");
            return 0;
        }
    const long seconds = Flag(argc, argv, "--seconds", 600, 5, 24 * 3600);
    const int stations = static_cast<int>(Flag(argc, argv, "--stations", 8, 1, 32));
    const int browsers = static_cast<int>(Flag(argc, argv, "--browsers", 2, 0, 32));

    CSimProcess sim;
    if (!sim.Ready()) {
        std::fprintf(stderr, "agent_soak: vrnsim did not start\n");
        return 1;
    }
    SAgent agent;
    if (!agent.Start(sim.PtyPath())) {
        std::fprintf(stderr, "agent_soak: vrnhttp did not start: %s\n",
                     agent.proc.Stderr().c_str());
        return 1;
    }
    SShared sh;
    sh.addr = agent.addr;
    sh.relayPort = agent.relayPort;
    sh.tcpPort = agent.tcpPort;
    const pid_t pid = agent.proc.Pid();
    std::printf("agent_soak: %ld s, %d stations (5 s time-out) + 1 impatient (1 s), %d browsers; "
                "vrnhttp pid %d on %s (HTTP %d, relay %d)\n",
                seconds, stations, browsers, static_cast<int>(pid), sh.addr.c_str(), sh.tcpPort,
                sh.relayPort);
    const SProcStats start = Measure(pid);
    std::printf("start: vrnhttp RSS %ld kB, %ld open descriptors\n", start.rssKb,
                start.descriptors);
    std::fflush(stdout);

    const auto t0 = std::chrono::steady_clock::now();
    sh.deadline = t0 + std::chrono::seconds(seconds);
    std::vector<std::thread> load;
    for (int i = 0; i < stations; ++i)
        load.emplace_back(Station, std::ref(sh), 100u + static_cast<unsigned>(i), 5u);
    load.emplace_back(Station, std::ref(sh), 99u, 1u);
    for (int i = 0; i < browsers; ++i)
        load.emplace_back(Browser, std::ref(sh), 200u + static_cast<unsigned>(i));

    long peakRss = start.rssKb, peakFds = start.descriptors;
    bool agentDied = false;
    for (long s = 1; Before(sh); ++s) {
        std::this_thread::sleep_until(t0 + std::chrono::seconds(s));
        if (agent.proc.WaitExit(0) >= 0) {
            agentDied = true;
            std::printf("vrnhttp ended during the run (status %d)\n", agent.proc.WaitExit(0));
            sh.deadline = std::chrono::steady_clock::now();
            break;
        }
        const SProcStats now = Measure(pid);
        peakRss = std::max(peakRss, now.rssKb);
        peakFds = std::max(peakFds, now.descriptors);
        if (s % kReportEverySeconds == 0) {
            std::lock_guard<std::mutex> lock(sh.printLock);
            std::printf("%5ld s: relay %ld served, %ld mixed; proxy %ld served, %ld mixed; "
                        "RSS %ld kB, %ld descriptors\n",
                        s, sh.udp.served.load(), sh.udp.mixed.load(), sh.http.served.load(),
                        sh.http.mixed.load(), now.rssKb, now.descriptors);
            std::fflush(stdout);
        }
    }
    for (std::thread& t : load)
        t.join();
    // The last exchanges settle before the end is measured.
    SleepMs(500);
    const SProcStats end = agentDied ? SProcStats{} : Measure(pid);
    std::printf("end:   vrnhttp RSS %ld kB, %ld open descriptors (peaks %ld kB, %ld)\n", end.rssKb,
                end.descriptors, peakRss, peakFds);
    PrintCounts("relay (library):", sh.udp);
    PrintCounts("proxy (browser):", sh.http);
    const long served = sh.udp.served + sh.http.served;
    const long mixed = sh.udp.mixed + sh.http.mixed;
    std::printf("requests served: %ld in %ld s; mixed replies: %ld; controller frames: %ld\n",
                served, seconds, mixed, sim.Frames());
    const int status = agentDied ? -1 : agent.proc.Stop();
    const bool clean = SanitizerClean(agent.proc.Stderr());
    std::printf("vrnhttp: exit status %d on SIGTERM%s\n", status,
                clean ? "" : ", sanitizer reports on its standard error");
    const bool pass = mixed == 0 && !agentDied && status == 0 && clean &&
                      end.descriptors <= start.descriptors && served > 0;
    std::printf("result: %s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
