// The built-in controller: what `vrnsim` plays when no scenario file is given.
#include "SimModelData.h"

#include <cstdio>

namespace vrnsim {

SSmart DefaultSmart(unsigned seed) {
    SSmart s;
    struct Row {
        uint8_t id;
        uint16_t flags;
        uint8_t value;
        uint8_t threshold;
        uint64_t raw;
    };
    const Row rows[] = {
        {1, 0x000B, 100, 16, 0},   {3, 0x0007, 108, 24, 210},
        {4, 0x0012, 100, 0, 412},  {5, 0x0033, 100, 5, 0},
        {7, 0x000B, 100, 67, 0},   {9, 0x0012, 98, 0, 9120u + seed * 37u},
        {10, 0x0013, 100, 60, 0},  {12, 0x0032, 100, 0, 390u + seed},
        {194, 0x0002, 150, 0, 36}, {197, 0x0022, 100, 0, 0},
        {198, 0x0008, 100, 0, 0},  {199, 0x000A, 200, 0, 0},
    };
    for (const Row& r : rows) {
        SSmartAttr a;
        a.id = r.id;
        a.flags = r.flags;
        a.value = r.value;
        a.worst = r.value;
        a.threshold = r.threshold;
        a.raw = r.raw;
        s.attrs.push_back(a);
    }
    return s;
}

static std::string BigPage() {
    // Larger than one reply frame can carry, so a client's cut-off can be exercised.
    std::string body = "<html><head><title>Event Log</title></head><body><pre>\n";
    for (int i = 0; body.size() < 16000; ++i) {
        char line[96];
        std::snprintf(line, sizeof line,
                      "%05d  2004/03/%02d %02d:%02d:%02d  H/W MONITOR  Raid Powered On\n", i,
                      1 + i % 28, i % 24, i % 60, (i * 7) % 60);
        body += line;
    }
    body += "</pre></body></html>\n";
    return body;
}

SScenario DefaultScenario() {
    SScenario sc;
    SSystem& s = sc.sys;
    s.identify = "Varno RAID Subsystem V1.1";
    s.vendor = "Varno Storage Systems";
    s.serial = "VRN2004A0001";
    s.firmware = "V1.31 2004-03-12";
    s.boot = "V1.05 2003-11-20";
    s.mainboard = "R0.2";
    s.model = "VRN-8SA";
    s.localIp = {192, 168, 1, 100};
    s.currentIp = {192, 168, 1, 100};
    s.mac = {0x00, 0x1B, 0x4D, 0x00, 0x27, 0x01};
    s.memorySize = 256;

    const char* models[2] = {"HDS722516VLSA80", "WD2500JD-00HBB0"};
    for (unsigned i = 0; i < 8; ++i) {
        SDrive d;
        bool small = i < 4;
        d.model = models[small ? 0 : 1];
        char serial[24];
        std::snprintf(serial, sizeof serial, "VNS%02u%07u", i, 4711000u + i * 13u);
        d.serial = serial;
        d.firmware = small ? "V34OA6EA" : "02.05D02";
        d.capacity = small ? 312581808ULL : 488397168ULL;
        d.smart = DefaultSmart(i);
        d.rw.readRate = 5500 + i * 30;
        d.rw.writeRate = 4800 + i * 20;
        sc.drives.push_back(d);
    }

    SRaidSet rs;
    rs.used = true;
    rs.name = "Raid Set # 00";
    rs.members = {0, 1, 2, 3};
    sc.raidSets.push_back(rs);
    for (uint8_t m : rs.members)
        sc.drives[m].raidNumber = 0;

    for (int v = 0; v < 2; ++v) {
        SVolume vol;
        vol.used = true;
        vol.name = v == 0 ? "Volume Set # 00" : "Volume Set # 01";
        vol.raidSet = 0;
        vol.sectors = v == 0 ? 390625000ULL : 195312500ULL;
        vol.raidLevel = 3;
        vol.stripe = 4;
        vol.scsi = {0, 0, static_cast<uint8_t>(v), 1, 1, 4};
        sc.volumes.push_back(vol);
    }

    sc.events = {
        {kCatHwMon, kHwEvPowerOn, 0, 0, 0, 0, 0, ""},
        {kCatRaid, kRaidEvCreate, 0, 0, 0, 0, 0, "Raid Set # 00"},
        {kCatVolume, kVolEvCreate, 0, 0, 0, 0, 0, "Volume Set # 00"},
        {kCatVolume, kVolEvCreate, 1, 0, 0, 0, 0, "Volume Set # 01"},
        {kCatHwMon, kHwEvPowerOn, 0, 0, 0, 0, 0, ""},
    };

    auto page = [](const std::string& body) { return std::make_shared<const std::string>(body); };
    sc.pages["/"] = {"text/html",
                     page("<html><head><title>Varno RAID Subsystem</title></head><body>"
                          "<h1>Varno RAID Subsystem</h1><ul>"
                          "<li><a href=\"/status.html\">Raid Set Hierarchy</a></li>"
                          "<li><a href=\"/eventlog.html\">Event Log</a></li></ul></body></html>\n"),
                     200};
    sc.pages["/status.html"] = {"text/html",
                                page("<html><body><h2>Raid Set Hierarchy</h2><p>Raid Set # 00: "
                                     "Volume Set # 00, Volume Set # 01</p></body></html>\n"),
                                200};
    sc.pages["/eventlog.html"] = {"text/html", page(BigPage()), 200};
    return sc;
}

} // namespace vrnsim
