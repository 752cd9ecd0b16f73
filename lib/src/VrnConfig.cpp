// Controller configuration and identification.
#include <cstring>

#include "VrnFrame.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_IDENTIFY = 0x13;
constexpr int IDENTIFY_READ_LIMIT = 2048;
constexpr char IDENTIFICATION[] = "Varno RAID Subsystem";
constexpr int IDENTIFICATION_LEN = sizeof IDENTIFICATION - 1;
} // namespace

int CVrnlib::VrnIdentify() {
    CVrnExchangeGuard guard(*this);
    if (const int status = VrnCheckHandle())
        return status;
    vrn::CVrnRequest request(CMD_IDENTIFY, 7);
    unsigned char reply[IDENTIFY_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), IDENTIFY_READ_LIMIT,
                                   VRN_REPLY_VALID, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    // A bare answer byte, even 'A', is not an identification.
    if (replyLen == VRN_MIN_FRAME)
        return reply[5];
    // The buffer was zeroed, so a payload shorter than the text compares against zeros.
    return std::memcmp(reply + 5, IDENTIFICATION, IDENTIFICATION_LEN) == 0 ? VRN_OK
                                                                           : VRN_NOT_IDENTIFIED;
}
