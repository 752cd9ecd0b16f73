// Status queries: the controller's records, copied as sent, and the hardware monitor.
#include <cstring>

#include "VrnFrame.h"
#include "VrnHwMon.h"
#include "VrnOperation.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_GET_HWMON = 0x1B;
constexpr unsigned char CMD_GET_RAID_SET = 0x20;
constexpr unsigned char CMD_GET_VOLUME_SET = 0x21;
constexpr unsigned char CMD_GET_DRIVE = 0x22;
constexpr unsigned char CMD_GET_SYS_INFO = 0x23;
constexpr int QUERY_READ_LIMIT = 1024;
constexpr int HWMON_READ_LIMIT = 100;
constexpr int FIVE_CHANNEL_FAMILY = 5;
} // namespace

int CVrnlib::VrnGetSysInfo(sSYSTEM_INFO* info) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (info == nullptr)
        return VRN_BAD_ARGUMENT;
    // Callers read the record even after a failure; it must not hold an earlier answer.
    std::memset(info, 0, sizeof *info);
    vrn::CVrnRequest request(CMD_GET_SYS_INFO, 7);
    return VrnExchange(request.Seal(), request.Length(), QUERY_READ_LIMIT, VRN_REPLY_QUERY, info,
                       sizeof *info);
}

// The numbered queries: one data byte, the record copied only on success.
int CVrnlib::NumberedQuery(unsigned char code, char number, void* record, int recordSize) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (record == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(code, 8);
    request.Set(6, static_cast<unsigned char>(number));
    return VrnExchange(request.Seal(), request.Length(), QUERY_READ_LIMIT, VRN_REPLY_QUERY, record,
                       recordSize);
}

int CVrnlib::VrnGetRaidSetInfo(char raidSet, sGUI_RAIDSET* info) {
    return NumberedQuery(CMD_GET_RAID_SET, raidSet, info, sizeof(sGUI_RAIDSET));
}

int CVrnlib::VrnGetVolSetInfo(char volumeSet, sGUI_VOLUMESET* info) {
    return NumberedQuery(CMD_GET_VOLUME_SET, volumeSet, info, sizeof(sGUI_VOLUMESET));
}

int CVrnlib::VrnGetPhysicalDriveInfo(char drive, sGUI_PHY_DRV* info) {
    return NumberedQuery(CMD_GET_DRIVE, drive, info, sizeof(sGUI_PHY_DRV));
}

int CVrnlib::VrnGetHWMon(unsigned long kind, _HWMON_INFO* info) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (info == nullptr || kind < HWMON_FAN_INFO || kind > HWMON_UPS_INFO)
        return VRN_BAD_ARGUMENT;
    std::memset(info, 0, sizeof *info);
    vrn::CVrnRequest request(CMD_GET_HWMON, 7);
    unsigned char reply[HWMON_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), HWMON_READ_LIMIT,
                                   VRN_REPLY_RAW, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    vrn::DecodeHwMon(kind, reply + 5, replyLen - vrn::FRAME_OVERHEAD, info);
    return VRN_OK;
}

int CVrnlib::VrnGetHWMon5010(_HWMON_5010* info) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (info == nullptr)
        return VRN_BAD_ARGUMENT;
    std::memset(info, 0, sizeof *info);
    sSYSTEM_INFO sys;
    // A lost or refused system information reply is reported as what it is, not as a
    // controller of the wrong family.
    if (const int status = VrnGetSysInfo(&sys))
        return status;
    if (sys.gsiIdeChannels != FIVE_CHANNEL_FAMILY)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_GET_HWMON, 7);
    unsigned char reply[HWMON_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), HWMON_READ_LIMIT,
                                   VRN_REPLY_RAW, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    const int payload = replyLen - vrn::FRAME_OVERHEAD;
    const int n = payload < static_cast<int>(sizeof *info) ? payload : sizeof *info;
    std::memcpy(info, reply + 5, static_cast<size_t>(n));
    return VRN_OK;
}
