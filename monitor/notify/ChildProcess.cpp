#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace {

using CClock = std::chrono::steady_clock;
constexpr int kPollSliceMs = 50; // how soon a stop request is noticed

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// Reads what is there; false at end of file or on an error.
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    const std::size_t room = kChildOutputMax - std::min(into.size(), kChildOutputMax);
    into.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    return true;
}

} // namespace

SChildResult RunChild(const std::vector<std::string>& argv, const std::string& input,
                      std::chrono::milliseconds timeLimit, std::stop_token stop) {
    SChildResult result;
    if (argv.empty()) {
        result.startError = EINVAL;
        return result;
    }
    // Standard input is a socket rather than a pipe, so a child that exits without reading it
    // costs an EPIPE (MSG_NOSIGNAL), never a SIGPIPE to the whole program.
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
        pipe2(err, O_CLOEXEC) != 0) {
        result.startError = errno;
        for (int* fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]}) {
            CloseFd(*fd);
        }
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The child starts with default signal handling and nothing blocked, whatever this program
    // (a daemon that ignores SIGPIPE, a thread that blocks signals) has set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    CloseFd(in[1]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    if (spawned != 0) {
        result.startError = spawned;
        CloseFd(in[0]);
        CloseFd(out[0]);
        CloseFd(err[0]);
        return result;
    }
    result.started = true;

    std::string_view pending(input);
    if (pending.empty()) {
        CloseFd(in[0]);
    } else {
        fcntl(in[0], F_SETFL, O_NONBLOCK);
    }
    const auto deadline = CClock::now() + timeLimit;
    while (out[0] >= 0 || err[0] >= 0) {
        if (stop.stop_requested()) {
            result.stopped = true;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CClock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd fds[3] = {{in[0], POLLOUT, 0}, {out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        const int ready = poll(fds, 3, static_cast<int>(left < kPollSliceMs ? left : kPollSliceMs));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents != 0) {
            const ssize_t sent = send(in[0], pending.data(), pending.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                pending.remove_prefix(static_cast<std::size_t>(sent));
            }
            if ((sent < 0 && errno != EAGAIN && errno != EINTR) || pending.empty()) {
                CloseFd(in[0]); // end of input: the child reads to its end
            }
        }
        if (fds[1].revents != 0 && !Drain(out[0], result.output)) {
            CloseFd(out[0]);
        }
        if (fds[2].revents != 0 && !Drain(err[0], result.errors)) {
            CloseFd(err[0]);
        }
    }
    CloseFd(in[0]);
    CloseFd(out[0]);
    CloseFd(err[0]);

    // Both outputs are closed, so the child is ending; one that closed them and goes on is
    // still held to the time limit and the stop request.
    int status = 0;
    pid_t waited = 0;
    while (!result.stopped && !result.timedOut) {
        waited = waitpid(pid, &status, WNOHANG);
        if (waited != 0 && !(waited < 0 && errno == EINTR)) {
            break;
        }
        if (stop.stop_requested()) {
            result.stopped = true;
        } else if (CClock::now() >= deadline) {
            result.timedOut = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (result.stopped || result.timedOut) {
        kill(pid, SIGKILL);
        do {
            waited = waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    if (waited == pid && WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}
