// The controller's read/write surface test: started on every free drive, the last one
// started watched for progress, every drive's rates and error counts written as it finishes.
#include "TestJob.h"

#include "ReportText.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using StatusBlock = std::array<unsigned char, RW_STATUS_BYTES>;

// A controller that stops answering with anything new for this many passes (about an hour)
// is not waited for any longer.
constexpr long RW_IDLE_PASS_LIMIT = 3600;

long Le32(const StatusBlock& b, size_t at) {
    return static_cast<long>(
        static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
        static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void WriteResult(CTestJob& job, int drive, const StatusBlock& b) {
    job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_FINISHED).c_str(), drive + 1));
    job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_READ_RATE).c_str(), Le32(b, 2) * 10));
    job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_READ_ERRORS).c_str(), Le32(b, 6) * 10));
    job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_WRITE_RATE).c_str(), Le32(b, 10) * 10));
    job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_WRITE_ERRORS).c_str(), Le32(b, 14) * 10));
}

void ShowProgress(CTestJob& job, const StatusBlock& b, long reference) {
    // A drive smaller than one unit would leave nothing to divide by.
    const double unit = static_cast<double>(std::max(reference, 1L));
    const long written = Le32(b, 8);
    if (written < reference)
        job.SetColumn(TEST_COLUMN_PROGRESS, FormatText(job.ListText(IDS_TL_PERCENT_WRITE),
                                                       static_cast<double>(written) / unit * 100));
    else
        job.SetColumn(TEST_COLUMN_PROGRESS,
                      FormatText(job.ListText(IDS_TL_PERCENT_READ),
                                 static_cast<double>(Le32(b, 4)) / unit * 100));
}

} // namespace

int RunReadWriteTest(CTestJob& job) {
    job.SetColumn(TEST_COLUMN_TYPE, job.ListText(IDS_TL_STEP_READ_WRITE));
    sSYSTEM_INFO info{};
    if (job.Session().GetSysInfo(&info) != 0) {
        job.Paragraph(job.PageText(IDS_RPT_NO_SYSINFO));
        return 0;
    }
    if (job.FreeCount == 0) {
        job.Paragraph(job.PageText(IDS_RPT_NO_FREE_DEVICES));
        return 0;
    }
    WriteSectionTable(job.Report, job.PageText(IDS_RPT_SECTION_READ_WRITE), true);
    const int channels = DriveChannels(info);
    int watched = -1;
    long reference = 0;
    std::uint32_t started = 0;
    for (int i = 0; i < channels; ++i) {
        if (!(job.FreeMask & (1u << i)))
            continue;
        if (job.StopRequested())
            return 0;
        sGUI_PHY_DRV drive{};
        if (job.Session().GetPhysicalDriveInfo(i, &drive) != 0)
            return 0;
        const int status = job.Session().ExeSMART(CVrnlibSMART::SMART_RW_TEST_START, i,
                                                  job.Plan.Percentage, nullptr);
        if (status != 0) {
            // Not watched and not waited for: a refused drive would never finish.
            job.Paragraph(FormatText(job.PageText(IDS_RPT_RW_FAILED_START).c_str(), i + 1,
                                     static_cast<unsigned>(status)));
            continue;
        }
        started |= 1u << i;
        watched = i;
        reference = static_cast<long>(drive.gpdCapacity / 256);
    }

    std::uint32_t finished = 0;
    std::array<StatusBlock, 32> last{};
    long idle = 0;
    for (long pass = 1; finished != started; ++pass) {
        bool changed = false;
        for (int i = 0; i < channels; ++i) {
            const std::uint32_t bit = 1u << i;
            if (!(started & bit) || (finished & bit))
                continue;
            if (job.StopRequested())
                return 0;
            // Cleared before each read: a 12-byte answer must not leave an earlier answer's
            // counters behind it.
            StatusBlock block{};
            if (job.Session().ExeSMART(CVrnlibSMART::SMART_RW_TEST_STATUS, i, 0, block.data()) != 0)
                continue;
            changed = changed || block != last[static_cast<size_t>(i)];
            last[static_cast<size_t>(i)] = block;
            if (block[1] == RW_STATE_FINISHED) {
                finished |= bit;
                WriteResult(job, i, block);
            } else if (block[1] == RW_STATE_RUNNING && i == watched) {
                ShowProgress(job, block, reference);
            }
        }
        if (finished == started)
            break;
        idle = changed ? 0 : idle + 1;
        if (idle >= RW_IDLE_PASS_LIMIT) {
            for (int i = 0; i < channels; ++i)
                if ((started & ~finished) & (1u << i))
                    job.Paragraph(
                        FormatText(job.PageText(IDS_RPT_GAVE_UP_WAITING).c_str(), i + 1, pass));
            return 0;
        }
        if (!job.SleepSecond())
            return 0;
    }
    return 1;
}
