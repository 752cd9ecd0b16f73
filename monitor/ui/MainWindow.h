#pragma once
// The main window, "Raid SubSystem Monitoring Utility": the toolbar's eight commands, the
// agent list, the event list and the two-part status line, and the core's window interface.
//
// Threads. Monitor threads reach the window only through IMonitorWindow: PostToWindow puts
// work on the window's queue (CWindowQueue), and the core's blocking row steps wait on it
// until a stop request releases them. The window's own long steps run on helper threads so
// that painting never stops: the network part of a rescan and of Delete, the failed-device
// re-check, and the agent's web-page port query. Meanwhile the commands are disabled.

#include "AgentList.h"
#include "FindComputer.h"
#include "Monitor.h"
#include "MonitorWindow.h"
#include "WindowQueue.h"

#include <QMainWindow>
#include <QUrl>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class CAgentListCtrl;
class CEventListCtrl;
class CMailBook;
class CMessageBook;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

// Toolbar command identifiers.
inline constexpr int ID_ADD = 16129;
inline constexpr int ID_DELETE = 16130;
inline constexpr int ID_RESCAN = 16131;
inline constexpr int ID_NOTIFICATION = 16132;
inline constexpr int ID_ADDRESS_BOOKS = 16133;
inline constexpr int ID_SETUP = 16134;
inline constexpr int ID_ABOUT = 16135;
inline constexpr int ID_EXIT = 16136;
// The agent list's disk-checking entry; built into the row menu and removed before it shows
// unless disk checking was asked for.
inline constexpr int ID_DISK_CHECKING = 32780;

struct SWindowOptions {
    SRescanTargets targets;     // where every rescan looks
    bool diskChecking = false;  // keep the row menu's disk-checking entry
    std::string workDirectory;  // the address books' files
    SFindComputerOptions find;  // "Find computer" (no network browsing without broadcasts)
    int httpPortWaitMs = 20000; // the agent's port query
    // Rescans every so many seconds besides the first and the Rescan command's (0: none).
    int rescanEverySeconds = 0;
};

class CQuillHTDlg : public QMainWindow, public IMonitorWindow {
    Q_OBJECT

public:
    CQuillHTDlg(CMonitor& monitor, CMailBook& mailBook, CMessageBook& messageBook,
                SWindowOptions options, QWidget* parent = nullptr);
    ~CQuillHTDlg() override;

    // The status line's start message and the first rescan; call once, after show().
    void OnInitDialog();

    // --- IMonitorWindow ---
    void PostToWindow(std::function<void()> fn) override;
    bool IsWindowThread() const override;
    bool FindAgentRow(const CAgent& agent) override;
    void ShowAgentState(const CAgent& agent, int state) override;
    void RebuildAgentList() override;
    void ShowEventLine(const SEventLine& line, const std::string& statusText) override;
    void ShowClock(const std::string& text) override;
    void ShowMessageBox(const std::string& text) override;
    void ShowWaitNotice(bool visible) override;

    // --- commands ---
    void OnAdd();
    void OnDelete();
    void OnRescan();
    void OnNotification();
    void OnAddressBooks();
    void OnMailBook();
    void OnMessageBook();
    void OnSetup();
    void OnAbout();
    // Exit: the close question, then the exit steps.
    void OnExit() { close(); }
    // Double click: the agent's web pages in the desktop's browser.
    void OpenAgentPage(int row);
    // The row menu for the selected row (null when no row is selected). The caller owns it.
    QMenu* BuildRowMenu();
    void OnEnterDescription(int row);

    // Whether a rescan or a delete is running off the window thread.
    bool Busy() const { return m_busy; }
    // Whether the close was confirmed and the exit steps have run.
    bool ExitDone() const { return m_exitDone; }

    // --- for the program and its tests ---
    CAgentListCtrl* AgentListCtrl() const { return m_agents; }
    CEventListCtrl* EventListCtrl() const { return m_events; }
    QToolBar* ToolBar() const { return m_toolbar; }
    QAction* Command(int id) const;
    QToolButton* CommandButton(int id) const;
    QLabel* StatusPart(int part) const;
    QWidget* WaitNotice() const { return m_waitNotice; }
    CWindowQueue& Queue() { return m_queue; }
    CMonitor& Monitor() { return m_monitor; }
    CMailBook& MailBook() { return m_mailBook; }
    CMessageBook& MessageBook() { return m_messageBook; }
    const SWindowOptions& Options() const { return m_options; }
    // Whether the "Notification" button shows the indeterminate look.
    bool NotificationIndeterminate() const { return m_notifyIndeterminate; }

    using RowCommand = std::function<void(const AgentPtr& agent)>;
    void SetDiskCheckingHandler(RowCommand handler) { m_diskChecking = std::move(handler); }
    using UrlOpener = std::function<void(const QUrl& url)>;
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

signals:
    // A rescan or delete has started (true) or ended (false).
    void busyChanged(bool busy);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildToolbar();
    void BuildViews();
    void BuildStatusLine();
    void BuildWaitNotice();
    void RetitleToolbar();
    void UpdateNotifyButton();
    void EnableCommands(bool enabled);
    void StartRescan();
    // Runs `work` on a helper thread with the commands disabled, then `done` on the window's
    // thread. With `hold`, what monitor threads post waits until `done` has run.
    void RunBusy(std::function<void(std::stop_token)> work, std::function<void()> done, bool hold);
    void ShowRowMenu(const QPoint& globalPos);
    void OnFailedDeviceTimer();
    void OnRescanTimer();
    void ExitSteps();
    void JoinHelpers();

    CMonitor& m_monitor;
    CMailBook& m_mailBook;
    CMessageBook& m_messageBook;
    SWindowOptions m_options;
    CWindowQueue m_queue;

    QToolBar* m_toolbar = nullptr;
    std::map<int, QAction*> m_commands;
    QMenu* m_booksMenu = nullptr;
    QAction* m_mailBookAction = nullptr;
    QAction* m_messageBookAction = nullptr;
    bool m_notifyIndeterminate = false;
    CAgentListCtrl* m_agents = nullptr;
    CEventListCtrl* m_events = nullptr;
    QLabel* m_status[2] = {nullptr, nullptr};
    QWidget* m_waitNotice = nullptr;
    QTimer* m_clockTimer = nullptr;
    QTimer* m_warningTimer = nullptr;
    QTimer* m_failedTimer = nullptr;
    QTimer* m_rescanTimer = nullptr;

    bool m_busy = false;
    std::jthread m_busyWorker;
    std::jthread m_failedWorker;
    std::atomic<bool> m_failedRunning{false};
    // Port queries of double-clicked rows; each says when it is done, so that finished ones
    // are joined and dropped.
    struct SPortQuery {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    std::vector<SPortQuery> m_portQueries;
    bool m_exitDone = false;

    RowCommand m_diskChecking;
    UrlOpener m_openUrl;
};
