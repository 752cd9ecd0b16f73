#pragma once
// The test plan: which agents a run tests, which tests it runs, and the volume sets it
// creates on every agent's new raid set. The Disk Checking Dialog and vrndiskcheck fill it
// alike, through the same checks.

#include "DiskCheckSession.h"

#include "Vrnlib.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

inline constexpr int SELF_TEST_SHORT = 1;
inline constexpr int SELF_TEST_EXTENDED = 2;
inline constexpr int MAX_VOLUME_DEFINITIONS = 5;
inline constexpr int VOLUME_NAME_BYTES = 16;

// One agent of a run: its dotted address (which also names its page) and its controller.
struct STestAgent {
    std::string ip;
    std::shared_ptr<IDiskCheckSession> session;
};

// The volume information dialog's choices, each the index of the chosen list entry (which is
// the controller's code).
struct SVolumeChoice {
    std::string name; // at most VOLUME_NAME_BYTES bytes; empty is allowed
    double capacity = 0;
    int raidLevel = 3; // RAID0, RAID1(0+1), RAID3, RAID5, RAID6
    int initMode = 1;  // 0 background, 1 foreground
    int stripe = 4;    // 4, 8, 16, 32, 64, 128 KBytes
    int cache = 1;     // 0 write through, 1 write back
    int tag = 1;       // 0 disabled, 1 enabled
    int speed = 4;     // async, 20, 40, 80, 160 MB/s
    int channel = 0;   // 0..1
    int id = 0;        // 0..15
    int lun = 0;       // 0..7
};

// Number of entries of each choice list, for range checks.
inline constexpr int VOLUME_LEVELS = 5;
inline constexpr int VOLUME_STRIPES = 6;
inline constexpr int VOLUME_SPEEDS = 5;
inline constexpr int VOLUME_CHANNELS = 2;
inline constexpr int VOLUME_IDS = 16;
inline constexpr int VOLUME_LUNS = 8;

enum class EVolumeCheck {
    Ok,
    InvalidCapacity,  // "Invalid Capacity"
    DuplicateAddress, // "Duplicate SCSI CH/ID/LUN "
};

// The first capacity (decimal gigabytes) a volume definition may not have: 2^32 sectors of
// 512 bytes are 2199.023 GB, and the request carries its sector count in 32 bits, so from
// there on a volume of the wrong size would be made without a word.
inline constexpr double MAX_VOLUME_CAPACITY_GB = 2199.02;

// Whether a capacity in decimal gigabytes can be created as asked: at least 0.1 and below
// MAX_VOLUME_CAPACITY_GB ("Invalid Capacity" otherwise).
bool VolumeCapacityValid(double capacity);

class CTestPlan {
public:
    std::vector<STestAgent> agents; // in the order of the dialog's agent list
    int OfflineCollection = 0;
    int SelfTest = 0;
    int SelfTestType = SELF_TEST_SHORT;
    int Percentage = 0; // 0: no read/write test
    // A definition whose capacity is 0 is an empty slot.
    std::array<_VOLUMESET_CAP, MAX_VOLUME_DEFINITIONS> volumes{};

    bool SlotUsed(int slot) const;
    // Rows of the volume list (0..5) and the count of additions since the plan was made,
    // which numbers the default names and never goes down.
    int VolumeCount() const { return m_VolumeCount; }
    int RunningNumber() const { return m_RunningNumber; }
    // "Volume Set # %02d" of the running number.
    std::string DefaultVolumeName() const;

    // The dialog's OK checks, in their order.
    EVolumeCheck CheckVolume(const SVolumeChoice& choice) const;
    // Stores the definition in the first empty slot and counts it; the slot, or -1 when
    // all are taken ("Too many volume"). The caller has checked it.
    int AddVolume(const SVolumeChoice& choice);
    // Empties a slot in use; false for an empty or unknown slot.
    bool DeleteVolume(int slot);

private:
    int m_VolumeCount = 0;
    int m_RunningNumber = 0;
};

// The definition the controller gets for a choice: raid set 0 (the creation step puts the
// new raid set's number in), the name blank-padded to 16 bytes without a terminator.
_VOLUMESET_CAP MakeVolumeDefinition(const SVolumeChoice& choice);

// The volume list's nine column texts for a definition, in the interface language.
std::array<std::string, 9> VolumeRowTexts(const _VOLUMESET_CAP& def);
