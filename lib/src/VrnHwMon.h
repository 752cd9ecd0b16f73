// Decoding the hardware monitor reply. The payload carries its own counts (fans F, rails V,
// sensors T, supplies P) and the areas they size; a damaged or inconsistent reply may claim
// more than it carries, so every item is taken only when its bytes are all present, and never
// more items than the record holds.
#pragma once

#include <cstring>

#include "Vrnlib.h"

namespace vrn {

inline constexpr int HWMON_HEADER = 4;   // F, V, T, P
inline constexpr int HWMON_MAX_FANS = 2; // the fan items a caller is given

// Fills info (zeroed here) with the items of one kind from payload[0 .. len).
// False for a kind outside 1..5.
inline bool DecodeHwMon(unsigned long kind, const unsigned char* payload, int len,
                        _HWMON_INFO* info) {
    std::memset(info, 0, sizeof *info);
    if (kind < HWMON_FAN_INFO || kind > HWMON_UPS_INFO)
        return false;
    if (payload == nullptr || len < HWMON_HEADER)
        return true;
    const int fans = payload[0], rails = payload[1], temps = payload[2], supplies = payload[3];
    const int fanArea = HWMON_HEADER;
    const int railArea = fanArea + 2 * fans;
    const int tempArea = railArea + 4 * rails;
    const int powerAt = tempArea + temps;
    const int upsAt = powerAt + 1;

    // Items of width bytes starting at area, as many as wanted, fully inside the payload.
    auto fit = [&](int area, int wanted, int width) {
        const int room = len > area ? (len - area) / width : 0;
        int n = wanted < room ? wanted : room;
        return n < HWMON_MAX_ITEMS ? n : HWMON_MAX_ITEMS;
    };
    auto word = [&](int at) {
        return static_cast<unsigned short>(payload[at] | (payload[at + 1] << 8));
    };
    int count = 0;
    switch (kind) {
    case HWMON_FAN_INFO:
        count = fit(fanArea, fans < HWMON_MAX_FANS ? fans : HWMON_MAX_FANS, 2);
        for (int i = 0; i < count; ++i)
            info->ItemInfo[i] = word(fanArea + 2 * i);
        break;
    case HWMON_VOL_INFO:
        // Nominal and measured value of each rail, in that order.
        count = fit(railArea, 2 * rails, 2);
        for (int i = 0; i < count; ++i)
            info->ItemInfo[i] = word(railArea + 2 * i);
        break;
    case HWMON_TMP_INFO:
        count = fit(tempArea, temps, 1);
        for (int i = 0; i < count; ++i)
            info->ItemInfo[i] = payload[tempArea + i];
        break;
    case HWMON_PWR_INFO:
        if (powerAt < len) {
            // A supply's bit value when it is good, 0 when it failed; the state byte has
            // bits for eight supplies only.
            count = supplies < HWMON_MAX_ITEMS ? supplies : HWMON_MAX_ITEMS;
            for (int i = 0; i < count; ++i)
                info->ItemInfo[i] =
                    i < 8 ? static_cast<unsigned short>(payload[powerAt] & (1u << i)) : 0;
        }
        break;
    case HWMON_UPS_INFO:
        if (upsAt < len) {
            count = 1;
            info->ItemInfo[0] = payload[upsAt];
        }
        break;
    }
    info->HwItemCount = static_cast<unsigned short>(count);
    return true;
}

} // namespace vrn
