// The texts of the controller's event categories and types, indexed by evtCategory and
// evtType of sEVET_DATA. Every program that shows events shares them; the library itself
// does not use them. Texts and their blank padding are the controller's own.
#pragma once

inline constexpr int EVENT_CATEGORIES = 6;
inline constexpr const char* eventCat[EVENT_CATEGORIES] = {
    "NO_EVENT", "RAIDSET", "VOLUMESET", "DEVICE", "HOST", "H/W MONITOR",
};

inline constexpr const char* htmRaidEvent[5] = {
    "Create RaidSet", "Delete RaidSet", "Expand RaidSet", "Rebuild RaidSet", "RaidSet Degraded",
};

inline constexpr const char* htmVolEvent[14] = {
    "Start Initialize", "Start Rebuilding",      "Start Migrating",  "Start Checking",
    "Complete Init",    "Complete Rebuild",      "Complete Migrate", "Complete Check",
    "Create Volume",    "Delete Volume",         "Modify Volume",    "Volume Degraded",
    "Volume Failed",    "Failed Volume Revived",
};

inline constexpr const char* htmDevEvent[10] = {
    "Device Inserted", "Device Removed", "Reading Error", "Writing Error",    "ATA Ecc Error",
    "Change ATA Mode", "Time Out Error", "Device Failed", "PCI Parity Error", "Dev Fail (SMART)",
};

inline constexpr const char* htmScsiHostEvent[3] = {
    "SCSI Bus Reset",
    "SCSI Bus Parity",
    "SCSI Bus SE<>LVD",
};

// The IDE host's third text is the SCSI one, as the controller names it.
inline constexpr const char* htmIdeHostEvent[3] = {
    "IDE Bus Reset",
    "IDE Bus UDMA CRC",
    "SCSI Bus SE<>LVD",
};

// Alarms first, then their recoveries: alarm k (2 to 19) recovers as row k + 18. The power
// and fan alarms are blank-padded to 16 characters; their recoveries are not.
inline constexpr const char* htmHwMonEvent[39] = {
    "DRAM 1-Bit ECC",
    "DRAM Fatal Error",
    "Controller Over Temperature",
    "Backplane Over Temperature",
    "1.5V Abnormal",
    "3.3V Abnormal",
    "5V Abnormal",
    "12V Abnormal",
    "1.3V Abnormal",
    "2.5V Abnormal",
    "1.25V Abnormal",
    "Power#1 Failed  ",
    "Fan#1 Failed    ",
    "Power#2 Failed  ",
    "Fan#2 Failed    ",
    "Power#3 Failed  ",
    "Fan#3 Failed    ",
    "Power#4 Failed  ",
    "Fan#4 Failed    ",
    "UPS ACPower Loss",
    "Controller Over Temperature Recovered",
    "Backplane Over Temperature Recovered",
    "1.5V Abnormal Recovered",
    "3.3V Abnormal Recovered",
    "5V Abnormal Recovered",
    "12V Abnormal Recovered",
    "1.3V Abnormal Recovered",
    "2.5V Abnormal Recovered",
    "1.25V Abnormal Recovered",
    "Power#1 Failed Recovered",
    "Fan#1 Failed Recovered",
    "Power#2 Failed Recovered",
    "Fan#2 Failed Recovered",
    "Power#3 Failed Recovered",
    "Fan#3 Failed Recovered",
    "Power#4 Failed Recovered",
    "Fan#4 Failed Recovered",
    "UPS ACPower Loss Recovered",
    "Raid Powered On",
};
