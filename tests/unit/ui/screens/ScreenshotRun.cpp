// The window mode as a user meets it, photographed: scripts/screenshots runs this under Xvfb
// with simulated agents on loopback addresses. It goes through the real start-up (settings,
// language, LOGIN typed like a user, log, monitor, window, first rescan without broadcast),
// waits for the agents and their first events, then opens the window's menus and dialogs one
// after the other and saves each as a PNG. It is a test program, built with the tests only.
//
// usage: ui_screenshot_run --out DIR --config INI --workdir DIR --hosts FILE
//                          [--agent ADDR]... [--min-lines N] [--suffix TEXT]
#include "AgentListCtrl.h"
#include "AlarmSink.h"
#include "BookDialogs.h"
#include "EventListCtrl.h"
#include "FindComputer.h"
#include "LoginDialog.h"
#include "LoginRules.h"
#include "MainWindow.h"
#include "NotifyDialog.h"
#include "Prompt.h"
#include "SetupSheet.h"
#include "SmallDialogs.h"
#include "SmtpDialog.h"
#include "StringIds.h"
#include "StringTable.h"
#include "UiText.h"
#include "WindowApp.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct SOptions {
    QString out;
    std::string config;
    std::string workdir;
    std::string hosts;
    std::vector<std::uint32_t> agents;
    int minLines = 2;
    QString suffix;
};

// Alarms go nowhere: the pictures are of the window, not of mail or pop-ups.
class CQuietNotification : public IAppNotification, public IAlarmSink {
public:
    IAlarmSink& Alarms() override { return *this; }
    bool OpenLogFile() override { return true; }
    bool LogResourceString(int) override { return true; }
    void CloseLogFile() override {}
    void NotifyAlarm(int, const std::string&, std::stop_token) override {}
    void ReportSystemEvent(int, std::uint32_t, const std::string&) override {}
    bool WriteLogLine(std::string_view) override { return true; }
};

SOptions g_options;
int g_saved = 0;
bool g_failed = false;

void Pause(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Saves `w` as DIR/NAME-SUFFIX.png: the screen area of its frame when a window manager has
// framed it (so the caption shows), else the widget as Qt draws it.
// The window manager's frame around `w` on the X screen: the outermost ancestor of its X
// window below the root. Empty without an X server or without a frame.
QRect ManagerFrame(QWidget* w) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || !w->isWindow()) {
        return {};
    }
    xcb_connection_t* c = x11->connection();
    xcb_window_t window = static_cast<xcb_window_t>(w->winId());
    xcb_window_t root = 0;
    for (int depth = 0; depth < 8; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (tree == nullptr) {
            return {};
        }
        root = tree->root;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root || parent == 0) {
            break;
        }
        window = parent;
    }
    if (window == static_cast<xcb_window_t>(w->winId())) {
        return {}; // not reparented: no frame
    }
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (g == nullptr) {
        return {};
    }
    const QRect frame(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
    std::free(g);
    return frame;
}

void Shoot(QWidget* w, const QString& name) {
    if (!w->isVisible()) {
        w->show();
    }
    w->raise();
    w->activateWindow();
    // Mapped and framed by the window manager (when there is one) first.
    WaitFor(
        [w] {
            const QRect frame = ManagerFrame(w);
            return w->windowHandle() != nullptr && w->windowHandle()->isExposed() &&
                   (!w->isWindow() || frame.height() > w->height());
        },
        3000);
    Pause(400);
    QPixmap picture;
    const QRect frame = ManagerFrame(w);
    if (frame.height() > w->height() && w->screen() != nullptr) {
        picture = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    } else {
        picture = w->grab();
    }
    if (std::getenv("VRN_TRACE") != nullptr) {
        std::fprintf(stderr, "%s: frame %dx%d+%d+%d geometry %dx%d\n", qPrintable(name),
                     frame.width(), frame.height(), frame.x(), frame.y(), w->width(), w->height());
    }
    const QString file = g_options.out + "/" + name + "-" + g_options.suffix + ".png";
    if (picture.isNull() || !picture.save(file)) {
        std::fprintf(stderr, "screenshots: could not save %s\n", qPrintable(file));
        g_failed = true;
        return;
    }
    std::printf("saved %s\n", qPrintable(file));
    ++g_saved;
}

template <class D> void ShootDialog(D* dialog, const QString& name) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    Shoot(dialog, name);
    dialog->close();
    Pause(100);
}

void ShootMenu(QMenu* menu, const QPoint& at, const QString& name) {
    menu->popup(at);
    Pause(300);
    Shoot(menu, name);
    menu->close();
}

// Every dialog of the window, one after the other, then the close question.
void ShootEverything(CQuillHTDlg& w, CMonitor& monitor) {
    CAgentListCtrl* list = w.AgentListCtrl();
    if (list->Rows() > 0) {
        list->setCurrentItem(list->topLevelItem(0));
    }
    Shoot(&w, "main-window");

    // The row menu and the Address Books drop-down.
    if (QMenu* menu = w.BuildRowMenu()) {
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        ShootMenu(menu, list->viewport()->mapToGlobal(row.center()), "row-menu");
        delete menu;
    }
    QToolButton* books = w.CommandButton(ID_ADDRESS_BOOKS);
    ShootMenu(w.Command(ID_ADDRESS_BOOKS)->menu<QMenu*>(),
              books->mapToGlobal(QPoint(0, books->height())), "address-books-menu");

    CSettingsStore& store = monitor.Settings();
    ShootDialog(new CEnterPasswordDlg(&w), "login");
    auto* ip = new CInputIpDlg([](const int*) { return false; }, &w);
    ShootDialog(ip, "input-ip");
    QMessageBox* invalid = Prompt::MakeBox(&w, UiText(IDS_INVALID_IP_ADDRESS), false, false);
    ShootDialog(invalid, "invalid-ip");
    auto* desc = new CDescriptionDlg(&w);
    desc->Edit()->setText(UiText(IDS_AGENT_COL_DESCRIPTION));
    ShootDialog(desc, "enter-desc");
    ShootDialog(Prompt::MakeBox(&w, UiText(IDS_ARE_YOU_SURE), true, false), "confirm-delete");
    ShootDialog(new CAboutDlg(&w), "about");
    ShootDialog(new CNotifySettingDlg(store, &w), "notification-settings");

    auto* sheet = new CSetupSheet(store, &w);
    sheet->show();
    const char* pages[] = {"setup-general", "setup-network", "setup-security"};
    for (int i = 0; i < 3; ++i) {
        sheet->Tabs()->setCurrentIndex(i);
        Shoot(sheet, pages[i]);
    }
    sheet->reject();
    delete sheet;
    ShootDialog(new CSmtpSettingDlg(store, &w), "smtp-settings");

    ShootDialog(new CAddressBookSelect(&w), "address-book-list");
    SFindComputerOptions find = w.Options().find;
    {
        // The book dialogs write their files when they close: look without closing them.
        CMailBookDlg mail(w.MailBook(), g_options.workdir, &w);
        mail.show();
        Shoot(&mail, "mail-book");
        mail.hide();
        CMessageBookDlg msg(w.MessageBook(), g_options.workdir, find, &w);
        msg.show();
        Shoot(&msg, "message-book");
        msg.hide();
    }
    CMailBook scratchMail;
    auto* user = new CAddUserDlg(scratchMail, &w);
    user->NameEdit()->setText("Ops desk");
    user->AddressEdit()->setText("ops@example.org");
    ShootDialog(user, "add-user");
    CMessageBook scratchMsg;
    auto* computer = new CAddComputerDlg(scratchMsg, find, &w);
    computer->NameEdit()->setText("OPSDESK");
    ShootDialog(computer, "add-computer");
    auto* finder = new CFindComputerDlg(find, &w);
    if (finder->List()->count() > 0) {
        finder->List()->setCurrentRow(0);
    }
    ShootDialog(finder, "find-computer");

    // A message a monitor thread raises: queued, not modal.
    monitor.RaiseMessageBox(CStringTable::Text(IDS_SMTP_CONNECT_FAILED));
    QMessageBox* queued = nullptr;
    WaitFor(
        [&] {
            for (QMessageBox* b : w.findChildren<QMessageBox*>("monitorMessage")) {
                if (b->isVisible()) {
                    queued = b;
                }
            }
            return queued != nullptr;
        },
        5000);
    if (queued != nullptr) {
        Shoot(queued, "monitor-message");
        queued->buttons().at(0)->click();
    }

    // The wait notice over the window during a rescan.
    w.OnRescan();
    Pause(150);
    if (w.Busy()) {
        Shoot(&w, "rescan-wait");
    }
    WaitFor([&] { return !w.Busy(); }, 30000);

    // The close question, answered OK.
    QTimer::singleShot(0, [] {
        WaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 5000);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Shoot(box, "confirm-exit");
            box->defaultButton(); // Cancel is preselected: press OK itself
            for (QAbstractButton* b : box->buttons()) {
                if (box->buttonRole(b) == QMessageBox::AcceptRole) {
                    b->click();
                }
            }
        }
    });
    w.close();
}

bool ParseOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--out") {
            g_options.out = QString::fromStdString(next());
        } else if (a == "--config") {
            g_options.config = next();
        } else if (a == "--workdir") {
            g_options.workdir = next();
        } else if (a == "--hosts") {
            g_options.hosts = next();
        } else if (a == "--agent") {
            in_addr addr{};
            if (inet_pton(AF_INET, next().c_str(), &addr) != 1) {
                return false;
            }
            g_options.agents.push_back(addr.s_addr);
        } else if (a == "--min-lines") {
            g_options.minLines = std::stoi(next());
        } else if (a == "--suffix") {
            g_options.suffix = QString::fromStdString(next());
        } else {
            return false;
        }
    }
    return !g_options.out.isEmpty() && !g_options.config.empty() && !g_options.workdir.empty();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QuillHT");
    if (!ParseOptions(argc, argv)) {
        std::fprintf(stderr, "usage: ui_screenshot_run --out DIR --config INI --workdir DIR "
                             "--hosts FILE [--agent ADDR]... [--min-lines N] [--suffix TEXT]\n");
        return 2;
    }
    SWindowAppConfig config;
    config.settingsPath = g_options.config;
    config.workDirectory = g_options.workdir;
    config.window.targets.broadcast = false; // never on this machine's network
    config.window.targets.addresses = g_options.agents;
    config.window.workDirectory = g_options.workdir;
    config.window.find.browseNetwork = false;
    config.window.find.hostsFile = g_options.hosts;
    if (std::getenv("VRN_TRACE") != nullptr) {
        config.trace = [](std::string_view line) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            std::fprintf(stderr, "%ld.%03ld ", static_cast<long>(now.tv_sec % 100),
                         now.tv_nsec / 1000000);
            std::fwrite(line.data(), 1, line.size(), stderr);
        };
    }

    SWindowAppHooks hooks;
    hooks.login = []() -> std::optional<SLoginEntry> {
        // The real dialog, photographed empty and then typed into.
        CEnterPasswordDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg] {
            dlg.AccountEdit()->setText("WARDN");
            dlg.PasswordEdit()->setText(kDefaultPassword);
            Shoot(&dlg, "login-typed");
            dlg.accept();
        });
        if (dlg.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return SLoginEntry{dlg.Account(), dlg.Password()};
    };
    hooks.started = [](CQuillHTDlg& w, CMonitor& monitor) {
        QTimer::singleShot(0, &w, [&w, &monitor] {
            // The script adds events on the simulated controllers once the window watches.
            WaitFor([&] { return !w.Busy(); }, 30000);
            std::printf("watching\n");
            std::fflush(stdout);
            const bool ready = WaitFor(
                [&] {
                    if (std::getenv("VRN_TRACE") != nullptr) {
                        static int n = 0;
                        if (++n % 200 == 0)
                            std::fprintf(stderr, "pending %zu held %d lines %d\n",
                                         w.Queue().Pending(), int(w.Queue().Held()),
                                         w.EventListCtrl()->Lines());
                    }
                    return !w.Busy() && w.EventListCtrl()->Lines() >= g_options.minLines;
                },
                30000);
            if (!ready) {
                std::fprintf(stderr, "screenshots: the agents' first events did not come\n");
                g_failed = true;
            }
            ShootEverything(w, monitor);
        });
    };
    const int status = RunWindowApp(
        config,
        [](CSettingsStore&, CMailBook&, CMessageBook&, std::function<void(const std::string&)>) {
            return std::make_unique<CQuietNotification>();
        },
        hooks);
    std::printf("%d pictures\n", g_saved);
    return status != 0 || g_failed ? 1 : 0;
}
