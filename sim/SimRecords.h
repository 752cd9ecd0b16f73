// Reply records as the controller lays them out on the wire (little-endian, packed).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrnsim {

#pragma pack(push, 1)

struct sCOM_ATTR {
    uint8_t comBaudRate;
    uint8_t comDataBits;
    uint8_t comStopBits;
    uint8_t comParity;
    uint8_t comFlowControl;
};
static_assert(sizeof(sCOM_ATTR) == 5);

struct sSCSI_ATTR {
    uint8_t scsiChannel;
    uint8_t scsiId;
    uint8_t scsiLun;
    uint8_t scsiTaggedQueuing;
    uint8_t scsiCacheMode;
    uint8_t scsiSpeed;
};
static_assert(sizeof(sSCSI_ATTR) == 6);

struct sSYSTEM_INFO {
    char gsiVendorName[40];
    char gsiSerialNumber[16];
    char gsiFirmVersion[16];
    char gsiBootVersion[16];
    char gsiMbVersion[16];
    char gsiModelName[8];
    uint8_t gsiLocalIp[4];
    uint8_t gsiCurrentIp[4];
    uint32_t gsiTimeTick;
    uint32_t gsiCpuSpeed;
    uint32_t gsiICache;
    uint32_t gsiDCache;
    uint32_t gsiScache;
    uint32_t gsiMemorySize;
    uint32_t gsiMemorySpeed;
    uint32_t gsiEvents;
    uint8_t gsiMacAddress[6];
    uint8_t gsiDhcp;
    uint8_t gsiBeeper;
    uint8_t gsiChannelUsage;
    uint8_t gsiMaxAtaMode;
    uint8_t gsiSdramEcc;
    uint8_t gsiRebuildPriority;
    sCOM_ATTR gsiComA;
    sCOM_ATTR gsiComB;
    uint8_t gsiIdeChannels;
    uint8_t gsiScsiHostChannels;
    uint8_t gsiIdeHostChannels;
    uint8_t gsiMaxVolumeSet;
    uint8_t gsiMaxRaidSet;
    uint8_t gsiEtherPort;
    uint8_t gsiRaid6Engine;
    uint8_t gsiRes[75];
};
static_assert(sizeof(sSYSTEM_INFO) == 256);
static_assert(offsetof(sSYSTEM_INFO, gsiModelName) == 104);
static_assert(offsetof(sSYSTEM_INFO, gsiEvents) == 148);
static_assert(offsetof(sSYSTEM_INFO, gsiComA) == 164);
static_assert(offsetof(sSYSTEM_INFO, gsiIdeChannels) == 174);
static_assert(offsetof(sSYSTEM_INFO, gsiRaid6Engine) == 180);

struct sGUI_RAIDSET {
    char grsRaidSetName[16];
    uint32_t grsCapacity;
    uint32_t grsCapacityX;
    uint32_t grsFailMask;
    uint8_t grsDevArray[32];
    uint8_t grsMemberDevices;
    uint8_t grsNewMemberDevices;
    uint8_t grsRaidState;
    uint8_t grsVolumes;
    uint8_t grsVolumeList[16];
    uint8_t grsRes1;
    uint8_t grsRes2;
    uint8_t grsRes3;
    uint8_t grsFreeSegments;
    uint32_t grsRawStripes[8];
    uint32_t grsRes4;
    uint32_t grsRes5;
    uint32_t grsRes6;
};
static_assert(sizeof(sGUI_RAIDSET) == 128);
static_assert(offsetof(sGUI_RAIDSET, grsMemberDevices) == 60);
static_assert(offsetof(sGUI_RAIDSET, grsVolumeList) == 64);
static_assert(offsetof(sGUI_RAIDSET, grsRawStripes) == 84);

struct sGUI_VOLUMESET {
    char gvsVolumeName[16];
    uint32_t gvsCapacity;
    uint32_t gvsCapacityX;
    uint32_t gvsFailMask;
    uint32_t gvsStripeSize;
    uint32_t gvsNewFailMask;
    uint32_t gvsNewStripeSize;
    uint32_t gvsVolumeStatus;
    uint32_t gvsProgress;
    sSCSI_ATTR gvsScsi;
    uint8_t gvsMemberDisks;
    uint8_t gvsRaidLevel;
    uint8_t gvsNewMemberDisks;
    uint8_t gvsNewRaidLevel;
    uint8_t gvsRaidSetNumber;
    uint8_t gvsRes0;
    uint32_t gvsRes1;
};
static_assert(sizeof(sGUI_VOLUMESET) == 64);
static_assert(offsetof(sGUI_VOLUMESET, gvsVolumeStatus) == 40);
static_assert(offsetof(sGUI_VOLUMESET, gvsScsi) == 48);
static_assert(offsetof(sGUI_VOLUMESET, gvsRaidSetNumber) == 58);

struct sGUI_PHY_DRV {
    char gpdModelName[40];
    char gpdSerialNumber[20];
    char gpdFirmRev[8];
    uint32_t gpdCapacity;
    uint32_t gpdCapacityX;
    uint8_t gpdDeviceState;
    uint8_t gpdPioMode;
    uint8_t gpdCurrentUdmaMode;
    uint8_t gpdUdmaMode;
    uint8_t gpdDriveSelect;
    uint8_t gpdRaidNumber;
    sSCSI_ATTR gpdScsi;
    uint8_t gpdReserved[40];
};
static_assert(sizeof(sGUI_PHY_DRV) == 128);
static_assert(offsetof(sGUI_PHY_DRV, gpdCapacity) == 68);
static_assert(offsetof(sGUI_PHY_DRV, gpdRaidNumber) == 81);

struct sEVET_DATA {
    uint8_t evtCategory;
    uint8_t evtType;
    uint8_t evtChannel;
    uint8_t evtFlag;
    int32_t evtTime;
    uint32_t evtData1;
    uint32_t evtData2;
    char evtStr[16];
};
static_assert(sizeof(sEVET_DATA) == 32);
static_assert(offsetof(sEVET_DATA, evtStr) == 16);

#pragma pack(pop)

} // namespace vrnsim
