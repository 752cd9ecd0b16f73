// Simulated agents for the disk-checking tests: vrnsim answering on UDP port 7890 (the port
// agents always use) of a loopback address picked at random, so that test runs beside
// each other never meet.
#pragma once

#include "SimProcess.h"
#include "VrnTestPaths.h"

#include "DiskCheckClock.h"
#include "Vrnlib.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

// vrnsim as an agent. The model runs `timeScale` times as fast as a controller would.
class CAgentSim {
public:
    explicit CAgentSim(const std::string& scenario = "", const char* timeScale = "0.001") {
        std::random_device rd;
        std::mt19937 gen(rd());
        std::uniform_int_distribution<int> octet(1, 254);
        // Another test may hold the address chosen: try a few more.
        for (int attempt = 0; attempt < 8 && !(m_sim && m_sim->Ready()); ++attempt) {
            m_ip = "127." + std::to_string(octet(gen)) + "." + std::to_string(octet(gen)) + "." +
                   std::to_string(octet(gen));
            CSimProcess::Options opt;
            opt.pty = false;
            opt.scenario = scenario;
            opt.extraArgs = {"--udp", m_ip + ":7890", "--time-scale", timeScale};
            m_sim = std::make_unique<CSimProcess>(opt);
        }
    }
    bool Ready() const { return m_sim && m_sim->Ready(); }
    const std::string& Ip() const { return m_ip; }
    std::string Ctl(const std::string& line) { return m_sim->Ctl(line); }

private:
    std::string m_ip;
    std::unique_ptr<CSimProcess> m_sim;
};

// A session to a simulated agent without the library's 300 ms settle after each datagram:
// vrnsim sends every reply whole, and the tests would otherwise spend minutes waiting.
class CQuickSession : public CVrnlibSMART {
public:
    explicit CQuickSession(const std::string& ip) {
        VrnSetSleeper([](void*, int) {}, nullptr);
        VrnInitSession(ip.c_str(), 7890);
        VrnSetTimeOut(2);
    }
};

// The engine's clock for these tests: a second of the controller's time is a millisecond,
// matching vrnsim's --time-scale 0.001, and the page's start time is fixed.
class CMillisecondClock : public CDiskCheckClock {
public:
    CMillisecondClock() : CDiskCheckClock(0.001) {}
    std::tm LocalNow() override {
        std::tm t{};
        t.tm_year = 2004 - 1900;
        t.tm_mon = 4;
        t.tm_mday = 5;
        t.tm_hour = 14;
        t.tm_min = 7;
        t.tm_sec = 9;
        return t;
    }
};

inline std::string Scenario(const char* name) {
    return std::string(VRN_SOURCE_DIR) + "/tests/integration/diskcheck/scenarios/" + name;
}

inline std::string Golden(const char* name) {
    return std::string(VRN_SOURCE_DIR) + "/tests/integration/diskcheck/golden/" + name;
}

// The golden files name the agents @A@ and @B@.
inline std::string WithAddresses(std::string text, const std::string& a, const std::string& b) {
    for (auto [mark, ip] : {std::pair<std::string, std::string>{"@A@", a}, {"@B@", b}})
        for (size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, mark.size(), ip);
    return text;
}
