// The disk-checking dialogs driven as a user would: volume definitions added and refused,
// a run started over scripted controllers and quit, and the agent list's entry opening the
// dialog over the agents that are not down.
#include "AgentListCtrl.h"
#include "AgentTarget.h"
#include "DiskCheckDialogs.h"
#include "DiskCheckEntry.h"
#include "FakeController.h"
#include "SimAgent.h"
#include "StringIds.h"
#include "UiTestSupport.h"
#include "WindowApp.h"
#include "WindowRig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

using namespace uitest;

namespace {

// Adds one volume through "Add Volumeset...": `fill` sets the dialog's fields, then OK (when
// the dialog is expected to open at all). Returns the texts of the messages shown on the way.
QStringList AddVolume(CDiskCheckingMainDlg& dlg, CScriptedPrompts& prompts,
                      const std::function<void(CEnterVolumeInfoDlg*)>& fill, bool opens = true) {
    const qsizetype before = prompts.shown.size();
    if (opens)
        WhenModal<CEnterVolumeInfoDlg>([fill](CEnterVolumeInfoDlg* v) {
            fill(v);
            v->accept();
            if (v->isVisible())
                v->reject();
        });
    dlg.OnAddVolume();
    QTest::qWait(20);
    if (QApplication::activeModalWidget() != nullptr)
        return {"a dialog stayed open"};
    return prompts.Texts().mid(before);
}

auto At(int channel, int id, int lun, const char* capacity = "10") {
    return [=](CEnterVolumeInfoDlg* v) {
        v->CapacityEdit()->setText(capacity);
        v->Combo(6)->setCurrentIndex(channel);
        v->Combo(7)->setCurrentIndex(id);
        v->Combo(8)->setCurrentIndex(lun);
    };
}

// The window mode's notification half, doing nothing.
class CQuietNotification : public IAppNotification {
public:
    IAlarmSink& Alarms() override { return m_sink; }
    bool OpenLogFile() override { return true; }
    bool LogResourceString(int) override { return true; }
    void CloseLogFile() override {}

private:
    coretest::CRecordingSink m_sink;
};

QStringList RowTexts(QTreeWidget* list, int row) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->topLevelItem(row)->text(c);
    return out;
}

} // namespace

class CDiskCheckDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void volumeDialogOffersTheDefaultsAndChecksCapacity() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        CDiskCheckingMainDlg dlg({}, dir.Path());
        QStringList seen;
        QString defaultName;
        std::vector<int> indices;
        WhenModal<CEnterVolumeInfoDlg>([&](CEnterVolumeInfoDlg* v) {
            defaultName = v->NameEdit()->text();
            for (int i = 0; i < 9; ++i)
                indices.push_back(v->Combo(i)->currentIndex());
            QCOMPARE(v->CapacityEdit()->text(), QString("0"));
            for (const char* bad : {"0", "0.05", "abc", "2199.02", "2199.0233", "1e300"}) {
                v->CapacityEdit()->setText(bad);
                v->accept();
                QVERIFY2(v->isVisible(), bad);
            }
            v->NameEdit()->setText("0123456789ABCDEFG");
            v->CapacityEdit()->setText("0.1");
            v->accept();
            QVERIFY(v->isVisible());
            v->NameEdit()->setText("Archive");
            v->accept();
            QVERIFY(!v->isVisible());
        });
        dlg.OnAddVolume();
        QCOMPARE(defaultName, QString("Volume Set # 00"));
        QCOMPARE(indices, (std::vector<int>{3, 1, 4, 1, 1, 4, 0, 0, 0}));
        QCOMPARE(prompts.Texts(),
                 (QStringList{"Invalid Capacity", "Invalid Capacity", "Please enter a number.",
                              "Invalid Capacity", "Invalid Capacity", "Invalid Capacity",
                              "Please enter no more than 16 characters."}));
        QCOMPARE(dlg.VolumeList()->topLevelItemCount(), 1);
        QCOMPARE(RowTexts(dlg.VolumeList(), 0),
                 (QStringList{"Archive", "RAID5", " 0.1 GB", "Foreground Initialize", "64K",
                              "Write Back", "Enabled", "160MB/Sec", "0:0:0"}));
        QCOMPARE(dlg.VolumeList()->palette().color(QPalette::Base), QColor(217, 245, 245));
        QCOMPARE(dlg.VolumeList()->columnWidth(3), 100);
        QVERIFY(dlg.Plan()->SlotUsed(0));
    }

    void sixthVolumeIsRefusedUntilOneIsDeleted() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        CDiskCheckingMainDlg dlg({}, dir.Path());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(AddVolume(dlg, prompts, At(0, i, 0)), QStringList{});
        QCOMPARE(dlg.VolumeList()->topLevelItemCount(), 5);
        QCOMPARE(AddVolume(dlg, prompts, At(1, 0, 0), false), QStringList{"Too many volume"});
        QCOMPARE(dlg.VolumeList()->topLevelItemCount(), 5);

        dlg.Button(IDS_VOL_DELETE)->click(); // nothing selected: nothing happens
        QCOMPARE(dlg.VolumeList()->topLevelItemCount(), 5);
        dlg.VolumeList()->setCurrentItem(dlg.VolumeList()->topLevelItem(2));
        dlg.Button(IDS_VOL_DELETE)->click();
        QCOMPARE(dlg.VolumeList()->topLevelItemCount(), 4);
        QVERIFY(!dlg.Plan()->SlotUsed(2));
        QCOMPARE(AddVolume(dlg, prompts, At(1, 0, 0)), QStringList{});
        QCOMPARE(dlg.Plan()->volumes[2].channel, 1); // the freed slot
        QCOMPARE(dlg.VolumeList()->topLevelItem(4)->text(8), QString("1:0:0"));
    }

    void addressInUseIsRefusedAndDefaultNamesRunOn() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        CDiskCheckingMainDlg dlg({}, dir.Path());
        QCOMPARE(AddVolume(dlg, prompts, At(0, 0, 0)), QStringList{});
        QCOMPARE(AddVolume(dlg, prompts, At(0, 0, 0)), QStringList{"Duplicate SCSI CH/ID/LUN "});
        QCOMPARE(AddVolume(dlg, prompts, At(0, 0, 1)), QStringList{});
        QStringList names;
        for (int i = 0; i < 2; ++i)
            names << dlg.VolumeList()->topLevelItem(i)->text(0);
        QCOMPARE(names, (QStringList{"Volume Set # 00", "Volume Set # 01"}));

        dlg.VolumeList()->setCurrentItem(dlg.VolumeList()->topLevelItem(0));
        dlg.Button(IDS_VOL_DELETE)->click();
        QCOMPARE(AddVolume(dlg, prompts, At(0, 0, 0)), QStringList{});
        QCOMPARE(dlg.VolumeList()->topLevelItem(1)->text(0), QString("Volume Set # 02"));
    }

    void testChoicesFollowTheirSwitches() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        CDiskCheckingMainDlg dlg({}, dir.Path());
        QVERIFY(dlg.TestAll()->isChecked());
        QVERIFY(!dlg.AgentBox()->isEnabled());
        QVERIFY(!dlg.Offline()->isChecked());
        QVERIFY(!dlg.SelfTest()->isChecked());
        QVERIFY(dlg.Short()->isChecked());
        QVERIFY(!dlg.Short()->isEnabled());
        QVERIFY(!dlg.Extended()->isEnabled());
        QCOMPARE(dlg.Percentage()->text(), QString("0"));
        dlg.SelfTest()->click();
        QVERIFY(dlg.Short()->isEnabled() && dlg.Extended()->isEnabled());
        dlg.SelfTest()->click();
        QVERIFY(!dlg.Short()->isEnabled());
        dlg.TestSelected()->click();
        QVERIFY(dlg.AgentBox()->isEnabled());
        dlg.TestAll()->click();
        QVERIFY(!dlg.AgentBox()->isEnabled());

        // A percentage outside 0..100 starts nothing.
        dlg.Percentage()->setText("101");
        dlg.OnStart();
        QCOMPARE(prompts.Texts(), QStringList{"Please enter an integer between 0 and 100."});
        QVERIFY(!dir.Exists("testresult.html"));
    }

    void startRunsTheAgentsAndQuitAsksFirst() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        CFakeClock clock;
        std::vector<STestAgent> agents;
        std::vector<std::shared_ptr<CFakeController>> controllers;
        for (const char* ip : {"127.0.0.31", "127.0.0.32", "127.0.0.33"}) {
            controllers.push_back(std::make_shared<CFakeController>(clock));
            controllers.back()->drives = {{0, SFakeDrive{}}, {2, SFakeDrive{}}};
            agents.push_back({ip, controllers.back()});
        }
        CDiskCheckingMainDlg dlg(agents, dir.Path());
        dlg.SetClock(&clock);
        QUrl opened;
        dlg.SetUrlOpener([&](const QUrl& url) { opened = url; });
        QCOMPARE(dlg.AgentBox()->count(), 3);

        for (bool all : {true, false}) {
            if (!all) {
                dlg.TestSelected()->click();
                dlg.AgentBox()->clearSelection();
                dlg.AgentBox()->item(1)->setSelected(true);
            }
            dlg.Offline()->click(); // on the first run, off on the second
            QStringList rows;
            bool quitTwice = false;
            prompts.answers = {false, true}; // Cancel, then OK
            WhenModal<CTestListDlg>([&](CTestListDlg* list) {
                QVERIFY(WaitUntil([&] {
                    int done = 0;
                    for (int r = 0; r < list->List()->topLevelItemCount(); ++r)
                        done += list->List()->topLevelItem(r)->text(2) == "Done";
                    return done == list->List()->topLevelItemCount();
                }));
                for (int r = 0; r < list->List()->topLevelItemCount(); ++r)
                    rows << RowTexts(list->List(), r).join('|');
                list->QuitButton()->click();
                QVERIFY(list->isVisible()); // Cancel
                list->QuitButton()->click();
                quitTwice = WaitUntil([&] { return !list->isVisible(); });
            });
            dlg.OnStart();
            QVERIFY(quitTwice);
            if (all)
                QCOMPARE(rows, (QStringList{"127.0.0.31|Done|Done", "127.0.0.32|Done|Done",
                                            "127.0.0.33|Done|Done"}));
            else
                QCOMPARE(rows, QStringList{"127.0.0.32|Done|Done"});
            QVERIFY(dlg.Plan()->agents.empty());
        }
        QCOMPARE(prompts.Texts(),
                 (QStringList{"Are you sure?", "Are you sure?", "Are you sure?", "Are you sure?"}));
        // The first run collected on every agent; the second made its raid set on agent 2
        // only, which had none left to use.
        for (const auto& c : controllers)
            QVERIFY(!c->Calls("smart 4 0 0").empty());
        QCOMPARE(controllers[1]->Calls("raidset").size(), std::size_t(2));
        QCOMPARE(controllers[0]->Calls("raidset").size(), std::size_t(1));
        QVERIFY(dir.Read("testresult.html").find("127.0.0.32.html") != std::string::npos);
        QVERIFY(dir.Read("testresult.html").find("127.0.0.31.html") == std::string::npos);

        dlg.Button(IDS_DC_VIEW_REPORT)->click();
        QCOMPARE(opened, QUrl::fromLocalFile(QString::fromStdString(dir.File("testresult.html"))));
    }

    void quitDuringAWaitEndsTheRun() {
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        // The self-test waits on the wall clock (hours of it): only Quit ends this run.
        CFakeClock controllerClock;
        auto controller = std::make_shared<CFakeController>(controllerClock);
        controller->drives = {{0, SFakeDrive{}}};
        controller->drives[0].extendedMinutes = 200;
        CDiskCheckingMainDlg dlg({{"127.0.0.41", controller}}, dir.Path());
        dlg.SelfTest()->click();
        dlg.Extended()->click();
        prompts.answers = {true};
        qint64 quitMs = -1;
        WhenModal<CTestListDlg>([&](CTestListDlg* list) {
            QVERIFY(WaitUntil([&] {
                auto* row = list->List()->topLevelItem(0);
                return row && row->text(1) == "Off-line self-test(extended)";
            }));
            QElapsedTimer t;
            t.start();
            list->QuitButton()->click();
            QVERIFY(WaitUntil([&] { return !list->isVisible(); }, 3000));
            quitMs = t.elapsed();
        });
        dlg.OnStart();
        QVERIFY(quitMs >= 0 && quitMs < 1000);
        const std::string page = dir.Read("127.0.0.41.html");
        QVERIFY(page.size() > 18 && page.substr(page.size() - 18) == "</body>\r\n</html>\r\n");
        QVERIFY(controller->Calls("raidset").empty());
    }

    void agentListEntryOpensTheDialogOverAgentsNotDown() {
        CScriptedPrompts prompts;
        SWindowRig rig;
        rig.options.diskChecking = true;
        rig.NewWindow();
        rig.Offline("127.61.9.1");
        AgentPtr down = rig.Offline("127.61.9.2");
        rig.Offline("127.61.9.3");
        down->m_State = AGENT_DOWN;
        rig.W().RebuildAgentList();
        uitest::CScratchDir reports;
        EnableDiskChecking(rig.W(), rig.monitor.AgentList(), reports.Path());

        rig.W().AgentListCtrl()->setCurrentItem(rig.W().AgentListCtrl()->topLevelItem(1));
        std::unique_ptr<QMenu> menu(rig.W().BuildRowMenu());
        QVERIFY(menu);
        QAction* entry = nullptr;
        for (QAction* a : menu->actions())
            if (a->data().toInt() == ID_DISK_CHECKING)
                entry = a;
        QVERIFY(entry);
        QCOMPARE(entry->text(), QString("DiskChecking"));
        QStringList listed;
        QString title;
        WhenModal<CDiskCheckingMainDlg>([&](CDiskCheckingMainDlg* dlg) {
            title = dlg->windowTitle();
            for (int i = 0; i < dlg->AgentBox()->count(); ++i)
                listed << dlg->AgentBox()->item(i)->text();
            dlg->reject();
        });
        entry->trigger();
        QCOMPARE(title, QString("Disk Checking Dialog"));
        QCOMPARE(listed, (QStringList{"127.61.9.1", "127.61.9.3"}));
        QCOMPARE(TestableAgents(rig.monitor.AgentList()).size(), std::size_t(2));
    }

    // The whole way, as an administrator takes it: the window started with disk checking,
    // the agent's entry, one volume described, Start, Quit once every row is done.
    void diskCheckRunsFromTheWindow() {
        coretest::CSimAgent sim("", {"--time-scale", "0.01"});
        QVERIFY(sim.Ready());
        CScriptedPrompts prompts;
        uitest::CScratchDir dir;
        SWindowAppConfig config;
        config.settingsPath = dir.File("QuillHT.ini");
        config.workDirectory = dir.Path();
        config.window.targets.broadcast = false;
        config.window.targets.addresses = {sim.Ip()};
        config.window.find.browseNetwork = false;
        config.window.diskChecking = true;
        SWindowAppHooks hooks;
        hooks.login = [] { return std::optional<SLoginEntry>(SLoginEntry{"wardn", "5172"}); };
        hooks.configure = [](CMonitor& m) {
            m.SetTiming({std::chrono::milliseconds(1000), std::chrono::milliseconds(150),
                         std::chrono::milliseconds(50)});
            m.SetLibrarySleeper(coretest::NoLibrarySleep, nullptr);
        };
        QStringList rows;
        hooks.started = [&](CQuillHTDlg& w, CMonitor&) {
            auto* poll = new QTimer(&w);
            QObject::connect(poll, &QTimer::timeout, &w, [&, poll] {
                if (w.Busy() || w.AgentListCtrl()->Rows() == 0)
                    return;
                poll->stop();
                w.AgentListCtrl()->setCurrentItem(w.AgentListCtrl()->topLevelItem(0));
                std::unique_ptr<QMenu> menu(w.BuildRowMenu());
                QAction* entry = nullptr;
                for (QAction* a : menu->actions())
                    if (a->data().toInt() == ID_DISK_CHECKING)
                        entry = a;
                QVERIFY(entry);
                WhenModal<CDiskCheckingMainDlg>([&](CDiskCheckingMainDlg* dlg) {
                    WhenModal<CEnterVolumeInfoDlg>([](CEnterVolumeInfoDlg* v) {
                        v->NameEdit()->setText("Archive");
                        v->CapacityEdit()->setText("40");
                        v->Combo(7)->setCurrentIndex(4);
                        v->accept();
                    });
                    dlg->OnAddVolume();
                    prompts.answers = {true};
                    WhenModal<CTestListDlg>([&](CTestListDlg* list) {
                        QVERIFY(WaitUntil([&] {
                            auto* row = list->List()->topLevelItem(0);
                            return row && row->text(2) == "Done";
                        }));
                        rows << RowTexts(list->List(), 0).join('|');
                        list->QuitButton()->click();
                    });
                    dlg->OnStart();
                    dlg->reject();
                });
                entry->trigger();
                prompts.answers.push_back(true);
                w.close();
            });
            poll->start(20);
        };
        const int status = RunWindowApp(
            config,
            [](CSettingsStore&, CMailBook&, CMessageBook&,
               std::function<void(const std::string&)>) {
                return std::make_unique<CQuietNotification>();
            },
            hooks);
        QCOMPARE(status, 0);
        QCOMPARE(rows, QStringList{QString::fromStdString(sim.Address()) + "|Done|Done"});
        const std::string page = dir.Read(sim.Address() + ".html");
        QVERIFY(page.find("RaidSet created!!") != std::string::npos);
        QVERIFY(page.find("VolumeSet[0] created") != std::string::npos);
        QVERIFY(dir.Read("testresult.html").find(sim.Address() + ".html") != std::string::npos);
        const std::string state = sim.Ctl("state");
        QVERIFY(state.find("\"Archive         \"") != std::string::npos);
        QVERIFY(state.find("\"members\":[4,5,6,7]") != std::string::npos);
    }
};

QTEST_MAIN(CDiskCheckDialogsTest)
#include "test_ui_diskcheck.moc"
