#pragma once
// One agent's disk check: the job a worker thread runs, and the steps it takes.
//
// The steps follow the controller's own pace: a fixed wait of the time the drives say they
// need, then status passes until every drive has a result. Every wait and every pass checks
// the stop request, so stopping a run waits for one library exchange at most and leaves the
// session free for the agent's monitor thread.

#include "DiskCheckClock.h"
#include "DiskCheckSession.h"
#include "ReportPage.h"
#include "TestPlan.h"

#include "StringTable.h"

#include <cstdint>
#include <stop_token>
#include <string>

// The test list's columns.
inline constexpr int TEST_COLUMN_IP = 0;
inline constexpr int TEST_COLUMN_TYPE = 1;
inline constexpr int TEST_COLUMN_PROGRESS = 2;

// Where a run's progress goes: one row per tested agent, three column texts (UTF-8). Workers
// call it from their own threads, so an implementation hands the texts on without waiting
// for whatever shows them.
class ITestProgress {
public:
    virtual ~ITestProgress() = default;
    // Called once per agent, in plan order, before any worker starts.
    virtual void InsertRow(int row, const std::string& ip) = 0;
    virtual void SetItemText(int row, int column, const std::string& text) = 0;
};

// SMART data page offsets (the ATA SMART READ DATA layout).
inline constexpr int SMART_PAGE_BYTES = 512;
inline constexpr int SMART_ATTRIBUTES = 30;
inline constexpr int SMART_ATTRIBUTE_BYTES = 12;
inline constexpr int SMART_OFFLINE_STATUS = 362;
inline constexpr int SMART_SELF_TEST_STATUS = 363;
inline constexpr int SMART_OFFLINE_SECONDS = 364;
inline constexpr int SMART_SELF_TEST_CHECK_POINT = 371;
inline constexpr int SMART_SHORT_MINUTES = 372;
inline constexpr int SMART_EXTENDED_MINUTES = 373;

// The read/write test status block.
inline constexpr int RW_STATUS_BYTES = 18;
inline constexpr int RW_STATE_FINISHED = 4;
inline constexpr int RW_STATE_RUNNING = 5;

// The factory password the creation step tries.
inline constexpr const char* DEFAULT_CONTROLLER_PASSWORD = "5172";

// Drive masks are 32 bits wide: a controller claiming more channels is looked at up to 32.
int DriveChannels(const sSYSTEM_INFO& info);

// The string-table name of a SMART attribute id; 0 for an id that is never reported.
int SmartAttributeNameId(int attributeId);

class CTestJob {
public:
    CTestJob(int row, const STestAgent& agent, const CTestPlan& plan, IDiskCheckClock& clock,
             ITestProgress& progress, ELanguage lang)
        : Row(row), Agent(agent), Plan(plan), Clock(clock), Progress(progress), Lang(lang) {}

    int Row;                    // position in the plan, and the row of the test list
    CReportPage Report;         // the agent's page
    std::uint32_t FreeMask = 0; // bit i: drive channel i is free
    int FreeCount = 0;

    const STestAgent& Agent;
    const CTestPlan& Plan;
    IDiskCheckClock& Clock;
    ITestProgress& Progress;
    const ELanguage Lang;
    std::stop_token Stop;
    // Set when every step ran to its end (the worker's result).
    bool Completed = false;

    IDiskCheckSession& Session() const { return *Agent.session; }
    bool StopRequested() const { return Stop.stop_requested(); }
    // A table text as the page carries it, and as the list shows it.
    std::string PageText(int id) const;
    const char* ListText(int id) const { return LoadText(id, Lang); }
    void SetColumn(int column, const std::string& text) { Progress.SetItemText(Row, column, text); }
    void Paragraph(const std::string& text) { Report.WriteReportParagraph(text); }
    // One second of the controller's time, and whether the run may go on.
    bool SleepSecond() { return Clock.SleepFor(std::chrono::seconds(1), Stop); }
};

// The worker: page header, scan, the chosen tests, the raid set and volume sets, page end.
void TestAgentThread(std::stop_token stop, CTestJob& job);

void ScanFreeDrives(CTestJob& job);
int RunOfflineDataCollection(CTestJob& job);
int CheckSmartThresholds(CTestJob& job, int drive);
int RunSelfTest(CTestJob& job);
int RunReadWriteTest(CTestJob& job);
int CreateRaidAndVolumeSets(CTestJob& job);

// The fixed wait of a step: T seconds, the progress column showing s / T after second s.
// False when stopped.
bool WaitWithProgress(CTestJob& job, long seconds);

// How many status passes follow a step's fixed wait of `waitSeconds` before the drives that
// still have no result are given up: as many as the wait had seconds, at least an hour's.
long StatusPassLimit(long waitSeconds);
