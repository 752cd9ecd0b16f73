#include "SimModel.h"

#include "SimRecords.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace vrnsim {

namespace {

template <size_t N> void PutText(char (&dst)[N], const std::string& s) {
    std::memset(dst, 0, N);
    std::memcpy(dst, s.data(), std::min(N, s.size()));
}

template <typename T> Bytes AsBytes(const T& rec) {
    const auto* p = reinterpret_cast<const uint8_t*>(&rec);
    return Bytes(p, p + sizeof(T));
}

} // namespace

CSimModel::CSimModel(SScenario sc, double timeScale, int64_t nowMs)
    : m_sc(std::move(sc)), m_timeScale(timeScale > 0 ? timeScale : 1.0), m_startMs(nowMs),
      m_nowMs(nowMs) {
    SSystem& s = m_sc.sys;
    if (m_sc.drives.size() < s.ideChannels) {
        SDrive empty;
        empty.present = false;
        m_sc.drives.resize(s.ideChannels, empty);
    }
    m_sc.raidSets.resize(std::max<size_t>(m_sc.raidSets.size(), s.maxRaidSet));
    m_sc.volumes.resize(std::max<size_t>(m_sc.volumes.size(), s.maxVolumeSet));
    for (SDrive& d : m_sc.drives)
        if (d.raidNumber < kRaidPassThrough)
            d.raidNumber = kRaidNone; // membership comes from the raid sets alone
    for (size_t r = 0; r < m_sc.raidSets.size(); ++r)
        if (m_sc.raidSets[r].used)
            for (uint8_t m : m_sc.raidSets[r].members)
                if (m < m_sc.drives.size())
                    m_sc.drives[m].raidNumber = static_cast<uint8_t>(r);
    for (SVolume& v : m_sc.volumes) {
        if (v.used && v.task != 0) {
            // A scenario may start a volume in the middle of its initialisation or check.
            int64_t len = Scaled(v.task == 1 ? m_sc.timing.volumeInitSeconds * (v.quickInit ? 1 : 2)
                                             : m_sc.timing.volumeCheckSeconds);
            v.taskStartMs = nowMs - len * std::min<int64_t>(v.startProgress, 999) / 1000;
            v.taskEndMs = v.taskStartMs + len;
        }
    }
    m_volumeWasState.assign(m_sc.volumes.size(), 0);
    m_raidWasFailures.assign(m_sc.raidSets.size(), 0);
    size_t skip = m_sc.events.size() > kEventLogSize ? m_sc.events.size() - kEventLogSize : 0;
    for (size_t i = skip; i < m_sc.events.size(); ++i) {
        SEvent e = m_sc.events[i];
        if (e.time == 0)
            e.time = PackedNow();
        m_log.push_back(e);
    }
    m_eventIndex =
        m_sc.eventIndex >= 0 ? m_sc.eventIndex % 64 : static_cast<int>(m_sc.events.size() % 64);
    for (size_t r = 0; r < m_sc.raidSets.size(); ++r)
        if (m_sc.raidSets[r].used)
            UpdateRedundancy(static_cast<int>(r), false); // the scenario's premise, not news
}

int64_t CSimModel::Scaled(double seconds) const {
    double ms = seconds * 1000.0 * m_timeScale;
    return ms < 1 ? 1 : static_cast<int64_t>(ms);
}

int32_t CSimModel::PackedNow() const {
    time_t t = std::time(nullptr) + m_clockOffset;
    struct tm tm {};
    localtime_r(&t, &tm);
    uint32_t v = static_cast<uint32_t>(tm.tm_sec & 0x3F) |
                 static_cast<uint32_t>(tm.tm_min & 0x3F) << 6 |
                 static_cast<uint32_t>(tm.tm_hour & 0x1F) << 12 |
                 static_cast<uint32_t>(tm.tm_mday & 0x1F) << 17 |
                 static_cast<uint32_t>((tm.tm_year + 1900 - 2000) & 0x1F) << 22 |
                 static_cast<uint32_t>((tm.tm_mon + 1) & 0x0F) << 27;
    return static_cast<int32_t>(v);
}

void CSimModel::PushEvent(uint8_t cat, uint8_t type, uint8_t channel, const std::string& text) {
    SEvent e;
    e.category = cat;
    e.type = type;
    e.channel = channel;
    e.time = PackedNow();
    e.text = text.substr(0, 16);
    // Alarms sound the beeper when it is enabled; mute (0x30) silences it.
    bool alarm = (cat == kCatHwMon && type < 20) ||
                 (cat == kCatDevice && (type == kDevEvFailed || type == 9)) ||
                 (cat == kCatVolume && (type == kVolEvDegraded || type == kVolEvFailed)) ||
                 (cat == kCatRaid && type == kRaidEvDegraded);
    if (alarm && m_sc.sys.beeper != 0)
        m_beeping = true;
    m_log.push_back(e);
    if (m_log.size() > kEventLogSize)
        m_log.pop_front();
    m_eventIndex = (m_eventIndex + 1) % 64;
}

std::optional<Bytes> CSimModel::Handle(std::span<const uint8_t> f, int64_t nowMs) {
    Tick(nowMs);
    if (f.size() < 7)
        return BuildAnswer(kAnsRefuse); // no command code at all
    const uint8_t code = f[5];
    auto needs = [&](size_t total) { return f.size() >= total; };
    switch (code) {
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x17:
    case 0x1D:
        return CmdAccessCoded(f);
    case 0x13:
        return Identify();
    case 0x14:
    case 0x15:
    case 0x32:
        return CmdPassword(f);
    case 0x16:
        return CmdHttp(f);
    case 0x19: {
        const uint8_t idx[1] = {static_cast<uint8_t>(m_eventIndex)};
        return BuildFrame(idx);
    }
    case 0x1A:
        if (!needs(8) || f[6] > 3)
            return BuildAnswer(kAnsRefuse);
        return BuildFrame(EventPage(f[6]));
    case 0x1B:
        return BuildFrame(HwMonPayload());
    case 0x1C:
        return CmdSmart(f);
    case 0x20:
    case 0x21:
    case 0x22: {
        if (!needs(8))
            return BuildAnswer(kAnsRefuse);
        Bytes rec = code == 0x20   ? RaidSetRecord(f[6])
                    : code == 0x21 ? VolumeRecord(f[6])
                                   : DriveRecord(f[6]);
        return rec.empty() ? BuildAnswer(kAnsRefuse) : BuildFrame(rec);
    }
    case 0x23:
        return BuildFrame(SystemInfoRecord(nowMs));
    case 0x24:
        // The write index stays where it is so that stations polling it see no phantom events.
        m_log.clear();
        return BuildAnswer(kAnsAccept);
    case 0x30:
    case 0x31:
    case 0x33:
    case 0x34:
    case 0x35:
    case 0x36:
    case 0x37:
    case 0x39:
        return CmdSetting(f);
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x50:
    case 0x51:
    case 0x53:
    case 0x54:
    case 0x55:
    case 0x60:
    case 0x62:
    case 0x63:
    case 0x64:
        return CmdArray(f);
    default:
        return BuildAnswer(kAnsRefuse);
    }
}

void CSimModel::Tick(int64_t nowMs) {
    if (nowMs > m_nowMs)
        m_nowMs = nowMs;
    TickVolumes();
    TickSmart();
}

Bytes CSimModel::Identify() const {
    const std::string& t = m_sc.sys.identify;
    return BuildFrame(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(t.data()), t.size()));
}

Bytes CSimModel::SystemInfoRecord(int64_t nowMs) const {
    const SSystem& s = m_sc.sys;
    sSYSTEM_INFO r{};
    PutText(r.gsiVendorName, s.vendor);
    PutText(r.gsiSerialNumber, s.serial);
    PutText(r.gsiFirmVersion, s.firmware);
    PutText(r.gsiBootVersion, s.boot);
    PutText(r.gsiMbVersion, s.mainboard);
    PutText(r.gsiModelName, s.model);
    std::memcpy(r.gsiLocalIp, s.localIp.data(), 4);
    std::memcpy(r.gsiCurrentIp, s.currentIp.data(), 4);
    r.gsiTimeTick = static_cast<uint32_t>((nowMs - m_startMs) / 10); // 10 ms ticks since start-up
    r.gsiCpuSpeed = s.cpuSpeed;
    r.gsiICache = s.iCache;
    r.gsiDCache = s.dCache;
    r.gsiScache = s.sCache;
    r.gsiMemorySize = s.memorySize;
    r.gsiMemorySpeed = s.memorySpeed;
    r.gsiEvents = static_cast<uint32_t>(m_log.size());
    std::memcpy(r.gsiMacAddress, s.mac.data(), 6);
    r.gsiDhcp = s.dhcp;
    r.gsiBeeper = s.beeper;
    r.gsiChannelUsage = s.channelUsage;
    r.gsiMaxAtaMode = s.maxAtaMode;
    r.gsiSdramEcc = s.sdramEcc;
    r.gsiRebuildPriority = s.rebuildPriority;
    std::memcpy(&r.gsiComA, s.comA.data(), 5);
    std::memcpy(&r.gsiComB, s.comB.data(), 5);
    r.gsiIdeChannels = s.ideChannels;
    r.gsiScsiHostChannels = s.scsiHostChannels;
    r.gsiIdeHostChannels = s.ideHostChannels;
    r.gsiMaxVolumeSet = s.maxVolumeSet;
    r.gsiMaxRaidSet = s.maxRaidSet;
    r.gsiEtherPort = s.etherPort;
    r.gsiRaid6Engine = s.raid6Engine;
    return AsBytes(r);
}

int DataDisks(int level, int members) {
    switch (level) {
    case 0:
        return members >= 1 ? members : 0;
    case 1:
        return members >= 2 ? members / 2 : 0;
    case 2:
    case 3:
        return members >= 3 ? members - 1 : 0;
    case 4:
        return members >= 4 ? members - 2 : 0;
    default:
        return 0;
    }
}

int Tolerance(int level) {
    switch (level) {
    case 0:
        return 0;
    case 4:
        return 2;
    default:
        return 1;
    }
}

static uint64_t SmallestMember(const SScenario& sc, const SRaidSet& rs) {
    uint64_t smallest = 0;
    for (uint8_t m : rs.members) {
        uint64_t c = m < sc.drives.size() ? sc.drives[m].capacity : 0;
        if (smallest == 0 || (c != 0 && c < smallest))
            smallest = c;
    }
    return smallest;
}

uint64_t CSimModel::RaidUsable(int raidSet, int level) const {
    if (raidSet < 0 || static_cast<size_t>(raidSet) >= m_sc.raidSets.size() ||
        !m_sc.raidSets[raidSet].used)
        return 0;
    const SRaidSet& rs = m_sc.raidSets[raidSet];
    return SmallestMember(m_sc, rs) *
           static_cast<uint64_t>(DataDisks(level, static_cast<int>(rs.members.size())));
}

uint64_t CSimModel::RaidFreeSectors(int raidSet, int level) const {
    if (RaidUsable(raidSet, level) == 0)
        return 0;
    const SRaidSet& rs = m_sc.raidSets[raidSet];
    const uint64_t n = rs.members.size();
    uint64_t raw = SmallestMember(m_sc, rs) * n;
    uint64_t usedRaw = 0;
    for (const SVolume& v : m_sc.volumes)
        if (v.used && v.raidSet == raidSet) {
            uint64_t dd = static_cast<uint64_t>(DataDisks(v.raidLevel, static_cast<int>(n)));
            usedRaw += dd ? (v.sectors * n + dd - 1) / dd : v.sectors;
        }
    if (usedRaw >= raw)
        return 0;
    return (raw - usedRaw) * static_cast<uint64_t>(DataDisks(level, static_cast<int>(n))) / n;
}

uint32_t CSimModel::RaidFailMask(int raidSet) const {
    uint32_t mask = 0;
    for (uint8_t m : m_sc.raidSets[raidSet].members)
        if (m < 32 && !DriveUsable(m))
            mask |= 1u << m;
    return mask;
}

bool CSimModel::DriveUsable(int d) const {
    if (d < 0 || static_cast<size_t>(d) >= m_sc.drives.size())
        return false;
    const SDrive& dr = m_sc.drives[d];
    return dr.present && !dr.failed && dr.capacity != 0;
}

Bytes CSimModel::RaidSetRecord(int n) const {
    if (n < 0 || n >= m_sc.sys.maxRaidSet)
        return {};
    sGUI_RAIDSET r{};
    const SRaidSet& rs = m_sc.raidSets[n];
    if (rs.used) {
        PutText(r.grsRaidSetName, rs.name);
        uint64_t raw = SmallestMember(m_sc, rs) * rs.members.size();
        r.grsCapacity = static_cast<uint32_t>(raw);
        r.grsCapacityX = static_cast<uint32_t>(raw >> 32);
        r.grsFailMask = RaidFailMask(n);
        for (size_t i = 0; i < rs.members.size() && i < 32; ++i)
            r.grsDevArray[i] = rs.members[i];
        r.grsMemberDevices = static_cast<uint8_t>(rs.members.size());
        r.grsNewMemberDevices = r.grsMemberDevices;
        int failed = __builtin_popcount(r.grsFailMask);
        int tolerance = 99;
        for (const SVolume& v : m_sc.volumes)
            if (v.used && v.raidSet == n)
                tolerance = std::min(tolerance, Tolerance(v.raidLevel));
        if (tolerance == 99)
            tolerance = 1;
        r.grsRaidState = rs.incomplete         ? kRaidIncomplete
                         : failed == 0         ? kRaidNormal
                         : failed <= tolerance ? kRaidDegraded
                                               : kRaidFailed;
        for (size_t v = 0; v < m_sc.volumes.size() && r.grsVolumes < 16; ++v)
            if (m_sc.volumes[v].used && m_sc.volumes[v].raidSet == n)
                r.grsVolumeList[r.grsVolumes++] = static_cast<uint8_t>(v);
        r.grsFreeSegments = RaidFreeSectors(n, 0) > 0 ? 1 : 0;
    }
    return AsBytes(r);
}

Bytes CSimModel::VolumeRecord(int n) const {
    if (n < 0 || n >= m_sc.sys.maxVolumeSet)
        return {};
    sGUI_VOLUMESET r{};
    const SVolume& v = m_sc.volumes[n];
    if (v.used) {
        PutText(r.gvsVolumeName, v.name);
        r.gvsCapacity = static_cast<uint32_t>(v.sectors);
        r.gvsCapacityX = static_cast<uint32_t>(v.sectors >> 32);
        const SRaidSet& rs = m_sc.raidSets[v.raidSet];
        uint32_t fail = RaidFailMask(v.raidSet);
        int failed = __builtin_popcount(fail);
        bool dead = v.failedByHand || failed > Tolerance(v.raidLevel);
        if (v.failedByHand && fail == 0)
            for (uint8_t m : rs.members)
                fail |= m < 32 ? 1u << m : 0;
        r.gvsFailMask = fail;
        r.gvsStripeSize = v.stripe;
        r.gvsNewFailMask = fail;
        r.gvsNewStripeSize = v.stripe;
        uint32_t status = 0;
        if (dead)
            status |= kVolFailed;
        else if (failed > 0)
            status |= kVolDegraded;
        if (v.task == 1)
            status |= kVolInitializing;
        if (v.task == 2)
            status |= kVolChecking;
        r.gvsVolumeStatus = status;
        if (v.task != 0 && v.taskEndMs > v.taskStartMs) {
            int64_t p = (m_nowMs - v.taskStartMs) * 1000 / (v.taskEndMs - v.taskStartMs);
            r.gvsProgress = static_cast<uint32_t>(std::clamp<int64_t>(p, 0, 999));
        }
        std::memcpy(&r.gvsScsi, v.scsi.data(), 6);
        r.gvsMemberDisks = static_cast<uint8_t>(rs.members.size());
        r.gvsRaidLevel = v.raidLevel;
        r.gvsNewMemberDisks = r.gvsMemberDisks;
        r.gvsNewRaidLevel = v.raidLevel;
        r.gvsRaidSetNumber = v.raidSet;
    }
    return AsBytes(r);
}

Bytes CSimModel::DriveRecord(int n) const {
    if (n < 0 || n >= m_sc.sys.ideChannels)
        return {};
    sGUI_PHY_DRV r{};
    const SDrive& d = m_sc.drives[n];
    r.gpdRaidNumber = kRaidNone;
    if (d.present && d.capacity != 0) {
        PutText(r.gpdModelName, d.model);
        PutText(r.gpdSerialNumber, d.serial);
        PutText(r.gpdFirmRev, d.firmware);
        r.gpdCapacity = static_cast<uint32_t>(d.capacity);
        r.gpdCapacityX = static_cast<uint32_t>(d.capacity >> 32);
        uint8_t role = d.raidNumber == kRaidNone          ? kDevFree
                       : d.raidNumber == kRaidHotSpare    ? kDevHotSpare
                       : d.raidNumber == kRaidPassThrough ? kDevPassThrough
                                                          : kDevMember;
        r.gpdDeviceState = static_cast<uint8_t>(role | (d.failed ? kDevFailed : 0));
        r.gpdPioMode = d.pioMode;
        r.gpdCurrentUdmaMode = std::min(d.udmaBest, m_sc.sys.maxAtaMode);
        r.gpdUdmaMode = d.udmaBest;
        r.gpdDriveSelect = static_cast<uint8_t>(n);
        r.gpdRaidNumber = d.raidNumber;
        std::memcpy(&r.gpdScsi, d.scsi.data(), 6);
    } else if (d.raidNumber < kRaidPassThrough) {
        // A removed member still belongs to its raid set; the slot itself is empty.
        r.gpdRaidNumber = d.raidNumber;
    }
    return AsBytes(r);
}

Bytes CSimModel::HwMonPayload() const {
    const SHwMon& h = m_sc.hw;
    Bytes p;
    p.push_back(static_cast<uint8_t>(h.fanRpm.size()));
    p.push_back(static_cast<uint8_t>(h.rails.size()));
    p.push_back(static_cast<uint8_t>(h.temps.size()));
    p.push_back(static_cast<uint8_t>(h.powerGood.size()));
    auto word = [&](uint16_t v) {
        p.push_back(static_cast<uint8_t>(v & 0xFF));
        p.push_back(static_cast<uint8_t>(v >> 8));
    };
    for (size_t i = 0; i < h.fanRpm.size(); ++i)
        word(h.fanStopped[i] ? 0 : h.fanRpm[i]);
    for (const SRail& r : h.rails) {
        word(r.nominal);
        word(r.measured);
    }
    for (uint8_t t : h.temps)
        p.push_back(t);
    uint8_t bits = 0;
    for (size_t i = 0; i < h.powerGood.size() && i < 8; ++i)
        if (h.powerGood[i])
            bits = static_cast<uint8_t>(bits | (1u << i));
    p.push_back(bits);
    p.push_back(h.ups);
    return p;
}

Bytes CSimModel::EventPage(int page) const {
    // Page 0 holds the 16 newest entries with the newest last, page 1 the 16 before them, and
    // so on: a station that reads from the end of page 0 backwards meets the newest first.
    Bytes out(kEventsPerPage * sizeof(sEVET_DATA), 0);
    for (size_t r = 0; r < kEventsPerPage; ++r) {
        size_t age = static_cast<size_t>(page) * kEventsPerPage + (kEventsPerPage - 1 - r);
        if (age >= m_log.size())
            continue;
        const SEvent& e = m_log[m_log.size() - 1 - age];
        sEVET_DATA d{};
        d.evtCategory = e.category;
        d.evtType = e.type;
        d.evtChannel = e.channel;
        d.evtFlag = e.flag;
        d.evtTime = e.time;
        d.evtData1 = e.data1;
        d.evtData2 = e.data2;
        PutText(d.evtStr, e.text);
        std::memcpy(out.data() + r * sizeof d, &d, sizeof d);
    }
    return out;
}

} // namespace vrnsim
