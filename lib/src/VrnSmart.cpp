// SMART functions and the controller's drive read/write test (command 0x1C).
#include <cstring>

#include "VrnFrame.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_SMART = 0x1C;
constexpr unsigned char SMART_MARKER[4] = {'Q', 'n', 'd', 'L'};
constexpr int SMART_READ_LIMIT = 520;
constexpr int SMART_PAGE = 512;
constexpr int PAGE_REPLY = SMART_PAGE + 8; // two status bytes before the page
constexpr int STATUS_REPLY = 8;            // two status bytes
constexpr int RW_STATUS_LONG = 18;
constexpr int RW_STATUS_SHORT = 12;
} // namespace

int CVrnlibSMART::VrnExeSMART(int sub, unsigned char drive, unsigned char arg,
                              unsigned char* buffer) {
    CVrnExchangeGuard guard(*this);
    // The controller sees the low byte only, and answers as for that sub-command.
    sub &= 0xFF;
    vrn::CVrnRequest request(CMD_SMART, 14);
    request.Set(6, static_cast<unsigned char>(sub));
    request.SetBytes(7, SMART_MARKER, sizeof SMART_MARKER);
    request.Set(11, drive);
    if (sub == SMART_OFFLINE_IMMEDIATE || sub == SMART_RW_TEST_START)
        request.Set(12, arg);
    unsigned char reply[SMART_READ_LIMIT];
    int replyLen = 0;
    // Without a port the write itself fails (4): there is no handle check of its own.
    const int status = VrnExchange(request.Seal(), request.Length(), SMART_READ_LIMIT,
                                   VRN_REPLY_RAW, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    // A reply of another length than the sub-command's is no answer to it; taking it as
    // success would leave the caller reading a buffer that was never filled.
    switch (sub) {
    case SMART_READ_DATA:
    case SMART_READ_THRESHOLDS:
        if (replyLen != PAGE_REPLY)
            return VRN_BAD_FRAME;
        if (buffer != nullptr)
            std::memcpy(buffer, reply + 7, SMART_PAGE);
        return VRN_OK;
    case SMART_OFFLINE_IMMEDIATE:
    case SMART_ENABLE:
    case SMART_DISABLE:
        if (replyLen != STATUS_REPLY)
            return VRN_BAD_FRAME;
        return reply[5] != 0 || reply[6] != 0 ? 1 : VRN_OK;
    case SMART_RW_TEST_START:
        // The raw pattern returned every other bare answer already, but a 0 byte as data.
        return replyLen == VRN_MIN_FRAME && reply[5] == 'A' ? VRN_OK : VRN_BAD_FRAME;
    case SMART_RW_TEST_STATUS: {
        const int payload = replyLen - vrn::FRAME_OVERHEAD;
        if (payload != RW_STATUS_LONG && payload != RW_STATUS_SHORT)
            return VRN_BAD_FRAME;
        if (buffer != nullptr)
            std::memcpy(buffer, reply + 5, static_cast<size_t>(payload));
        return VRN_OK;
    }
    }
    // Sub-commands the library has no reply shape for: any valid answer.
    return VRN_OK;
}
