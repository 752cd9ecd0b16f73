// The HTTP tunnel: one piece of a browser's request out, the controller's response back,
// both opaque bytes.
#include <cstring>

#include "VrnFrame.h"
#include "VrnOperation.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_HTTP = 0x16;
} // namespace

int CVrnlib::VrnHttp(const char* piece, int len, char* response, int* responseLen) {
    if (responseLen != nullptr)
        *responseLen = 0;
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (piece == nullptr || len < 1 || len > VRN_HTTP_PIECE || response == nullptr ||
        responseLen == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_HTTP, len + 7);
    request.SetBytes(6, piece, len);
    // The controller answers a request only after its last, shorter piece.
    const int readLimit = len == VRN_HTTP_PIECE ? 0 : VRN_MAX_REPLY;
    unsigned char reply[VRN_MAX_REPLY];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), readLimit, VRN_REPLY_RAW,
                                   nullptr, 0, reply, &replyLen);
    if (status != VRN_OK || readLimit == 0)
        return status == 'J' && replyLen == VRN_MIN_FRAME ? VRN_REFUSED_J : status;
    // A bare 'A' (or a single 0 byte) is passed on as a one-byte response.
    const int payload = replyLen - vrn::FRAME_OVERHEAD;
    std::memcpy(response, reply + 5, static_cast<size_t>(payload));
    *responseLen = payload;
    return VRN_OK;
}
