#pragma once
// The window mode of QuillHT from start to end: settings, language, LOGIN, log file, socket
// check, the monitor and its main window, address books, the window's run, then the exit
// steps (exit line, settings saved, log closed). The program's main() hands in what lies
// outside the window (the notification half), tests and the screenshot run hand in hooks.

#include "LoginDialog.h"
#include "MainWindow.h"

#include <functional>
#include <memory>
#include <string>

class CMailBook;
class CMessageBook;
class CSettingsStore;
class IAlarmSink;

// The notification half as the window mode uses it.
class IAppNotification {
public:
    virtual ~IAppNotification() = default;
    virtual IAlarmSink& Alarms() = 0;
    // True when no log file is configured or it opened.
    virtual bool OpenLogFile() = 0;
    // The string table text `id` as a log line.
    virtual bool LogResourceString(int id) = 0;
    virtual void CloseLogFile() = 0;
};

// Builds the notification half over the settings and the books. `showMessage` takes texts the
// user must see, from any thread, without waiting.
using NotificationFactory = std::function<std::unique_ptr<IAppNotification>(
    CSettingsStore& settings, CMailBook& mail, CMessageBook& message,
    std::function<void(const std::string&)> showMessage)>;

struct SWindowAppConfig {
    std::string settingsPath;  // resolved by the program (--config, beside it, XDG)
    std::string workDirectory; // address books (and relative log paths)
    SWindowOptions window;     // rescan targets, disk checking, Find computer
    // Trace lines of the program (discarded unless set).
    std::function<void(std::string_view)> trace;
};

struct SWindowAppHooks {
    // Empty: the LOGIN dialog.
    LoginAsker login;
    // Called once the window shows and its first rescan has begun.
    std::function<void(CQuillHTDlg& window, CMonitor& monitor)> started;
    // Timing of the monitor (tests); empty: the product's.
    std::function<void(CMonitor& monitor)> configure;
};

// Runs the window mode; the QApplication must exist. Returns the program's exit status: 0
// after a confirmed close or SIGTERM/SIGINT (CSignalEnd), 1 when the login was refused or
// cancelled (a signal during the login cancels it), 2 when sockets cannot be used.
int RunWindowApp(const SWindowAppConfig& config, const NotificationFactory& notification,
                 const SWindowAppHooks& hooks = {});

// The program's window mode: creates the application object over the command line (the
// toolkit takes its own options, such as -platform, out of it) and runs RunWindowApp.
int RunWindowProgram(int argc, char** argv, const SWindowAppConfig& config,
                     const NotificationFactory& notification);
