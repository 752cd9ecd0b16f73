// Verbs of the session basics: version, identification, system information, event index.
#include "CliVerbs.h"

using nlohmann::ordered_json;

int VerbVersion(SCliContext& ctx) {
    const int v = ctx.session.VrnGetLibVersion();
    ctx.out["version"] = v;
    ctx.out["release"] = std::to_string(v >> 8) + "." + std::to_string(v & 0xFF);
    return VRN_OK;
}

int VerbIdentify(SCliContext& ctx) {
    const int status = ctx.session.VrnIdentify();
    ctx.out["identified"] = status == VRN_OK;
    return status;
}

static ordered_json ComAttr(const sCOM_ATTR& a) {
    return ordered_json{{"baud_code", a.comBaudRate},
                        {"data_bits_code", a.comDataBits},
                        {"stop_bits_code", a.comStopBits},
                        {"parity_code", a.comParity},
                        {"flow_control_code", a.comFlowControl}};
}

int VerbSysInfo(SCliContext& ctx) {
    sSYSTEM_INFO i;
    const int status = ctx.session.VrnGetSysInfo(&i);
    if (status != VRN_OK)
        return status;
    ordered_json& o = ctx.out;
    o["vendor"] = VrnFieldText(i.gsiVendorName);
    o["serial"] = VrnFieldText(i.gsiSerialNumber);
    o["firmware"] = VrnFieldText(i.gsiFirmVersion);
    o["boot"] = VrnFieldText(i.gsiBootVersion);
    o["mainboard"] = VrnFieldText(i.gsiMbVersion);
    o["model"] = VrnFieldText(i.gsiModelName);
    o["local_ip"] = cli::Dotted(i.gsiLocalIp);
    o["current_ip"] = cli::Dotted(i.gsiCurrentIp);
    o["mac"] = cli::Mac(i.gsiMacAddress);
    o["time_tick"] = i.gsiTimeTick;
    o["cpu_speed"] = i.gsiCpuSpeed;
    o["icache"] = i.gsiICache;
    o["dcache"] = i.gsiDCache;
    o["scache"] = i.gsiScache;
    o["memory_size"] = i.gsiMemorySize;
    o["memory_speed"] = i.gsiMemorySpeed;
    o["events"] = i.gsiEvents;
    o["dhcp"] = i.gsiDhcp;
    o["beeper"] = i.gsiBeeper;
    o["channel_usage"] = i.gsiChannelUsage;
    o["max_ata_mode"] = i.gsiMaxAtaMode;
    o["sdram_ecc"] = i.gsiSdramEcc;
    o["rebuild_priority"] = i.gsiRebuildPriority;
    o["com_a"] = ComAttr(i.gsiComA);
    o["com_b"] = ComAttr(i.gsiComB);
    o["ide_channels"] = i.gsiIdeChannels;
    o["scsi_host_channels"] = i.gsiScsiHostChannels;
    o["ide_host_channels"] = i.gsiIdeHostChannels;
    o["max_volume_sets"] = i.gsiMaxVolumeSet;
    o["max_raid_sets"] = i.gsiMaxRaidSet;
    o["ether_port"] = i.gsiEtherPort;
    o["raid6_engine"] = i.gsiRaid6Engine;
    return VRN_OK;
}

int VerbPollEvent(SCliContext& ctx) {
    int index = 0;
    const int status = ctx.session.VrnPollEvent(&index);
    if (status == VRN_OK)
        ctx.out["index"] = index;
    return status;
}
