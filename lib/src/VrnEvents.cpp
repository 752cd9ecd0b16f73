// Event retrieval: the controller's event index.
#include "VrnFrame.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_POLL_EVENT = 0x19;
constexpr int POLL_READ_LIMIT = 7;
} // namespace

int CVrnlib::VrnPollEvent(int* index) {
    CVrnExchangeGuard guard(*this);
    if (const int status = VrnCheckHandle())
        return status;
    if (index == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_POLL_EVENT, 7);
    unsigned char reply[POLL_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), POLL_READ_LIMIT,
                                   VRN_REPLY_VALID, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    // Every byte value is an index here, 'A' and 'M' included: no answer code is mapped.
    m_iCurrentIndex = reply[5];
    *index = m_iCurrentIndex;
    return VRN_OK;
}
