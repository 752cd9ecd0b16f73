// Scenario files: JSON that overrides any part of the built-in controller.
#include "SimJson.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fstream>
#include <set>
#include <sstream>

namespace vrnsim {

using nlohmann::json;

namespace {

// Thrown inside this file only, turned into the error text by ParseScenario.
// One reply frame's length field carries at most 65535 bytes, headers included.
constexpr size_t kMaxPageBody = 65000;

struct SBad {
    std::string what;
};

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
    throw SBad{where + ": " + what};
}

void Keys(const json& j, const std::string& where, std::initializer_list<const char*> allowed) {
    if (!j.is_object())
        Bad(where, "must be an object");
    std::set<std::string> ok(allowed.begin(), allowed.end());
    for (auto it = j.begin(); it != j.end(); ++it)
        if (!ok.count(it.key()))
            Bad(where, "unknown key \"" + it.key() + "\"");
}

template <typename T>
void Int(const json& j, const char* key, const std::string& where, T& out, int64_t lo, int64_t hi) {
    if (!j.contains(key))
        return;
    const json& v = j.at(key);
    if (!v.is_number_integer())
        Bad(where + "." + key, "must be an integer");
    int64_t n = v.get<int64_t>();
    if (n < lo || n > hi)
        Bad(where + "." + key, "must be " + std::to_string(lo) + " to " + std::to_string(hi));
    out = static_cast<T>(n);
}

void Real(const json& j, const char* key, const std::string& where, double& out) {
    if (!j.contains(key))
        return;
    const json& v = j.at(key);
    if (!v.is_number() || v.get<double>() < 0 || v.get<double>() > 1e7)
        Bad(where + "." + key, "must be a number from 0 to 10000000");
    out = v.get<double>();
}

void Bool(const json& j, const char* key, const std::string& where, bool& out) {
    if (!j.contains(key))
        return;
    if (!j.at(key).is_boolean())
        Bad(where + "." + key, "must be true or false");
    out = j.at(key).get<bool>();
}

void Text(const json& j, const char* key, const std::string& where, std::string& out, size_t max) {
    if (!j.contains(key))
        return;
    const json& v = j.at(key);
    if (!v.is_string())
        Bad(where + "." + key, "must be a string");
    std::string s = v.get<std::string>();
    if (s.size() > max)
        Bad(where + "." + key, "longer than " + std::to_string(max) + " bytes");
    out = s;
}

template <size_t N>
void ByteList(const json& j, const char* key, const std::string& where,
              std::array<uint8_t, N>& out) {
    if (!j.contains(key))
        return;
    const json& v = j.at(key);
    if (!v.is_array() || v.size() != N)
        Bad(where + "." + key, "must be a list of " + std::to_string(N) + " numbers");
    for (size_t i = 0; i < N; ++i) {
        if (!v[i].is_number_integer() || v[i].get<int64_t>() < 0 || v[i].get<int64_t>() > 255)
            Bad(where + "." + key, "entries must be 0 to 255");
        out[i] = static_cast<uint8_t>(v[i].get<int64_t>());
    }
}

void Ip(const json& j, const char* key, const std::string& where, std::array<uint8_t, 4>& out) {
    if (!j.contains(key))
        return;
    if (!j.at(key).is_string() ||
        inet_pton(AF_INET, j.at(key).get<std::string>().c_str(), out.data()) != 1)
        Bad(where + "." + key, "must be a dotted IPv4 address");
}

void Mac(const json& j, const char* key, const std::string& where, std::array<uint8_t, 6>& out) {
    if (!j.contains(key))
        return;
    unsigned b[6];
    char tail;
    if (!j.at(key).is_string() ||
        std::sscanf(j.at(key).get<std::string>().c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &tail) != 6)
        Bad(where + "." + key, "must look like 00:1b:4d:00:27:01");
    for (int i = 0; i < 6; ++i)
        out[i] = static_cast<uint8_t>(b[i]);
}

void ParseSystem(const json& j, SSystem& s) {
    const std::string w = "system";
    Keys(j, w,
         {"vendor",
          "serial",
          "firmware",
          "boot",
          "mainboard",
          "model",
          "localIp",
          "currentIp",
          "mac",
          "cpuSpeed",
          "iCache",
          "dCache",
          "sCache",
          "memorySize",
          "memorySpeed",
          "dhcp",
          "beeper",
          "channelUsage",
          "maxAtaMode",
          "sdramEcc",
          "rebuildPriority",
          "comA",
          "comB",
          "ideChannels",
          "scsiHostChannels",
          "ideHostChannels",
          "maxVolumeSet",
          "maxRaidSet",
          "etherPort",
          "raid6Engine"});
    Text(j, "vendor", w, s.vendor, 40);
    Text(j, "serial", w, s.serial, 16);
    Text(j, "firmware", w, s.firmware, 16);
    Text(j, "boot", w, s.boot, 16);
    Text(j, "mainboard", w, s.mainboard, 16);
    Text(j, "model", w, s.model, 8);
    Ip(j, "localIp", w, s.localIp);
    Ip(j, "currentIp", w, s.currentIp);
    Mac(j, "mac", w, s.mac);
    const int64_t u32 = 0xFFFFFFFFLL;
    Int(j, "cpuSpeed", w, s.cpuSpeed, 0, u32);
    Int(j, "iCache", w, s.iCache, 0, u32);
    Int(j, "dCache", w, s.dCache, 0, u32);
    Int(j, "sCache", w, s.sCache, 0, u32);
    Int(j, "memorySize", w, s.memorySize, 0, u32);
    Int(j, "memorySpeed", w, s.memorySpeed, 0, u32);
    Int(j, "dhcp", w, s.dhcp, 0, 255);
    Int(j, "beeper", w, s.beeper, 0, 255);
    Int(j, "channelUsage", w, s.channelUsage, 0, 255);
    Int(j, "maxAtaMode", w, s.maxAtaMode, 0, 255);
    Int(j, "sdramEcc", w, s.sdramEcc, 0, 255);
    Int(j, "rebuildPriority", w, s.rebuildPriority, 0, 255);
    ByteList(j, "comA", w, s.comA);
    ByteList(j, "comB", w, s.comB);
    Int(j, "ideChannels", w, s.ideChannels, 1, 32); // drive masks are 32 bits wide
    Int(j, "scsiHostChannels", w, s.scsiHostChannels, 0, 255);
    Int(j, "ideHostChannels", w, s.ideHostChannels, 0, 255);
    Int(j, "maxVolumeSet", w, s.maxVolumeSet, 1, 64);
    Int(j, "maxRaidSet", w, s.maxRaidSet, 1, 32);
    Int(j, "etherPort", w, s.etherPort, 0, 255);
    Int(j, "raid6Engine", w, s.raid6Engine, 0, 255);
}

void ParseSmart(const json& j, const std::string& w, SSmart& s) {
    Keys(j, w,
         {"enabled", "attributes", "offlineSeconds", "shortMinutes", "extendedMinutes",
          "offlineResult", "selfTestResult", "selfTestCheckPoint"});
    Bool(j, "enabled", w, s.enabled);
    Real(j, "offlineSeconds", w, s.offlineSeconds);
    Real(j, "shortMinutes", w, s.shortMinutes);
    Real(j, "extendedMinutes", w, s.extendedMinutes);
    Int(j, "offlineResult", w, s.offlineResult, 0, 255);
    Int(j, "selfTestResult", w, s.selfTestResult, 0, 255);
    Int(j, "selfTestCheckPoint", w, s.selfTestCheckPoint, 0, 255);
    if (j.contains("attributes")) {
        const json& a = j.at("attributes");
        if (!a.is_array() || a.size() > 30)
            Bad(w + ".attributes", "must be a list of at most 30 attributes");
        s.attrs.clear();
        for (size_t i = 0; i < a.size(); ++i) {
            std::string wa = w + ".attributes[" + std::to_string(i) + "]";
            Keys(a[i], wa, {"id", "flags", "value", "worst", "raw", "threshold"});
            SSmartAttr at;
            Int(a[i], "id", wa, at.id, 1, 255);
            Int(a[i], "flags", wa, at.flags, 0, 0xFFFF);
            Int(a[i], "value", wa, at.value, 0, 255);
            at.worst = at.value;
            Int(a[i], "worst", wa, at.worst, 0, 255);
            Int(a[i], "raw", wa, at.raw, 0, 0xFFFFFFFFFFFFLL);
            Int(a[i], "threshold", wa, at.threshold, 0, 255);
            if (at.id == 0)
                Bad(wa, "needs an id");
            s.attrs.push_back(at);
        }
    }
}

void ParseDrive(const json& j, const std::string& w, SDrive& d) {
    Keys(j, w,
         {"present", "failed", "model", "serial", "firmware", "capacity", "pioMode", "udmaMode",
          "udmaBest", "role", "scsi", "smart", "rwTest"});
    Bool(j, "present", w, d.present);
    Bool(j, "failed", w, d.failed);
    Text(j, "model", w, d.model, 40);
    Text(j, "serial", w, d.serial, 20);
    Text(j, "firmware", w, d.firmware, 8);
    Int(j, "capacity", w, d.capacity, 0, 0xFFFFFFFFFFFFLL);
    Int(j, "pioMode", w, d.pioMode, 0, 255);
    Int(j, "udmaMode", w, d.udmaMode, 0, 255);
    Int(j, "udmaBest", w, d.udmaBest, 0, 255);
    ByteList(j, "scsi", w, d.scsi);
    if (j.contains("role")) {
        std::string role;
        Text(j, "role", w, role, 20);
        if (role == "free" || role == "member")
            d.raidNumber = kRaidNone; // members are named by their raid set
        else if (role == "hotspare")
            d.raidNumber = kRaidHotSpare;
        else if (role == "passthrough")
            d.raidNumber = kRaidPassThrough;
        else
            Bad(w + ".role", "must be free, hotspare or passthrough");
    }
    if (j.contains("smart"))
        ParseSmart(j.at("smart"), w + ".smart", d.smart);
    if (j.contains("rwTest")) {
        const json& r = j.at("rwTest");
        std::string wr = w + ".rwTest";
        Keys(r, wr, {"seconds", "readRate", "writeRate", "readErrors", "writeErrors"});
        Real(r, "seconds", wr, d.rw.seconds);
        Int(r, "readRate", wr, d.rw.readRate, 0, 0xFFFFFFFFLL);
        Int(r, "writeRate", wr, d.rw.writeRate, 0, 0xFFFFFFFFLL);
        Int(r, "readErrors", wr, d.rw.readErrors, 0, 0xFFFFFFFFLL);
        Int(r, "writeErrors", wr, d.rw.writeErrors, 0, 0xFFFFFFFFLL);
    }
}

void ParseHw(const json& j, SHwMon& h) {
    const std::string w = "hwmon";
    Keys(j, w, {"fans", "fanStopped", "rails", "temps", "tempLimits", "powers", "ups"});
    auto list = [&](const char* key, size_t max) -> const json* {
        if (!j.contains(key))
            return nullptr;
        if (!j.at(key).is_array() || j.at(key).size() > max)
            Bad(w + "." + key, "must be a list of at most " + std::to_string(max) + " entries");
        return &j.at(key);
    };
    auto num = [&](const json& v, const std::string& where, int64_t hi) {
        if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > hi)
            Bad(where, "must be an integer from 0 to " + std::to_string(hi));
        return v.get<int64_t>();
    };
    if (const json* f = list("fans", 50)) {
        h.fanRpm.clear();
        for (const json& v : *f)
            h.fanRpm.push_back(static_cast<uint16_t>(num(v, w + ".fans", 0xFFFF)));
        h.fanStopped.assign(h.fanRpm.size(), false);
    }
    if (const json* f = list("fanStopped", 50)) {
        if (f->size() != h.fanRpm.size())
            Bad(w + ".fanStopped", "needs one entry per fan");
        for (size_t i = 0; i < f->size(); ++i) {
            if (!(*f)[i].is_boolean())
                Bad(w + ".fanStopped", "entries must be true or false");
            h.fanStopped[i] = (*f)[i].get<bool>();
        }
    }
    if (const json* r = list("rails", 25)) {
        h.rails.clear();
        for (const json& v : *r) {
            if (!v.is_array() || v.size() != 2)
                Bad(w + ".rails", "entries must be [nominal, measured] millivolts");
            h.rails.push_back({static_cast<uint16_t>(num(v[0], w + ".rails", 0xFFFF)),
                               static_cast<uint16_t>(num(v[1], w + ".rails", 0xFFFF))});
        }
    }
    if (const json* t = list("temps", 50)) {
        h.temps.clear();
        for (const json& v : *t)
            h.temps.push_back(static_cast<uint8_t>(num(v, w + ".temps", 255)));
        h.tempLimits.resize(h.temps.size(), 60);
    }
    if (const json* t = list("tempLimits", 50)) {
        if (t->size() != h.temps.size())
            Bad(w + ".tempLimits", "needs one entry per temperature");
        for (size_t i = 0; i < t->size(); ++i)
            h.tempLimits[i] = static_cast<uint8_t>(num((*t)[i], w + ".tempLimits", 255));
    }
    if (const json* p = list("powers", 8)) {
        h.powerGood.clear();
        for (const json& v : *p) {
            if (!v.is_boolean())
                Bad(w + ".powers", "entries must be true (good) or false (failed)");
            h.powerGood.push_back(v.get<bool>());
        }
    }
    Int(j, "ups", w, h.ups, 0, 255);
}

void ParseEvents(const json& j, std::vector<SEvent>& out) {
    if (!j.is_array())
        Bad("events", "must be a list");
    out.clear();
    for (size_t i = 0; i < j.size(); ++i) {
        std::string w = "events[" + std::to_string(i) + "]";
        Keys(j[i], w, {"category", "type", "channel", "flag", "time", "data1", "data2", "text"});
        SEvent e;
        Int(j[i], "category", w, e.category, 0, 255);
        Int(j[i], "type", w, e.type, 0, 255);
        Int(j[i], "channel", w, e.channel, 0, 255);
        Int(j[i], "flag", w, e.flag, 0, 255);
        Int(j[i], "time", w, e.time, INT32_MIN, INT32_MAX);
        Int(j[i], "data1", w, e.data1, 0, 0xFFFFFFFFLL);
        Int(j[i], "data2", w, e.data2, 0, 0xFFFFFFFFLL);
        Text(j[i], "text", w, e.text, 16);
        out.push_back(e);
    }
}

void ParsePages(const json& j, std::map<std::string, SWebPage>& pages) {
    if (!j.is_object())
        Bad("webPages", "must map paths to pages");
    for (auto it = j.begin(); it != j.end(); ++it) {
        std::string w = "webPages[\"" + it.key() + "\"]";
        if (it.key().empty() || it.key()[0] != '/')
            Bad(w, "paths start with /");
        if (it->is_null()) {
            pages.erase(it.key());
            continue;
        }
        SWebPage p;
        std::string body;
        if (it->is_string()) {
            Text(j, it.key().c_str(), "webPages", body, kMaxPageBody);
        } else {
            Keys(*it, w, {"contentType", "body", "status", "repeat"});
            Text(*it, "contentType", w, p.contentType, 200);
            Text(*it, "body", w, body, kMaxPageBody);
            Int(*it, "status", w, p.status, 100, 599);
            int repeat = 1;
            Int(*it, "repeat", w, repeat, 1, static_cast<int64_t>(kMaxPageBody));
            std::string one = body;
            for (int i = 1; i < repeat; ++i)
                body += one;
        }
        if (body.size() > kMaxPageBody)
            Bad(w, "body longer than " + std::to_string(kMaxPageBody) + " bytes");
        p.body = std::make_shared<const std::string>(std::move(body));
        pages[it.key()] = p;
    }
}

void ParseRaidSets(const json& j, SScenario& sc) {
    if (!j.is_array())
        Bad("raidSets", "must be a list (null entries leave a number unused)");
    sc.raidSets.clear();
    for (size_t i = 0; i < j.size(); ++i) {
        SRaidSet rs;
        if (!j[i].is_null()) {
            std::string w = "raidSets[" + std::to_string(i) + "]";
            Keys(j[i], w, {"name", "members", "incomplete"});
            rs.used = true;
            char name[48];
            std::snprintf(name, sizeof name, "Raid Set # %02zu", i);
            rs.name = name;
            Text(j[i], "name", w, rs.name, 16);
            Bool(j[i], "incomplete", w, rs.incomplete);
            if (!j[i].contains("members") || !j[i].at("members").is_array() ||
                j[i].at("members").empty() || j[i].at("members").size() > 32)
                Bad(w + ".members", "must list 1 to 32 drive numbers");
            for (const json& m : j[i].at("members")) {
                if (!m.is_number_integer() || m.get<int64_t>() < 0 || m.get<int64_t>() > 31)
                    Bad(w + ".members", "drive numbers are 0 to 31");
                rs.members.push_back(static_cast<uint8_t>(m.get<int64_t>()));
            }
        }
        sc.raidSets.push_back(rs);
    }
}

void ParseVolumes(const json& j, SScenario& sc) {
    if (!j.is_array())
        Bad("volumeSets", "must be a list (null entries leave a number unused)");
    sc.volumes.clear();
    for (size_t i = 0; i < j.size(); ++i) {
        SVolume v;
        if (!j[i].is_null()) {
            std::string w = "volumeSets[" + std::to_string(i) + "]";
            Keys(j[i], w,
                 {"name", "raidSet", "sectors", "capacityGB", "raidLevel", "stripe", "scsi",
                  "quickInit", "failed", "task", "progress"});
            v.used = true;
            char name[48];
            std::snprintf(name, sizeof name, "Volume Set # %02zu", i);
            v.name = name;
            Text(j[i], "name", w, v.name, 16);
            Int(j[i], "raidSet", w, v.raidSet, 0, 31);
            Int(j[i], "sectors", w, v.sectors, 1, 0xFFFFFFFFFFFFLL);
            if (j[i].contains("capacityGB")) {
                double gb = 0;
                Real(j[i], "capacityGB", w, gb);
                v.sectors = static_cast<uint64_t>(gb * 1e9 / 512);
            }
            if (v.sectors == 0)
                Bad(w, "needs sectors or capacityGB");
            Int(j[i], "raidLevel", w, v.raidLevel, 0, 4);
            Int(j[i], "stripe", w, v.stripe, 0, 5);
            ByteList(j[i], "scsi", w, v.scsi);
            Bool(j[i], "quickInit", w, v.quickInit);
            Bool(j[i], "failed", w, v.failedByHand);
            std::string task = "none";
            Text(j[i], "task", w, task, 10);
            if (task != "none" && task != "init" && task != "check")
                Bad(w + ".task", "must be none, init or check");
            v.task = task == "init" ? 1 : task == "check" ? 2 : 0;
            Int(j[i], "progress", w, v.startProgress, 0, 999);
        }
        sc.volumes.push_back(v);
    }
}

void Check(SScenario& sc) {
    const SSystem& s = sc.sys;
    if (sc.drives.size() > s.ideChannels)
        Bad("drives", "more drives than system.ideChannels");
    if (sc.raidSets.size() > s.maxRaidSet)
        Bad("raidSets", "more raid sets than system.maxRaidSet");
    if (sc.volumes.size() > s.maxVolumeSet)
        Bad("volumeSets", "more volume sets than system.maxVolumeSet");
    std::set<int> taken;
    for (size_t r = 0; r < sc.raidSets.size(); ++r) {
        for (uint8_t m : sc.raidSets[r].members) {
            if (m >= s.ideChannels)
                Bad("raidSets[" + std::to_string(r) + "]",
                    "member " + std::to_string(m) + " has no drive slot");
            if (!taken.insert(m).second)
                Bad("raidSets[" + std::to_string(r) + "]",
                    "drive " + std::to_string(m) + " is in two raid sets");
            if (m < sc.drives.size() && (sc.drives[m].raidNumber == kRaidHotSpare ||
                                         sc.drives[m].raidNumber == kRaidPassThrough))
                Bad("raidSets[" + std::to_string(r) + "]",
                    "drive " + std::to_string(m) + " is a hot spare or pass-through");
        }
    }
    std::set<std::array<uint8_t, 3>> addresses;
    for (size_t v = 0; v < sc.volumes.size(); ++v) {
        const SVolume& vol = sc.volumes[v];
        if (!vol.used)
            continue;
        std::string w = "volumeSets[" + std::to_string(v) + "]";
        if (vol.raidSet >= sc.raidSets.size() || !sc.raidSets[vol.raidSet].used)
            Bad(w, "raid set " + std::to_string(vol.raidSet) + " does not exist");
        if (!addresses.insert({vol.scsi[0], vol.scsi[1], vol.scsi[2]}).second)
            Bad(w, "SCSI channel/id/lun already used by another volume set");
    }
    const SHwMon& h = sc.hw;
    // The whole monitor reply must fit the 100 bytes a station reads.
    if (4 + 2 * h.fanRpm.size() + 4 * h.rails.size() + h.temps.size() + 2 > 94)
        Bad("hwmon", "too many items for one hardware monitor reply");
}

} // namespace

bool ParseScenario(const std::string& text, SScenario& sc, std::string& err) {
    try {
        json j = json::parse(text);
        Keys(j, "scenario",
             {"identify", "password", "system", "drives", "raidSets", "volumeSets", "hwmon",
              "events", "eventIndex", "webPages", "timing", "runtime"});
        Text(j, "identify", "scenario", sc.sys.identify, 2000);
        Text(j, "password", "scenario", sc.password, 15);
        if (j.contains("system"))
            ParseSystem(j.at("system"), sc.sys);
        if (j.contains("drives")) {
            const json& d = j.at("drives");
            if (!d.is_array())
                Bad("drives", "must be a list");
            std::vector<SDrive> drives;
            for (size_t i = 0; i < d.size(); ++i) {
                SDrive drive;
                if (i < sc.drives.size()) {
                    drive = sc.drives[i];
                } else {
                    drive.model = "VRN-GENERIC-DISK";
                    drive.serial = "VNG" + std::to_string(1000000 + i);
                    drive.firmware = "1.00";
                    drive.capacity = 312581808ULL;
                    drive.smart = DefaultSmart(static_cast<unsigned>(i));
                }
                drive.raidNumber = kRaidNone;
                if (d[i].is_null())
                    drive.present = false;
                else
                    ParseDrive(d[i], "drives[" + std::to_string(i) + "]", drive);
                drives.push_back(drive);
            }
            sc.drives = drives;
            if (!j.contains("raidSets")) {
                sc.raidSets.clear(); // the default raid set would name drives that changed
                if (!j.contains("volumeSets"))
                    sc.volumes.clear();
            }
        }
        if (j.contains("raidSets")) {
            ParseRaidSets(j.at("raidSets"), sc);
            if (!j.contains("volumeSets"))
                sc.volumes.clear();
        }
        if (j.contains("volumeSets"))
            ParseVolumes(j.at("volumeSets"), sc);
        if (j.contains("hwmon"))
            ParseHw(j.at("hwmon"), sc.hw);
        if (j.contains("events"))
            ParseEvents(j.at("events"), sc.events);
        Int(j, "eventIndex", "scenario", sc.eventIndex, 0, 63);
        if (j.contains("webPages"))
            ParsePages(j.at("webPages"), sc.pages);
        if (j.contains("timing")) {
            Keys(j.at("timing"), "timing", {"volumeInitSeconds", "volumeCheckSeconds"});
            Real(j.at("timing"), "volumeInitSeconds", "timing", sc.timing.volumeInitSeconds);
            Real(j.at("timing"), "volumeCheckSeconds", "timing", sc.timing.volumeCheckSeconds);
        }
        Check(sc);
        return true;
    } catch (const SBad& b) {
        err = b.what;
    } catch (const json::exception& e) {
        err = e.what();
    }
    return false;
}

bool LoadScenarioFile(const std::string& path, SScenario& sc, std::string& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot read the file";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), sc, err);
}

} // namespace vrnsim
