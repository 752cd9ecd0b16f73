// A simulated agent host for the core's tests: vrnsim answering on UDP port 7890 at a loopback
// address of its own (chosen at random, so that parallel test runs do not meet), and a
// monitor set up for quick cycles.
#pragma once

#include "CoreTestSupport.h"
#include "SimProcess.h"

#include <fstream>
#include <memory>

namespace coretest {

class CSimAgent {
public:
    // scenarioJson: "" for the built-in controller.
    explicit CSimAgent(const std::string& scenarioJson = "",
                       std::vector<std::string> extraArgs = {}) {
        if (!scenarioJson.empty()) {
            m_scenario = m_dir.File("scenario.json");
            std::ofstream(m_scenario) << scenarioJson;
        }
        for (int attempt = 0; attempt < 20 && !Ready(); ++attempt) {
            m_address = RandomLoopback();
            CSimProcess::Options o;
            o.pty = false;
            o.scenario = m_scenario;
            o.extraArgs = {"--udp", m_address + ":" + std::to_string(AGENT_UDP_PORT)};
            o.extraArgs.insert(o.extraArgs.end(), extraArgs.begin(), extraArgs.end());
            m_sim = std::make_unique<CSimProcess>(o);
        }
    }
    bool Ready() const { return m_sim && m_sim->Ready(); }
    const std::string& Address() const { return m_address; }
    std::uint32_t Ip() const { return coretest::Ip(m_address); }
    std::string Ctl(const std::string& line) { return m_sim->Ctl(line); }
    long Frames() { return m_sim->Frames(); }

private:
    CScratchDir m_dir;
    std::string m_scenario;
    std::string m_address;
    std::unique_ptr<CSimProcess> m_sim;
};

// Collects trace lines and lets a test wait for one.
class CTraceLog {
public:
    void Attach(CMonitor& monitor) {
        monitor.Trace().Attach([this](std::string_view line) {
            {
                std::lock_guard lock(m_mutex);
                m_lines.emplace_back(line);
                if (getenv("CORE_TRACE"))
                    fprintf(stderr, "%s", m_lines.back().c_str());
            }
            m_cv.notify_all();
        });
    }
    int Count(const std::string& part) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const std::string& l : m_lines)
            n += l.find(part) != std::string::npos;
        return n;
    }
    bool WaitFor(const std::string& part, int times = 1, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] {
            int n = 0;
            for (const std::string& l : m_lines)
                n += l.find(part) != std::string::npos;
            return n >= times;
        });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
};

// Holds a monitor thread before its next event poll while a test changes the controller.
class CPollGate {
public:
    // Installs the gate as the monitor's query hook; `also` sees every attempt first and may
    // fail it.
    void Install(CMonitor& monitor, std::function<int(CAgent&, EAgentQuery)> also = nullptr) {
        m_also = std::move(also);
        monitor.SetQueryHook([this](CAgent& agent, EAgentQuery q) {
            if (q == EAgentQuery::PollEvent) {
                std::unique_lock lock(m_mutex);
                ++m_polls;
                m_waiting = true;
                m_cv.notify_all();
                m_cv.wait(lock, [&] { return !m_closed; });
                m_waiting = false;
            }
            return m_also ? m_also(agent, q) : 0;
        });
    }
    // Returns once the monitor thread is waiting at the gate.
    bool Close(std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_mutex);
        m_closed = true;
        return m_cv.wait_for(lock, limit, [&] { return m_waiting; });
    }
    void Open() {
        std::lock_guard lock(m_mutex);
        m_closed = false;
        m_cv.notify_all();
    }
    int Polls() const {
        std::lock_guard lock(m_mutex);
        return m_polls;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_closed = false;
    bool m_waiting = false;
    int m_polls = 0;
    std::function<int(CAgent&, EAgentQuery)> m_also;
};

} // namespace coretest
