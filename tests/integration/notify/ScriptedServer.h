#pragma once
// A one-connection SMTP peer on 127.0.0.1 (system-chosen port) that replays a script of
// server lines and records every byte the client sent.
//
// Script steps:
//   "S:text"  send text followed by CR LF
//   "R:text"  send text as it is (for replies cut into pieces)
//   "C"       wait for one line from the client
//   "D"       wait for the client's end of data (CR LF . CR LF)
//   "W"       wait for any bytes from the client (a TLS hello has no line end)
//   "P:ms"    pause
//   "X"       close the connection at once
// Once the script is done, the server answers a QUIT with 221 and records until the client
// closes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

class CScriptedServer {
public:
    explicit CScriptedServer(std::vector<std::string> script) : m_script(std::move(script)) {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_listen, 4);
        socklen_t len = sizeof addr;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Run(); });
    }

    ~CScriptedServer() { Join(); }

    int Port() const { return m_port; }

    // Waits until the client has closed (or the server gave up) and returns what it sent.
    const std::string& Received() {
        Join();
        return m_received;
    }
    int Accepted() {
        Join();
        return m_accepted;
    }

    // Ends the wait for a connection early, for tests in which the client must never connect,
    // and cuts the script's pauses short once the client has given up.
    void Stop() { m_stop = true; }

private:
    static constexpr int kWaitMs = 5000;

    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_listen >= 0) {
            close(m_listen);
            m_listen = -1;
        }
    }

    // Reads more client bytes into m_pending; false when the client closed or went quiet.
    bool ReadMore(int fd, int waitMs) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, waitMs) <= 0) {
            return false;
        }
        char buf[4096];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return false;
        }
        m_pending.append(buf, static_cast<std::size_t>(n));
        m_received.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    bool WaitFor(int fd, const std::string& marker) {
        for (;;) {
            const auto at = m_pending.find(marker);
            if (at != std::string::npos) {
                m_pending.erase(0, at + marker.size());
                return true;
            }
            if (!ReadMore(fd, kWaitMs)) {
                return false;
            }
        }
    }

    void Run() {
        int fd = -1;
        const auto start = std::chrono::steady_clock::now();
        while (fd < 0 &&
               std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kWaitMs)) {
            pollfd pfd{m_listen, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) {
                fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            } else if (m_stop) {
                break; // only after a look that found no pending connection
            }
        }
        if (fd < 0) {
            return;
        }
        ++m_accepted;
        for (const std::string& step : m_script) {
            if (step.rfind("S:", 0) == 0) {
                const std::string line = step.substr(2) + "\r\n";
                send(fd, line.data(), line.size(), MSG_NOSIGNAL);
            } else if (step.rfind("R:", 0) == 0) {
                send(fd, step.data() + 2, step.size() - 2, MSG_NOSIGNAL);
            } else if (step == "C") {
                if (!WaitFor(fd, "\r\n")) {
                    break;
                }
            } else if (step == "W") {
                if (m_pending.empty() && !ReadMore(fd, kWaitMs)) {
                    break;
                }
                m_pending.clear();
            } else if (step == "D") {
                if (!WaitFor(fd, "\r\n.\r\n")) {
                    break;
                }
            } else if (step.rfind("P:", 0) == 0) {
                const auto until = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(std::stoi(step.substr(2)));
                while (!m_stop && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            } else if (step == "X") {
                close(fd);
                return;
            }
        }
        // Record whatever else the client sends until it closes; a QUIT gets its 221 so the
        // client need not wait out its time-out.
        while (ReadMore(fd, kWaitMs)) {
            const auto at = m_pending.find("QUIT\r\n");
            if (at != std::string::npos) {
                m_pending.erase(0, at + 6);
                send(fd, "221 bye\r\n", 9, MSG_NOSIGNAL);
            }
        }
        close(fd);
    }

    std::vector<std::string> m_script;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::string m_pending;
    std::string m_received;
    int m_accepted = 0;
    std::atomic<bool> m_stop{false};
};
