// The control channel's command language: one request line in, one reply line out.
#pragma once

#include "SimFaults.h"
#include "SimFrame.h"
#include "SimModel.h"

#include <string>

namespace vrnsim {

// Request traffic as the controller saw it, over both front-ends.
struct SCounters {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    uint64_t badChecksum = 0;
    uint64_t junkBytes = 0;
    uint64_t abandoned = 0;
    uint64_t udpDropped = 0; // datagrams the agent front-end threw away (never counted as frames)
    uint64_t replies = 0;
    uint64_t unsent = 0; // replies an agent would not relay, or that no one read off the line
    Bytes lastFrame;
};

class CSimControl {
public:
    CSimControl(CSimModel& model, CFaults& faults, SCounters& counters)
        : m_model(model), m_faults(faults), m_counters(counters) {}

    // Returns the reply line without its line end: "ok ..." or "err <reason>".
    std::string Execute(const std::string& line, int64_t nowMs);

    static std::string HelpText();

private:
    std::string Model(const std::vector<std::string>& w);

    CSimModel& m_model;
    CFaults& m_faults;
    SCounters& m_counters;
};

} // namespace vrnsim
