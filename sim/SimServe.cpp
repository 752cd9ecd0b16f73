#include "SimServe.h"

namespace vrnsim {

EDatagram ClassifyDatagram(std::span<const uint8_t> d) {
    if (d.size() < 6 || !DatagramAcceptable(d))
        return EDatagram::Drop;
    if (d.size() >= 7 && d[5] == 0xF0)
        return EDatagram::PortQuery;
    if (d.size() >= 7 && d[5] == 0xF1)
        return EDatagram::Unanswered;
    return EDatagram::Relay;
}

Bytes PortReply(int httpPort) {
    uint16_t port = static_cast<uint16_t>(httpPort);
    const uint8_t payload[2] = {static_cast<uint8_t>(port & 0xFF), static_cast<uint8_t>(port >> 8)};
    return BuildFrame(payload);
}

bool PlanReply(CSimModel& model, CFaults& faults, SCounters& counters, const Bytes& frame,
               bool viaAgent, int64_t nowUs, SReplyPlan& plan) {
    ++counters.frames;
    counters.lastFrame = frame;
    if (FrameChecksum(frame) != frame.back()) {
        ++counters.badChecksum; // a real controller stays silent
        return false;
    }
    if (faults.Intercept(plan)) {
        std::optional<Bytes> reply = model.Handle(frame, nowUs / 1000);
        if (!reply)
            return false;
        faults.Shape(*reply, plan);
        if (viaAgent && reply->size() >= kUdpReplyLimit) {
            ++counters.unsent; // the agent's relay drops replies that fill its buffer
            return false;
        }
    }
    if (!plan.send)
        return false;
    ++counters.replies;
    return true;
}

} // namespace vrnsim
