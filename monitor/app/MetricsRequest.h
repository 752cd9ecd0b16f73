#pragma once
// The request reader of the metrics endpoint: decides, from the bytes a client has sent so
// far, whether the request is complete and what it asks for. Only GET (and HEAD) of /metrics
// is served; everything else gets a refusal that says why.

#include <cstddef>
#include <string_view>

enum class EMetricsRequest {
    Incomplete,  // no end of the header yet, and nothing wrong so far
    Metrics,     // GET /metrics
    MetricsHead, // HEAD /metrics
    NotFound,    // another path
    BadMethod,   // another method
    BadVersion,  // not HTTP/1.0 or HTTP/1.1
    Malformed,   // not an HTTP request
    TooLarge,    // the header does not end within `limit` bytes
};

// `received`: everything read from the connection so far. A refusal is given as soon as the
// bytes prove it (a broken request line does not wait for the end of the header).
EMetricsRequest ReadMetricsRequest(std::string_view received, std::size_t limit);
