#pragma once
// One disk-checking run: what the "Test items list" does when it opens, and its "Quit".
// The Disk Checking Dialog and vrndiskcheck both drive it.

#include "DiskCheckClock.h"
#include "TestJob.h"
#include "TestPlan.h"

#include "StringTable.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

class CDiskCheckRun {
public:
    // The run keeps its own copy of the plan: the dialog may change its definitions for a
    // later run while this one goes on.
    CDiskCheckRun(CTestPlan plan, ITestProgress& progress, IDiskCheckClock& clock,
                  std::filesystem::path reportDir, ELanguage lang);
    // Stops the workers and waits for them.
    ~CDiskCheckRun();
    CDiskCheckRun(const CDiskCheckRun&) = delete;
    CDiskCheckRun& operator=(const CDiskCheckRun&) = delete;

    // Every agent's row first, so that each worker writes to its own row only; then the
    // index page, every agent's (emptied) page, and one worker per agent.
    void Start();
    // Quit: every worker stops at its next wait, pass or exchange, writes its page end and
    // closes its page. Returns at once; Wait() for the workers.
    void RequestStop();
    void Wait();
    bool Finished() const { return m_finished.load() == m_jobs.size(); }

    std::size_t Count() const { return m_jobs.size(); }
    // After Wait(): whether the agent's job ran every step to its end.
    bool Completed(std::size_t row) const { return m_jobs.at(row)->Completed; }
    bool AllCompleted() const;
    const CTestPlan& Plan() const { return m_plan; }
    const std::filesystem::path& ReportDir() const { return m_reportDir; }

private:
    CTestPlan m_plan;
    ITestProgress& m_progress;
    IDiskCheckClock& m_clock;
    std::filesystem::path m_reportDir;
    ELanguage m_lang;
    std::vector<std::unique_ptr<CTestJob>> m_jobs;
    std::vector<std::jthread> m_workers;
    std::atomic<std::size_t> m_finished{0};
};
