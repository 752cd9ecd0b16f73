// What the controller's records mean beyond their bytes, for every program that shows them:
// the status bits, the progress of a background task, 64-bit capacities and the fixed-width
// text fields. Header-only; nothing here talks to a controller.
#pragma once

#include <cstddef>
#include <string>

#include "VrnRecords.h"

// Volume set status bits (gvsVolumeStatus).
inline constexpr unsigned int VRN_VOLUME_INITIALISING = 0x01;
inline constexpr unsigned int VRN_VOLUME_FAILED = 0x02;
// Drive state bit (gpdDeviceState) of a failed drive.
inline constexpr unsigned char VRN_DRIVE_FAILED = 0x10;

// Progress values from this one on mean the task is done.
inline constexpr unsigned int VRN_PROGRESS_DONE = 4096;

inline bool VrnVolumeInitialising(const sGUI_VOLUMESET& v) {
    return (v.gvsVolumeStatus & VRN_VOLUME_INITIALISING) != 0;
}

inline bool VrnVolumeFailed(const sGUI_VOLUMESET& v) {
    return (v.gvsVolumeStatus & VRN_VOLUME_FAILED) != 0;
}

// A volume set that lost members but still serves.
inline bool VrnVolumeDegraded(const sGUI_VOLUMESET& v) {
    return v.gvsFailMask != 0 && !VrnVolumeFailed(v);
}

inline bool VrnDriveFailed(const sGUI_PHY_DRV& d) {
    return (d.gpdDeviceState & VRN_DRIVE_FAILED) != 0;
}

// gvsProgress counts tenths of a percent.
inline double VrnProgressPercent(unsigned int progress) {
    return progress >= VRN_PROGRESS_DONE ? 100.0 : progress / 10.0;
}

// A capacity in 512-byte sectors from its low word and its extension (the high word).
inline unsigned long long VrnSectors(unsigned int capacity, unsigned int extension) {
    return (static_cast<unsigned long long>(extension) << 32) | capacity;
}

// Decimal gigabytes of a sector count.
inline double VrnGigabytes(unsigned long long sectors) {
    return static_cast<double>(sectors) * 512.0 / 1e9;
}

// A fixed-width text field as the controller filled it: up to its first zero (a full field
// has none), trailing blanks dropped, anything unprintable shown as '?'.
inline std::string VrnFieldText(const char* field, size_t width) {
    std::string s;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        s += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The same for a field of a record, its width taken from its declaration.
template <size_t N> std::string VrnFieldText(const char (&field)[N]) {
    return VrnFieldText(field, N);
}
