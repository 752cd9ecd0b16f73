// Raid sets, volume sets, hot spares and pass-through disks, and how they react to drives
// that fail or come back.
#include "SimModel.h"

#include <algorithm>
#include <cstdio>

namespace vrnsim {

namespace {

uint32_t Le32(std::span<const uint8_t> f, size_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

// A name field of all zeros or blanks counts as no name.
std::string NameField(std::span<const uint8_t> field) {
    std::string s(reinterpret_cast<const char*>(field.data()), field.size());
    size_t nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    if (s.find_first_not_of(' ') == std::string::npos)
        s.clear();
    return s;
}

std::string Numbered(const char* prefix, size_t n) {
    char b[48];
    std::snprintf(b, sizeof b, "%s%02zu", prefix, n);
    return b;
}

} // namespace

Bytes CSimModel::CmdArray(std::span<const uint8_t> f) {
    const uint8_t code = f[5];
    const size_t need = code == 0x50                   ? 27
                        : code == 0x54 || code == 0x55 ? 11
                        : code == 0x60                 ? 42
                        : code == 0x40 || code == 0x41 ? 14
                                                       : 8;
    if (f.size() < need)
        return BuildAnswer(kAnsRefuse);
    switch (code) {
    case 0x40:
    case 0x41:
        return PassThrough(f);
    case 0x42: {
        int d = f[6];
        if (d >= m_sc.sys.ideChannels || m_sc.drives[d].raidNumber != kRaidPassThrough)
            return BuildAnswer(kAnsRefuse);
        m_sc.drives[d].raidNumber = kRaidNone;
        m_sc.drives[d].scsi = {};
        return BuildAnswer(kAnsAccept);
    }
    case 0x50:
        return CreateRaidSet(Le32(f, 6), f.subspan(10, 16));
    case 0x51:
        return DeleteRaidSet(f[6]);
    case 0x53:
        return ActivateRaidSet(f[6]);
    case 0x54:
    case 0x55:
        return HotSpare(Le32(f, 6), code == 0x54);
    case 0x60:
        return CreateVolume(f);
    case 0x62:
        return DeleteVolume(f[6], true);
    case 0x63:
    case 0x64:
        return CheckVolume(f[6], code == 0x63);
    default:
        return BuildAnswer(kAnsRefuse);
    }
}

Bytes CSimModel::CreateRaidSet(uint32_t mask, std::span<const uint8_t> nameField) {
    const SSystem& s = m_sc.sys;
    if (mask == 0 || (s.ideChannels < 32 && (mask >> s.ideChannels) != 0))
        return BuildAnswer(kAnsRefuse);
    std::vector<uint8_t> members;
    for (int d = 0; d < s.ideChannels; ++d) {
        if (!(mask & (1u << d)))
            continue;
        if (!DriveUsable(d) || m_sc.drives[d].raidNumber != kRaidNone)
            return BuildAnswer(kAnsRefuse); // missing, failed or already in use
        members.push_back(static_cast<uint8_t>(d));
    }
    int slot = -1;
    for (int r = 0; r < s.maxRaidSet && slot < 0; ++r)
        if (!m_sc.raidSets[r].used)
            slot = r;
    if (slot < 0)
        return BuildAnswer(kAnsRefuse);
    SRaidSet& rs = m_sc.raidSets[slot];
    rs = SRaidSet{};
    rs.used = true;
    std::string name = NameField(nameField);
    rs.name = name.empty() ? Numbered("Raid Set # ", static_cast<size_t>(slot)) : name;
    rs.members = members;
    for (uint8_t m : members)
        m_sc.drives[m].raidNumber = static_cast<uint8_t>(slot);
    m_raidWasFailures[slot] = 0;
    PushEvent(kCatRaid, kRaidEvCreate, static_cast<uint8_t>(slot), rs.name);
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::DeleteRaidSet(int n) {
    if (n >= m_sc.sys.maxRaidSet || !m_sc.raidSets[n].used)
        return BuildAnswer(kAnsRefuse);
    // Its volume sets go with it, each with its own event.
    for (size_t v = 0; v < m_sc.volumes.size(); ++v)
        if (m_sc.volumes[v].used && m_sc.volumes[v].raidSet == n)
            DeleteVolume(static_cast<int>(v), true);
    SRaidSet& rs = m_sc.raidSets[n];
    for (uint8_t m : rs.members)
        if (m < m_sc.drives.size() && m_sc.drives[m].raidNumber == n)
            m_sc.drives[m].raidNumber = kRaidNone;
    PushEvent(kCatRaid, kRaidEvDelete, static_cast<uint8_t>(n), rs.name);
    rs = SRaidSet{};
    m_raidWasFailures[n] = 0;
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::ActivateRaidSet(int n) {
    if (n >= m_sc.sys.maxRaidSet || !m_sc.raidSets[n].used)
        return BuildAnswer(kAnsRefuse);
    m_sc.raidSets[n].incomplete = false;
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::HotSpare(uint32_t mask, bool create) {
    const SSystem& s = m_sc.sys;
    if (mask == 0 || (s.ideChannels < 32 && (mask >> s.ideChannels) != 0))
        return BuildAnswer(kAnsRefuse);
    // All or nothing: check every drive before changing any.
    for (int d = 0; d < s.ideChannels; ++d) {
        if (!(mask & (1u << d)))
            continue;
        uint8_t rn = m_sc.drives[d].raidNumber;
        if (create ? (!DriveUsable(d) || rn != kRaidNone) : rn != kRaidHotSpare)
            return BuildAnswer(kAnsRefuse);
    }
    for (int d = 0; d < s.ideChannels; ++d)
        if (mask & (1u << d))
            m_sc.drives[d].raidNumber = create ? kRaidHotSpare : kRaidNone;
    return BuildAnswer(kAnsAccept);
}

bool CSimModel::ScsiTaken(uint8_t ch, uint8_t id, uint8_t lun, int exceptVolume,
                          int exceptDrive) const {
    for (size_t v = 0; v < m_sc.volumes.size(); ++v) {
        const SVolume& vol = m_sc.volumes[v];
        if (vol.used && static_cast<int>(v) != exceptVolume && vol.scsi[0] == ch &&
            vol.scsi[1] == id && vol.scsi[2] == lun)
            return true;
    }
    for (size_t d = 0; d < m_sc.drives.size(); ++d) {
        const SDrive& dr = m_sc.drives[d];
        if (dr.raidNumber == kRaidPassThrough && static_cast<int>(d) != exceptDrive &&
            dr.scsi[0] == ch && dr.scsi[1] == id && dr.scsi[2] == lun)
            return true;
    }
    return false;
}

Bytes CSimModel::CreateVolume(std::span<const uint8_t> f) {
    const SSystem& s = m_sc.sys;
    const int raid = f[6];
    const uint64_t sectors = Le32(f, 23) | static_cast<uint64_t>(Le32(f, 27)) << 32;
    const uint8_t level = f[31], stripe = f[32], ch = f[33], id = f[34], lun = f[35];
    if (raid >= s.maxRaidSet || !m_sc.raidSets[raid].used || m_sc.raidSets[raid].incomplete)
        return BuildAnswer(kAnsRefuse);
    if (level > 4 || (level == 4 && !s.raid6Engine) || stripe > 5 || sectors == 0)
        return BuildAnswer(kAnsRefuse);
    if (RaidUsable(raid, level) == 0 || sectors > RaidFreeSectors(raid, level))
        return BuildAnswer(kAnsRefuse); // too few members for the level, or no room left
    if (__builtin_popcount(RaidFailMask(raid)) > Tolerance(level))
        return BuildAnswer(kAnsRefuse);
    if ((s.scsiHostChannels > 0 && ch >= s.scsiHostChannels) || id > 15 || lun > 7 ||
        ScsiTaken(ch, id, lun, -1, -1))
        return BuildAnswer(kAnsRefuse);
    int onRaid = 0;
    for (const SVolume& v : m_sc.volumes)
        onRaid += v.used && v.raidSet == raid ? 1 : 0;
    int slot = -1;
    for (int v = 0; v < s.maxVolumeSet && slot < 0; ++v)
        if (!m_sc.volumes[v].used)
            slot = v;
    if (slot < 0 || onRaid >= 16)
        return BuildAnswer(kAnsRefuse);
    SVolume& vol = m_sc.volumes[slot];
    vol = SVolume{};
    vol.used = true;
    std::string name = NameField(f.subspan(7, 16));
    vol.name = name.empty() ? Numbered("Volume Set # ", static_cast<size_t>(slot)) : name;
    vol.raidSet = static_cast<uint8_t>(raid);
    vol.sectors = sectors;
    vol.raidLevel = level;
    vol.stripe = stripe;
    std::copy(f.begin() + 33, f.begin() + 39, vol.scsi.begin());
    vol.quickInit = f[39] != 0;
    // Foreground initialisation (quick init set) finishes in half the time of background.
    vol.task = 1;
    vol.taskStartMs = m_nowMs;
    vol.taskEndMs = m_nowMs + Scaled(m_sc.timing.volumeInitSeconds * (vol.quickInit ? 1 : 2));
    m_volumeWasState[slot] = static_cast<uint8_t>(VolumeHealth(slot));
    PushEvent(kCatVolume, kVolEvCreate, static_cast<uint8_t>(slot), vol.name);
    PushEvent(kCatVolume, kVolEvStartInit, static_cast<uint8_t>(slot), vol.name);
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::DeleteVolume(int n, bool withEvent) {
    if (n >= m_sc.sys.maxVolumeSet || !m_sc.volumes[n].used)
        return BuildAnswer(kAnsRefuse);
    if (withEvent)
        PushEvent(kCatVolume, kVolEvDelete, static_cast<uint8_t>(n), m_sc.volumes[n].name);
    m_sc.volumes[n] = SVolume{};
    m_volumeWasState[n] = 0;
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::CheckVolume(int n, bool start) {
    if (n >= m_sc.sys.maxVolumeSet || !m_sc.volumes[n].used)
        return BuildAnswer(kAnsRefuse);
    SVolume& v = m_sc.volumes[n];
    if (!start) {
        if (v.task != 2)
            return BuildAnswer(kAnsRefuse);
        v.task = 0;
        return BuildAnswer(kAnsAccept);
    }
    // Only a whole volume with redundancy and nothing else running can be checked.
    if (v.task != 0 || v.raidLevel == 0 || VolumeHealth(n) != 0)
        return BuildAnswer(kAnsRefuse);
    v.task = 2;
    v.taskStartMs = m_nowMs;
    v.taskEndMs = m_nowMs + Scaled(m_sc.timing.volumeCheckSeconds);
    PushEvent(kCatVolume, kVolEvStartCheck, static_cast<uint8_t>(n), v.name);
    return BuildAnswer(kAnsAccept);
}

Bytes CSimModel::PassThrough(std::span<const uint8_t> f) {
    const int d = f[6];
    if (d >= m_sc.sys.ideChannels)
        return BuildAnswer(kAnsRefuse);
    SDrive& dr = m_sc.drives[d];
    const bool create = f[5] == 0x40;
    if (create ? (!DriveUsable(d) || dr.raidNumber != kRaidNone)
               : dr.raidNumber != kRaidPassThrough)
        return BuildAnswer(kAnsRefuse);
    const uint8_t ch = f[7], id = f[8], lun = f[9];
    const SSystem& s = m_sc.sys;
    if ((s.scsiHostChannels > 0 && ch >= s.scsiHostChannels) || id > 15 || lun > 7 ||
        ScsiTaken(ch, id, lun, -1, d))
        return BuildAnswer(kAnsRefuse);
    dr.raidNumber = kRaidPassThrough;
    std::copy(f.begin() + 7, f.begin() + 13, dr.scsi.begin());
    return BuildAnswer(kAnsAccept);
}

int CSimModel::VolumeHealth(int v) const {
    const SVolume& vol = m_sc.volumes[v];
    if (!vol.used)
        return 0;
    int failed = __builtin_popcount(RaidFailMask(vol.raidSet));
    if (vol.failedByHand || failed > Tolerance(vol.raidLevel))
        return 2;
    return failed > 0 ? 1 : 0;
}

void CSimModel::UpdateRedundancy(int raidSet, bool report) {
    if (raidSet < 0 || static_cast<size_t>(raidSet) >= m_sc.raidSets.size() ||
        !m_sc.raidSets[raidSet].used)
        return;
    const SRaidSet& rs = m_sc.raidSets[raidSet];
    int failures = __builtin_popcount(RaidFailMask(raidSet));
    int& was = m_raidWasFailures[raidSet];
    if (report && failures > 0 && was == 0)
        PushEvent(kCatRaid, kRaidEvDegraded, static_cast<uint8_t>(raidSet), rs.name);
    if (report && failures == 0 && was > 0)
        PushEvent(kCatRaid, kRaidEvRebuild, static_cast<uint8_t>(raidSet), rs.name);
    was = failures;
    for (size_t v = 0; v < m_sc.volumes.size(); ++v) {
        const SVolume& vol = m_sc.volumes[v];
        if (!vol.used || vol.raidSet != raidSet)
            continue;
        int now = VolumeHealth(static_cast<int>(v));
        int before = m_volumeWasState[v];
        m_volumeWasState[v] = static_cast<uint8_t>(now);
        if (!report || now == before)
            continue;
        const uint8_t ch = static_cast<uint8_t>(v);
        if (now == 2) {
            PushEvent(kCatVolume, kVolEvFailed, ch, vol.name);
        } else if (before == 2) {
            PushEvent(kCatVolume, kVolEvRevived, ch, vol.name);
            if (now == 1)
                PushEvent(kCatVolume, kVolEvDegraded, ch, vol.name);
        } else if (now == 1) {
            PushEvent(kCatVolume, kVolEvDegraded, ch, vol.name);
        } else {
            PushEvent(kCatVolume, kVolEvStartRebuild, ch, vol.name);
            PushEvent(kCatVolume, kVolEvCompleteRebuild, ch, vol.name);
        }
    }
}

void CSimModel::TickVolumes() {
    for (size_t v = 0; v < m_sc.volumes.size(); ++v) {
        SVolume& vol = m_sc.volumes[v];
        if (!vol.used || vol.task == 0 || m_nowMs < vol.taskEndMs)
            continue;
        PushEvent(kCatVolume, vol.task == 1 ? kVolEvCompleteInit : kVolEvCompleteCheck,
                  static_cast<uint8_t>(v), vol.name);
        vol.task = 0;
    }
}

} // namespace vrnsim
