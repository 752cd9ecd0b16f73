#include "TestPlan.h"

#include "ReportText.h"
#include "StringTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool VolumeCapacityValid(double capacity) {
    // From 2199.02 GB on the request's 32-bit sector count is at, or a few megabytes short
    // of, its wrap-around; the round figure keeps every accepted capacity clear of it.
    return std::isfinite(capacity) && capacity >= 0.1 && capacity < MAX_VOLUME_CAPACITY_GB;
}

bool CTestPlan::SlotUsed(int slot) const {
    return slot >= 0 && slot < MAX_VOLUME_DEFINITIONS &&
           volumes[static_cast<size_t>(slot)].capacity != 0;
}

std::string CTestPlan::DefaultVolumeName() const {
    return FormatText(CStringTable::Text(IDS_VOLDLG_DEFAULT_NAME), m_RunningNumber);
}

EVolumeCheck CTestPlan::CheckVolume(const SVolumeChoice& choice) const {
    if (!VolumeCapacityValid(choice.capacity))
        return EVolumeCheck::InvalidCapacity;
    for (int slot = 0; slot < MAX_VOLUME_DEFINITIONS; ++slot) {
        const _VOLUMESET_CAP& v = volumes[static_cast<size_t>(slot)];
        if (SlotUsed(slot) && v.channel == choice.channel && v.id == choice.id &&
            v.lun == choice.lun)
            return EVolumeCheck::DuplicateAddress;
    }
    return EVolumeCheck::Ok;
}

int CTestPlan::AddVolume(const SVolumeChoice& choice) {
    if (m_VolumeCount >= MAX_VOLUME_DEFINITIONS)
        return -1;
    for (int slot = 0; slot < MAX_VOLUME_DEFINITIONS; ++slot) {
        if (SlotUsed(slot))
            continue;
        volumes[static_cast<size_t>(slot)] = MakeVolumeDefinition(choice);
        ++m_VolumeCount;
        ++m_RunningNumber;
        return slot;
    }
    return -1;
}

bool CTestPlan::DeleteVolume(int slot) {
    if (!SlotUsed(slot))
        return false;
    volumes[static_cast<size_t>(slot)].capacity = 0;
    --m_VolumeCount;
    return true;
}

_VOLUMESET_CAP MakeVolumeDefinition(const SVolumeChoice& c) {
    _VOLUMESET_CAP def{};
    def.structs_size = sizeof(_VOLUMESET_CAP);
    def.raid = 0;
    // Blank-padded and never terminated; an empty name goes out as 16 blanks, never as
    // what an earlier definition left in the field.
    std::memset(def.volname, ' ', sizeof def.volname);
    std::memcpy(def.volname, c.name.data(), std::min(c.name.size(), sizeof def.volname));
    def.capacity = c.capacity;
    auto code = [](int v, int count) {
        return static_cast<unsigned char>(std::clamp(v, 0, count - 1));
    };
    def.raidlevel = code(c.raidLevel, VOLUME_LEVELS);
    def.stripsize = code(c.stripe, VOLUME_STRIPES);
    def.channel = code(c.channel, VOLUME_CHANNELS);
    def.id = code(c.id, VOLUME_IDS);
    def.lun = code(c.lun, VOLUME_LUNS);
    def.tag = static_cast<signed char>(code(c.tag, 2));
    def.cache = static_cast<signed char>(code(c.cache, 2));
    def.speed = code(c.speed, VOLUME_SPEEDS);
    def.quickinit = code(c.initMode, 2);
    return def;
}

std::array<std::string, 9> VolumeRowTexts(const _VOLUMESET_CAP& def) {
    static constexpr int kLevels[VOLUME_LEVELS] = {IDS_VOL_RAID0, IDS_VOL_RAID1, IDS_VOL_RAID3,
                                                   IDS_VOL_RAID5, IDS_VOL_RAID6};
    static constexpr int kStripes[VOLUME_STRIPES] = {IDS_VOL_STRIPE_4K,  IDS_VOL_STRIPE_8K,
                                                     IDS_VOL_STRIPE_16K, IDS_VOL_STRIPE_32K,
                                                     IDS_VOL_STRIPE_64K, IDS_VOL_STRIPE_128K};
    static constexpr int kSpeeds[VOLUME_SPEEDS] = {IDS_VOL_SPEED_ASYNC, IDS_VOL_SPEED_20,
                                                   IDS_VOL_SPEED_40, IDS_VOL_SPEED_80,
                                                   IDS_VOL_SPEED_160};
    auto pick = [](const int* ids, int count, int index) {
        return std::string(CStringTable::Text(ids[std::clamp(index, 0, count - 1)]));
    };
    const char* end = static_cast<const char*>(std::memchr(def.volname, '\0', sizeof def.volname));
    std::string name(def.volname,
                     end ? static_cast<size_t>(end - def.volname) : sizeof def.volname);
    name.erase(name.find_last_not_of(' ') + 1);
    return {name,
            pick(kLevels, VOLUME_LEVELS, def.raidlevel),
            FormatText(CStringTable::Text(IDS_VOL_CAPACITY_FORMAT), def.capacity),
            CStringTable::Text(def.quickinit ? IDS_VOL_INIT_FOREGROUND : IDS_VOL_INIT_BACKGROUND),
            pick(kStripes, VOLUME_STRIPES, def.stripsize),
            CStringTable::Text(def.cache ? IDS_VOL_WRITE_BACK : IDS_VOL_WRITE_THROUGH),
            CStringTable::Text(def.tag ? IDS_VOL_ENABLED : IDS_VOL_DISABLED),
            pick(kSpeeds, VOLUME_SPEEDS, def.speed),
            FormatText(CStringTable::Text(IDS_VOL_ADDRESS_FORMAT), def.channel, def.id, def.lun)};
}
