// The window mode from start to end: the LOGIN loop decides whether anything starts, the log
// file opens after it with the start line, the window finds the agents it was given, and the
// exit writes the exit line, saves the settings and closes the log, in that order.
#include "AgentListCtrl.h"
#include "AlarmSink.h"
#include "CoreTestSupport.h"
#include "LoginRules.h"
#include "SimAgent.h"
#include "StringIds.h"
#include "UiTestSupport.h"
#include "WindowApp.h"

#include <QDialog>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace uitest;

namespace {

// The notification half, recording what the window mode asks of it.
class CFakeNotification : public IAppNotification {
public:
    explicit CFakeNotification(std::vector<std::string>& calls, bool logOpens)
        : m_calls(calls), m_logOpens(logOpens) {}
    IAlarmSink& Alarms() override { return m_sink; }
    bool OpenLogFile() override {
        m_calls.push_back("open log");
        return m_logOpens;
    }
    bool LogResourceString(int id) override {
        m_calls.push_back("log " + std::to_string(id));
        return true;
    }
    void CloseLogFile() override { m_calls.push_back("close log"); }

private:
    std::vector<std::string>& m_calls;
    bool m_logOpens;
    coretest::CRecordingSink m_sink;
};

struct SAppRun {
    CScratchDir dir;
    std::vector<std::string> calls;
    bool logOpens = true;
    SWindowAppConfig config;
    SWindowAppHooks hooks;
    int asked = 0;

    SAppRun() {
        config.settingsPath = dir.File("QuillHT.ini");
        config.workDirectory = dir.Path();
        config.window.targets.broadcast = false;
        config.window.find.browseNetwork = false;
        hooks.configure = [](CMonitor& m) {
            m.SetTiming({std::chrono::milliseconds(1000), std::chrono::milliseconds(150),
                         std::chrono::milliseconds(50)});
        };
    }
    void Logins(std::vector<SLoginEntry> entries) {
        hooks.login = [this, entries]() -> std::optional<SLoginEntry> {
            return entries.at(static_cast<std::size_t>(asked++));
        };
    }
    int Run() {
        return RunWindowApp(
            config,
            [this](CSettingsStore&, CMailBook&, CMessageBook&,
                   std::function<void(const std::string&)>) {
                calls.push_back("notification");
                return std::make_unique<CFakeNotification>(calls, logOpens);
            },
            hooks);
    }
};

// Once the first rescan is over: look, then close with the question answered OK.
void CloseWhenScanned(SAppRun& run, CScriptedPrompts& prompts,
                      std::function<void(CQuillHTDlg&)> look) {
    run.hooks.started = [&prompts, look](CQuillHTDlg& w, CMonitor&) {
        auto* poll = new QTimer(&w);
        QObject::connect(poll, &QTimer::timeout, &w, [&w, &prompts, poll, look] {
            if (w.Busy()) {
                return;
            }
            poll->stop();
            look(w);
            prompts.answers.push_back(true);
            w.close();
        });
        poll->start(20);
    };
}

} // namespace

class CAppTest : public QObject {
    Q_OBJECT

private slots:
    void startsAfterLoginAndExitsInOrder() {
        coretest::CSimAgent sim;
        QVERIFY(sim.Ready());
        CScriptedPrompts prompts;
        SAppRun run;
        run.config.window.targets.addresses = {sim.Ip()};
        run.Logins({{"WARDN", "1"}, {"wardn", "5172"}});
        int rows = -1;
        CloseWhenScanned(run, prompts, [&](CQuillHTDlg& w) {
            rows = w.AgentListCtrl()->Rows();
            run.calls.push_back("window");
        });
        QCOMPARE(run.Run(), 0);
        QCOMPARE(run.asked, 2);
        QCOMPARE(rows, 1);
        QCOMPARE(run.calls, (std::vector<std::string>{"notification", "open log", "log 104",
                                                      "window", "log 160", "close log"}));
        // Saved at the end: the default password's digest, set by the first login.
        const std::string file = run.dir.Read("QuillHT.ini");
        QVERIFY(file.find("LoginP=" + PasswordDigest("5172")) != std::string::npos);
        QCOMPARE(prompts.Texts(), QStringList{"Are you sure?"});
    }

    void refusedLoginStartsNothing_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("three wrong entries") << false;
        QTest::newRow("cancelled") << true;
    }

    void refusedLoginStartsNothing() {
        QFETCH(bool, cancel);
        SAppRun run;
        run.dir.Write("QuillHT.ini", "[General]\nLanguage=1\n");
        if (cancel) {
            run.hooks.login = [&run]() -> std::optional<SLoginEntry> {
                ++run.asked;
                return std::nullopt;
            };
        } else {
            run.Logins({{"WARDN", "a"}, {"WARDN", "b"}, {"WARDN", "c"}});
        }
        QCOMPARE(run.Run(), 1);
        QCOMPARE(run.asked, cancel ? 1 : 3);
        QVERIFY(run.calls.empty());
        QCOMPARE(run.dir.Read("QuillHT.ini"), std::string("[General]\nLanguage=1\n"));
    }

    // A signal ends the run as a confirmed close does, without the question; during the LOGIN
    // it cancels the login. A dialog stands in for the LOGIN so that a loop of its own runs.
    void signalEndsTheRun_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("atLogin");
        QTest::newRow("SIGTERM in the window") << SIGTERM << false;
        QTest::newRow("SIGINT in the window") << SIGINT << false;
        QTest::newRow("SIGTERM at the login") << SIGTERM << true;
    }

    void signalEndsTheRun() {
        QFETCH(int, signal);
        QFETCH(bool, atLogin);
        CScriptedPrompts prompts;
        SAppRun run;
        run.dir.Write("QuillHT.ini", "[General]\nLanguage=1\n");
        bool loginGaveUp = false;
        run.hooks.login = [&]() -> std::optional<SLoginEntry> {
            ++run.asked;
            if (!atLogin) {
                return SLoginEntry{"WARDN", "5172"};
            }
            QDialog login;
            // Watchdog: a signal that does not end the dialog lets the login through, and the
            // checks below fail.
            QTimer::singleShot(5000, &login, &QDialog::accept);
            QTimer::singleShot(0, &login, [signal] { std::raise(signal); });
            loginGaveUp = login.exec() != QDialog::Accepted;
            return loginGaveUp ? std::nullopt
                               : std::optional<SLoginEntry>(SLoginEntry{"WARDN", "5172"});
        };
        run.hooks.started = [signal](CQuillHTDlg& w, CMonitor&) {
            auto* poll = new QTimer(&w);
            QObject::connect(poll, &QTimer::timeout, &w, [&w, poll, signal] {
                if (!w.Busy()) {
                    poll->stop();
                    std::raise(signal);
                }
            });
            poll->start(20);
            // Watchdog: the window closes after 5 s anyway, with the question (noticed below).
            QTimer::singleShot(5000, &w, [&w] { w.close(); });
        };
        prompts.answers.push_back(true);
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        const int status = run.Run();
        if (atLogin) {
            QVERIFY(loginGaveUp);
            QCOMPARE(status, 1);
            QVERIFY(run.calls.empty());
            QCOMPARE(run.dir.Read("QuillHT.ini"), std::string("[General]\nLanguage=1\n"));
            return;
        }
        QCOMPARE(status, 0);
        QCOMPARE(prompts.Texts(), QStringList{}); // no "Are you sure?"
        QCOMPARE(run.calls, (std::vector<std::string>{"notification", "open log", "log 104",
                                                      "log 160", "close log"}));
        // The settings were saved: the default password's digest the login put there.
        QVERIFY(run.dir.Read("QuillHT.ini").find("LoginP=" + PasswordDigest("5172")) !=
                std::string::npos);
        // The signal's old meaning is back once the run is over.
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        QVERIFY(now.sa_handler == before.sa_handler);
    }

    void logFileThatCannotOpenIsToldAndStartGoesOn() {
        CScriptedPrompts prompts;
        SAppRun run;
        run.logOpens = false;
        run.Logins({{"WARDN", "5172"}});
        CloseWhenScanned(run, prompts, [](CQuillHTDlg&) {});
        QCOMPARE(run.Run(), 0);
        QCOMPARE(prompts.Texts(), (QStringList{"Failed to open log file", "Are you sure?"}));
        QCOMPARE(run.calls.back(), std::string("close log"));
    }

    void settingsThatCannotBeSavedAtExitAreTold() {
        CScriptedPrompts prompts;
        SAppRun run;
        run.config.settingsPath = run.dir.File("gone/QuillHT.ini"); // no such folder
        run.Logins({{"WARDN", "5172"}});
        CloseWhenScanned(run, prompts, [](CQuillHTDlg&) {});
        QCOMPARE(run.Run(), 0);
        QCOMPARE(prompts.Texts().size(), 2);
        QVERIFY(prompts.Texts().at(1).startsWith("Failed to save the settings to "));
    }
};

QTEST_MAIN(CAppTest)
#include "test_ui_app.moc"
