// Array management: raid sets, hot spares, volume sets, volume checks, pass-through disks.
// Every command is acknowledged ('A' 0, 'M' 8, other bytes as they are).
#include <cstring>

#include "VrnFrame.h"
#include "VrnOperation.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_CREATE_PASS_DISK = 0x40;
constexpr unsigned char CMD_MODIFY_PASS_DISK = 0x41;
constexpr unsigned char CMD_DELETE_PASS_DISK = 0x42;
constexpr unsigned char CMD_CREATE_RAID_SET = 0x50;
constexpr unsigned char CMD_DELETE_RAID_SET = 0x51;
constexpr unsigned char CMD_ACTIVATE_RAID_SET = 0x53;
constexpr unsigned char CMD_CREATE_HOT_SPARE = 0x54;
constexpr unsigned char CMD_DELETE_HOT_SPARE = 0x55;
constexpr unsigned char CMD_CREATE_VOLUME_SET = 0x60;
constexpr unsigned char CMD_DELETE_VOLUME_SET = 0x62;
constexpr unsigned char CMD_START_CHECK = 0x63;
constexpr unsigned char CMD_STOP_CHECK = 0x64;
constexpr int ARRAY_READ_LIMIT = 64;
constexpr int NAME_MAX = 16;
constexpr long double BYTES_PER_GB = 1000.0L;
constexpr long double SECTOR_BYTES = 512.0L;
} // namespace

int CVrnlib::SendMask(unsigned char code, unsigned long mask) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(code, 11);
    request.SetLe32(6, mask & 0xFFFFFFFFUL);
    return VrnExchange(request.Seal(), request.Length(), ARRAY_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnCreateRaidSet(unsigned long mask, const char* name) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    // No name is a name the controller makes up itself; a name cut to 16 would be another.
    const int nameLen = name == nullptr ? 0 : static_cast<int>(::strnlen(name, NAME_MAX + 1));
    if (nameLen > NAME_MAX)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_CREATE_RAID_SET, 27);
    request.SetLe32(6, mask & 0xFFFFFFFFUL);
    request.SetBytes(10, name, nameLen); // zero-padded
    return VrnExchange(request.Seal(), request.Length(), ARRAY_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnDelRaidSet(char raidSet) {
    return SendNumber(CMD_DELETE_RAID_SET, static_cast<unsigned char>(raidSet), ARRAY_READ_LIMIT);
}
int CVrnlib::VrnActiveRaidSet(char raidSet) {
    return SendNumber(CMD_ACTIVATE_RAID_SET, static_cast<unsigned char>(raidSet), ARRAY_READ_LIMIT);
}
int CVrnlib::VrnCreateHotSpare(unsigned long mask) {
    return SendMask(CMD_CREATE_HOT_SPARE, mask);
}
int CVrnlib::VrnDeleteHotSpare(unsigned long mask) {
    return SendMask(CMD_DELETE_HOT_SPARE, mask);
}
int CVrnlib::VrnDelVolSet(char volumeSet) {
    return SendNumber(CMD_DELETE_VOLUME_SET, static_cast<unsigned char>(volumeSet),
                      ARRAY_READ_LIMIT);
}
int CVrnlib::VrnStartCheckVolume(char volumeSet) {
    return SendNumber(CMD_START_CHECK, static_cast<unsigned char>(volumeSet), ARRAY_READ_LIMIT);
}
int CVrnlib::VrnStopCheckVolume(char volumeSet) {
    return SendNumber(CMD_STOP_CHECK, static_cast<unsigned char>(volumeSet), ARRAY_READ_LIMIT);
}
int CVrnlib::VrnDelPassthroughDisk(char drive) {
    return SendNumber(CMD_DELETE_PASS_DISK, static_cast<unsigned char>(drive), ARRAY_READ_LIMIT);
}

namespace {
// Decimal gigabytes to 512-byte sectors, in extended precision and in this order so that
// whole gigabytes come out exact; truncated toward zero, then cut to the 32 bits the request
// carries. A capacity no 64-bit count can hold (negative, too large, not a number) is
// refused: its conversion would be undefined.
bool VolumeSectors(double capacity, unsigned int* sectors) {
    const long double exact = static_cast<long double>(capacity) * BYTES_PER_GB * BYTES_PER_GB *
                              BYTES_PER_GB / SECTOR_BYTES;
    if (!(exact >= 0.0L) || exact >= 18446744073709551616.0L)
        return false;
    *sectors = static_cast<unsigned int>(static_cast<unsigned long long>(exact) & 0xFFFFFFFFULL);
    return true;
}
} // namespace

int CVrnlib::VrnCreateVolSet(_VOLUMESET_CAP* cap) {
    if (cap == nullptr || cap->structs_size != sizeof(_VOLUMESET_CAP))
        return VRN_BAD_ARGUMENT;
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    unsigned int sectors = 0;
    if (!VolumeSectors(cap->capacity, &sectors))
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_CREATE_VOLUME_SET, 42);
    request.Set(6, cap->raid);
    request.SetBytes(7, cap->volname, sizeof cap->volname);
    request.SetLe32(23, sectors); // 27-30 stay zero
    const unsigned char tail[9] = {cap->raidlevel,
                                   cap->stripsize,
                                   cap->channel,
                                   cap->id,
                                   cap->lun,
                                   static_cast<unsigned char>(cap->tag),
                                   static_cast<unsigned char>(cap->cache),
                                   cap->speed,
                                   cap->quickinit};
    request.SetBytes(31, tail, sizeof tail);
    return VrnExchange(request.Seal(), request.Length(), ARRAY_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::SendPassDisk(unsigned char code, const _PASS_DISK_CAP* cap) {
    if (cap == nullptr || cap->structs_size != sizeof(_PASS_DISK_CAP))
        return VRN_BAD_ARGUMENT;
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(code, 14);
    const unsigned char data[7] = {cap->nDevNum,    cap->nScsiCh, cap->nScsiId,  cap->nScsiLun,
                                   cap->nTaggedQue, cap->nCache,  cap->nMaxSpeed};
    request.SetBytes(6, data, sizeof data);
    return VrnExchange(request.Seal(), request.Length(), ARRAY_READ_LIMIT, VRN_REPLY_ACK);
}

int CVrnlib::VrnCreatePassthroughDisk(_PASS_DISK_CAP* cap) {
    return SendPassDisk(CMD_CREATE_PASS_DISK, cap);
}
int CVrnlib::VrnModifyPassthroughDisk(_PASS_DISK_CAP* cap) {
    return SendPassDisk(CMD_MODIFY_PASS_DISK, cap);
}
