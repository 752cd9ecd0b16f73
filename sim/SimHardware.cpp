// Changes made through the control channel: events, hardware monitor readings, drives and
// volumes failing and recovering. Each change that a controller would log adds its event.
#include "SimModel.h"

#include <algorithm>

namespace vrnsim {

namespace {

// Alarm types of the voltage rails, by nominal millivolts.
int RailAlarmType(uint16_t nominal) {
    switch (nominal) {
    case 1500:
        return 4;
    case 3300:
        return 5;
    case 5000:
        return 6;
    case 12000:
        return 7;
    case 1300:
        return 8;
    case 2500:
        return 9;
    case 1250:
        return 10;
    default:
        return -1;
    }
}

bool RailAbnormal(const SRail& r) {
    return r.measured > r.nominal * 1.1 || r.measured < r.nominal * 0.9;
}

} // namespace

std::string CSimModel::AddEvent(int category, int type, int channel, const std::string& text) {
    if (category < 0 || category > 255 || type < 0 || type > 255 || channel < 0 || channel > 255)
        return "category, type and channel are 0 to 255";
    if (text.size() > 16)
        return "event text is at most 16 characters";
    PushEvent(static_cast<uint8_t>(category), static_cast<uint8_t>(type),
              static_cast<uint8_t>(channel), text);
    return "";
}

std::string CSimModel::SetFan(int fan, bool run) {
    SHwMon& h = m_sc.hw;
    if (fan < 1 || static_cast<size_t>(fan) > h.fanRpm.size())
        return "no fan " + std::to_string(fan) + " (fans count from 1)";
    bool wasStopped = h.fanStopped[fan - 1];
    h.fanStopped[fan - 1] = !run;
    if (wasStopped != !run && fan <= 4) {
        int type = kHwEvFan1 + 2 * (fan - 1) + (run ? kHwEvRecoveredOffset : 0);
        PushEvent(kCatHwMon, static_cast<uint8_t>(type), static_cast<uint8_t>(fan - 1), "");
    }
    return "";
}

std::string CSimModel::SetPower(int supply, bool good) {
    SHwMon& h = m_sc.hw;
    if (supply < 1 || static_cast<size_t>(supply) > h.powerGood.size())
        return "no power supply " + std::to_string(supply) + " (supplies count from 1)";
    bool wasGood = h.powerGood[supply - 1];
    h.powerGood[supply - 1] = good;
    if (wasGood != good && supply <= 4) {
        int type = kHwEvPower1 + 2 * (supply - 1) + (good ? kHwEvRecoveredOffset : 0);
        PushEvent(kCatHwMon, static_cast<uint8_t>(type), static_cast<uint8_t>(supply - 1), "");
    }
    return "";
}

std::string CSimModel::SetRail(int rail, int millivolts) {
    SHwMon& h = m_sc.hw;
    if (rail < 1 || static_cast<size_t>(rail) > h.rails.size())
        return "no rail " + std::to_string(rail) + " (rails count from 1)";
    if (millivolts < 0 || millivolts > 0xFFFF)
        return "millivolts are 0 to 65535";
    SRail& r = h.rails[rail - 1];
    bool before = RailAbnormal(r);
    r.measured = static_cast<uint16_t>(millivolts);
    bool after = RailAbnormal(r);
    int type = RailAlarmType(r.nominal);
    if (before != after && type >= 0)
        PushEvent(kCatHwMon, static_cast<uint8_t>(type + (after ? 0 : kHwEvRecoveredOffset)),
                  static_cast<uint8_t>(rail - 1), "");
    return "";
}

std::string CSimModel::SetTemp(int sensor, int celsius) {
    SHwMon& h = m_sc.hw;
    if (sensor < 1 || static_cast<size_t>(sensor) > h.temps.size())
        return "no temperature sensor " + std::to_string(sensor) + " (sensors count from 1)";
    if (celsius < 0 || celsius > 255)
        return "temperatures are 0 to 255";
    uint8_t limit = h.tempLimits[sensor - 1];
    bool before = h.temps[sensor - 1] > limit;
    h.temps[sensor - 1] = static_cast<uint8_t>(celsius);
    bool after = celsius > limit;
    if (before != after && sensor <= 2) {
        int type =
            (sensor == 1 ? kHwEvCtrlTemp : kHwEvBackplaneTemp) + (after ? 0 : kHwEvRecoveredOffset);
        PushEvent(kCatHwMon, static_cast<uint8_t>(type), static_cast<uint8_t>(sensor - 1), "");
    }
    return "";
}

std::string CSimModel::SetUps(int value) {
    if (value < 0 || value > 255)
        return "the UPS state is 0 to 255";
    bool before = m_sc.hw.ups != 0;
    m_sc.hw.ups = static_cast<uint8_t>(value);
    if (before != (value != 0))
        PushEvent(kCatHwMon,
                  static_cast<uint8_t>(kHwEvUps + (value != 0 ? 0 : kHwEvRecoveredOffset)), 0, "");
    return "";
}

std::string CSimModel::SetDrive(int drive, const std::string& how) {
    if (drive < 0 || static_cast<size_t>(drive) >= m_sc.drives.size())
        return "no drive " + std::to_string(drive) + " (drives count from 0)";
    SDrive& d = m_sc.drives[drive];
    const uint8_t ch = static_cast<uint8_t>(drive);
    if (how == "fail") {
        if (!d.failed) {
            d.failed = true;
            PushEvent(kCatDevice, kDevEvFailed, ch, "");
        }
    } else if (how == "ok") {
        d.failed = false;
    } else if (how == "remove") {
        if (d.present) {
            d.present = false;
            PushEvent(kCatDevice, kDevEvRemoved, ch, "");
        }
    } else if (how == "insert") {
        if (!d.present) {
            if (d.capacity == 0)
                return "slot " + std::to_string(drive) + " has no drive to insert";
            d.present = true;
            PushEvent(kCatDevice, kDevEvInserted, ch, "");
        }
    } else {
        return "drive takes fail, ok, remove or insert";
    }
    if (!DriveUsable(drive)) {
        // Whatever ran on the drive stops with it.
        d.smart.offlineEndMs = d.smart.selfTestEndMs = -1;
        if (d.rw.state == 5)
            d.rw.state = 0;
    }
    if (d.raidNumber < kRaidPassThrough)
        UpdateRedundancy(d.raidNumber);
    return "";
}

std::string CSimModel::SetVolume(int volume, bool failed) {
    if (volume < 0 || static_cast<size_t>(volume) >= m_sc.volumes.size() ||
        !m_sc.volumes[volume].used)
        return "no volume set " + std::to_string(volume) + " (volume sets count from 0)";
    m_sc.volumes[volume].failedByHand = failed;
    UpdateRedundancy(m_sc.volumes[volume].raidSet);
    return "";
}

std::string CSimModel::SetSmartValue(int drive, int attrId, int value) {
    if (drive < 0 || static_cast<size_t>(drive) >= m_sc.drives.size())
        return "no drive " + std::to_string(drive);
    if (value < 0 || value > 255)
        return "attribute values are 0 to 255";
    for (SSmartAttr& a : m_sc.drives[drive].smart.attrs) {
        if (a.id == attrId) {
            a.value = static_cast<uint8_t>(value);
            a.worst = std::min(a.worst, a.value);
            return "";
        }
    }
    return "drive " + std::to_string(drive) + " has no attribute " + std::to_string(attrId);
}

} // namespace vrnsim
