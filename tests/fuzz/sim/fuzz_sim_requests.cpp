// Arbitrary bytes on the controller's serial line: the frame collector cuts them into
// frames and the model answers each one. Every reply must be a well-formed frame.
#include "SimControl.h"
#include "SimFrame.h"
#include "SimModel.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrnsim::CSimModel model(vrnsim::DefaultScenario(), 0.001, 0);
    vrnsim::CFaults faults(1);
    vrnsim::SCounters counters;
    vrnsim::CSimControl control(model, faults, counters);
    vrnsim::CFrameCollector line;
    int64_t now = 0;
    size_t at = 0;
    // The first byte picks the chunk size, so frames also arrive split across reads.
    size_t chunk = size ? 1 + data[0] % 64 : 1;
    while (at < size) {
        size_t n = std::min(chunk, size - at);
        std::vector<vrnsim::Bytes> frames;
        line.Feed(std::span<const uint8_t>(data + at, n), now, frames);
        for (const vrnsim::Bytes& f : frames) {
            if (vrnsim::FrameChecksum(f) != f.back())
                continue;
            auto reply = model.Handle(f, now);
            if (reply && !vrnsim::FrameValid(*reply))
                std::abort();
        }
        at += n;
        now += 37;
    }
    // The same bytes as a control line must never break the model either.
    std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 200));
    for (char& c : text)
        if (c == '\n' || c == '\0')
            c = ' ';
    control.Execute(text, now);
    model.Tick(now + 1000000);
    return 0;
}
