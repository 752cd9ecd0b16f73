// Verbs of the array commands: raid sets, hot spares, volume sets, pass-through disks.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CliVerbs.h"

namespace {

bool Mask(SCliContext& ctx, size_t i, unsigned long* mask) {
    return cli::ArgNumber(ctx, i, 0, 0xFFFFFFFFUL, "MASK", mask);
}

int Numbered(SCliContext& ctx, int (CVrnlib::*op)(char), const char* what) {
    unsigned long n = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, what, &n))
        return VRN_BAD_ARGUMENT;
    return (ctx.session.*op)(static_cast<char>(n));
}

unsigned long Option(const std::vector<std::pair<std::string, unsigned long>>& options,
                     const char* key, unsigned long fallback) {
    for (const auto& [k, v] : options)
        if (k == key)
            return v;
    return fallback;
}

int PassDisk(SCliContext& ctx, int (CVrnlib::*op)(_PASS_DISK_CAP*)) {
    std::vector<std::pair<std::string, unsigned long>> o;
    unsigned long drive = 0;
    if (!cli::KeyOptions(ctx, {"channel", "id", "lun", "tag", "cache", "speed"}, &o) ||
        !cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, "DRIVE", &drive))
        return VRN_BAD_ARGUMENT;
    _PASS_DISK_CAP d = {};
    d.structs_size = sizeof d;
    d.nDevNum = static_cast<unsigned char>(drive);
    d.nScsiCh = static_cast<unsigned char>(Option(o, "channel", 0));
    d.nScsiId = static_cast<unsigned char>(Option(o, "id", 0));
    d.nScsiLun = static_cast<unsigned char>(Option(o, "lun", 0));
    d.nTaggedQue = static_cast<unsigned char>(Option(o, "tag", 1));
    d.nCache = static_cast<unsigned char>(Option(o, "cache", 1));
    d.nMaxSpeed = static_cast<unsigned char>(Option(o, "speed", 0));
    return (ctx.session.*op)(&d);
}

} // namespace

int VerbCreateRaidSet(SCliContext& ctx) {
    unsigned long mask = 0;
    if (!cli::ArgCount(ctx, 1, 2) || !Mask(ctx, 0, &mask))
        return VRN_BAD_ARGUMENT;
    ctx.out["mask"] = mask;
    return ctx.session.VrnCreateRaidSet(mask, ctx.args.size() > 1 ? ctx.args[1].c_str() : nullptr);
}

int VerbDeleteRaidSet(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnDelRaidSet, "N");
}
int VerbActivateRaidSet(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnActiveRaidSet, "N");
}

int VerbCreateHotSpare(SCliContext& ctx) {
    unsigned long mask = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !Mask(ctx, 0, &mask))
        return VRN_BAD_ARGUMENT;
    return ctx.session.VrnCreateHotSpare(mask);
}

int VerbDeleteHotSpare(SCliContext& ctx) {
    unsigned long mask = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !Mask(ctx, 0, &mask))
        return VRN_BAD_ARGUMENT;
    return ctx.session.VrnDeleteHotSpare(mask);
}

// create-volume RAID NAME GB [level= stripe= channel= id= lun= tag= cache= speed= quick=]
// The codes are the controller's: level 0 RAID0, 1 RAID1(0+1), 2 RAID3, 3 RAID5 (default),
// 4 RAID6; stripe 0 = 4 KB .. 5 = 128 KB (default 4, 64 KB); speed 0 async .. 4 = 160 MB/s.
int VerbCreateVolume(SCliContext& ctx) {
    std::vector<std::pair<std::string, unsigned long>> o;
    unsigned long raid = 0;
    if (!cli::KeyOptions(
            ctx, {"level", "stripe", "channel", "id", "lun", "tag", "cache", "speed", "quick"},
            &o) ||
        !cli::ArgCount(ctx, 3, 3) || !cli::ArgNumber(ctx, 0, 0, 255, "RAID", &raid))
        return VRN_BAD_ARGUMENT;
    if (ctx.args[1].size() > 16) {
        ctx.error = "NAME has at most 16 characters";
        return VRN_BAD_ARGUMENT;
    }
    char* end = nullptr;
    errno = 0;
    const double gb = std::strtod(ctx.args[2].c_str(), &end);
    if (errno != 0 || end == ctx.args[2].c_str() || *end != '\0' || !std::isfinite(gb) || gb <= 0) {
        ctx.error = "GB must be a positive number of gigabytes";
        return VRN_BAD_ARGUMENT;
    }
    _VOLUMESET_CAP v = {};
    v.structs_size = sizeof v;
    v.raid = static_cast<unsigned char>(raid);
    std::memset(v.volname, ' ', sizeof v.volname);
    std::memcpy(v.volname, ctx.args[1].data(), ctx.args[1].size());
    v.capacity = gb;
    v.raidlevel = static_cast<unsigned char>(Option(o, "level", 3));
    v.stripsize = static_cast<unsigned char>(Option(o, "stripe", 4));
    v.channel = static_cast<unsigned char>(Option(o, "channel", 0));
    v.id = static_cast<unsigned char>(Option(o, "id", 0));
    v.lun = static_cast<unsigned char>(Option(o, "lun", 0));
    v.tag = static_cast<signed char>(Option(o, "tag", 1));
    v.cache = static_cast<signed char>(Option(o, "cache", 1));
    v.speed = static_cast<unsigned char>(Option(o, "speed", 4));
    v.quickinit = static_cast<unsigned char>(Option(o, "quick", 0));
    ctx.out["raid_set"] = raid;
    ctx.out["name"] = ctx.args[1];
    ctx.out["gigabytes"] = gb;
    return ctx.session.VrnCreateVolSet(&v);
}

int VerbDeleteVolume(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnDelVolSet, "N");
}
int VerbStartCheck(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnStartCheckVolume, "N");
}
int VerbStopCheck(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnStopCheckVolume, "N");
}
int VerbCreatePassthrough(SCliContext& ctx) {
    return PassDisk(ctx, &CVrnlib::VrnCreatePassthroughDisk);
}
int VerbModifyPassthrough(SCliContext& ctx) {
    return PassDisk(ctx, &CVrnlib::VrnModifyPassthroughDisk);
}
int VerbDeletePassthrough(SCliContext& ctx) {
    return Numbered(ctx, &CVrnlib::VrnDelPassthroughDisk, "N");
}
