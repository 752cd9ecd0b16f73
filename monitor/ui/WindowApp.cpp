#include "WindowApp.h"

#include "AddressBook.h"
#include "AlarmSink.h"
#include "DiskCheckEntry.h"
#include "Monitor.h"
#include "NotifyDialog.h"
#include "Pictures.h"
#include "Prompt.h"
#include "SettingsStore.h"
#include "SignalEnd.h"
#include "StringIds.h"
#include "StringTable.h"
#include "UiText.h"

#include <QApplication>

#include <atomic>

#include <sys/socket.h>
#include <unistd.h>

namespace {

void Trace(const SWindowAppConfig& config, std::string_view line) {
    if (config.trace) {
        config.trace(line);
    }
}

// The socket layer's start-up check: a datagram socket must be available.
bool SocketsWork() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace

int RunWindowApp(const SWindowAppConfig& config, const NotificationFactory& notification,
                 const SWindowAppHooks& hooks) {
    Trace(config, "\r\n\r\n\r\n");
    Trace(config, "Application Starting up...\r\n");
    CSettingsStore settings(config.settingsPath);
    CStringTable::SetLanguage(settings.Snapshot().Language);
    QApplication::setWindowIcon(Pictures::Application());
    CSignalEnd signalEnd;

    if (!RunLogin(settings, hooks.login ? hooks.login : DialogLoginAsker())) {
        return 1; // the store does not save: RunLogin saw to that
    }

    CMailBook mail;
    CMessageBook message;
    // While the monitor lives, texts go to its message-box queue (any thread, never waiting);
    // before and after it only this thread runs, and a box is shown at once.
    std::atomic<CMonitor*> monitorForMessages{nullptr};
    std::unique_ptr<IAppNotification> notify =
        notification(settings, mail, message, [&](const std::string& text) {
            if (CMonitor* m = monitorForMessages.load()) {
                m->RaiseMessageBox(text);
            } else {
                Prompt::Tell(nullptr, FromUtf8(text));
            }
        });

    if (!notify->OpenLogFile()) {
        Prompt::Tell(nullptr, IDS_LOG_OPEN_FAILED);
    }
    notify->LogResourceString(IDS_APP_STARTED);
    if (!SocketsWork()) {
        Prompt::Tell(nullptr, IDS_SOCKETS_FAILED);
        notify->CloseLogFile();
        settings.SetSaveOnDestroy(false);
        return 2;
    }

    int status = 0;
    {
        CMonitor monitor(settings, notify->Alarms());
        if (config.trace) {
            monitor.Trace().Attach(config.trace);
        }
        if (hooks.configure) {
            hooks.configure(monitor);
        }
        monitorForMessages = &monitor;
        {
            CQuillHTDlg window(monitor, mail, message, config.window);
            EnableDiskChecking(window, monitor.AgentList(), config.workDirectory);
            // The event-log source needs no registration here: the system log takes records
            // from any program.
            LoadAddressBooks(mail, message, config.workDirectory);
            window.show();
            window.OnInitDialog();
            if (hooks.started) {
                hooks.started(window, monitor);
            }
            status = QApplication::exec();
            // Quit some other way than the close command, the window still runs its exit
            // steps as it goes.
        }
        monitorForMessages = nullptr;
    }

    notify->LogResourceString(IDS_APP_EXIT);
    if (!settings.Save()) {
        TellSettingsNotSaved(nullptr, settings);
    }
    settings.SetSaveOnDestroy(false); // saved just now
    notify->CloseLogFile();
    Trace(config, "End Application\r\n");
    return status;
}

int RunWindowProgram(int argc, char** argv, const SWindowAppConfig& config,
                     const NotificationFactory& notification) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuillHT"));
    // Ties the windows to packaging/QuillHT.desktop (its icon and name in the task bar).
    QApplication::setDesktopFileName(QStringLiteral("QuillHT"));
    return RunWindowApp(config, notification);
}
