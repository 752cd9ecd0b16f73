// The `state` reply: the running model in the scenario file's own format, so a state line
// saved to a file starts a simulator in the same state. Runtime values sit under "runtime".
#include "SimJson.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace vrnsim {

using nlohmann::json;

namespace {

std::string IpText(const std::array<uint8_t, 4>& ip) {
    char b[20];
    std::snprintf(b, sizeof b, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return b;
}

std::string MacText(const std::array<uint8_t, 6>& m) {
    char b[24];
    std::snprintf(b, sizeof b, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return b;
}

json SystemJson(const SSystem& s) {
    return {{"vendor", s.vendor},
            {"serial", s.serial},
            {"firmware", s.firmware},
            {"boot", s.boot},
            {"mainboard", s.mainboard},
            {"model", s.model},
            {"localIp", IpText(s.localIp)},
            {"currentIp", IpText(s.currentIp)},
            {"mac", MacText(s.mac)},
            {"cpuSpeed", s.cpuSpeed},
            {"iCache", s.iCache},
            {"dCache", s.dCache},
            {"sCache", s.sCache},
            {"memorySize", s.memorySize},
            {"memorySpeed", s.memorySpeed},
            {"dhcp", s.dhcp},
            {"beeper", s.beeper},
            {"channelUsage", s.channelUsage},
            {"maxAtaMode", s.maxAtaMode},
            {"sdramEcc", s.sdramEcc},
            {"rebuildPriority", s.rebuildPriority},
            {"comA", s.comA},
            {"comB", s.comB},
            {"ideChannels", s.ideChannels},
            {"scsiHostChannels", s.scsiHostChannels},
            {"ideHostChannels", s.ideHostChannels},
            {"maxVolumeSet", s.maxVolumeSet},
            {"maxRaidSet", s.maxRaidSet},
            {"etherPort", s.etherPort},
            {"raid6Engine", s.raid6Engine}};
}

json DriveJson(const SDrive& d) {
    json attrs = json::array();
    for (const SSmartAttr& a : d.smart.attrs)
        attrs.push_back({{"id", a.id},
                         {"flags", a.flags},
                         {"value", a.value},
                         {"worst", a.worst},
                         {"raw", a.raw},
                         {"threshold", a.threshold}});
    const char* role = d.raidNumber == kRaidHotSpare      ? "hotspare"
                       : d.raidNumber == kRaidPassThrough ? "passthrough"
                                                          : "free";
    return {{"present", d.present},
            {"failed", d.failed},
            {"model", d.model},
            {"serial", d.serial},
            {"firmware", d.firmware},
            {"capacity", d.capacity},
            {"pioMode", d.pioMode},
            {"udmaMode", d.udmaMode},
            {"udmaBest", d.udmaBest},
            {"role", role},
            {"scsi", d.scsi},
            {"smart",
             {{"enabled", d.smart.enabled},
              {"attributes", attrs},
              {"offlineSeconds", d.smart.offlineSeconds},
              {"shortMinutes", d.smart.shortMinutes},
              {"extendedMinutes", d.smart.extendedMinutes},
              {"offlineResult", d.smart.offlineResult},
              {"selfTestResult", d.smart.selfTestResult},
              {"selfTestCheckPoint", d.smart.selfTestCheckPoint}}},
            {"rwTest",
             {{"seconds", d.rw.seconds},
              {"readRate", d.rw.readRate},
              {"writeRate", d.rw.writeRate},
              {"readErrors", d.rw.readErrors},
              {"writeErrors", d.rw.writeErrors}}}};
}

} // namespace

std::string StateJson(const CSimModel& model) {
    const SScenario& sc = model.Data();
    json j;
    j["identify"] = sc.sys.identify;
    j["password"] = sc.password;
    j["system"] = SystemJson(sc.sys);
    json drives = json::array();
    json driveRuntime = json::array();
    for (size_t i = 0; i < sc.drives.size(); ++i) {
        const SDrive& d = sc.drives[i];
        drives.push_back(DriveJson(d));
        driveRuntime.push_back({{"raidNumber", d.raidNumber},
                                {"offlineStatus", d.smart.offlineStatus},
                                {"selfTestStatus", d.smart.selfTestStatus},
                                {"rwState", d.rw.state}});
    }
    j["drives"] = drives;
    json raids = json::array();
    for (const SRaidSet& r : sc.raidSets)
        raids.push_back(
            r.used ? json{{"name", r.name}, {"members", r.members}, {"incomplete", r.incomplete}}
                   : json());
    j["raidSets"] = raids;
    json vols = json::array();
    json volRuntime = json::array();
    for (size_t i = 0; i < sc.volumes.size(); ++i) {
        const SVolume& v = sc.volumes[i];
        if (!v.used) {
            vols.push_back(nullptr);
            volRuntime.push_back(nullptr);
            continue;
        }
        Bytes rec = model.VolumeRecord(static_cast<int>(i));
        uint32_t status =
            rec[40] | rec[41] << 8 | rec[42] << 16 | static_cast<uint32_t>(rec[43]) << 24;
        uint32_t progress =
            rec[44] | rec[45] << 8 | rec[46] << 16 | static_cast<uint32_t>(rec[47]) << 24;
        const char* task = v.task == 1 ? "init" : v.task == 2 ? "check" : "none";
        vols.push_back({{"name", v.name},
                        {"raidSet", v.raidSet},
                        {"sectors", v.sectors},
                        {"raidLevel", v.raidLevel},
                        {"stripe", v.stripe},
                        {"scsi", v.scsi},
                        {"quickInit", v.quickInit},
                        {"failed", v.failedByHand},
                        {"task", task},
                        {"progress", std::min<uint32_t>(progress, 999)}});
        volRuntime.push_back({{"status", status}, {"progress", progress}});
    }
    j["volumeSets"] = vols;
    const SHwMon& h = sc.hw;
    json rails = json::array();
    for (const SRail& r : h.rails)
        rails.push_back({r.nominal, r.measured});
    j["hwmon"] = {{"fans", h.fanRpm}, {"fanStopped", h.fanStopped}, {"rails", rails},
                  {"temps", h.temps}, {"tempLimits", h.tempLimits}, {"powers", h.powerGood},
                  {"ups", h.ups}};
    json events = json::array();
    for (const SEvent& e : model.EventLog())
        events.push_back({{"category", e.category},
                          {"type", e.type},
                          {"channel", e.channel},
                          {"flag", e.flag},
                          {"time", e.time},
                          {"data1", e.data1},
                          {"data2", e.data2},
                          {"text", e.text}});
    j["events"] = events;
    j["eventIndex"] = model.EventIndex();
    json pages = json::object();
    for (const auto& [path, p] : sc.pages)
        pages[path] = {{"contentType", p.contentType}, {"status", p.status}, {"body", *p.body}};
    j["webPages"] = pages;
    j["timing"] = {{"volumeInitSeconds", sc.timing.volumeInitSeconds},
                   {"volumeCheckSeconds", sc.timing.volumeCheckSeconds}};
    j["runtime"] = {{"loggedIn", model.LoggedIn()},
                    {"beeping", model.Beeping()},
                    {"timeScale", model.TimeScale()},
                    {"drives", driveRuntime},
                    {"volumeSets", volRuntime}};
    // Bytes that are not UTF-8 (set over the wire) are replaced rather than failing the dump.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace vrnsim
