#pragma once
// The command line of QuillHT:
//   QuillHT --headless [--config FILE] [--workdir DIR] [--agent ADDR]... [--no-broadcast]
//           [--rescan-every SECONDS] [--disk-checking] [--metrics ADDR:PORT]
//   QuillHT --help | --version
// Without --headless the window front-end runs (with the same options where they apply).

#include <cstdint>
#include <string>
#include <vector>

struct SHeadlessOptions {
    bool headless = false;
    std::string config;                // settings file; empty: the default rule
    std::string workdir;               // address books, log file, reports; empty: current
    std::vector<std::uint32_t> agents; // network order, in the order given
    bool broadcast = true;
    int rescanEverySeconds = 0;       // 0: only at start and on SIGHUP
    bool diskChecking = false;        // the window keeps the agent list's DiskChecking entry
    bool metrics = false;             // serve /metrics at metricsAddress:metricsPort
    std::uint32_t metricsAddress = 0; // network order
    int metricsPort = 0;              // 0: any free port (the one taken is printed)
};

enum class ECommandLine { Run, Help, Version, Error };

// Parses argv[1..]. On Error, `error` says what was wrong.
ECommandLine ParseCommandLine(int argc, const char* const* argv, SHeadlessOptions& options,
                              std::string& error);

const char* UsageText();
