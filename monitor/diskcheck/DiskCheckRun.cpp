#include "DiskCheckRun.h"

#include "ReportPage.h"

void TestAgentThread(std::stop_token stop, CTestJob& job) {
    job.Stop = stop;
    const std::tm started = job.Clock.LocalNow();
    sSYSTEM_INFO info{};
    bool ok = false;
    // An agent whose system information cannot be read gets a page with its end only.
    if (job.Session().GetSysInfo(&info) == 0) {
        WriteAgentHeader(job.Report, job.Agent.ip, info, started, job.Lang);
        ScanFreeDrives(job);
        ok = !job.StopRequested();
        if (ok && job.Plan.OfflineCollection)
            ok = RunOfflineDataCollection(job) != 0;
        if (ok && job.Plan.SelfTest)
            ok = RunSelfTest(job) != 0;
        if (ok && job.Plan.Percentage != 0)
            ok = RunReadWriteTest(job) != 0;
        if (ok)
            ok = CreateRaidAndVolumeSets(job) != 0;
    }
    job.SetColumn(TEST_COLUMN_TYPE, job.ListText(IDS_TL_DONE));
    job.SetColumn(TEST_COLUMN_PROGRESS, job.ListText(IDS_TL_DONE));
    WritePageEnd(job.Report);
    job.Completed = ok && !job.StopRequested();
}

CDiskCheckRun::CDiskCheckRun(CTestPlan plan, ITestProgress& progress, IDiskCheckClock& clock,
                             std::filesystem::path reportDir, ELanguage lang)
    : m_plan(std::move(plan)), m_progress(progress), m_clock(clock),
      m_reportDir(std::move(reportDir)), m_lang(lang) {}

CDiskCheckRun::~CDiskCheckRun() {
    RequestStop();
    Wait();
}

void CDiskCheckRun::Start() {
    if (!m_jobs.empty())
        return;
    std::vector<std::string> ips;
    for (size_t i = 0; i < m_plan.agents.size(); ++i) {
        const std::string& ip = m_plan.agents[i].ip;
        ips.push_back(ip);
        m_progress.InsertRow(static_cast<int>(i), ip);
        m_progress.SetItemText(static_cast<int>(i), TEST_COLUMN_TYPE,
                               LoadText(IDS_TL_WAITING, m_lang));
        m_progress.SetItemText(static_cast<int>(i), TEST_COLUMN_PROGRESS,
                               LoadText(IDS_TL_WAITING, m_lang));
    }
    WriteIndexPage(m_reportDir, ips, m_lang);
    for (size_t i = 0; i < m_plan.agents.size(); ++i) {
        auto job = std::make_unique<CTestJob>(static_cast<int>(i), m_plan.agents[i], m_plan,
                                              m_clock, m_progress, m_lang);
        job->Report.Open(m_reportDir / AgentPageName(m_plan.agents[i].ip));
        m_jobs.push_back(std::move(job));
    }
    for (auto& job : m_jobs) {
        CTestJob* j = job.get();
        m_workers.emplace_back([this, j](std::stop_token stop) {
            TestAgentThread(stop, *j);
            ++m_finished;
        });
    }
}

void CDiskCheckRun::RequestStop() {
    for (std::jthread& w : m_workers)
        w.request_stop();
}

void CDiskCheckRun::Wait() {
    for (std::jthread& w : m_workers)
        if (w.joinable())
            w.join();
}

bool CDiskCheckRun::AllCompleted() const {
    for (const auto& job : m_jobs)
        if (!job->Completed)
            return false;
    return true;
}
