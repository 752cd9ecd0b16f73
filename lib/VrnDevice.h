// A serial device given as a path (a symbolic link such as the simulator's --link, or
// /dev/... itself) and the name below /dev that the library opens it by. Header-only.
#pragma once

#include <climits>
#include <cstdlib>
#include <string>

#include "Vrnlib.h"

enum class EVrnDevice {
    Ok,
    Unresolved,  // the path does not lead anywhere (errno says why)
    NotBelowDev, // it leads somewhere outside /dev, or to /dev itself
    TooLong,     // its name below /dev does not fit the session's device path
};

// Follows every link of path; *name receives the name below /dev (also when it is too long)
// and *resolved the path it led to.
inline EVrnDevice VrnDeviceName(const std::string& path, std::string* name, std::string* resolved) {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr)
        return EVrnDevice::Unresolved;
    *resolved = real;
    const std::string dev = "/dev/";
    if (resolved->compare(0, dev.size(), dev) != 0 || resolved->size() == dev.size())
        return EVrnDevice::NotBelowDev;
    *name = resolved->substr(dev.size());
    return name->size() > static_cast<size_t>(VRN_DEVICE_NAME_MAX) ? EVrnDevice::TooLong
                                                                   : EVrnDevice::Ok;
}
