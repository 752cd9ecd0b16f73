// Status queries: the controller's records, copied as sent.
#include <cstring>

#include "VrnFrame.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_GET_SYS_INFO = 0x23;
constexpr int QUERY_READ_LIMIT = 1024;
} // namespace

int CVrnlib::VrnGetSysInfo(sSYSTEM_INFO* info) {
    CVrnExchangeGuard guard(*this);
    if (const int status = VrnCheckHandle())
        return status;
    if (info == nullptr)
        return VRN_BAD_ARGUMENT;
    // Callers read the record even after a failure; it must not hold an earlier answer.
    std::memset(info, 0, sizeof *info);
    vrn::CVrnRequest request(CMD_GET_SYS_INFO, 7);
    return VrnExchange(request.Seal(), request.Length(), QUERY_READ_LIMIT, VRN_REPLY_QUERY, info,
                       sizeof *info);
}
