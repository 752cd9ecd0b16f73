// The request path every front-end shares: a frame from the line reaches the faults and the
// model; a datagram at an agent's relay port is sorted first, as vrnhttp's relay sorts it.
#pragma once

#include "SimControl.h"
#include "SimFaults.h"
#include "SimFrame.h"
#include "SimModel.h"

#include <span>

namespace vrnsim {

// The agent relay never passes on a reply this long.
constexpr size_t kUdpReplyLimit = 10240;
// As the agent's relay buffer: longer datagrams arrive cut to this size.
constexpr size_t kUdpReceiveMax = 2048;

enum class EDatagram {
    Drop,       // wrong start bytes or checksum: the relay throws it away
    PortQuery,  // 0xF0: the agent itself answers with its HTTP proxy port
    Unanswered, // 0xF1: the agent answers nothing
    Relay       // anything else goes to the controller
};

EDatagram ClassifyDatagram(std::span<const uint8_t> datagram);
Bytes PortReply(int httpPort);

// One complete request frame (checksum not yet checked). Counts it, lets the faults and the
// model decide, and returns true with `plan` when something is to be sent. `viaAgent` applies
// the relay's reply size limit.
bool PlanReply(CSimModel& model, CFaults& faults, SCounters& counters, const Bytes& frame,
               bool viaAgent, int64_t nowUs, SReplyPlan& plan);

} // namespace vrnsim
