// The main window over the real monitor core: toolbar and language, agent rows and their
// pictures, the event list and status line, the commands with their questions, the row menu,
// the web page, and message boxes raised by monitor threads.
#include "AgentListCtrl.h"
#include "EventListCtrl.h"
#include "NotifyDialog.h"
#include "Pictures.h"
#include "SetupSheet.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "VrnTestPaths.h"
#include "WindowRig.h"

#include "SimAgent.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <QTimer>

#include <fstream>
#include <iterator>
#include <thread>

using namespace uitest;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// The labels as the toolbar's buttons show them.
QStringList ToolbarTexts(CQuillHTDlg& w) {
    QStringList out;
    for (int id = ID_ADD; id <= ID_EXIT; ++id) {
        out << w.CommandButton(id)->text();
    }
    return out;
}

QImage Picture(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}

// Runs fn on a thread of its own while the window keeps working; true when it finished.
bool OnOtherThread(const std::function<void()>& fn, int limitMs = 10000) {
    std::atomic<bool> done{false};
    std::jthread t([&] {
        fn();
        done = true;
    });
    return WaitUntil([&] { return done.load(); }, limitMs);
}

std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2004 - 1900;
    t.tm_mon = 5;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    return t;
}

} // namespace

class CWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { CStringTable::SetLanguage(ELanguage::English); }
    void cleanup() { CStringTable::SetLanguage(ELanguage::English); }

    void toolbarLabelsInBothLanguages_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("English") << 1
                                 << QStringList{"Add",           "Delete", "Rescan", "Notification",
                                                "Address Books", "Setup",  "About",  "Exit"};
        QTest::newRow("Chinese") << 0 << QStringList{"新增",   "刪除",    "重新掃描", "警示",
                                                     "通訊錄", "設定...", "關於",     "離開程式"};
    }

    void toolbarLabelsInBothLanguages() {
        QFETCH(int, language);
        QFETCH(QStringList, labels);
        SWindowRig rig({}, 1, LanguageFromSetting(language));
        QCOMPARE(ToolbarTexts(rig.W()), labels);
        QCOMPARE(rig.W().ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        // Address Books: a button of its own with the two books on its arrow.
        QToolButton* books = rig.W().CommandButton(ID_ADDRESS_BOOKS);
        QCOMPARE(books->popupMode(), QToolButton::MenuButtonPopup);
        QMenu* menu = rig.W().Command(ID_ADDRESS_BOOKS)->menu<QMenu*>();
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(
            menu->actions().at(1)->text(),
            QString::fromUtf8(LoadText(IDS_MESSAGE_ADDRESS_BOOK, LanguageFromSetting(language))));
    }

    void setupOkSwitchesToolbarAndLaterDialogs() {
        SWindowRig rig;
        rig.W().show();
        WhenModal<CSetupSheet>([](CSetupSheet* sheet) {
            sheet->General()->LanguageCombo()->setCurrentIndex(0); // Chinese(Taiwan)
            sheet->accept();
        });
        rig.W().OnSetup();
        QCOMPARE(ToolbarTexts(rig.W()).at(0), QStringLiteral("新增"));
        QCOMPARE(ToolbarTexts(rig.W()).at(7), QStringLiteral("離開程式"));
        QCOMPARE(rig.settings.store.Snapshot().Language, LANGUAGE_CHINESE);
        QString aboutTitle;
        WhenModal<CAboutDlg>([&](CAboutDlg* about) {
            aboutTitle = about->windowTitle();
            about->accept();
        });
        rig.W().OnAbout();
        QCOMPARE(aboutTitle, QString::fromUtf8(LoadText(IDS_ABOUT_CAPTION, ELanguage::Chinese)));

        // Cancelled, the sheet changes nothing.
        WhenModal<CSetupSheet>([](CSetupSheet* sheet) {
            sheet->General()->LanguageCombo()->setCurrentIndex(1);
            sheet->reject();
        });
        rig.W().OnSetup();
        QCOMPARE(ToolbarTexts(rig.W()).at(0), QStringLiteral("新增"));
    }

    void agentRowsFromRecords() {
        SWindowRig rig;
        rig.Offline("127.61.0.1", "SN-0123456789ABCDE", "VRN-5010X");
        rig.Offline("127.61.0.2", "", "");
        AgentPtr third = rig.Offline("127.61.0.3", "S3", "M3");
        third->m_State = AGENT_WARNING;
        rig.W().RebuildAgentList();
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        QCOMPARE(list->Rows(), 3);
        const QStringList expected[] = {
            {"000", "127.61.0.1", "SN-0123456789A", "VRN-5010"},
            {"001", "127.61.0.2", "", ""},
            {"002", "127.61.0.3", "S3", "M3"},
        };
        for (int row = 0; row < 3; ++row) {
            QTreeWidgetItem* item = list->topLevelItem(row);
            for (int col = 0; col < 4; ++col) {
                QCOMPARE(item->text(col), expected[row].at(col));
            }
        }
        QCOMPARE(list->RowState(2), AGENT_WARNING);
        QCOMPARE(Picture(list->topLevelItem(2)->icon(0)),
                 Picture(Pictures::AgentState(AGENT_WARNING)));
        // Wide enough for the number beside its picture, never below the product's 50.
        QVERIFY(list->columnWidth(0) >= 50);
        QVERIFY(list->columnWidth(0) >=
                list->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 16 + 8);
        QCOMPARE(list->columnWidth(1), 150);
        QCOMPARE(list->columnWidth(2), 150);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    }

    void statePictureFollowsChangesFromMonitorThreads_data() {
        QTest::addColumn<std::vector<int>>("states");
        QTest::newRow("alarm then normal") << std::vector<int>{AGENT_ALARM, AGENT_NORMAL};
        QTest::newRow("warning, down, normal")
            << std::vector<int>{AGENT_WARNING, AGENT_DOWN, AGENT_NORMAL};
    }

    void statePictureFollowsChangesFromMonitorThreads() {
        QFETCH(std::vector<int>, states);
        SWindowRig rig;
        AgentPtr agent = rig.Offline("127.61.1.1");
        rig.W().RebuildAgentList();
        // Not yet in the view: no row, so the state stays as it was.
        AgentPtr rowless = rig.Offline("127.61.1.2");
        for (int state : states) {
            bool applied = false;
            QVERIFY(OnOtherThread([&] { applied = rig.monitor.SetAgentState(*agent, state); }));
            QVERIFY(applied);
            QCOMPARE(agent->m_State.load(), state);
            QCOMPARE(rig.W().AgentListCtrl()->RowState(0), state);
            QCOMPARE(Picture(rig.W().AgentListCtrl()->topLevelItem(0)->icon(0)),
                     Picture(Pictures::AgentState(state)));
        }
        bool applied = true;
        QVERIFY(OnOtherThread([&] { applied = rig.monitor.SetAgentState(*rowless, AGENT_ALARM); }));
        QVERIFY(!applied);
        QCOMPARE(rowless->m_State.load(), AGENT_NORMAL);
    }

    void inputIpAcceptanceRule_data() {
        QTest::addColumn<std::vector<int>>("fields");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("all four") << std::vector<int>{127, 62, 1, 9} << true;
        QTest::newRow("two fields are enough") << std::vector<int>{127, 62, -1, -1} << true;
        QTest::newRow("one field") << std::vector<int>{127, -1, -1, -1} << false;
        QTest::newRow("first number 0") << std::vector<int>{0, 62, 1, 9} << false;
        QTest::newRow("second number 0") << std::vector<int>{127, 0, 1, 9} << false;
        QTest::newRow("first field empty") << std::vector<int>{-1, 62, 1, 9} << false;
        QTest::newRow("nothing") << std::vector<int>{-1, -1, -1, -1} << false;
    }

    void inputIpAcceptanceRule() {
        QFETCH(std::vector<int>, fields);
        QFETCH(bool, accepted);
        CScriptedPrompts prompts;
        SWindowRig rig;
        bool closed = false;
        WhenModal<CInputIpDlg>([&](CInputIpDlg* dlg) {
            dlg->AddressEdit()->SetFields({fields[0], fields[1], fields[2], fields[3]});
            dlg->accept();
            closed = !dlg->isVisible();
            if (!closed) {
                dlg->reject();
            }
        });
        rig.W().OnAdd();
        QCOMPARE(closed, accepted);
        QCOMPARE(prompts.Texts(), accepted ? QStringList{} : QStringList{"Invalid IP Address"});
    }

    void addFindsTheAgentTyped() {
        coretest::CSimAgent sim;
        QVERIFY(sim.Ready());
        SWindowRig rig;
        const QStringList parts = QString::fromStdString(sim.Address()).split('.');
        WhenModal<CInputIpDlg>([&](CInputIpDlg* dlg) {
            dlg->AddressEdit()->SetFields(
                {parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt()});
            dlg->accept();
        });
        rig.W().OnAdd();
        QCOMPARE(rig.W().AgentListCtrl()->Rows(), 1);
        QCOMPARE(rig.W().AgentListCtrl()->topLevelItem(0)->text(1),
                 QString::fromStdString(sim.Address()));
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("rowsLeft");
        QTest::newRow("nothing selected: no question") << false << true << 2;
        QTest::newRow("cancelled") << true << false << 2;
        QTest::newRow("confirmed") << true << true << 1;
    }

    void deleteAsksFirst() {
        QFETCH(bool, select);
        QFETCH(bool, answer);
        QFETCH(int, rowsLeft);
        CScriptedPrompts prompts;
        prompts.answers.push_back(answer);
        SWindowRig rig;
        rig.Offline("127.61.2.1");
        AgentPtr second = rig.Offline("127.61.2.2", "", "MODEL");
        rig.W().RebuildAgentList();
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        list->SetRowDescription(0, "typed in");
        if (select) {
            list->setCurrentItem(list->topLevelItem(1));
        }
        rig.W().OnDelete();
        QVERIFY(WaitUntil([&] { return !rig.W().Busy(); }));
        QCOMPARE(static_cast<int>(prompts.shown.size()), select ? 1 : 0);
        if (select) {
            QCOMPARE(prompts.shown[0].text, QStringLiteral("Are you sure?"));
            QVERIFY(!prompts.shown[0].cancelPreselected);
        }
        QCOMPARE(list->Rows(), rowsLeft);
        QCOMPARE(static_cast<int>(rig.monitor.AgentList().Count()), rowsLeft);
        QCOMPARE(rig.monitor.AgentList().Contains(second.get()), rowsLeft == 2);
        // The list is rebuilt in every case: a typed description gives way to the model.
        QCOMPARE(list->topLevelItem(0)->text(3), QString());
    }

    void closeAsksWithCancelPreselected() {
        CScriptedPrompts prompts;
        SWindowRig rig;
        rig.Offline("127.61.3.1");
        rig.W().RebuildAgentList();
        rig.W().show();
        prompts.answers = {false, true};
        rig.W().OnExit();
        QVERIFY(rig.W().isVisible());
        QVERIFY(!rig.W().ExitDone());
        QCOMPARE(prompts.shown.size(), std::size_t(1));
        QCOMPARE(prompts.shown[0].text, QStringLiteral("Are you sure?"));
        QVERIFY(prompts.shown[0].cancelPreselected);
        rig.W().close();
        QVERIFY(!rig.W().isVisible());
        QVERIFY(rig.W().ExitDone());
        QCOMPARE(rig.monitor.AgentList().Count(), std::size_t(0));
    }

    void enterAndEscapeDoNothing() {
        CScriptedPrompts prompts;
        SWindowRig rig;
        rig.Offline("127.61.4.1");
        rig.W().RebuildAgentList();
        rig.W().show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.W()));
        for (QWidget* target :
             {static_cast<QWidget*>(&rig.W()), static_cast<QWidget*>(rig.W().AgentListCtrl())}) {
            for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
                QTest::keyClick(target, static_cast<Qt::Key>(key));
            }
        }
        QTest::qWait(20);
        QVERIFY(rig.W().isVisible());
        QVERIFY(prompts.shown.empty());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void notificationButtonFollowsEnableNotify() {
        SWindowRig rig;
        QVERIFY(rig.W().NotificationIndeterminate());
        const auto pictureOf = [&] {
            return rig.W().Command(ID_NOTIFICATION)->icon().pixmap(40, 40).toImage();
        };
        const QImage faded = pictureOf();
        for (bool on : {true, false}) {
            WhenModal<CNotifySettingDlg>([on](CNotifySettingDlg* dlg) {
                if (dlg->EnableBox()->isChecked() != on) {
                    ClickBox(dlg->EnableBox());
                }
                dlg->accept();
            });
            rig.W().OnNotification();
            QCOMPARE(rig.W().NotificationIndeterminate(), !on);
            QCOMPARE(pictureOf() == faded, !on);
            QVERIFY(rig.W().Command(ID_NOTIFICATION)->isEnabled());
        }
        // A file that already enables notification starts with the plain picture.
        rig.settings.store.Update([](SettingsRecord& r) { r.EnableNotify = 1; });
        rig.NewWindow();
        QVERIFY(!rig.W().NotificationIndeterminate());
    }

    void eventListNewestFirstAndStatusCut() {
        SWindowRig rig;
        rig.monitor.EventList().SetClock(FixedTime);
        const std::string longText(200, 'x');
        QVERIFY(OnOtherThread([&] { rig.monitor.AddEventToList("first"); }));
        QVERIFY(OnOtherThread([&] { rig.monitor.AddEventToList("second"); }));
        QVERIFY(WaitUntil([&] { return rig.W().EventListCtrl()->Lines() == 2; }));
        CEventListCtrl* events = rig.W().EventListCtrl();
        QCOMPARE(events->TextAt(0), QStringLiteral("second"));
        QCOMPARE(events->TextAt(1), QStringLiteral("first"));
        QCOMPARE(events->TimeAt(0), QStringLiteral("2004-6-5  9:7:3"));
        QCOMPARE(rig.W().StatusPart(0)->text(), QStringLiteral("2004/6/5 9:7:3  second"));

        QVERIFY(OnOtherThread([&] { rig.monitor.AddEventToList(longText); }));
        QVERIFY(WaitUntil([&] { return events->Lines() == 3; }));
        // The list keeps the whole line; the status part holds what fits its 128-byte area.
        QCOMPARE(events->TextAt(0), QString::fromStdString(longText));
        const QString status = rig.W().StatusPart(0)->text();
        QCOMPARE(status.size(), 127);
        QCOMPARE(status, QStringLiteral("2004/6/5 9:7:3  ") + QString(127 - 16, 'x'));
        // Every line is logged with it.
        QCOMPARE(rig.sink.Log().size(), std::size_t(3));
    }

    void rowMenuConcernsTheSelectedRow_data() {
        QTest::addColumn<bool>("diskChecking");
        QTest::newRow("disk checking entry removed") << false;
        QTest::newRow("with --disk-checking") << true;
    }

    void rowMenuConcernsTheSelectedRow() {
        QFETCH(bool, diskChecking);
        SWindowRig rig;
        rig.options.diskChecking = diskChecking;
        rig.NewWindow();
        rig.Offline("127.61.5.1", "", "M1");
        AgentPtr second = rig.Offline("127.61.5.2", "", "M2");
        rig.W().RebuildAgentList();
        rig.W().show();
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        QVERIFY(rig.W().BuildRowMenu() == nullptr); // no row selected: no menu

        list->setCurrentItem(list->topLevelItem(1));
        // The right button on another row leaves the selection where it was.
        QTest::mousePress(list->viewport(), Qt::RightButton, {},
                          list->visualItemRect(list->topLevelItem(0)).center());
        QCOMPARE(list->SelectedRow(), 1);

        std::unique_ptr<QMenu> menu(rig.W().BuildRowMenu());
        QVERIFY(menu != nullptr);
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), diskChecking ? 2 : 1);
        QCOMPARE(actions.last()->text(), QStringLiteral("Enter 127.61.5.2 Description..."));
        AgentPtr checked;
        rig.W().SetDiskCheckingHandler([&](const AgentPtr& a) { checked = a; });
        if (diskChecking) {
            QCOMPARE(actions.first()->text(), QStringLiteral("DiskChecking"));
            QCOMPARE(actions.first()->data().toInt(), ID_DISK_CHECKING);
            actions.first()->trigger();
            QCOMPARE(checked, second);
        }

        WhenModal<CDescriptionDlg>([](CDescriptionDlg* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Enter Desc."));
            QTest::keyClicks(dlg->Edit(), "rack 7, shelf 2");
            dlg->accept();
        });
        actions.last()->trigger();
        QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("rack 7, shelf 2"));
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("M1"));
        // Not stored: the next rebuild shows the model again.
        rig.W().RebuildAgentList();
        QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("M2"));
    }

    void doubleClickOpensTheAgentsPage_data() {
        QTest::addColumn<int>("ideChannels");
        QTest::addColumn<int>("port");
        QTest::newRow("controller with a network port") << 8 << 80;
        QTest::newRow("port told by the agent") << 5 << 36895;
    }

    void doubleClickOpensTheAgentsPage() {
        QFETCH(int, ideChannels);
        QFETCH(int, port);
        coretest::CSimAgent sim(R"({"drives": [], "system": {"ideChannels": )" +
                                    std::to_string(ideChannels) + "}}",
                                {"--http-port", "36895"});
        QVERIFY(sim.Ready());
        SWindowRig rig({sim.Ip()});
        QVERIFY(rig.Rescan());
        QCOMPARE(rig.W().AgentListCtrl()->Rows(), 1);
        QList<QUrl> opened;
        rig.W().SetUrlOpener([&](const QUrl& url) { opened << url; });
        rig.W().show();
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        const QPoint row = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
        QVERIFY(WaitUntil([&] { return !opened.isEmpty(); }));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://%1:%2")
                                              .arg(QString::fromStdString(sim.Address()))
                                              .arg(port))});
    }

    void rescanKeepsPaintingAndNewAgentsKeepTheirFirstState() {
        std::ifstream scenario(std::string(VRN_SOURCE_DIR) + "/sim/scenarios/degraded-5010.json");
        const std::string degraded((std::istreambuf_iterator<char>(scenario)),
                                   std::istreambuf_iterator<char>());
        coretest::CSimAgent healthy;
        coretest::CSimAgent alarmed(degraded);
        QVERIFY(healthy.Ready() && alarmed.Ready());
        SWindowRig rig({healthy.Ip(), alarmed.Ip()});
        rig.monitor.SetTiming({std::chrono::milliseconds(1000), std::chrono::milliseconds(150),
                               std::chrono::milliseconds(400)});
        rig.W().show();
        int ticks = 0;
        QTimer painter;
        connect(&painter, &QTimer::timeout, [&] { ticks += rig.W().Busy() ? 1 : 0; });
        painter.start(20);

        rig.W().OnInitDialog(); // the first rescan
        QVERIFY(rig.W().Busy());
        QVERIFY(rig.W().WaitNotice()->isVisible());
        QCOMPARE(rig.W().WaitNotice()->findChild<QLabel*>("waitText")->text(),
                 QStringLiteral("Scanning raid subsystem, please wait..."));
        for (int id = ID_ADD; id <= ID_EXIT; ++id) {
            QVERIFY(!rig.W().Command(id)->isEnabled());
        }
        QVERIFY(rig.W().StatusPart(0)->text().endsWith("  Application started successfully!!"));
        QVERIFY(WaitUntil([&] { return !rig.W().Busy(); }, 20000));
        // The window went on painting while the network steps ran.
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(!rig.W().WaitNotice()->isVisible());
        for (int id = ID_ADD; id <= ID_EXIT; ++id) {
            QVERIFY(rig.W().Command(id)->isEnabled());
        }
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        QCOMPARE(list->Rows(), 2);
        int alarmedRow =
            list->topLevelItem(0)->text(1) == QString::fromStdString(alarmed.Address()) ? 0 : 1;
        QCOMPARE(list->topLevelItem(alarmedRow)->text(2), QStringLiteral("VRN2004B0042"));
        QCOMPARE(list->topLevelItem(alarmedRow)->text(3), QStringLiteral("VRN-5010"));
        // Its thread found the failed drive while the rescan was still pausing; that state
        // change waited for the row instead of being lost.
        QVERIFY(WaitUntil([&] { return list->RowState(alarmedRow) == AGENT_ALARM; }, 5000));
        QCOMPARE(list->RowState(1 - alarmedRow), AGENT_NORMAL);
        QVERIFY(WaitUntil([&] { return rig.W().EventListCtrl()->Lines() >= 2; }));
        QVERIFY(!rig.W().StatusPart(1)->text().isEmpty()); // the clock runs
    }

    // --rescan-every: rescans come by themselves, but never while a dialog is open.
    void timedRescansWaitForOpenDialogs() {
        SWindowRig rig;
        rig.options.rescanEverySeconds = 1;
        rig.NewWindow();
        rig.W().show();
        int started = 0;
        connect(&rig.W(), &CQuillHTDlg::busyChanged, [&](bool busy) { started += busy ? 1 : 0; });
        rig.W().OnInitDialog();
        QVERIFY(WaitUntil([&] { return started >= 2; }, 5000)); // the first and a timed one
        QVERIFY(WaitUntil([&] { return !rig.W().Busy(); }));
        QDialog dialog(&rig.W());
        dialog.setModal(true);
        dialog.show();
        const int before = started;
        QTest::qWait(1200); // more than a period
        QCOMPARE(started, before);
        dialog.close();
        QVERIFY(WaitUntil([&] { return started > before; }, 3000));
    }

    void messageBoxesQueuedAndMerged() {
        SWindowRig rig;
        rig.W().show();
        QVERIFY(OnOtherThread([&] {
            rig.monitor.RaiseMessageBox("Failed to connect SMTP server");
            rig.monitor.RaiseMessageBox("Failed to connect SMTP server");
            rig.monitor.RaiseMessageBox("Failed to write to log file");
        }));
        const auto boxes = [&] {
            QList<QMessageBox*> shown;
            for (QMessageBox* b : rig.W().findChildren<QMessageBox*>("monitorMessage")) {
                if (b->isVisible()) {
                    shown << b;
                }
            }
            return shown;
        };
        QVERIFY(WaitUntil([&] { return boxes().size() == 1; }));
        QMessageBox* first = boxes().at(0);
        QCOMPARE(first->windowTitle(), QStringLiteral("Monitoring Utility"));
        QCOMPARE(first->text(), QStringLiteral("Failed to connect SMTP server"));
        QCOMPARE(first->windowModality(), Qt::NonModal);
        QCOMPARE(rig.monitor.Bridge().MergedMessageBoxes(), 1ul);
        first->buttons().at(0)->click();
        QVERIFY(WaitUntil([&] {
            return boxes().size() == 1 && boxes().at(0)->text() == "Failed to write to log file";
        }));
        boxes().at(0)->buttons().at(0)->click();
        QVERIFY(WaitUntil([&] { return boxes().isEmpty(); }));
    }
};

QTEST_MAIN(CWindowTest)
#include "test_ui_window.moc"
