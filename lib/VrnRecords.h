// Fixed-layout controller records that cross the library boundary.
// The bytes of each record are the controller's reply payload as sent: little-endian,
// every offset fixed, text fields padded and not terminated when full.
#pragma once

#include <cstddef>

#pragma pack(push, 1)

// Attributes of one controller terminal port. The same five codes describe the host's own
// serial line in VrnInitSession(sCOM_ATTR*):
//   comBaudRate    0 = 1200, 1 = 2400, 2 = 4800, 3 = 9600, 4 = 19200, 5 = 38400,
//                  6 = 57600, 7 = 115200
//   comDataBits    0 = 7 data bits, 1 = 8 data bits
//   comStopBits    0 = one stop bit, 1 = two stop bits
//   comParity      0 = none, 1 = odd, 2 = even
//   comFlowControl 0 = none, 1 = XON/XOFF, 2 = RTS/CTS
struct sCOM_ATTR {
    unsigned char comBaudRate;
    unsigned char comDataBits;
    unsigned char comStopBits;
    unsigned char comParity;
    unsigned char comFlowControl;
};
static_assert(sizeof(sCOM_ATTR) == 5);
static_assert(offsetof(sCOM_ATTR, comFlowControl) == 4);

// Reply of the system information command (0x23).
struct sSYSTEM_INFO {
    char gsiVendorName[40];
    char gsiSerialNumber[16];
    char gsiFirmVersion[16];
    char gsiBootVersion[16];
    char gsiMbVersion[16];
    char gsiModelName[8];
    unsigned char gsiLocalIp[4];   // address order
    unsigned char gsiCurrentIp[4]; // address order
    unsigned int gsiTimeTick;
    unsigned int gsiCpuSpeed;
    unsigned int gsiICache;
    unsigned int gsiDCache;
    unsigned int gsiScache;
    unsigned int gsiMemorySize;
    unsigned int gsiMemorySpeed;
    unsigned int gsiEvents;
    unsigned char gsiMacAddress[6];
    unsigned char gsiDhcp;
    unsigned char gsiBeeper;
    unsigned char gsiChannelUsage;
    unsigned char gsiMaxAtaMode;
    unsigned char gsiSdramEcc;
    unsigned char gsiRebuildPriority;
    sCOM_ATTR gsiComA;
    sCOM_ATTR gsiComB;
    unsigned char gsiIdeChannels;
    unsigned char gsiScsiHostChannels;
    unsigned char gsiIdeHostChannels;
    unsigned char gsiMaxVolumeSet;
    unsigned char gsiMaxRaidSet;
    unsigned char gsiEtherPort;
    unsigned char gsiRaid6Engine;
    unsigned char gsiRes[75];
};
static_assert(sizeof(sSYSTEM_INFO) == 256);
static_assert(offsetof(sSYSTEM_INFO, gsiSerialNumber) == 40);
static_assert(offsetof(sSYSTEM_INFO, gsiFirmVersion) == 56);
static_assert(offsetof(sSYSTEM_INFO, gsiBootVersion) == 72);
static_assert(offsetof(sSYSTEM_INFO, gsiMbVersion) == 88);
static_assert(offsetof(sSYSTEM_INFO, gsiModelName) == 104);
static_assert(offsetof(sSYSTEM_INFO, gsiLocalIp) == 112);
static_assert(offsetof(sSYSTEM_INFO, gsiCurrentIp) == 116);
static_assert(offsetof(sSYSTEM_INFO, gsiTimeTick) == 120);
static_assert(offsetof(sSYSTEM_INFO, gsiMemorySize) == 140);
static_assert(offsetof(sSYSTEM_INFO, gsiEvents) == 148);
static_assert(offsetof(sSYSTEM_INFO, gsiMacAddress) == 152);
static_assert(offsetof(sSYSTEM_INFO, gsiDhcp) == 158);
static_assert(offsetof(sSYSTEM_INFO, gsiRebuildPriority) == 163);
static_assert(offsetof(sSYSTEM_INFO, gsiComA) == 164);
static_assert(offsetof(sSYSTEM_INFO, gsiComB) == 169);
static_assert(offsetof(sSYSTEM_INFO, gsiIdeChannels) == 174);
static_assert(offsetof(sSYSTEM_INFO, gsiMaxVolumeSet) == 177);
static_assert(offsetof(sSYSTEM_INFO, gsiRaid6Engine) == 180);
static_assert(offsetof(sSYSTEM_INFO, gsiRes) == 181);

// How a volume set or pass-through disk is presented on the host bus.
struct sSCSI_ATTR {
    unsigned char scsiChannel;
    unsigned char scsiId;
    unsigned char scsiLun;
    unsigned char scsiTaggedQueuing;
    unsigned char scsiCacheMode;
    unsigned char scsiSpeed;
};
static_assert(sizeof(sSCSI_ATTR) == 6);
static_assert(offsetof(sSCSI_ATTR, scsiSpeed) == 5);

// Reply of the raid set query (0x20).
struct sGUI_RAIDSET {
    char grsRaidSetName[16];
    unsigned int grsCapacity;
    unsigned int grsCapacityX;
    unsigned int grsFailMask;
    unsigned char grsDevArray[32];
    unsigned char grsMemberDevices;
    unsigned char grsNewMemberDevices;
    unsigned char grsRaidState;
    unsigned char grsVolumes;
    unsigned char grsVolumeList[16];
    unsigned char grsRes1;
    unsigned char grsRes2;
    unsigned char grsRes3;
    unsigned char grsFreeSegments;
    unsigned int grsRawStripes[8];
    unsigned int grsRes4;
    unsigned int grsRes5;
    unsigned int grsRes6;
};
static_assert(sizeof(sGUI_RAIDSET) == 128);
static_assert(offsetof(sGUI_RAIDSET, grsCapacity) == 16);
static_assert(offsetof(sGUI_RAIDSET, grsFailMask) == 24);
static_assert(offsetof(sGUI_RAIDSET, grsDevArray) == 28);
static_assert(offsetof(sGUI_RAIDSET, grsMemberDevices) == 60);
static_assert(offsetof(sGUI_RAIDSET, grsRaidState) == 62);
static_assert(offsetof(sGUI_RAIDSET, grsVolumeList) == 64);
static_assert(offsetof(sGUI_RAIDSET, grsFreeSegments) == 83);
static_assert(offsetof(sGUI_RAIDSET, grsRawStripes) == 84);
static_assert(offsetof(sGUI_RAIDSET, grsRes6) == 124);

// Reply of the volume set query (0x21).
struct sGUI_VOLUMESET {
    char gvsVolumeName[16];
    unsigned int gvsCapacity;
    unsigned int gvsCapacityX;
    unsigned int gvsFailMask;
    unsigned int gvsStripeSize;
    unsigned int gvsNewFailMask;
    unsigned int gvsNewStripeSize;
    unsigned int gvsVolumeStatus; // bit 0 set while the volume initialises
    unsigned int gvsProgress;     // tenths of a percent
    sSCSI_ATTR gvsScsi;
    unsigned char gvsMemberDisks;
    unsigned char gvsRaidLevel;
    unsigned char gvsNewMemberDisks;
    unsigned char gvsNewRaidLevel;
    unsigned char gvsRaidSetNumber;
    unsigned char gvsRes0;
    unsigned int gvsRes1;
};
static_assert(sizeof(sGUI_VOLUMESET) == 64);
static_assert(offsetof(sGUI_VOLUMESET, gvsCapacity) == 16);
static_assert(offsetof(sGUI_VOLUMESET, gvsStripeSize) == 28);
static_assert(offsetof(sGUI_VOLUMESET, gvsVolumeStatus) == 40);
static_assert(offsetof(sGUI_VOLUMESET, gvsProgress) == 44);
static_assert(offsetof(sGUI_VOLUMESET, gvsScsi) == 48);
static_assert(offsetof(sGUI_VOLUMESET, gvsMemberDisks) == 54);
static_assert(offsetof(sGUI_VOLUMESET, gvsRaidSetNumber) == 58);
static_assert(offsetof(sGUI_VOLUMESET, gvsRes1) == 60);

// Reply of the physical drive query (0x22).
struct sGUI_PHY_DRV {
    char gpdModelName[40];
    char gpdSerialNumber[20];
    char gpdFirmRev[8];
    unsigned int gpdCapacity; // 512-byte sectors, 0 for an empty slot
    unsigned int gpdCapacityX;
    unsigned char gpdDeviceState;
    unsigned char gpdPioMode;
    unsigned char gpdCurrentUdmaMode;
    unsigned char gpdUdmaMode;
    unsigned char gpdDriveSelect;
    unsigned char gpdRaidNumber;
    sSCSI_ATTR gpdScsi;
    unsigned char gpdReserved[40];
};
static_assert(sizeof(sGUI_PHY_DRV) == 128);
static_assert(offsetof(sGUI_PHY_DRV, gpdSerialNumber) == 40);
static_assert(offsetof(sGUI_PHY_DRV, gpdFirmRev) == 60);
static_assert(offsetof(sGUI_PHY_DRV, gpdCapacity) == 68);
static_assert(offsetof(sGUI_PHY_DRV, gpdDeviceState) == 76);
static_assert(offsetof(sGUI_PHY_DRV, gpdRaidNumber) == 81);
static_assert(offsetof(sGUI_PHY_DRV, gpdScsi) == 82);
static_assert(offsetof(sGUI_PHY_DRV, gpdReserved) == 88);

// Hardware monitor item kinds (VrnGetHWMon).
inline constexpr unsigned long HWMON_FAN_INFO = 1;
inline constexpr unsigned long HWMON_VOL_INFO = 2;
inline constexpr unsigned long HWMON_TMP_INFO = 3;
inline constexpr unsigned long HWMON_PWR_INFO = 4;
inline constexpr unsigned long HWMON_UPS_INFO = 5;
inline constexpr int HWMON_MAX_ITEMS = 50;

// The hardware monitor items of one kind, decoded from the reply.
struct _HWMON_INFO {
    unsigned short HwItemCount;
    unsigned short ItemInfo[HWMON_MAX_ITEMS];
};
static_assert(sizeof(_HWMON_INFO) == 102);
static_assert(offsetof(_HWMON_INFO, ItemInfo) == 2);

// The whole hardware monitor reply of the controller family with five drive channels.
struct _HWMON_5010 {
    unsigned char fans;
    unsigned char voltages;
    unsigned char temps;
    unsigned char powers;
    unsigned short monFan;   // RPM
    unsigned short fixed12V; // millivolts, as every rail below
    unsigned short mon12V;
    unsigned short fixed5V;
    unsigned short mon5V;
    unsigned short fixed3_3V;
    unsigned short mon3_3V;
    unsigned short fixed1_5V;
    unsigned short mon1_5V;
    unsigned char monCtrlTemp;
    unsigned char monBkPlaneTemp;
    unsigned short reserved;
};
static_assert(sizeof(_HWMON_5010) == 26);
static_assert(offsetof(_HWMON_5010, monFan) == 4);
static_assert(offsetof(_HWMON_5010, mon1_5V) == 20);
static_assert(offsetof(_HWMON_5010, monCtrlTemp) == 22);
static_assert(offsetof(_HWMON_5010, reserved) == 24);

// An event's packed time stamp: a calendar view and a tick view of the same 32 bits, the
// first field in the least significant bits. Which view applies, the year's epoch and the
// tick unit are the firmware's; the library passes the word through.
union sSYS_TIME {
    struct {
        unsigned int tmSecond : 6;
        unsigned int tmMinute : 6;
        unsigned int tmHour : 5;
        unsigned int tmDate : 5;
        unsigned int tmYear : 5;
        unsigned int tmMonth : 4;
        unsigned int tmFlag : 1;
    } u;
    struct {
        unsigned int tmTick : 31;
        unsigned int tmFlag : 1;
    } x;
};
static_assert(sizeof(sSYS_TIME) == 4);

// One event as the controller stores it; an event page holds 16.
struct sEVET_DATA {
    unsigned char evtCategory; // index into eventCat
    unsigned char evtType;     // index into the category's type table
    unsigned char evtChannel;
    unsigned char evtFlag;
    int evtTime; // laid out as sSYS_TIME
    unsigned int evtData1;
    unsigned int evtData2;
    char evtStr[16];
};
static_assert(sizeof(sEVET_DATA) == 32);
static_assert(offsetof(sEVET_DATA, evtTime) == 4);
static_assert(offsetof(sEVET_DATA, evtData1) == 8);
static_assert(offsetof(sEVET_DATA, evtData2) == 12);
static_assert(offsetof(sEVET_DATA, evtStr) == 16);

// Creation parameters of a volume set (VrnCreateVolSet), filled by the caller.
struct _VOLUMESET_CAP {
    unsigned int structs_size; // must be sizeof(_VOLUMESET_CAP), 44
    unsigned char raid;
    char volname[16]; // sent as 16 bytes, no terminator needed
    unsigned char align1[3];
    double capacity; // decimal gigabytes (10^9 bytes)
    unsigned char raidlevel;
    unsigned char stripsize;
    unsigned char channel;
    unsigned char id;
    unsigned char lun;
    signed char tag;
    signed char cache;
    unsigned char speed;
    unsigned char quickinit;
    unsigned char align2[3];
};
static_assert(sizeof(_VOLUMESET_CAP) == 44);
static_assert(offsetof(_VOLUMESET_CAP, raid) == 4);
static_assert(offsetof(_VOLUMESET_CAP, volname) == 5);
static_assert(offsetof(_VOLUMESET_CAP, capacity) == 24);
static_assert(offsetof(_VOLUMESET_CAP, raidlevel) == 32);
static_assert(offsetof(_VOLUMESET_CAP, tag) == 37);
static_assert(offsetof(_VOLUMESET_CAP, quickinit) == 40);

// Creation parameters of a pass-through disk, filled by the caller.
struct _PASS_DISK_CAP {
    unsigned int structs_size; // must be sizeof(_PASS_DISK_CAP), 12
    unsigned char nDevNum;
    unsigned char nScsiCh;
    unsigned char nScsiId;
    unsigned char nScsiLun;
    unsigned char nTaggedQue;
    unsigned char nCache;
    unsigned char nMaxSpeed;
    unsigned char align1;
};
static_assert(sizeof(_PASS_DISK_CAP) == 12);
static_assert(offsetof(_PASS_DISK_CAP, nDevNum) == 4);
static_assert(offsetof(_PASS_DISK_CAP, nMaxSpeed) == 10);

#pragma pack(pop)
