// Drives the controller model directly with request frames on a clock the test owns.
#pragma once

#include "SimModel.h"
#include "TestFrame.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace simtest {

using vrnsim::Bytes;

using vrntest::Frame;

inline Bytes Answer(char c) {
    return Frame({static_cast<uint8_t>(c)});
}

inline Bytes Text(const std::string& s, size_t width, char pad = '\0') {
    Bytes b(s.begin(), s.end());
    b.resize(width, static_cast<uint8_t>(pad));
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Head(const Bytes& b, size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<long>(std::min(n, b.size())));
}

inline uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

class CHarness {
public:
    explicit CHarness(double timeScale = 1.0, vrnsim::SScenario sc = vrnsim::DefaultScenario())
        : m_model(std::move(sc), timeScale, m_now) {}

    // The reply frame, or empty when the controller stays silent.
    Bytes Ask(const Bytes& payload) {
        auto r = m_model.Handle(Frame(payload), m_now);
        return r ? *r : Bytes{};
    }
    // The reply payload (offset 5 on).
    Bytes Data(const Bytes& payload) {
        Bytes r = Ask(payload);
        return r.size() >= 6 ? Bytes(r.begin() + 5, r.end() - 1) : Bytes{};
    }
    void Advance(int64_t ms) {
        m_now += ms;
        m_model.Tick(m_now);
    }
    int EventIndex() { return Data({0x19}).at(0); }
    // Record r (0..15) of an event page.
    Bytes EventRecord(int page, int r) {
        Bytes p = Data({0x1A, static_cast<uint8_t>(page)});
        return Bytes(p.begin() + 32 * r, p.begin() + 32 * r + 32);
    }
    Bytes Newest() { return EventRecord(0, 15); }
    vrnsim::CSimModel& Model() { return m_model; }

private:
    int64_t m_now = 1'000'000;
    vrnsim::CSimModel m_model;
};

} // namespace simtest
