#include "MainWindow.h"

#include "AgentListCtrl.h"
#include "EventListCtrl.h"
#include "Pictures.h"
#include "Prompt.h"
#include "StringIds.h"
#include "UiText.h"

#include "AddressBook.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>

namespace {

struct SToolCommand {
    int id;
    int label;
    const char* picture;
};

constexpr SToolCommand kToolCommands[] = {
    {ID_ADD, IDS_TOOLBAR_ADD, "add"},
    {ID_DELETE, IDS_TOOLBAR_DELETE, "delete"},
    {ID_RESCAN, IDS_TOOLBAR_RESCAN, "rescan"},
    {ID_NOTIFICATION, IDS_TOOLBAR_NOTIFICATION, "notification"},
    {ID_ADDRESS_BOOKS, IDS_TOOLBAR_ADDRESS_BOOKS, "addressbooks"},
    {ID_SETUP, IDS_TOOLBAR_SETUP, "setup"},
    {ID_ABOUT, IDS_TOOLBAR_ABOUT, "about"},
    {ID_EXIT, IDS_TOOLBAR_EXIT, "exit"},
};

constexpr int TOOL_PICTURE_SIZE = 40;
constexpr int AGENT_LIST_HEIGHT = 358;
constexpr int EVENT_LIST_HEIGHT = 173;
constexpr int CLOCK_PART_WIDTH = 120;

} // namespace

CQuillHTDlg::CQuillHTDlg(CMonitor& monitor, CMailBook& mailBook, CMessageBook& messageBook,
                         SWindowOptions options, QWidget* parent)
    : QMainWindow(parent), m_monitor(monitor), m_mailBook(mailBook), m_messageBook(messageBook),
      m_options(std::move(options)), m_queue(this),
      m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    m_monitor.Trace().Write("CQuillHTDlg::OnInitDialog()\r\n");
    setWindowTitle(UiText(IDS_MAIN_CAPTION));
    setWindowIcon(Pictures::Application());
    BuildToolbar();
    BuildViews();
    BuildStatusLine();
    BuildWaitNotice();

    m_clockTimer = new QTimer(this);
    m_warningTimer = new QTimer(this);
    m_failedTimer = new QTimer(this);
    for (QTimer* t : {m_clockTimer, m_warningTimer, m_failedTimer}) {
        t->setInterval(1000);
    }
    connect(m_clockTimer, &QTimer::timeout, this, [this] { m_monitor.ClockTick(); });
    connect(m_warningTimer, &QTimer::timeout, this, [this] {
        // A busy window of old did not tick either; the countdown resumes afterwards.
        if (!m_busy) {
            m_monitor.WarningCountdownTick();
        }
    });
    connect(m_failedTimer, &QTimer::timeout, this, &CQuillHTDlg::OnFailedDeviceTimer);
    m_rescanTimer = new QTimer(this);
    connect(m_rescanTimer, &QTimer::timeout, this, &CQuillHTDlg::OnRescanTimer);

    m_monitor.SetWindow(this);
    resize(720, 660);
}

CQuillHTDlg::~CQuillHTDlg() {
    if (!m_exitDone) {
        ExitSteps();
    }
}

void CQuillHTDlg::BuildToolbar() {
    m_toolbar = addToolBar(QStringLiteral("commands"));
    m_toolbar->setObjectName(QStringLiteral("commands"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(TOOL_PICTURE_SIZE, TOOL_PICTURE_SIZE));

    m_booksMenu = new QMenu(this);
    m_mailBookAction = m_booksMenu->addAction(QString(), this, &CQuillHTDlg::OnMailBook);
    m_messageBookAction = m_booksMenu->addAction(QString(), this, &CQuillHTDlg::OnMessageBook);

    for (const SToolCommand& c : kToolCommands) {
        QAction* action =
            m_toolbar->addAction(Pictures::Tool(QString::fromLatin1(c.picture)), QString());
        action->setData(c.id);
        action->setProperty("normalIcon", Pictures::Tool(QString::fromLatin1(c.picture)));
        m_commands[c.id] = action;
        if (c.id == ID_ADDRESS_BOOKS) {
            action->setMenu(m_booksMenu);
        }
        if (QToolButton* button = CommandButton(c.id)) {
            // Toolbar buttons never take the keyboard focus, so Enter and Space reach no
            // command by accident.
            button->setFocusPolicy(Qt::NoFocus);
            if (c.id == ID_ADDRESS_BOOKS) {
                button->setPopupMode(QToolButton::MenuButtonPopup);
            }
        }
    }
    connect(Command(ID_ADD), &QAction::triggered, this, &CQuillHTDlg::OnAdd);
    connect(Command(ID_DELETE), &QAction::triggered, this, &CQuillHTDlg::OnDelete);
    connect(Command(ID_RESCAN), &QAction::triggered, this, &CQuillHTDlg::OnRescan);
    connect(Command(ID_NOTIFICATION), &QAction::triggered, this, &CQuillHTDlg::OnNotification);
    connect(Command(ID_ADDRESS_BOOKS), &QAction::triggered, this, &CQuillHTDlg::OnAddressBooks);
    connect(Command(ID_SETUP), &QAction::triggered, this, &CQuillHTDlg::OnSetup);
    connect(Command(ID_ABOUT), &QAction::triggered, this, &CQuillHTDlg::OnAbout);
    connect(Command(ID_EXIT), &QAction::triggered, this, &CQuillHTDlg::OnExit);
    RetitleToolbar();
    UpdateNotifyButton();
}

void CQuillHTDlg::BuildViews() {
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    m_agents = new CAgentListCtrl(splitter);
    m_events = new CEventListCtrl(splitter);
    splitter->addWidget(m_agents);
    splitter->addWidget(m_events);
    splitter->setSizes({AGENT_LIST_HEIGHT, EVENT_LIST_HEIGHT});
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    connect(m_agents, &CAgentListCtrl::rowOpened, this, &CQuillHTDlg::OpenAgentPage);
    connect(m_agents, &CAgentListCtrl::rowMenuRequested, this, &CQuillHTDlg::ShowRowMenu);
}

void CQuillHTDlg::BuildStatusLine() {
    m_status[0] = new QLabel(this);
    m_status[1] = new QLabel(this);
    // The event part must not widen the window for a long line; the clock part keeps its
    // width whatever the time.
    m_status[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    const int clockWidth =
        m_status[1]->fontMetrics().horizontalAdvance(QStringLiteral("8888/88/88  88:88:88")) + 12;
    m_status[1]->setMinimumWidth(std::max(CLOCK_PART_WIDTH, clockWidth));
    statusBar()->addWidget(m_status[0], 1);
    statusBar()->addPermanentWidget(m_status[1]);
}

void CQuillHTDlg::BuildWaitNotice() {
    auto* notice = new QFrame(this, Qt::Tool | Qt::FramelessWindowHint);
    notice->setFrameShape(QFrame::Box);
    notice->setLineWidth(1);
    auto* layout = new QVBoxLayout(notice);
    layout->setContentsMargins(28, 18, 28, 18);
    auto* text = new QLabel(UiText(IDS_MAIN_SCANNING), notice);
    text->setObjectName(QStringLiteral("waitText"));
    layout->addWidget(text);
    notice->hide();
    m_waitNotice = notice;
}

void CQuillHTDlg::RetitleToolbar() {
    for (const SToolCommand& c : kToolCommands) {
        // The button shows the icon text, which Qt would derive by dropping a trailing "...":
        // the labels are shown as the string table has them.
        m_commands[c.id]->setText(UiText(c.label));
        m_commands[c.id]->setIconText(UiText(c.label));
    }
    m_mailBookAction->setText(UiText(IDS_MAIL_ADDRESS_BOOK));
    m_messageBookAction->setText(UiText(IDS_MESSAGE_ADDRESS_BOOK));
}

void CQuillHTDlg::UpdateNotifyButton() {
    QAction* action = Command(ID_NOTIFICATION);
    const QIcon normal = action->property("normalIcon").value<QIcon>();
    m_notifyIndeterminate = m_monitor.Settings().Snapshot().EnableNotify == 0;
    action->setIcon(m_notifyIndeterminate ? Pictures::Indeterminate(normal, TOOL_PICTURE_SIZE)
                                          : normal);
    action->setProperty("indeterminate", m_notifyIndeterminate);
}

QAction* CQuillHTDlg::Command(int id) const {
    const auto it = m_commands.find(id);
    return it != m_commands.end() ? it->second : nullptr;
}

QToolButton* CQuillHTDlg::CommandButton(int id) const {
    QAction* action = Command(id);
    return action != nullptr ? qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action))
                             : nullptr;
}

QLabel* CQuillHTDlg::StatusPart(int part) const {
    return part == 0 || part == 1 ? m_status[part] : nullptr;
}

void CQuillHTDlg::OnInitDialog() {
    const std::tm now = m_monitor.EventList().Now();
    m_status[0]->setText(FromUtf8(FormatStatusText(now, UiText(IDS_APP_STARTED).toStdString())));
    m_monitor.ClockTick();
    m_clockTimer->start();
    m_warningTimer->start();
    m_failedTimer->start();
    if (m_options.rescanEverySeconds > 0) {
        m_rescanTimer->start(std::chrono::seconds(m_options.rescanEverySeconds));
    }
    StartRescan();
}

// --- IMonitorWindow ---

void CQuillHTDlg::PostToWindow(std::function<void()> fn) {
    m_queue.Post(std::move(fn));
}

bool CQuillHTDlg::IsWindowThread() const {
    return m_queue.IsOwnerThread();
}

bool CQuillHTDlg::FindAgentRow(const CAgent& agent) {
    return m_agents->RowOf(&agent) >= 0;
}

void CQuillHTDlg::ShowAgentState(const CAgent& agent, int state) {
    m_agents->SetRowState(m_agents->RowOf(&agent), state);
}

void CQuillHTDlg::RebuildAgentList() {
    m_monitor.Trace().Write("CQuillHTDlg::UpdateAgentListCtrl()\r\n");
    m_agents->Rebuild(m_monitor.AgentList().Snapshot());
}

void CQuillHTDlg::ShowEventLine(const SEventLine& line, const std::string& statusText) {
    m_events->AddLine(FromUtf8(line.time), FromUtf8(line.text));
    m_status[0]->setText(FromUtf8(statusText));
}

void CQuillHTDlg::ShowClock(const std::string& text) {
    m_status[1]->setText(FromUtf8(text));
}

void CQuillHTDlg::ShowMessageBox(const std::string& text) {
    if (m_exitDone) {
        m_monitor.MessageBoxClosed();
        return;
    }
    // Not modal: monitoring and the window go on while it waits for its OK.
    QMessageBox* box = Prompt::MakeBox(this, FromUtf8(text), false, false);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("monitorMessage"));
    connect(box, &QMessageBox::finished, this, [this] { m_monitor.MessageBoxClosed(); });
    box->show();
}

void CQuillHTDlg::ShowWaitNotice(bool visible) {
    if (!visible) {
        m_waitNotice->hide();
        return;
    }
    m_waitNotice->adjustSize();
    const QPoint centre = mapToGlobal(rect().center());
    m_waitNotice->move(centre - QPoint(m_waitNotice->width() / 2, m_waitNotice->height() / 2));
    m_waitNotice->show();
    m_waitNotice->raise();
    m_waitNotice->repaint();
}

// --- helpers ---

void CQuillHTDlg::EnableCommands(bool enabled) {
    for (auto& [id, action] : m_commands) {
        action->setEnabled(enabled);
    }
    m_booksMenu->setEnabled(enabled);
}

void CQuillHTDlg::RunBusy(std::function<void(std::stop_token)> work, std::function<void()> done,
                          bool hold) {
    m_busy = true;
    EnableCommands(false);
    if (hold) {
        m_queue.Hold(true);
    }
    emit busyChanged(true);
    m_busyWorker = std::jthread(
        [this, work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
            work(stop);
            m_queue.PostControl([this, done = std::move(done)] {
                if (m_busyWorker.joinable()) {
                    m_busyWorker.join();
                }
                done();
                m_queue.Hold(false);
                m_busy = false;
                if (!m_exitDone) {
                    EnableCommands(true);
                }
                emit busyChanged(false);
            });
        });
}

void CQuillHTDlg::StartRescan() {
    ShowWaitNotice(true);
    RunBusy(
        [this](std::stop_token stop) {
            m_monitor.RemoveAbnormalAgent();
            if (m_options.targets.broadcast) {
                m_monitor.UpdateAgentList(BROADCAST_ADDRESS);
            }
            if (!m_options.targets.addresses.empty()) {
                m_monitor.UpdateAgentList(m_options.targets.addresses);
            }
            m_monitor.SleepFor(m_monitor.Timing().rescanPause, stop);
        },
        [this] {
            ShowWaitNotice(false);
            RebuildAgentList();
            m_monitor.ApplyPollTimeout();
        },
        true);
}

void CQuillHTDlg::OnFailedDeviceTimer() {
    if (m_busy || m_failedRunning.exchange(true)) {
        return;
    }
    // The previous check has ended (m_failedRunning was clear), so this join is immediate.
    m_failedWorker = std::jthread([this](std::stop_token stop) {
        m_monitor.FailedDeviceTick(stop);
        m_failedRunning = false;
    });
}

void CQuillHTDlg::OnRescanTimer() {
    // Only when the Rescan button could be pressed: not while a rescan or delete runs, and not
    // while a dialog is open (Add runs a discovery of its own from inside its dialog). The
    // next period tries again.
    if (m_busy || m_exitDone || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    StartRescan();
}

void CQuillHTDlg::JoinHelpers() {
    if (m_busyWorker.joinable()) {
        m_busyWorker.request_stop();
        m_busyWorker.join();
    }
    if (m_failedWorker.joinable()) {
        m_failedWorker.request_stop();
        m_failedWorker.join();
    }
    // A port query ends by itself within its wait.
    m_portQueries.clear();
}

void CQuillHTDlg::ExitSteps() {
    m_exitDone = true;
    hide();
    m_waitNotice->hide();
    for (QTimer* t : {m_clockTimer, m_warningTimer, m_failedTimer, m_rescanTimer}) {
        t->stop();
    }
    // Helper threads first: a rescan must not add agents behind the shutdown's back, and a
    // waiting re-check is released by its stop request.
    JoinHelpers();
    m_monitor.Shutdown();
    // Lines the monitor threads posted before they stopped still belong to the list.
    m_queue.Hold(false);
    m_queue.Drain();
    m_monitor.SetWindow(nullptr);
}

// --- closing ---

void CQuillHTDlg::closeEvent(QCloseEvent* event) {
    if (m_exitDone) {
        event->accept();
        return;
    }
    if (m_busy || !Prompt::Confirm(this, UiText(IDS_ARE_YOU_SURE), true)) {
        event->ignore();
        return;
    }
    ExitSteps();
    event->accept();
}

void CQuillHTDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // The main window is left only through its close command.
        event->accept();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}
