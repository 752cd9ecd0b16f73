// The tunnel of one whole request over the agent's session.
#include "AgentRequest.h"
#include "Vrnlib.h"

namespace vrnagent {

int SessionTunnelPiece(void* session, char* piece, int len, char* response, int* responseLen) {
    return static_cast<CVrnlib*>(session)->VrnHttp(piece, len, response, responseLen);
}

int TunnelRequest(CVrnlib& session, char* request, size_t n, char* response, int* responseLen,
                  PFN_TUNNEL_PIECE piece, void* ctx) {
    // From the first piece to the response: a relay exchange between two pieces would reach
    // the controller in the middle of the request.
    CVrnExchangeGuard guard(session);
    return SendPieces(request, n, response, responseLen, piece, ctx);
}

} // namespace vrnagent
