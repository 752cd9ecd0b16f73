// QuillHT's window front-end: a library of its own (libquillht-window.so beside the program),
// which main() loads only when no --headless is given, so that the headless mode never loads
// the GUI toolkit and needs no display. The command line is the headless mode's where it
// applies (--config, --workdir, --agent, --no-broadcast, --rescan-every, --disk-checking).
#include "ConfigPath.h"
#include "HeadlessOptions.h"
#include "NotifierGlue.h"
#include "WindowApp.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

// The program's notifier as the window mode uses it.
class CWindowNotification : public IAppNotification {
public:
    explicit CWindowNotification(std::unique_ptr<IAppNotifier> notifier)
        : m_notifier(std::move(notifier)) {}
    IAlarmSink& Alarms() override { return *m_notifier; }
    bool OpenLogFile() override { return m_notifier->OpenLogFile(); }
    bool LogResourceString(int id) override { return m_notifier->LogResourceString(id); }
    void CloseLogFile() override { m_notifier->CloseLogFile(); }

private:
    std::unique_ptr<IAppNotifier> m_notifier;
};

} // namespace

extern "C" __attribute__((visibility("default"))) int QuillHTWindowMain(int argc, char** argv) {
    SHeadlessOptions options;
    std::string error;
    if (ParseCommandLine(argc, argv, options, error) != ECommandLine::Run) {
        std::fprintf(stderr, "QuillHT: %s\n%s", error.c_str(), UsageText());
        return 2;
    }
    // A mail server or a pop-up helper that hangs up must not end the program.
    std::signal(SIGPIPE, SIG_IGN);

    SWindowAppConfig config;
    config.settingsPath = ResolveSettingsPath(ProcessConfigPathInputs(options.config));
    if (config.settingsPath.empty()) {
        std::fprintf(stderr, "QuillHT: no place for the settings file; defaults are used\n");
    } else if (options.config.empty()) {
        // The XDG place may not exist yet; the settings are saved there at exit.
        std::error_code ec;
        std::filesystem::create_directories(
            std::filesystem::path(config.settingsPath).parent_path(), ec);
    }
    // Address books, the log file and reports live in the working folder.
    if (!options.workdir.empty() && chdir(options.workdir.c_str()) != 0) {
        std::fprintf(stderr, "QuillHT: cannot use %s as the working folder: %s\n",
                     options.workdir.c_str(), std::strerror(errno));
        return 1;
    }
    config.window.targets.broadcast = options.broadcast;
    config.window.targets.addresses = options.agents;
    config.window.diskChecking = options.diskChecking;
    config.window.rescanEverySeconds = options.rescanEverySeconds;
    // Asking the network for NetBIOS names broadcasts too.
    config.window.find.browseNetwork = options.broadcast;
    // QUILLHT_TRACE=1: the diagnostic trace on standard error (it discards otherwise).
    if (const char* trace = std::getenv("QUILLHT_TRACE"); trace != nullptr && *trace == '1') {
        config.trace = [](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), stderr);
            std::fflush(stderr);
        };
    }
    return RunWindowProgram(argc, argv, config,
                            [](CSettingsStore& settings, CMailBook& mail, CMessageBook& message,
                               std::function<void(const std::string&)> showMessage) {
                                return std::make_unique<CWindowNotification>(MakeAppNotifier(
                                    settings, mail, message, std::move(showMessage)));
                            });
}
