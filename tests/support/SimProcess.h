// Starts the stand-in controller (vrnsim) for a test and talks to its control channel.
// Header-only; tests that use it depend on the vrnsim target.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TestProcess.h"
#include "VrnTestPaths.h"

#ifndef VRN_BUILD_DIR
#error "VRN_BUILD_DIR must name the build folder"
#endif

class CSimProcess {
public:
    struct Options {
        bool pty = true;
        bool udp = false;
        std::string scenario;
        std::vector<std::string> extraArgs;
    };

    CSimProcess() : CSimProcess(Options{}) {}
    explicit CSimProcess(const Options& opt) { Start(opt); }
    ~CSimProcess() { Stop(); }
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& PtyPath() const { return m_ptyPath; }
    std::string PtyName() const {
        return m_ptyPath.rfind("/dev/", 0) == 0 ? m_ptyPath.substr(5) : m_ptyPath;
    }
    const std::string& UdpAddr() const { return m_udpAddr; }
    int UdpPort() const { return m_udpPort; }
    const std::string& CtlPath() const { return m_ctlPath; }
    pid_t Pid() const { return m_proc.Pid(); }

    // Sends one control line; returns the reply line, "" when the simulator is unreachable.
    std::string Ctl(const std::string& line) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (m_ctlPath.empty() || m_ctlPath.size() >= sizeof a.sun_path)
            return "";
        std::memcpy(a.sun_path, m_ctlPath.c_str(), m_ctlPath.size() + 1);
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return "";
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            return "";
        }
        std::string req = line + "\n";
        if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) {
            close(fd);
            return "";
        }
        std::string reply;
        char buf[4096];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reply.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            reply.append(buf, static_cast<size_t>(n));
        }
        close(fd);
        size_t nl = reply.find('\n');
        return nl == std::string::npos ? "" : reply.substr(0, nl);
    }

    // The `frames` counter, -1 when it cannot be read.
    long Frames() {
        std::string r = Ctl("frames");
        if (r.rfind("ok ", 0) != 0)
            return -1;
        char* end = nullptr;
        long v = std::strtol(r.c_str() + 3, &end, 10);
        return end && *end == '\0' ? v : -1;
    }

private:
    void Start(const Options& opt) {
        char tmpl[] = "/tmp/vrnsim-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        m_dir = tmpl;
        m_ctlPath = m_dir + "/ctl";
        std::vector<std::string> args{VRN_BUILD_DIR "/sim/vrnsim", "--ctl", m_ctlPath};
        if (opt.pty)
            args.push_back("--pty");
        if (opt.udp) {
            args.push_back("--udp");
            args.push_back("127.0.0.1:0");
        }
        if (!opt.scenario.empty()) {
            args.push_back("--scenario");
            args.push_back(opt.scenario);
        }
        args.insert(args.end(), opt.extraArgs.begin(), opt.extraArgs.end());
        if (!m_proc.Start(args, vrntest::CProcess::EStdout::Pipe))
            return;
        m_out = m_proc.StdoutPipe();
        ReadBanner();
    }

    void ReadBanner() {
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            size_t nl;
            while ((nl = text.find('\n')) != std::string::npos) {
                std::string line = text.substr(0, nl);
                text.erase(0, nl + 1);
                if (line == "ready") {
                    m_ready = true;
                    return;
                }
                if (line.rfind("pty ", 0) == 0)
                    m_ptyPath = line.substr(4);
                else if (line.rfind("udp ", 0) == 0) {
                    std::string v = line.substr(4);
                    size_t colon = v.rfind(':');
                    if (colon != std::string::npos) {
                        m_udpAddr = v.substr(0, colon);
                        m_udpPort = std::atoi(v.c_str() + colon + 1);
                    }
                }
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            pollfd p{m_out, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                return;
            char buf[512];
            ssize_t n = read(m_out, buf, sizeof buf);
            if (n <= 0)
                return;
            text.append(buf, static_cast<size_t>(n));
        }
    }

    void Stop() {
        m_proc.Stop(2000);
        if (!m_dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
        }
    }

    vrntest::CProcess m_proc;
    int m_out = -1; // the simulator's standard output, owned by m_proc
    bool m_ready = false;
    std::string m_dir;
    std::string m_ptyPath;
    std::string m_udpAddr;
    int m_udpPort = 0;
    std::string m_ctlPath;
};
