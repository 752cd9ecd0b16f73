// The HTTP tunnel call for one piece. Until the session offers its own tunnel operation this
// builds the 0x16 frame itself and uses the raw pass-through; callers hold the exchange lock.
#include <cstring>

#include "AgentFrame.h"
#include "AgentRequest.h"
#include "Vrnlib.h"

namespace vrnagent {

int SessionTunnelPiece(void* ctx, char* piece, int len, char* response, int* responseLen) {
    CVrnlib& session = *static_cast<CVrnlib*>(ctx);
    if (responseLen != nullptr)
        *responseLen = 0;
    if (piece == nullptr || len < 1 || len > TUNNEL_PIECE || response == nullptr ||
        responseLen == nullptr)
        return VRN_BAD_ARGUMENT;
    unsigned char frame[TUNNEL_PIECE + 7];
    const int total = len + 7;
    frame[0] = 0x5E;
    frame[1] = 0x01;
    frame[2] = 0x61;
    frame[3] = static_cast<unsigned char>((len + 1) & 0xFF);
    frame[4] = static_cast<unsigned char>((len + 1) >> 8);
    frame[5] = 0x16;
    std::memcpy(frame + 6, piece, static_cast<size_t>(len));
    frame[total - 1] = CalCheckSum(frame, total);
    CVrnExchangeGuard guard(session);
    if (session.WriteMediaDirect(frame, total) == 0)
        return VRN_WRITE_FAILED;
    if (len == TUNNEL_PIECE)
        return VRN_OK;
    static thread_local unsigned char reply[RESPONSE_BUFFER_SIZE];
    std::memset(reply, 0, sizeof reply);
    const int got = session.ReadMediaDirect(reply, static_cast<int>(sizeof reply));
    if (got <= 0)
        return VRN_NO_REPLY;
    const int payload = reply[3] | (reply[4] << 8);
    if (got < 7 || reply[0] != 0x5E || reply[1] != 0x01 || reply[2] != 0x61 ||
        payload != got - 6 || reply[got - 1] != CalCheckSum(reply, got))
        return VRN_BAD_FRAME;
    if (got == 7 && reply[5] != 'A')
        return reply[5] == 'J' ? VRN_REFUSED_J : reply[5];
    std::memcpy(response, reply + 5, static_cast<size_t>(got - 6));
    *responseLen = got - 6;
    return VRN_OK;
}

} // namespace vrnagent
