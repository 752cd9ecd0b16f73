// The free-drive scan and the two SMART steps: off-line data collection and self-test,
// each with its threshold and result lines.
#include "TestJob.h"

#include "ReportText.h"

#include <algorithm>
#include <array>

namespace {

using Page = std::array<unsigned char, SMART_PAGE_BYTES>;

// Off-line data collection status (low six bits of the page's byte 362).
constexpr int OFFLINE_NEVER_STARTED = 0;
constexpr int OFFLINE_COMPLETED = 2;
constexpr int OFFLINE_IN_PROGRESS = 3;
constexpr int OFFLINE_SUSPENDED = 4;
constexpr int OFFLINE_ABORTED_BY_HOST = 5;
// Self-test execution status (high four bits of byte 363).
constexpr int SELF_TEST_PASSED = 0x00;
constexpr int SELF_TEST_RUNNING = 0xF0;

int ReadSmartPage(CTestJob& job, int sub, int drive, Page& page) {
    page.fill(0);
    return job.Session().ExeSMART(sub, drive, 0, page.data());
}

// Enables SMART on a free drive and starts one of its off-line routines; the status of the
// call that failed, or 0.
int StartOfflineRoutine(CTestJob& job, int drive, int routine) {
    int status = job.Session().ExeSMART(CVrnlibSMART::SMART_ENABLE, drive, 0, nullptr);
    if (status == 0)
        status =
            job.Session().ExeSMART(CVrnlibSMART::SMART_OFFLINE_IMMEDIATE, drive, routine, nullptr);
    return status;
}

// Passes over the drives of `mask` until each has given its result (`visit` returns true),
// one second apart. A drive that never does is given up after `limit` passes with a line
// of its own. False when stopped or when a drive was given up.
template <class Visit>
bool RunStatusPasses(CTestJob& job, int channels, std::uint32_t mask, long limit, Visit visit) {
    std::uint32_t pending = mask;
    for (long pass = 1; pending != 0; ++pass) {
        for (int i = 0; i < channels; ++i) {
            if (!(pending & (1u << i)))
                continue;
            if (job.StopRequested())
                return false;
            if (visit(i))
                pending &= ~(1u << i);
        }
        if (pending == 0)
            break;
        if (pass >= limit) {
            for (int i = 0; i < channels; ++i)
                if (pending & (1u << i))
                    job.Paragraph(
                        FormatText(job.PageText(IDS_RPT_GAVE_UP_WAITING).c_str(), i + 1, pass));
            return false;
        }
        if (!job.SleepSecond())
            return false;
    }
    return true;
}

// The checks every test step makes first; false (the step fails) after writing why.
bool StepCanRun(CTestJob& job, sSYSTEM_INFO& info) {
    if (job.Session().GetSysInfo(&info) != 0) {
        job.Paragraph(job.PageText(IDS_RPT_NO_SYSINFO));
        return false;
    }
    if (job.FreeCount == 0) {
        job.Paragraph(job.PageText(IDS_RPT_NO_FREE_DEVICES));
        return false;
    }
    return true;
}

} // namespace

int DriveChannels(const sSYSTEM_INFO& info) {
    return std::min<int>(info.gsiIdeChannels, 32);
}

int SmartAttributeNameId(int attributeId) {
    static constexpr int kNamed[] = {1,  2,   3,   4,   5,   7,   8,   9,  10,
                                     12, 192, 193, 194, 196, 197, 198, 199};
    for (int id : kNamed)
        if (id == attributeId)
            return IDS_SMART_ATTR_BASE + id;
    return 0;
}

std::string CTestJob::PageText(int id) const {
    return ::PageText(id, Lang);
}

bool WaitWithProgress(CTestJob& job, long seconds) {
    for (long s = 0; s < seconds; ++s) {
        if (!job.SleepSecond())
            return false;
        const double percent = static_cast<double>(s) / static_cast<double>(seconds) * 100.0;
        job.SetColumn(TEST_COLUMN_PROGRESS, FormatText(job.ListText(IDS_TL_PERCENT), percent));
    }
    return true;
}

long StatusPassLimit(long waitSeconds) {
    return std::max(waitSeconds, 3600L);
}

void ScanFreeDrives(CTestJob& job) {
    sSYSTEM_INFO info{};
    if (job.Session().GetSysInfo(&info) != 0)
        return;
    std::uint32_t mask = 0;
    int count = 0;
    for (int i = 0; i < DriveChannels(info); ++i) {
        if (job.StopRequested())
            return;
        sGUI_PHY_DRV drive{};
        if (job.Session().GetPhysicalDriveInfo(i, &drive) != 0)
            return;
        if (drive.gpdCapacity != 0 && drive.gpdRaidNumber == 0xFF) {
            WriteDriveInformation(job.Report, i, drive, job.Lang);
            mask |= 1u << i;
            ++count;
        }
    }
    job.FreeMask = mask;
    job.FreeCount = count;
}

int CheckSmartThresholds(CTestJob& job, int drive) {
    Page data{};
    Page thresholds{};
    if (ReadSmartPage(job, CVrnlibSMART::SMART_READ_DATA, drive, data) != 0 ||
        ReadSmartPage(job, CVrnlibSMART::SMART_READ_THRESHOLDS, drive, thresholds) != 0)
        return 0;
    int reported = 0;
    for (int k = 0; k < SMART_ATTRIBUTES; ++k) {
        const size_t at = 2 + static_cast<size_t>(SMART_ATTRIBUTE_BYTES * k);
        const int nameId = SmartAttributeNameId(data[at]);
        if (nameId == 0)
            continue;
        const int current = data[at + 3];
        const int threshold = thresholds[at + 1];
        if (current <= threshold) {
            job.Paragraph(FormatText(job.PageText(IDS_RPT_THRESHOLD_EXCEEDED).c_str(),
                                     job.PageText(nameId).c_str(), current, threshold));
            reported = 1;
        }
    }
    return reported;
}

int RunOfflineDataCollection(CTestJob& job) {
    job.SetColumn(TEST_COLUMN_TYPE, job.ListText(IDS_TL_STEP_OFFLINE));
    sSYSTEM_INFO info{};
    if (!StepCanRun(job, info))
        return 0;
    WriteSectionTable(job.Report, job.PageText(IDS_RPT_SECTION_OFFLINE), true);
    const int channels = DriveChannels(info);
    long largest = 0;
    std::uint32_t started = 0;
    for (int i = 0; i < channels; ++i) {
        if (!(job.FreeMask & (1u << i)))
            continue;
        if (job.StopRequested())
            return 0;
        if (int status = StartOfflineRoutine(job, i, 0)) {
            job.Paragraph(FormatText(job.PageText(IDS_RPT_SMART_FAILED).c_str(), i + 1,
                                     static_cast<unsigned>(status)));
            continue;
        }
        job.Paragraph(FormatText(job.PageText(IDS_RPT_SMART_ENABLED).c_str(), i + 1));
        started |= 1u << i;
        Page page{};
        if (ReadSmartPage(job, CVrnlibSMART::SMART_READ_DATA, i, page) == 0)
            largest = std::max<long>(largest, page[SMART_OFFLINE_SECONDS] |
                                                  page[SMART_OFFLINE_SECONDS + 1] << 8);
    }
    const long wait = largest + 60;
    if (!WaitWithProgress(job, wait))
        return 0;
    // A drive whose collection could not be started has no result to wait for.
    auto visit = [&job](int i) {
        Page page{};
        if (ReadSmartPage(job, CVrnlibSMART::SMART_READ_DATA, i, page) != 0)
            return false;
        switch (page[SMART_OFFLINE_STATUS] & 0x3F) {
        case OFFLINE_COMPLETED:
            job.Paragraph(FormatText(job.PageText(IDS_RPT_OFFLINE_PASSED).c_str(), i + 1));
            if (!CheckSmartThresholds(job, i))
                job.Paragraph(job.PageText(IDS_RPT_NO_THRESHOLD_EXCEEDED));
            return true;
        case OFFLINE_NEVER_STARTED:
            job.Paragraph(FormatText(job.PageText(IDS_RPT_OFFLINE_NEVER_STARTED).c_str(), i + 1));
            return true;
        case OFFLINE_IN_PROGRESS: // still collecting: no fatal error
        case OFFLINE_SUSPENDED:
            return false;
        case OFFLINE_ABORTED_BY_HOST:
            job.Paragraph(FormatText(job.PageText(IDS_RPT_OFFLINE_ABORT_INTERRUPT).c_str(), i + 1));
            return true;
        default:
            job.Paragraph(FormatText(job.PageText(IDS_RPT_OFFLINE_ABORT_FATAL).c_str(), i + 1));
            return true;
        }
    };
    return RunStatusPasses(job, channels, started, StatusPassLimit(wait), visit) ? 1 : 0;
}

int RunSelfTest(CTestJob& job) {
    const int nameId =
        job.Plan.SelfTestType == SELF_TEST_SHORT ? IDS_SELFTEST_SHORT : IDS_SELFTEST_EXTENDED;
    const int routine =
        job.Plan.SelfTestType == SELF_TEST_SHORT ? SELF_TEST_SHORT : SELF_TEST_EXTENDED;
    const int minutesAt = routine == SELF_TEST_SHORT ? SMART_SHORT_MINUTES : SMART_EXTENDED_MINUTES;
    const std::string name = job.PageText(nameId);
    job.SetColumn(TEST_COLUMN_TYPE, job.ListText(nameId));
    sSYSTEM_INFO info{};
    if (!StepCanRun(job, info))
        return 0;
    WriteSectionTable(job.Report, name, true);
    const int channels = DriveChannels(info);
    long largest = 0;
    std::uint32_t started = 0;
    for (int i = 0; i < channels; ++i) {
        if (!(job.FreeMask & (1u << i)))
            continue;
        if (job.StopRequested())
            return 0;
        if (int status = StartOfflineRoutine(job, i, routine)) {
            job.Paragraph(FormatText(job.PageText(IDS_RPT_SELFTEST_FAILED_START).c_str(), i + 1,
                                     static_cast<unsigned>(status)));
            continue;
        }
        job.Paragraph(FormatText(job.PageText(IDS_RPT_SMART_ENABLED).c_str(), i + 1));
        started |= 1u << i;
        Page page{};
        if (ReadSmartPage(job, CVrnlibSMART::SMART_READ_DATA, i, page) == 0)
            largest = std::max<long>(largest, page[static_cast<size_t>(minutesAt)]);
    }
    const long wait = (largest + 5) * 60;
    if (!WaitWithProgress(job, wait))
        return 0;
    // A drive whose self-test was refused would only show the result of an earlier one.
    auto visit = [&job, &name](int i) {
        Page page{};
        if (ReadSmartPage(job, CVrnlibSMART::SMART_READ_DATA, i, page) != 0)
            return false;
        switch (page[SMART_SELF_TEST_STATUS] & 0xF0) {
        case SELF_TEST_PASSED:
            job.Paragraph(
                FormatText(job.PageText(IDS_RPT_SELFTEST_PASSED).c_str(), i + 1, name.c_str()));
            job.Paragraph(FormatText(job.PageText(IDS_RPT_SELFTEST_CHECKPOINT).c_str(),
                                     page[SMART_SELF_TEST_CHECK_POINT]));
            return true;
        case SELF_TEST_RUNNING:
            return false;
        default:
            job.Paragraph(FormatText(job.PageText(IDS_RPT_SELFTEST_FAILURE).c_str(), i + 1));
            return true;
        }
    };
    return RunStatusPasses(job, channels, started, StatusPassLimit(wait), visit) ? 1 : 0;
}
