// vrndiskcheck: the disk-checking run of the monitoring utility from the command line, for
// servers without a display. Each agent's drives are scanned, tested as asked, and made into
// one raid set with the described volume sets; the pages land in the report folder.
#include "DiskCheckClock.h"
#include "DiskCheckRun.h"
#include "VolumeSpec.h"

#include "StringTable.h"

#include <arpa/inet.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int EXIT_ALL_DONE = 0;
constexpr int EXIT_NOT_ALL_DONE = 1;
constexpr int EXIT_USAGE = 2;

volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int) {
    g_stopSignal = 1;
}

const char* kUsage =
    "usage: vrndiskcheck [--offline] [--self-test short|extended] [--percent N]\n"
    "                    [--volume "
    "NAME,CAPACITY[,LEVEL,INIT,STRIPE,CACHE,TAGGED,SPEED,CH:ID:LUN]]...\n"
    "                    [--report-dir DIR] [--timeout S] [--time-scale X] ADDRESS[:PORT]...\n"
    "\n"
    "  ADDRESS            an agent's dotted IPv4 address (UDP port 7890 unless given)\n"
    "  --offline          SMART off-line data collection on every free drive\n"
    "  --self-test T      SMART self-test, short or extended\n"
    "  --percent N        read/write surface test of N percent of each free drive (0: none)\n"
    "  --volume SPEC      a volume set to create on the new raid set (at most 5):\n"
    "                     LEVEL 0|1|3|5|6 (5), INIT background|foreground (foreground),\n"
    "                     STRIPE 4|8|16|32|64|128 (64), CACHE through|back (back),\n"
    "                     TAGGED disabled|enabled (enabled), SPEED async|20|40|80|160 (160),\n"
    "                     address 0:0:0 unless given; capacity in GB\n"
    "  --report-dir DIR   where testresult.html and the agent pages go (default: here)\n"
    "  --timeout S        seconds to wait for an agent's reply (default 5)\n"
    "  --time-scale X     make the test's own waits X times as long (e.g. 0.01 for a\n"
    "                     simulator started with the same --time-scale)\n"
    "\n"
    "Exit status: 0 when every step completed on every agent, 1 otherwise, 2 for a usage\n"
    "error.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vrndiskcheck: %s\n%s", why.c_str(), kUsage);
    return EXIT_USAGE;
}

// Progress lines: one whenever an agent's row changes, "ADDRESS  TEST TYPE  PROGRESS".
class CPrintedProgress : public ITestProgress {
public:
    void InsertRow(int row, const std::string& ip) override {
        std::lock_guard lock(m_lock);
        if (static_cast<size_t>(row) >= m_rows.size())
            m_rows.resize(static_cast<size_t>(row) + 1);
        m_rows[static_cast<size_t>(row)] = {ip, "", "", ""};
    }
    void SetItemText(int row, int column, const std::string& text) override {
        std::lock_guard lock(m_lock);
        if (row < 0 || static_cast<size_t>(row) >= m_rows.size() || column < 0 || column > 2)
            return;
        SRow& r = m_rows[static_cast<size_t>(row)];
        r.columns[column] = Printable(text);
        if (r.columns[1].empty() || r.columns[2].empty())
            return; // the row is not filled in yet
        char line[512];
        std::snprintf(line, sizeof line, "%-15s  %-30s  %s", r.columns[0].c_str(),
                      r.columns[1].c_str(), r.columns[2].c_str());
        if (r.printed == line)
            return;
        r.printed = line;
        std::printf("%s\n", line);
        std::fflush(stdout);
    }

private:
    struct SRow {
        std::string columns[3];
        std::string printed;
    };
    static std::string Printable(const std::string& text) {
        std::string out;
        for (char c : text)
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        return out;
    }
    std::mutex m_lock;
    std::vector<SRow> m_rows;
};

bool ParseAgent(const std::string& arg, std::string* ip, int* port) {
    std::string addr = arg;
    *port = 7890;
    const size_t colon = arg.find(':');
    if (colon != std::string::npos) {
        addr = arg.substr(0, colon);
        const std::string p = arg.substr(colon + 1);
        char* end = nullptr;
        const long v = std::strtol(p.c_str(), &end, 10);
        if (p.empty() || *end != '\0' || v < 1 || v > 65535)
            return false;
        *port = static_cast<int>(v);
    }
    in_addr a{};
    if (inet_pton(AF_INET, addr.c_str(), &a) != 1)
        return false;
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, text, sizeof text);
    *ip = text;
    return true;
}

bool ParseNumber(const char* text, double lo, double hi, double* out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= lo && v <= hi))
        return false;
    *out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    CStringTable::SetLanguage(ELanguage::English);
    CTestPlan plan;
    std::filesystem::path reportDir = ".";
    double timeScale = 1.0;
    double timeout = 5;
    std::vector<std::pair<std::string, int>> agents;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--help" || a == "-h") {
            std::printf("%s", kUsage);
            return EXIT_ALL_DONE;
        } else if (a == "--offline") {
            plan.OfflineCollection = 1;
        } else if (a == "--self-test") {
            const char* v = value();
            if (!v || (std::strcmp(v, "short") != 0 && std::strcmp(v, "extended") != 0))
                return Usage("--self-test takes short or extended");
            plan.SelfTest = 1;
            plan.SelfTestType = std::strcmp(v, "short") == 0 ? SELF_TEST_SHORT : SELF_TEST_EXTENDED;
        } else if (a == "--percent") {
            const char* v = value();
            double p = 0;
            if (!v || !ParseNumber(v, 0, 100, &p) || p != static_cast<int>(p))
                return Usage("--percent takes an integer from 0 to 100");
            plan.Percentage = static_cast<int>(p);
        } else if (a == "--volume") {
            const char* v = value();
            if (!v)
                return Usage("--volume needs a description");
            SVolumeChoice choice;
            std::string why;
            if (!ParseVolumeSpec(v, &choice, &why))
                return Usage(std::string("--volume ") + v + ": " + why);
            if (plan.VolumeCount() >= MAX_VOLUME_DEFINITIONS)
                return Usage(CStringTable::Text(IDS_VOL_TOO_MANY));
            switch (plan.CheckVolume(choice)) {
            case EVolumeCheck::InvalidCapacity:
                return Usage(std::string("--volume ") + v + ": " +
                             CStringTable::Text(IDS_VOLDLG_INVALID_CAPACITY));
            case EVolumeCheck::DuplicateAddress:
                return Usage(std::string("--volume ") + v + ": " +
                             CStringTable::Text(IDS_VOLDLG_DUPLICATE_ADDRESS));
            case EVolumeCheck::Ok:
                break;
            }
            plan.AddVolume(choice);
        } else if (a == "--report-dir") {
            const char* v = value();
            std::error_code ec;
            if (!v || !std::filesystem::is_directory(v, ec))
                return Usage("--report-dir takes an existing folder");
            reportDir = v;
        } else if (a == "--time-scale") {
            const char* v = value();
            if (!v || !ParseNumber(v, 1e-6, 1e6, &timeScale))
                return Usage("--time-scale takes a positive number");
        } else if (a == "--timeout") {
            const char* v = value();
            if (!v || !ParseNumber(v, 1, 120, &timeout) || timeout != static_cast<int>(timeout))
                return Usage("--timeout takes whole seconds from 1 to 120");
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            std::string ip;
            int port = 0;
            if (!ParseAgent(a, &ip, &port))
                return Usage("not an agent address: " + a);
            for (const auto& known : agents)
                if (known.first == ip)
                    return Usage("agent given twice: " + ip);
            agents.emplace_back(ip, port);
        }
    }
    if (agents.empty())
        return Usage("no agent given");

    for (const auto& [ip, port] : agents) {
        auto session = std::make_shared<CVrnlibSMART>();
        // A session that cannot be opened fails its first exchange; the page says so.
        session->VrnInitSession(ip.c_str(), port);
        session->VrnSetTimeOut(static_cast<unsigned>(timeout));
        plan.agents.push_back({ip, std::make_shared<CLibrarySession>(session)});
    }

    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CPrintedProgress progress;
    CDiskCheckClock clock(timeScale);
    CDiskCheckRun run(plan, progress, clock, reportDir, ELanguage::English);
    run.Start();
    bool stopped = false;
    while (!run.Finished()) {
        if (g_stopSignal && !stopped) {
            stopped = true;
            run.RequestStop();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run.Wait();

    for (size_t i = 0; i < run.Count(); ++i)
        std::printf("%s: %s (%s)\n", plan.agents[i].ip.c_str(),
                    run.Completed(i) ? "every step completed" : "not every step completed",
                    (reportDir / AgentPageName(plan.agents[i].ip)).c_str());
    std::printf("report: %s\n", (reportDir / INDEX_PAGE_NAME).c_str());
    return run.AllCompleted() ? EXIT_ALL_DONE : EXIT_NOT_ALL_DONE;
}
