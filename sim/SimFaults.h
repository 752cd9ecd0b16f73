// Faults injected through the control channel; each one stays until changed, or applies
// to the next N replies when given a count.
#pragma once

#include "SimFrame.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vrnsim {

struct SFault {
    bool on = false;
    long remaining = -1; // -1: until switched off
};

// What happens to one request on its way in and its reply on the way out.
struct SReplyPlan {
    bool execute = true; // false: the controller never acts on the request
    bool send = true;
    Bytes first;         // first burst
    Bytes second;        // second burst (split fault), sent gapMs after the first
    int64_t delayMs = 0; // before the first burst
    int64_t gapMs = 0;
};

class CFaults {
public:
    explicit CFaults(uint32_t seed) : m_rng(seed) {}

    // Parses the arguments after "fault"; returns "" or the reason for refusing them.
    std::string Command(const std::vector<std::string>& args);

    // Decides before the model runs: silent and refuse stop the request there.
    // Returns true when the request is to reach the model; otherwise `plan` is final.
    bool Intercept(SReplyPlan& plan);
    // Shapes the model's reply (garbage, delay, split).
    void Shape(const Bytes& reply, SReplyPlan& plan);

    std::string Describe() const;

private:
    static bool Use(SFault& f);

    SFault m_silent, m_garbage, m_split, m_delay, m_refuse;
    int64_t m_splitGapMs = 0;
    long m_splitAt = -1; // -1: half of the reply
    int64_t m_delayMs = 0;
    uint8_t m_refuseByte = 'M';
    std::mt19937 m_rng;
};

} // namespace vrnsim
