// Scenario text from a file: any input is refused with a reason or gives a model that
// answers its status queries.
#include "SimJson.h"
#include "SimModel.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrnsim::SScenario sc = vrnsim::DefaultScenario();
    std::string err;
    if (!vrnsim::ParseScenario(std::string(reinterpret_cast<const char*>(data), size), sc, err)) {
        if (err.empty())
            std::abort();
        return 0;
    }
    vrnsim::CSimModel model(sc, 1.0, 0);
    const uint8_t queries[][8] = {
        {0x5E, 0x01, 0x61, 0x01, 0x00, 0x23, 0x24},
        {0x5E, 0x01, 0x61, 0x01, 0x00, 0x1B, 0x1C},
        {0x5E, 0x01, 0x61, 0x02, 0x00, 0x20, 0x00, 0x22},
        {0x5E, 0x01, 0x61, 0x02, 0x00, 0x21, 0x00, 0x23},
        {0x5E, 0x01, 0x61, 0x02, 0x00, 0x22, 0x00, 0x24},
        {0x5E, 0x01, 0x61, 0x02, 0x00, 0x1A, 0x00, 0x1C},
    };
    for (const auto& q : queries) {
        size_t len = q[3] == 1 ? 7 : 8;
        auto reply = model.Handle(std::span<const uint8_t>(q, len), 10);
        if (!reply || !vrnsim::FrameValid(*reply))
            std::abort();
    }
    (void)vrnsim::StateJson(model);
    return 0;
}
