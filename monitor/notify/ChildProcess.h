#pragma once
// Runs a helper program (the messenger's smbclient) without a shell: the arguments go to it as
// they are, the input is written to its standard input, its output and error output are kept,
// and it is killed when it outlives its time limit or a stop request arrives.

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

struct SChildResult {
    bool started = false;
    int startError = 0;    // errno of a failed start (ENOENT: no such program)
    bool timedOut = false; // killed at the time limit
    bool stopped = false;  // killed on a stop request
    int exitStatus = -1;   // the status it exited with; -1 when a signal ended it
    std::string output;    // standard output, at most kChildOutputMax bytes
    std::string errors;    // standard error, at most kChildOutputMax bytes
};

inline constexpr std::size_t kChildOutputMax = 16 * 1024;

// argv[0] is looked up in PATH unless it holds a "/".
SChildResult RunChild(const std::vector<std::string>& argv, const std::string& input,
                      std::chrono::milliseconds timeLimit, std::stop_token stop = {});
