// Runs a program of this project for a test: its standard input from /dev/null, its standard
// error (and standard output, unless the test reads it as it comes) in files of a scratch
// folder, stopped and reaped when the test is done with it.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vrntest {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CProcess {
public:
    enum class EStdout { File, Pipe };

    CProcess() = default;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    ~CProcess() {
        Stop();
        RemoveOutput();
        if (m_pipe >= 0)
            ::close(m_pipe);
    }

    // args[0] is the program's path. With EStdout::Pipe the test reads standard output from
    // StdoutPipe() while the program runs.
    bool Start(std::vector<std::string> args, EStdout out = EStdout::File) {
        char tmpl[] = "/tmp/vrntest-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr)
            return false;
        m_dir = tmpl;
        int pipeFds[2] = {-1, -1};
        if (out == EStdout::Pipe && ::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            const int o = out == EStdout::Pipe ? pipeFds[1]
                                               : ::open((m_dir + "/stdout").c_str(),
                                                        O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open((m_dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(o, STDOUT_FILENO);
            ::dup2(e, STDERR_FILENO);
            ::dup2(in, STDIN_FILENO);
            std::vector<char*> argv;
            for (std::string& s : args)
                argv.push_back(s.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (out == EStdout::Pipe) {
            ::close(pipeFds[1]);
            m_pipe = pipeFds[0];
        }
        return m_pid > 0;
    }

    pid_t Pid() const { return m_pid; }
    int StdoutPipe() const { return m_pipe; }
    std::string Stdout() const { return ReadFile(m_dir + "/stdout"); }
    std::string Stderr() const { return ReadFile(m_dir + "/stderr"); }

    // The exit status once the process has ended within `ms`; -1 while it still runs, and
    // 128 + signal for a process ended by a signal.
    int WaitExit(int ms) {
        if (m_pid <= 0)
            return m_status;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            int st = 0;
            if (::waitpid(m_pid, &st, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                return m_status;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // SIGTERM, then SIGKILL if it does not end within `ms`; returns the exit status.
    int Stop(int ms = 10000) {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            if (WaitExit(ms) < 0) {
                ::kill(m_pid, SIGKILL);
                WaitExit(5000);
            }
        }
        return m_status;
    }

    void RemoveOutput() {
        if (!m_dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
            m_dir.clear();
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
    int m_pipe = -1;
    std::string m_dir;
};

// Runs a program to its end (at most `ms`, then it is stopped) and returns its exit status;
// its outputs go to `out` and `err` where given.
inline int RunProgram(const std::vector<std::string>& args, std::string* out, int ms = 30000,
                      std::string* err = nullptr) {
    CProcess p;
    if (!p.Start(args))
        return -1;
    int status = p.WaitExit(ms);
    if (status < 0)
        status = p.Stop(1000);
    if (out != nullptr)
        *out = p.Stdout();
    if (err != nullptr)
        *err = p.Stderr();
    return status;
}

} // namespace vrntest
