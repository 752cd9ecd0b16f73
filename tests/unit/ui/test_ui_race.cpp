// Monitor threads against the window: threads that report while the window closes, and an
// agent deleted while its thread waits for the window. Neither may crash or hang; a watchdog
// ends the run if one does. The window's queue is held so that the threads really are waiting
// for it when the window acts.
#include "AgentListCtrl.h"
#include "EventListCtrl.h"
#include "WindowRig.h"

#include <QTest>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>

using namespace uitest;

namespace {

// Aborts the test program when the guarded steps take longer than `seconds`.
class CWatchdog {
public:
    CWatchdog(int seconds, const char* what)
        : m_thread([this, seconds, what] {
              std::unique_lock lock(m_mutex);
              if (!m_cv.wait_for(lock, std::chrono::seconds(seconds), [&] { return m_done; })) {
                  std::fprintf(stderr, "watchdog: %s did not end within %d s\n", what, seconds);
                  std::abort();
              }
          }) {}
    ~CWatchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::jthread m_thread;
};

// Every query of the monitor fails at once, as with a controller that went away; the
// library's own exchanges give up after the one-second time-out.
void AllAgentsSilent(SWindowRig& rig) {
    rig.monitor.SetQueryHook([](CAgent&, EAgentQuery) { return VRN_NO_REPLY; });
    rig.monitor.ApplyPollTimeout();
}

int DownLines(SWindowRig& rig) {
    return rig.sink.LogCount("Device Down");
}

} // namespace

class CRaceTest : public QObject {
    Q_OBJECT

private slots:
    void monitorThreadsReportWhileTheWindowCloses() {
        CWatchdog watchdog(60, "closing the window under reporting monitor threads");
        CScriptedPrompts prompts;
        prompts.answers.push_back(true);
        SWindowRig rig;
        std::vector<AgentPtr> agents;
        for (int i = 1; i <= 3; ++i) {
            agents.push_back(rig.Offline("127.62.0." + std::to_string(i)));
        }
        AllAgentsSilent(rig);
        rig.W().RebuildAgentList();
        rig.W().show();

        rig.W().Queue().Hold(true);
        for (const AgentPtr& a : agents) {
            a->StartMonitor();
        }
        // Each thread logs its outage, then waits for the window to show it as down.
        QVERIFY(rig.sink.WaitLogged("Device Down", 3, std::chrono::seconds(20)));
        QTest::qWait(50);
        QVERIFY(rig.W().Queue().Pending() >= 6); // three lines, three state steps

        // More reporting while the window closes.
        std::atomic<bool> stop{false};
        std::vector<std::jthread> reporters;
        for (int r = 0; r < 2; ++r) {
            reporters.emplace_back([&, r] {
                for (int i = 0; i < 5000 && !stop; ++i) {
                    rig.monitor.AddEventToList("reporter " + std::to_string(r));
                    std::this_thread::yield();
                }
            });
        }
        rig.W().close();
        QVERIFY(rig.W().ExitDone());
        QVERIFY(!rig.W().isVisible());
        QCOMPARE(rig.monitor.AgentList().Count(), std::size_t(0));
        for (const AgentPtr& a : agents) {
            QVERIFY(!a->m_Thread.joinable());
            // The state steps were released, never carried out.
            QCOMPARE(a->m_State.load(), AGENT_NORMAL);
        }
        stop = true;
        reporters.clear();
        // The outage lines posted before the threads stopped reached the list.
        int down = 0;
        for (int i = 0; i < rig.W().EventListCtrl()->Lines(); ++i) {
            down += rig.W().EventListCtrl()->TextAt(i).contains("Device Down") ? 1 : 0;
        }
        QCOMPARE(down, 3);
        rig.window.reset();
    }

    void agentDeletedWhileItsThreadWaitsForTheWindow() {
        CWatchdog watchdog(60, "deleting an agent whose thread waits for the window");
        CScriptedPrompts prompts;
        prompts.answers.push_back(true);
        SWindowRig rig;
        AgentPtr waiting = rig.Offline("127.62.1.1");
        AgentPtr other = rig.Offline("127.62.1.2");
        AllAgentsSilent(rig);
        rig.W().RebuildAgentList();
        rig.W().show();

        rig.W().Queue().Hold(true);
        waiting->StartMonitor();
        QVERIFY(rig.sink.WaitLogged("Device Down", 1, std::chrono::seconds(20)));
        QTest::qWait(50);
        CAgentListCtrl* list = rig.W().AgentListCtrl();
        list->setCurrentItem(list->topLevelItem(0));
        rig.W().OnDelete();
        QVERIFY(WaitUntil([&] { return !rig.W().Busy(); }, 20000));
        QCOMPARE(list->Rows(), 1);
        QCOMPARE(list->AgentAt(0), other);
        QVERIFY(!waiting->m_Thread.joinable());

        // The released step finds its record gone from the rows and does nothing.
        rig.W().Queue().Hold(false);
        QVERIFY(WaitUntil([&] { return rig.W().Queue().Pending() == 0; }));
        QCOMPARE(waiting->m_State.load(), AGENT_NORMAL);
        QCOMPARE(list->RowState(0), AGENT_NORMAL);
        QCOMPARE(DownLines(rig), 1);
        waiting.reset(); // the last holder: the record goes now
    }
};

QTEST_MAIN(CRaceTest)
#include "test_ui_race.moc"
