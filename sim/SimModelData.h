// The controller's state, as plain data. Scenario files fill it, the model changes it,
// the control channel's `state` command prints it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vrnsim {

// gpdRaidNumber of drives that belong to no raid set; hot spares and pass-through disks
// carry their own markers so that a disk-checking station does not take them for free.
constexpr uint8_t kRaidNone = 0xFF;
constexpr uint8_t kRaidHotSpare = 0xFE;
constexpr uint8_t kRaidPassThrough = 0xFD;

// gpdDeviceState bits. 0x10 is the failed bit the monitoring utility watches.
constexpr uint8_t kDevMember = 0x01;
constexpr uint8_t kDevHotSpare = 0x02;
constexpr uint8_t kDevPassThrough = 0x04;
constexpr uint8_t kDevFree = 0x08;
constexpr uint8_t kDevFailed = 0x10;

// gvsVolumeStatus bits. Bit 0 (initialising) and bit 1 (failed) are read by the utility.
constexpr uint32_t kVolInitializing = 0x01;
constexpr uint32_t kVolFailed = 0x02;
constexpr uint32_t kVolChecking = 0x04;
constexpr uint32_t kVolDegraded = 0x08;

// grsRaidState values.
constexpr uint8_t kRaidNormal = 0;
constexpr uint8_t kRaidDegraded = 1;
constexpr uint8_t kRaidFailed = 2;
constexpr uint8_t kRaidIncomplete = 3;

// Event categories and the type numbers the model raises.
enum : uint8_t { kCatRaid = 1, kCatVolume = 2, kCatDevice = 3, kCatHost = 4, kCatHwMon = 5 };
enum : uint8_t { kRaidEvCreate = 0, kRaidEvDelete = 1, kRaidEvRebuild = 3, kRaidEvDegraded = 4 };
enum : uint8_t {
    kVolEvStartInit = 0,
    kVolEvStartRebuild = 1,
    kVolEvStartCheck = 3,
    kVolEvCompleteInit = 4,
    kVolEvCompleteRebuild = 5,
    kVolEvCompleteCheck = 7,
    kVolEvCreate = 8,
    kVolEvDelete = 9,
    kVolEvDegraded = 11,
    kVolEvFailed = 12,
    kVolEvRevived = 13
};
enum : uint8_t { kDevEvInserted = 0, kDevEvRemoved = 1, kDevEvFailed = 7 };
enum : uint8_t {
    kHwEvCtrlTemp = 2,
    kHwEvBackplaneTemp = 3,
    kHwEvPower1 = 11,
    kHwEvFan1 = 12,
    kHwEvUps = 19,
    kHwEvRecoveredOffset = 18,
    kHwEvPowerOn = 38
};

struct SSmartAttr {
    uint8_t id = 0;
    uint16_t flags = 0;
    uint8_t value = 100;
    uint8_t worst = 100;
    uint64_t raw = 0;
    uint8_t threshold = 0;
};

struct SSmart {
    bool enabled = true;
    std::vector<SSmartAttr> attrs;
    double offlineSeconds = 120; // unscaled duration of the off-line data collection
    double shortMinutes = 2;     // unscaled self-test durations
    double extendedMinutes = 60;
    uint8_t offlineResult = 0x02;  // collection status at the end (2 = completed)
    uint8_t selfTestResult = 0x00; // self-test status at the end (0 = passed)
    uint8_t selfTestCheckPoint = 0;
    // running state
    uint8_t offlineStatus = 0x00; // never started
    uint8_t selfTestStatus = 0x00;
    int64_t offlineEndMs = -1;
    int64_t selfTestStartMs = -1;
    int64_t selfTestEndMs = -1;
};

struct SRwTest {
    double seconds = 60;      // unscaled duration for 100 % of the surface
    uint32_t readRate = 5500; // units of 10 KBytes/sec
    uint32_t writeRate = 4800;
    uint32_t readErrors = 0;
    uint32_t writeErrors = 0;
    // running state: 0 never started, 5 running, 4 finished
    uint8_t state = 0;
    int64_t startMs = 0;
    int64_t endMs = 0;
};

struct SDrive {
    bool present = true;
    bool failed = false;
    std::string model;
    std::string serial;
    std::string firmware;
    uint64_t capacity = 0; // 512-byte sectors
    uint8_t pioMode = 4;
    uint8_t udmaMode = 5;
    uint8_t udmaBest = 6;
    uint8_t raidNumber = kRaidNone; // raid set number or one of the markers above
    std::array<uint8_t, 6> scsi{};  // pass-through presentation
    SSmart smart;
    SRwTest rw;
};

struct SRaidSet {
    bool used = false;
    std::string name;
    std::vector<uint8_t> members; // drive numbers
    bool incomplete = false;      // waiting to be activated
};

struct SVolume {
    bool used = false;
    std::string name;
    uint8_t raidSet = 0;
    uint64_t sectors = 0;
    uint8_t raidLevel = 3;         // 0 RAID0, 1 RAID1(0+1), 2 RAID3, 3 RAID5, 4 RAID6
    uint8_t stripe = 4;            // 0 = 4 KB ... 5 = 128 KB
    std::array<uint8_t, 6> scsi{}; // channel, id, lun, tag, cache, speed
    bool quickInit = true;
    bool failedByHand = false;  // `volume N fail` from the control channel
    uint32_t startProgress = 0; // scenario: progress of the task at start, tenths of a percent
    // background task: 0 none, 1 initialising, 2 checking
    int task = 0;
    int64_t taskStartMs = 0;
    int64_t taskEndMs = 0;
};

struct SRail {
    uint16_t nominal = 0; // millivolts
    uint16_t measured = 0;
};

struct SHwMon {
    std::vector<uint16_t> fanRpm{3150, 3080}; // nominal speeds
    std::vector<bool> fanStopped{false, false};
    std::vector<SRail> rails{{12000, 12096}, {5000, 5026}, {3300, 3312}, {1500, 1504}};
    std::vector<uint8_t> temps{41, 33}; // controller, backplane; Celsius
    std::vector<uint8_t> tempLimits{60, 55};
    std::vector<bool> powerGood{true, true};
    uint8_t ups = 0;
};

struct SEvent {
    uint8_t category = 0;
    uint8_t type = 0;
    uint8_t channel = 0;
    uint8_t flag = 0;
    int32_t time = 0;
    uint32_t data1 = 0;
    uint32_t data2 = 0;
    std::string text;
};

// Bodies never change once loaded, so copies of a scenario (one per agent of a fleet) share
// them instead of holding the same kilobytes a thousand times.
struct SWebPage {
    std::string contentType = "text/html";
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    int status = 200;
};

struct SSystem {
    std::string identify = "Varno RAID Subsystem";
    std::string vendor;
    std::string serial;
    std::string firmware;
    std::string boot;
    std::string mainboard;
    std::string model;
    std::array<uint8_t, 4> localIp{};
    std::array<uint8_t, 4> currentIp{};
    uint32_t cpuSpeed = 400;
    uint32_t iCache = 32;
    uint32_t dCache = 32;
    uint32_t sCache = 256;
    uint32_t memorySize = 256;
    uint32_t memorySpeed = 133;
    std::array<uint8_t, 6> mac{};
    uint8_t dhcp = 0;
    uint8_t beeper = 1;
    uint8_t channelUsage = 0; // host mode
    uint8_t maxAtaMode = 6;
    uint8_t sdramEcc = 1;
    uint8_t rebuildPriority = 2;
    std::array<uint8_t, 5> comA{7, 1, 0, 0, 0};
    std::array<uint8_t, 5> comB{7, 1, 0, 0, 0};
    uint8_t ideChannels = 8;
    uint8_t scsiHostChannels = 2;
    uint8_t ideHostChannels = 0;
    uint8_t maxVolumeSet = 16;
    uint8_t maxRaidSet = 8;
    uint8_t etherPort = 1;
    uint8_t raid6Engine = 1;
};

struct STiming {
    double volumeInitSeconds = 30; // foreground initialisation; background takes twice as long
    double volumeCheckSeconds = 40;
};

// Everything a scenario can set.
struct SScenario {
    SSystem sys;
    std::string password = "5172"; // the factory password the monitoring utility tries
    std::vector<SDrive> drives;
    std::vector<SRaidSet> raidSets; // index = raid set number
    std::vector<SVolume> volumes;   // index = volume set number
    SHwMon hw;
    std::vector<SEvent> events; // oldest first
    int eventIndex = -1;        // -1: number of events modulo 64
    std::map<std::string, SWebPage> pages;
    STiming timing;
};

SScenario DefaultScenario();
SSmart DefaultSmart(unsigned seed);

} // namespace vrnsim
