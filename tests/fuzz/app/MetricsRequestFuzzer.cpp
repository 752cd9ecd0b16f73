// Arbitrary client bytes against the metrics endpoint's request reader, whole and in every
// prefix the network could deliver first. A verdict other than "incomplete" must not change
// once more bytes arrive, and the limit must hold.
//
// Input: one byte for the size limit (in 16-byte steps), then the request bytes.

#include "MetricsRequest.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t limit = 16 * (1 + static_cast<std::size_t>(data[0]));
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const EMetricsRequest whole = ReadMetricsRequest(bytes, limit);
    if (whole == EMetricsRequest::Incomplete && bytes.size() > limit)
        std::abort(); // more than the limit was kept waiting
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const EMetricsRequest early = ReadMetricsRequest(bytes.substr(0, n), limit);
        if (early != EMetricsRequest::Incomplete && early != whole)
            std::abort(); // a verdict that later bytes overturned
    }
    return 0;
}
