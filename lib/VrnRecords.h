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

#pragma pack(pop)
