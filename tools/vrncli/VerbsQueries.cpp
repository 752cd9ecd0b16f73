// Verbs of the status queries: raid sets, volume sets, drives, the hardware monitor.
#include <cstring>

#include "CliVerbs.h"

using nlohmann::ordered_json;

namespace {

ordered_json Scsi(const sSCSI_ATTR& a) {
    return ordered_json{{"channel", a.scsiChannel},
                        {"id", a.scsiId},
                        {"lun", a.scsiLun},
                        {"tagged_queuing", a.scsiTaggedQueuing},
                        {"cache_mode", a.scsiCacheMode},
                        {"speed", a.scsiSpeed}};
}

ordered_json ByteList(const unsigned char* b, size_t n) {
    ordered_json list = ordered_json::array();
    for (size_t i = 0; i < n; ++i)
        list.push_back(b[i]);
    return list;
}

} // namespace

int VerbRaidSet(SCliContext& ctx) {
    unsigned long n = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, "raid set", &n))
        return VRN_BAD_ARGUMENT;
    sGUI_RAIDSET r;
    const int status = ctx.session.VrnGetRaidSetInfo(static_cast<char>(n), &r);
    if (status != VRN_OK)
        return status;
    ordered_json& o = ctx.out;
    o["raid_set"] = n;
    o["name"] = VrnFieldText(r.grsRaidSetName);
    o["capacity"] = r.grsCapacity;
    o["capacity_x"] = r.grsCapacityX;
    o["fail_mask"] = r.grsFailMask;
    const size_t members =
        r.grsMemberDevices < sizeof r.grsDevArray ? r.grsMemberDevices : sizeof r.grsDevArray;
    o["member_devices"] = r.grsMemberDevices;
    o["members"] = ByteList(r.grsDevArray, members);
    o["new_member_devices"] = r.grsNewMemberDevices;
    o["state"] = r.grsRaidState;
    const size_t volumes =
        r.grsVolumes < sizeof r.grsVolumeList ? r.grsVolumes : sizeof r.grsVolumeList;
    o["volumes"] = r.grsVolumes;
    o["volume_list"] = ByteList(r.grsVolumeList, volumes);
    o["free_segments"] = r.grsFreeSegments;
    ordered_json stripes = ordered_json::array();
    for (unsigned int s : r.grsRawStripes)
        stripes.push_back(s);
    o["raw_stripes"] = stripes;
    return VRN_OK;
}

int VerbVolume(SCliContext& ctx) {
    unsigned long n = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, "volume set", &n))
        return VRN_BAD_ARGUMENT;
    sGUI_VOLUMESET v;
    const int status = ctx.session.VrnGetVolSetInfo(static_cast<char>(n), &v);
    if (status != VRN_OK)
        return status;
    ordered_json& o = ctx.out;
    o["volume_set"] = n;
    o["name"] = VrnFieldText(v.gvsVolumeName);
    o["capacity"] = v.gvsCapacity;
    o["capacity_x"] = v.gvsCapacityX;
    o["fail_mask"] = v.gvsFailMask;
    o["stripe_size"] = v.gvsStripeSize;
    o["new_fail_mask"] = v.gvsNewFailMask;
    o["new_stripe_size"] = v.gvsNewStripeSize;
    o["volume_status"] = v.gvsVolumeStatus;
    o["initialising"] = VrnVolumeInitialising(v);
    o["progress"] = v.gvsProgress;
    o["progress_percent"] = VrnProgressPercent(v.gvsProgress);
    o["scsi"] = Scsi(v.gvsScsi);
    o["member_disks"] = v.gvsMemberDisks;
    o["raid_level"] = v.gvsRaidLevel;
    o["new_member_disks"] = v.gvsNewMemberDisks;
    o["new_raid_level"] = v.gvsNewRaidLevel;
    o["raid_set"] = v.gvsRaidSetNumber;
    return VRN_OK;
}

int VerbDrive(SCliContext& ctx) {
    unsigned long n = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, "drive", &n))
        return VRN_BAD_ARGUMENT;
    sGUI_PHY_DRV d;
    const int status = ctx.session.VrnGetPhysicalDriveInfo(static_cast<char>(n), &d);
    if (status != VRN_OK)
        return status;
    ordered_json& o = ctx.out;
    o["drive"] = n;
    o["present"] = d.gpdCapacity != 0;
    o["model"] = VrnFieldText(d.gpdModelName);
    o["serial"] = VrnFieldText(d.gpdSerialNumber);
    o["firmware"] = VrnFieldText(d.gpdFirmRev);
    o["sectors"] = d.gpdCapacity;
    o["capacity_x"] = d.gpdCapacityX;
    o["gigabytes"] = VrnGigabytes(VrnSectors(d.gpdCapacity, d.gpdCapacityX));
    o["state"] = d.gpdDeviceState;
    o["pio_mode"] = d.gpdPioMode;
    o["current_udma_mode"] = d.gpdCurrentUdmaMode;
    o["udma_mode"] = d.gpdUdmaMode;
    o["drive_select"] = d.gpdDriveSelect;
    o["raid_set"] = d.gpdRaidNumber;
    o["scsi"] = Scsi(d.gpdScsi);
    return VRN_OK;
}

int VerbHwMon(SCliContext& ctx) {
    static const char* const kinds[] = {"fan", "voltage", "temp", "power", "ups"};
    if (!cli::ArgCount(ctx, 1, 1))
        return VRN_BAD_ARGUMENT;
    unsigned long kind = 0;
    for (unsigned long k = 0; k < 5; ++k)
        if (ctx.args[0] == kinds[k])
            kind = k + 1;
    if (kind == 0 && !cli::ParseNumber(ctx.args[0], 1, 5, &kind)) {
        ctx.error = "KIND is fan, voltage, temp, power, ups or 1 to 5";
        return VRN_BAD_ARGUMENT;
    }
    _HWMON_INFO info;
    const int status = ctx.session.VrnGetHWMon(kind, &info);
    if (status != VRN_OK)
        return status;
    ctx.out["kind"] = kinds[kind - 1];
    ctx.out["count"] = info.HwItemCount;
    ordered_json items = ordered_json::array();
    const int n = info.HwItemCount < HWMON_MAX_ITEMS ? info.HwItemCount : HWMON_MAX_ITEMS;
    if (kind == HWMON_VOL_INFO) {
        for (int i = 0; i + 1 < n; i += 2)
            items.push_back(ordered_json{{"nominal_mv", info.ItemInfo[i]},
                                         {"measured_mv", info.ItemInfo[i + 1]}});
    } else {
        for (int i = 0; i < n; ++i)
            items.push_back(info.ItemInfo[i]);
    }
    ctx.out["items"] = items;
    return VRN_OK;
}

int VerbHwMon5010(SCliContext& ctx) {
    if (!cli::ArgCount(ctx, 0, 0))
        return VRN_BAD_ARGUMENT;
    _HWMON_5010 m;
    const int status = ctx.session.VrnGetHWMon5010(&m);
    if (status != VRN_OK)
        return status;
    ordered_json& o = ctx.out;
    o["fans"] = m.fans;
    o["voltages"] = m.voltages;
    o["temps"] = m.temps;
    o["powers"] = m.powers;
    o["fan_rpm"] = m.monFan;
    o["rail_12v"] = ordered_json{{"nominal_mv", m.fixed12V}, {"measured_mv", m.mon12V}};
    o["rail_5v"] = ordered_json{{"nominal_mv", m.fixed5V}, {"measured_mv", m.mon5V}};
    o["rail_3_3v"] = ordered_json{{"nominal_mv", m.fixed3_3V}, {"measured_mv", m.mon3_3V}};
    o["rail_1_5v"] = ordered_json{{"nominal_mv", m.fixed1_5V}, {"measured_mv", m.mon1_5V}};
    o["controller_temp"] = m.monCtrlTemp;
    o["backplane_temp"] = m.monBkPlaneTemp;
    return VRN_OK;
}
