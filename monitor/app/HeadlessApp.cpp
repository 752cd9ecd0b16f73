#include "HeadlessApp.h"

#include "ConfigPath.h"
#include "HeadlessWindow.h"
#include "MetricsPage.h"
#include "MetricsServer.h"
#include "Monitor.h"
#include "StringTable.h"

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A run of months must not keep every line in memory; the log file has them all.
constexpr std::size_t HEADLESS_EVENT_LINES = 10000;

// Two sockets per agent: a thousand agents need more than the usual 1024 descriptors.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The XDG place may not exist yet; the settings are saved there at exit.
void MakeParentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return;
    std::error_code ec;
    std::filesystem::create_directories(path.substr(0, slash), ec);
}

int MillisecondsUntil(Clock::time_point t) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
}

} // namespace

int RunHeadless(const SHeadlessRun& run) {
    const SHeadlessOptions& options = run.options;
    // Before any thread exists, so that every thread inherits the mask and the signals
    // arrive only through sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();
    setvbuf(run.out, nullptr, _IOLBF, 0);

    const SConfigPathInputs inputs = ProcessConfigPathInputs(options.config);
    const std::string settingsPath = ResolveSettingsPath(inputs);
    if (settingsPath.empty())
        std::fprintf(run.err, "QuillHT: no place for the settings file; defaults are used\n");
    else if (options.config.empty())
        MakeParentFolder(settingsPath);
    CSettingsStore settings(settingsPath);
    CStringTable::SetLanguage(settings.Snapshot().Language);

    if (!options.workdir.empty() && chdir(options.workdir.c_str()) != 0) {
        std::fprintf(run.err, "QuillHT: cannot use %s as the working folder: %s\n",
                     options.workdir.c_str(), std::strerror(errno));
        settings.SetSaveOnDestroy(false);
        return 1;
    }

    CMailBook mail;
    CMessageBook message;
    CHeadlessWindow window(run.out, run.err);
    std::atomic<CMonitor*> monitorForBoxes{nullptr};
    auto showMessage = [&](const std::string& text) {
        if (CMonitor* m = monitorForBoxes.load()) {
            m->RaiseMessageBox(text);
            return;
        }
        std::fprintf(run.err, "%s: %s\n", CStringTable::Text(IDS_APP_TITLE), text.c_str());
        std::fflush(run.err);
    };
    std::unique_ptr<IAppNotifier> notifier = run.makeNotifier(settings, mail, message, showMessage);

    if (!notifier->OpenLogFile())
        showMessage(CStringTable::Text(IDS_LOG_OPEN_FAILED));
    notifier->LogResourceString(IDS_APP_STARTED);

    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        showMessage(CStringTable::Text(IDS_SOCKETS_FAILED));
        notifier->CloseLogFile();
        return 1;
    }
    ::close(probe);
    LoadAddressBooks(mail, message);

    // Counts the alarms by level for the metrics page on their way to the notifier.
    CAlarmCounter alarms(*notifier);
    CMonitor monitor(settings, alarms, &window);
    window.BindToThisThread();
    window.SetMonitor(&monitor);
    monitor.EventList().SetLineLimit(HEADLESS_EVENT_LINES);
    monitorForBoxes = &monitor;
    // QUILLHT_TRACE=1: the diagnostic trace on standard error (it discards otherwise).
    if (const char* trace = std::getenv("QUILLHT_TRACE"); trace != nullptr && *trace == '1') {
        monitor.Trace().Attach([err = run.err](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), err);
            std::fflush(err);
        });
    }
    notifier->SetTrace([&monitor](std::string_view line) { monitor.Trace().Write(line); });
    monitor.Trace().Write("\r\n\r\n\r\n");
    monitor.Trace().Write("Application Starting up...\r\n");
    if (run.onMonitor)
        run.onMonitor(monitor);

    // Declared after the monitor: its thread reads the monitor and ends before it goes.
    std::unique_ptr<CMetricsServer> metrics;
    if (options.metrics) {
        metrics = std::make_unique<CMetricsServer>([&monitor, &alarms, &notifier] {
            return RenderMetrics(CollectMetrics(monitor, alarms, notifier->Deliveries()));
        });
        std::string error;
        if (!metrics->Start(options.metricsAddress, options.metricsPort, error)) {
            std::fprintf(run.err, "QuillHT: --metrics: %s\n", error.c_str());
            std::fflush(run.err);
            monitorForBoxes = nullptr;
            window.SetMonitor(nullptr);
            notifier->CloseLogFile();
            return 1;
        }
        char address[INET_ADDRSTRLEN] = {};
        in_addr a{};
        a.s_addr = options.metricsAddress;
        inet_ntop(AF_INET, &a, address, sizeof address);
        std::fprintf(run.err, "QuillHT: metrics at http://%s:%d/metrics\n", address,
                     metrics->Port());
        std::fflush(run.err);
    }

    std::stop_source exitRequest;
    std::atomic<bool> rescanRequest{false};
    std::jthread signalThread([&] {
        for (;;) {
            int sig = 0;
            if (sigwait(&signals, &sig) != 0)
                continue;
            if (sig == SIGHUP) {
                rescanRequest = true;
            } else {
                exitRequest.request_stop();
            }
            window.PostToWindow([] {});
            if (sig != SIGHUP)
                return;
        }
    });
    // The failed-device re-check makes library calls: it runs beside the loop, so an
    // unreachable agent never holds up the clock, signals or other agents' state changes.
    std::jthread failedDeviceTicker([&](std::stop_token stop) {
        while (monitor.SleepFor(1s, stop))
            monitor.FailedDeviceTick(stop);
    });

    const SRescanTargets targets{options.broadcast, options.agents};
    const auto rescanEvery = std::chrono::seconds(options.rescanEverySeconds);
    monitor.Rescan(targets, exitRequest.get_token());
    auto nextTick = Clock::now() + 1s;
    auto nextRescan =
        options.rescanEverySeconds > 0 ? Clock::now() + rescanEvery : Clock::time_point::max();

    while (!exitRequest.stop_requested()) {
        pollfd wake{window.WakeFd(), POLLIN, 0};
        const int waitMs = MillisecondsUntil(std::min(nextTick, nextRescan));
        if (::poll(&wake, 1, waitMs) < 0 && errno != EINTR)
            break;
        window.RunPosted();
        if (exitRequest.stop_requested())
            break;
        const auto now = Clock::now();
        if (now >= nextTick) {
            monitor.ClockTick();
            monitor.WarningCountdownTick();
            // A tick that came late (a rescan ran) is not made up for.
            nextTick = now - nextTick > 1s ? now + 1s : nextTick + 1s;
        }
        if (rescanRequest.exchange(false) || now >= nextRescan) {
            monitor.Rescan(targets, exitRequest.get_token());
            if (options.rescanEverySeconds > 0)
                nextRescan = Clock::now() + rescanEvery;
        }
    }

    failedDeviceTicker.request_stop();
    failedDeviceTicker.join();
    if (metrics)
        metrics->Stop();
    monitor.Shutdown();
    window.RunPosted();
    if (!exitRequest.stop_requested())
        pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();

    notifier->LogResourceString(IDS_APP_EXIT);
    if (!settings.Save())
        std::fprintf(run.err, "QuillHT: the settings could not be saved to %s\n",
                     settings.Path().c_str());
    settings.SetSaveOnDestroy(false);
    notifier->CloseLogFile();
    monitor.Trace().Write("End Application\r\n");
    notifier->SetTrace({});
    monitorForBoxes = nullptr;
    window.SetMonitor(nullptr);
    return 0;
}
