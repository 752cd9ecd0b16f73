#pragma once
// The metrics endpoint's HTTP server: one thread of its own that polls a listening socket and
// its few connections with time-outs, so a slow, huge or broken request costs it nothing but
// a refusal and never touches the monitor threads or the main loop. Serves GET /metrics (and
// HEAD) only; every connection carries one request and is closed after the answer.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

struct SMetricsServerLimits {
    int maxConnections = 8;             // more at once get "503 Service Unavailable"
    std::size_t maxRequestBytes = 8192; // a longer header gets 431
    // The whole request must arrive within this (else "408 Request Timeout"); the answer must
    // be taken within writeTimeout (else the connection is dropped).
    std::chrono::milliseconds requestTimeout{5000};
    std::chrono::milliseconds writeTimeout{10000};
};

class CMetricsServer {
public:
    // `page` makes the body of /metrics; called on the server's thread for each request.
    explicit CMetricsServer(std::function<std::string()> page, SMetricsServerLimits limits = {});
    ~CMetricsServer();
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // Listens on address (network order) and port (0: any free one) and starts the thread.
    // False with `error` when the socket cannot be had.
    bool Start(std::uint32_t address, int port, std::string& error);
    // The port listened on (after Start).
    int Port() const { return m_port; }
    // Ends the thread and closes every connection; idempotent.
    void Stop();

private:
    void Run(std::stop_token stop);

    std::function<std::string()> m_page;
    const SMetricsServerLimits m_limits;
    int m_listener = -1;
    int m_wake = -1; // eventfd: Stop() wakes the poll
    int m_port = 0;
    std::jthread m_thread;
};

// "ADDR:PORT" with a dotted IPv4 address and a port 0..65535; false when it is not that.
bool ParseMetricsAddress(const std::string& text, std::uint32_t& address, int& port);
