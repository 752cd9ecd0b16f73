#pragma once
// QuillHT --headless: the application's start, its loop and its exit, without a window.
//
// Start, in the application's order: settings, language, log file and its start line, the
// socket probe, the address books; then a first rescan. The loop runs the three one-second
// ticks; SIGHUP rescans; SIGTERM or SIGINT ends it with the exit steps (every monitor thread
// stopped at once, the exit line, the settings saved, the log closed) and status 0.

#include "AddressBook.h"
#include "AppNotifier.h"
#include "HeadlessOptions.h"
#include "SettingsStore.h"

#include <cstdio>
#include <functional>
#include <memory>

class CMonitor;

// Builds the notifier over the settings and the books. showMessage is where its message
// boxes go (the monitor's queue once it exists).
using AppNotifierFactory = std::function<std::unique_ptr<IAppNotifier>(
    CSettingsStore& settings, CMailBook& mail, CMessageBook& message,
    std::function<void(const std::string&)> showMessage)>;

struct SHeadlessRun {
    SHeadlessOptions options;
    AppNotifierFactory makeNotifier;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Called once the monitor exists (metrics, tests); may be empty.
    std::function<void(CMonitor&)> onMonitor;
};

// Runs until SIGTERM or SIGINT; the process's exit status. Blocks SIGHUP, SIGTERM and SIGINT
// in the calling thread (and so in every thread it starts) and takes them through sigwait.
int RunHeadless(const SHeadlessRun& run);
