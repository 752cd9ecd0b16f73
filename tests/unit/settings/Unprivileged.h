#pragma once
// Runs a check in a child process without root's override of file permissions, so a
// read-only directory really is read-only. Returns the child's exit status (0..255), or -1.

#include <functional>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

inline int RunUnprivileged(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (::geteuid() == 0) {
            // nobody/nogroup
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(200);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}
