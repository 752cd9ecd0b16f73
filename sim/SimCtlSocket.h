// The control channel's Unix socket: one request line per connection, one reply line back.
// Served from the owner's poll() loop; a client that says nothing is dropped after a while.
#pragma once

#include <cstdint>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace vrnsim {

class CCtlSocket {
public:
    // Turns one request line into one reply line (without its line end).
    using Handler = std::function<std::string(const std::string& line, int64_t nowUs)>;

    explicit CCtlSocket(Handler handler) : m_handler(std::move(handler)) {}
    ~CCtlSocket();
    CCtlSocket(const CCtlSocket&) = delete;
    CCtlSocket& operator=(const CCtlSocket&) = delete;

    // Listens on `path`; a socket left over from a killed run is replaced, any other file not.
    bool Open(const std::string& path, std::string& err);
    bool IsOpen() const { return m_listen >= 0; }

    // Appends the listening socket and every connection to a poll set.
    void AddPollFds(std::vector<pollfd>& fds) const;
    // After poll(): `fds` points at the entries AddPollFds appended. Accepts, answers the
    // connections with a complete line and drops the idle ones.
    void Service(const pollfd* fds, size_t count, int64_t nowUs);
    // When Service must run next even without traffic, -1 for never.
    int64_t NextDueUs() const;

private:
    struct SConn {
        int fd;
        std::string in;
        int64_t openedUs;
    };
    void Accept(int64_t nowUs);
    // Returns true when the connection is finished with.
    bool Serve(SConn& c, int64_t nowUs);

    Handler m_handler;
    std::string m_path;
    int m_listen = -1;
    std::vector<SConn> m_conns;
};

} // namespace vrnsim
