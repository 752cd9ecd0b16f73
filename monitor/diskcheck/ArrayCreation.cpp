// The last step of every job: one raid set over the free drives, the plan's volume sets on
// it, and their initialisation watched to the end.
#include "TestJob.h"

#include "ReportText.h"

#include <chrono>

namespace {

// Raid numbers a drive record carries when the drive is in no raid set.
constexpr unsigned char RAID_NUMBER_MARKERS = 0xFD; // pass-through, hot spare, free

// The number the controller gave the raid set just made of `mask`: the raid number its
// lowest member now carries. -1 when that cannot be read.
int FindNewRaidSet(CTestJob& job, std::uint32_t mask) {
    for (int i = 0; i < 32; ++i) {
        if (!(mask & (1u << i)))
            continue;
        sGUI_PHY_DRV drive{};
        if (job.Session().GetPhysicalDriveInfo(i, &drive) != 0 ||
            drive.gpdRaidNumber >= RAID_NUMBER_MARKERS)
            return -1;
        return drive.gpdRaidNumber;
    }
    return -1;
}

// Follows one volume set while it initialises; false when stopped.
bool WatchInitialisation(CTestJob& job, int number) {
    sGUI_VOLUMESET volume{};
    if (job.Session().GetVolSetInfo(number, &volume) != 0 || !(volume.gvsVolumeStatus & 1))
        return true;
    job.SetColumn(TEST_COLUMN_TYPE,
                  FormatText(job.ListText(IDS_CREATE_VOLUME_INITIALIZING), number));
    job.SetColumn(TEST_COLUMN_PROGRESS, FormatText(job.ListText(IDS_TL_PERCENT), 0.0));
    while (volume.gvsVolumeStatus & 1) {
        if (job.StopRequested())
            return false;
        if (job.Session().GetVolSetInfo(number, &volume) != 0)
            return true;
        const double percent = volume.gvsProgress < 4096 ? volume.gvsProgress * 0.1 : 100.0;
        if (!job.Clock.SleepFor(std::chrono::milliseconds(1), job.Stop))
            return false;
        job.SetColumn(TEST_COLUMN_PROGRESS,
                      FormatText(job.ListText(IDS_CREATE_PERCENT_FINE), percent));
    }
    return true;
}

} // namespace

int CreateRaidAndVolumeSets(CTestJob& job) {
    WriteSectionTable(job.Report, job.PageText(IDS_CREATE_SECTION), false);
    job.SetColumn(TEST_COLUMN_TYPE, job.ListText(IDS_CREATE_STEP));
    job.SetColumn(TEST_COLUMN_PROGRESS, job.ListText(IDS_CREATE_WAITING));
    if (job.Session().ChkPassword(DEFAULT_CONTROLLER_PASSWORD) != 0) {
        job.Paragraph(job.PageText(IDS_CREATE_INVALID_PASSWORD));
        return 0;
    }
    if (job.StopRequested())
        return 0;
    if (int status = job.Session().CreateRaidSet(job.FreeMask, nullptr)) {
        job.Paragraph(FormatText(job.PageText(IDS_CREATE_RAID_FAILED).c_str(),
                                 static_cast<unsigned>(status)));
        return 0;
    }
    job.Paragraph(job.PageText(IDS_CREATE_RAID_DONE));

    bool anyVolume = false;
    for (int slot = 0; slot < MAX_VOLUME_DEFINITIONS; ++slot)
        anyVolume = anyVolume || job.Plan.SlotUsed(slot);
    if (anyVolume) {
        // The definitions name raid set 0; the volumes belong on the set just made, which
        // is 0 only on a controller that had none.
        const int raidSet = FindNewRaidSet(job, job.FreeMask);
        if (raidSet < 0) {
            job.Paragraph(job.PageText(IDS_CREATE_RAID_NOT_FOUND));
            return 0;
        }
        for (int slot = 0; slot < MAX_VOLUME_DEFINITIONS; ++slot) {
            if (!job.Plan.SlotUsed(slot))
                continue;
            if (job.StopRequested())
                return 0;
            _VOLUMESET_CAP def = job.Plan.volumes[static_cast<size_t>(slot)];
            def.raid = static_cast<unsigned char>(raidSet);
            if (int status = job.Session().CreateVolSet(&def))
                job.Paragraph(FormatText(job.PageText(IDS_CREATE_VOLUME_FAILED).c_str(),
                                         static_cast<unsigned>(status)));
            else
                job.Paragraph(FormatText(job.PageText(IDS_CREATE_VOLUME_DONE).c_str(), slot));
        }
    }

    for (int n = 0; n < MAX_VOLUME_DEFINITIONS; ++n)
        if (!WatchInitialisation(job, n))
            return 0;
    return 1;
}
