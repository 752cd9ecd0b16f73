// Verbs of the controller settings, passwords, log-out and reset.
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

#include "CliVerbs.h"

namespace {

// A verb with one text argument handed to a setter.
int TextSetter(SCliContext& ctx, int (CVrnlib::*op)(const char*)) {
    if (!cli::ArgCount(ctx, 1, 1))
        return VRN_BAD_ARGUMENT;
    return (ctx.session.*op)(ctx.args[0].c_str());
}

// A verb with one value 0..255 handed to a setter; the value's meaning is the controller's.
int ByteSetter(SCliContext& ctx, int (CVrnlib::*op)(unsigned char)) {
    unsigned long v = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 255, "V", &v))
        return VRN_BAD_ARGUMENT;
    ctx.out["value"] = v;
    return (ctx.session.*op)(static_cast<unsigned char>(v));
}

int Bare(SCliContext& ctx, int (CVrnlib::*op)()) {
    if (!cli::ArgCount(ctx, 0, 0))
        return VRN_BAD_ARGUMENT;
    return (ctx.session.*op)();
}

} // namespace

int VerbSetSerial(SCliContext& ctx) {
    return TextSetter(ctx, &CVrnlib::VrnSetSerial);
}
int VerbSetVendor(SCliContext& ctx) {
    return TextSetter(ctx, &CVrnlib::VrnSetVendor);
}
int VerbSetModel(SCliContext& ctx) {
    return TextSetter(ctx, &CVrnlib::VrnSetModel);
}
int VerbCheckPassword(SCliContext& ctx) {
    return TextSetter(ctx, &CVrnlib::VrnChkPassword);
}
int VerbSetPassword(SCliContext& ctx) {
    return TextSetter(ctx, &CVrnlib::VrnSetPassword);
}

int VerbSetMac(SCliContext& ctx) {
    if (!cli::ArgCount(ctx, 1, 1))
        return VRN_BAD_ARGUMENT;
    unsigned int b[6];
    char tail = 0;
    if (std::sscanf(ctx.args[0].c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3],
                    &b[4], &b[5], &tail) != 6) {
        ctx.error = "the address is six hexadecimal bytes, AA:BB:CC:DD:EE:FF";
        return VRN_BAD_ARGUMENT;
    }
    char mac[6];
    for (int i = 0; i < 6; ++i)
        mac[i] = static_cast<char>(b[i]);
    ctx.out["mac"] = cli::Mac(reinterpret_cast<unsigned char*>(mac));
    return ctx.session.VrnSetMacAddr(mac);
}

int VerbSetTime(SCliContext& ctx) {
    return Bare(ctx, &CVrnlib::VrnSetTime);
}
int VerbMuteBeeper(SCliContext& ctx) {
    return Bare(ctx, &CVrnlib::VrnMuteBeeper);
}
int VerbLogout(SCliContext& ctx) {
    return Bare(ctx, &CVrnlib::VrnLogOut);
}
int VerbReset(SCliContext& ctx) {
    return Bare(ctx, &CVrnlib::VrnResetController);
}
int VerbSetBeeper(SCliContext& ctx) {
    return ByteSetter(ctx, &CVrnlib::VrnSetBeeper);
}
int VerbSetHostMode(SCliContext& ctx) {
    return ByteSetter(ctx, &CVrnlib::VrnSetHostMode);
}
int VerbSetRebuildPriority(SCliContext& ctx) {
    return ByteSetter(ctx, &CVrnlib::VrnSetRebuildPriority);
}
int VerbSetAtaMode(SCliContext& ctx) {
    return ByteSetter(ctx, &CVrnlib::VrnSetMaxAtaMode);
}

int VerbSetDhcpIp(SCliContext& ctx) {
    unsigned long mode = 0;
    if (!cli::ArgCount(ctx, 2, 2) || !cli::ArgNumber(ctx, 0, 0, 255, "MODE", &mode))
        return VRN_BAD_ARGUMENT;
    in_addr a = {};
    if (::inet_pton(AF_INET, ctx.args[1].c_str(), &a) != 1) {
        ctx.error = "the address is a dotted IPv4 address";
        return VRN_BAD_ARGUMENT;
    }
    unsigned char ip[4];
    std::memcpy(ip, &a.s_addr, 4); // network order is address order
    ctx.out["mode"] = mode;
    ctx.out["address"] = cli::Dotted(ip);
    return ctx.session.VrnSetDhcpIp(static_cast<unsigned char>(mode), ip);
}

int VerbSetTermPort(SCliContext& ctx) {
    unsigned long port = 0, code = 0, stop = 0;
    if (!cli::ArgCount(ctx, 3, 3) || !cli::ArgNumber(ctx, 0, 0, 1, "P", &port) ||
        !cli::ArgNumber(ctx, 1, 0, 7, "CODE", &code) ||
        !cli::ArgNumber(ctx, 2, 0, 1, "STOP", &stop))
        return VRN_BAD_ARGUMENT;
    return ctx.session.VrnSetTermPort(static_cast<unsigned char>(port),
                                      static_cast<unsigned char>(code),
                                      static_cast<unsigned char>(stop));
}
