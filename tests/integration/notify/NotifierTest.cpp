// The notifier's log file, system-log records, routing of an alarm by the notification
// settings, and the messenger's failures, with stand-in programs for smbclient.
#include "NotifierTestSupport.h"
#include "StringTable.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <thread>

namespace {

const char kText[] = "127.0.0.1 Volume Set # 00  Volume Failed";

TEST(NotifierLog, LinesAndWhenThereAreNone) {
    const struct {
        const char* what;
        std::string path; // relative to the scratch folder; "" for none
        int logfile;
        std::string before; // the file's content before the start
        bool opens;
        std::string after; // "-" when no file may exist
    } cases[] = {
        {"lines appended to what was there", "Log.log", 1, "old line\r\n", true,
         "old line\r\n2004/6/5  9:7:3 Application started successfully!!\r\n"
         "2004/6/5  9:7:3 127.0.0.1 Volume Set # 00  Volume Failed\r\n"},
        {"a new file", "Log.log", 1, "-", true,
         "2004/6/5  9:7:3 Application started successfully!!\r\n"
         "2004/6/5  9:7:3 127.0.0.1 Volume Set # 00  Volume Failed\r\n"},
        {"logging off: the file is held but stays empty", "Log.log", 0, "-", true, ""},
        {"no path: no file and no failure", "", 1, "-", true, "-"},
        {"a directory cannot be the log", "Log.log", 1, "/", false, "/"},
    };
    CStringTable::SetLanguage(ELanguage::English);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CScratch scratch;
        if (c.before == "/") {
            std::filesystem::create_directory(scratch.File("Log.log"));
        } else if (c.before != "-") {
            scratch.Write("Log.log", c.before);
        }
        SNotifierRig rig(scratch);
        rig.settings.Update([&](SettingsRecord& r) {
            r.Logfilepath = c.path.empty() ? "" : scratch.File(c.path);
            r.Logfile = c.logfile;
        });
        EXPECT_EQ(rig.notifier->OpenLogFile(), c.opens);
        EXPECT_EQ(rig.notifier->LogResourceString(IDS_APP_STARTED),
                  c.opens && c.logfile != 0 && !c.path.empty());
        EXPECT_TRUE(rig.notifier->WriteLogLine(kText));
        rig.notifier->CloseLogFile();
        EXPECT_TRUE(rig.notifier->WriteLogLine("after the close")); // nothing to write to
        if (c.after == "-") {
            EXPECT_TRUE(std::filesystem::is_empty(scratch.Path()) ||
                        !std::filesystem::exists(scratch.File("Log.log")));
        } else if (c.after == "/") {
            EXPECT_TRUE(std::filesystem::is_directory(scratch.File("Log.log")));
        } else {
            EXPECT_EQ(scratch.Read("Log.log"), c.after);
        }
        EXPECT_TRUE(rig.messages.Texts().empty());
    }
}

TEST(NotifierLog, RelativePathIsTakenInTheCurrentDirectory) {
    CScratch scratch;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    {
        SNotifierRig rig(scratch);
        rig.settings.Update([](SettingsRecord& r) { r.Logfilepath = "Log.log"; });
        EXPECT_TRUE(rig.notifier->OpenLogFile());
        EXPECT_TRUE(rig.notifier->WriteLogLine("here"));
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(scratch.Read("Log.log"), "2004/6/5  9:7:3 here\r\n");
}

// A second instance with the same log path is refused; the first keeps writing.
TEST(NotifierLog, SecondInstanceCannotOpenTheLog) {
    CScratch scratch;
    SNotifierRig first(scratch);
    first.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
    ASSERT_TRUE(first.notifier->OpenLogFile());

    // Another process, as a second start of the program would be.
    const pid_t child = fork();
    if (child == 0) {
        SNotifierRig second(scratch);
        second.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
        _exit(second.notifier->OpenLogFile() ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second instance opened it";

    EXPECT_TRUE(first.notifier->WriteLogLine("still mine"));
    first.notifier->CloseLogFile();
    SNotifierRig third(scratch);
    third.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
    EXPECT_TRUE(third.notifier->OpenLogFile()) << "free again once the first closed it";
    EXPECT_EQ(scratch.Read("Log.log"), "2004/6/5  9:7:3 still mine\r\n");
}

// A write that fails or is cut short is reported, never taken for a written line; the start
// and exit lines show "Failed to write to log file" themselves.
TEST(NotifierLog, FailedAndShortWritesAreReported) {
    CScratch scratch;
    const pid_t child = fork();
    if (child == 0) {
        // The file may not grow past 40 bytes: the second line (19 bytes each) still fits,
        // the third is cut short, the fourth cannot be written at all.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{40, 40};
        setrlimit(RLIMIT_FSIZE, &limit);
        SNotifierRig rig(scratch);
        rig.settings.Update([&](SettingsRecord& r) { r.Logfilepath = scratch.File("Log.log"); });
        int failures = 0;
        failures |= rig.notifier->OpenLogFile() ? 0 : 1;
        failures |= rig.notifier->WriteLogLine("a") ? 0 : 2;
        failures |= rig.notifier->WriteLogLine("b") ? 0 : 4;
        failures |= rig.notifier->WriteLogLine("c") ? 8 : 0;
        failures |= rig.notifier->WriteLogLine("d") ? 16 : 0;
        failures |= rig.messages.Texts().empty() ? 0 : 32;
        failures |= rig.notifier->LogResourceString(IDS_APP_EXIT) ? 64 : 0;
        failures |= rig.messages.Texts() == std::vector<std::string>{"Failed to write to log file"}
                        ? 0
                        : 128;
        _exit(failures);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(scratch.Read("Log.log"), "2004/6/5  9:7:3 a\r\n2004/6/5  9:7:3 b\r\n20");
}

TEST(NotifierSystemLog, RecordsReachTheSocket) {
    CScratch scratch;
    CSyslogSink sink(scratch.File("log"));
    ASSERT_TRUE(sink.Bound());
    SNotifierOptions options;
    options.syslogPath = sink.Path();
    SNotifierRig rig(scratch, options);
    const std::string head = "Jun  5 09:07:03 QuillHT[" + std::to_string(getpid()) + "]: ";
    const struct {
        int enabled;
        int type;
        std::uint32_t id;
        std::string record; // "" for none
    } cases[] = {
        {1, EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, "<11>" + head + "[0xC0000030] " + kText},
        {1, EVENTLOG_WARNING_TYPE, EVENTLOG_ID_WARNING, "<12>" + head + "[0x80000020] " + kText},
        {1, EVENTLOG_INFORMATION_TYPE, EVENTLOG_ID_INFORMATION,
         "<14>" + head + "[0x40000010] " + kText},
        {0, EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, ""},
    };
    for (const auto& c : cases) {
        rig.settings.Update([&](SettingsRecord& r) { r.EnableSysLog = c.enabled; });
        rig.notifier->ReportSystemEvent(c.type, c.id, kText);
        const std::optional<std::string> got = sink.Next(c.record.empty() ? 300 : 2000);
        EXPECT_EQ(got.value_or(""), c.record);
    }
}

TEST(NotifierSystemLog, NoListenerIsNoFailure) {
    CScratch scratch;
    SNotifierOptions options;
    options.syslogPath = scratch.File("nobody-listens");
    SNotifierRig rig(scratch, options);
    rig.settings.Update([](SettingsRecord& r) { r.EnableSysLog = 1; });
    rig.notifier->ReportSystemEvent(EVENTLOG_ERROR_TYPE, EVENTLOG_ID_ERROR, kText);
    EXPECT_TRUE(rig.messages.Texts().empty());
}

// A stand-in for smbclient: a shell script written into the scratch folder.
std::string StandIn(const CScratch& scratch, const std::string& name, const std::string& body) {
    scratch.Write(name, "#!/bin/sh\n" + body + "\n", 0755);
    return scratch.File(name);
}

// The computer names of the tests resolve to loopback; "NOWHERE" resolves to nothing.
bool LoopbackLookup(const std::string& name, in_addr* address) {
    if (name == "NOWHERE") {
        return false;
    }
    address->s_addr = htonl(INADDR_LOOPBACK);
    return true;
}

// Which channels an alarm takes: pop-ups first (all of them), then one mail, as EnableNotify,
// NotifyType and the controller's IDE channels say. The stand-in smbclient and the mail server
// write to one events file, so the order is seen as it happened.
TEST(NotifierDispatch, ChannelsFollowTheSettings) {
    CScratch scratch;
    CMailServer server(scratch);
    ASSERT_NE(server.Port(), 0) << server.Stderr();
    const std::string events = server.Dir() + "/events";
    SNotifierOptions options;
    options.messenger.program = StandIn(scratch, "smbclient",
                                        "printf 'message %s %s\\n' \"$2\" "
                                        "\"$(cat)\" >>" +
                                            events);
    options.messenger.lookup = LoopbackLookup;
    options.smtpPort = server.Port();
    SNotifierRig rig(scratch, options);
    rig.messageBook.AddComputer(true, "WS01");
    rig.messageBook.AddComputer(false, "OFF01");
    rig.messageBook.AddComputer(true, "WS02");
    rig.mailBook.AddUser(true, "Ops", "ops@site.test");

    const std::vector<std::string> popUps = {"message WS01 " + std::string(kText),
                                             "message WS02 " + std::string(kText)};
    const struct {
        const char* what;
        int enable;
        int type;
        int ideChannels;
        const char* server;
        const char* password;
        std::vector<std::string> events;
        std::vector<std::string> boxes;
    } cases[] = {
        {"notification off", 0, NOTIFY_BY_MAIL | NOTIFY_BY_MESSAGE, 5, "127.0.0.1", "pw", {}, {}},
        {"pop-ups before the mail",
         1,
         NOTIFY_BY_MAIL | NOTIFY_BY_MESSAGE,
         5,
         "127.0.0.1",
         "pw",
         {popUps[0], popUps[1], "ehlo", "auth LOGIN", "mail 1"},
         {}},
        {"pop-ups only", 1, NOTIFY_BY_MESSAGE, 5, "127.0.0.1", "pw", popUps, {}},
        {"mail only without Ethernet: 6 IDE channels get none",
         1,
         NOTIFY_BY_MAIL | NOTIFY_MAIL_ONLY_NO_ETHERNET,
         6,
         "127.0.0.1",
         "pw",
         {},
         {}},
        {"mail only without Ethernet: 5 IDE channels get mail",
         1,
         NOTIFY_BY_MAIL | NOTIFY_MAIL_ONLY_NO_ETHERNET,
         5,
         "127.0.0.1",
         "pw",
         {"ehlo", "auth LOGIN", "mail 2"},
         {}},
        {"no server: no mail and no box", 1, NOTIFY_BY_MAIL, 5, "", "pw", {}, {}},
        {"every method refused: no mail and no box",
         1,
         NOTIFY_BY_MAIL,
         5,
         "127.0.0.1",
         "bad",
         {"ehlo", "refused", "refused"},
         {}},
        {"server not reachable: one box",
         1,
         NOTIFY_BY_MAIL,
         5,
         "127.0.0.2",
         "pw",
         {},
         {"Failed to connect SMTP server"}},
    };
    CStringTable::SetLanguage(ELanguage::English);
    std::size_t seen = 0;
    std::size_t boxes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        rig.settings.Update([&](SettingsRecord& r) {
            r.EnableNotify = c.enable;
            r.NotifyType = c.type;
            std::strcpy(r.Server, c.server);
            std::strcpy(r.Account, "alarm");
            std::strcpy(r.Password, c.password);
            std::strcpy(r.SenderAddr, "raid@site.test");
        });
        rig.notifier->NotifyAlarm(c.ideChannels, kText);
        const std::vector<std::string> all = FileLines(events);
        EXPECT_EQ(
            std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end()),
            c.events);
        seen = all.size();
        const std::vector<std::string> shown = rig.messages.Texts();
        EXPECT_EQ(std::vector<std::string>(shown.begin() + static_cast<std::ptrdiff_t>(boxes),
                                           shown.end()),
                  c.boxes);
        boxes = shown.size();
    }
}

// When no authentication method is accepted the alarm mail is lost; that must leave a
// system-log record (even with alarm records off) and a trace line.
TEST(NotifierDispatch, RefusedAuthenticationIsRecorded) {
    CScratch scratch;
    CMailServer server(scratch);
    ASSERT_NE(server.Port(), 0) << server.Stderr();
    CSyslogSink sink(scratch.File("log"));
    ASSERT_TRUE(sink.Bound());
    SNotifierOptions options;
    options.smtpPort = server.Port();
    options.syslogPath = sink.Path();
    SNotifierRig rig(scratch, options);
    rig.mailBook.AddUser(true, "Ops", "ops@site.test");
    rig.settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MAIL;
        std::strcpy(r.Server, "127.0.0.1");
        std::strcpy(r.Account, "alarm");
        std::strcpy(r.Password, "wrong");
    });
    rig.notifier->NotifyAlarm(5, kText);

    const std::string record = sink.Next().value_or("");
    EXPECT_EQ(record.rfind("<11>", 0), 0u) << record;
    EXPECT_NE(record.find("[0xC0000030] SMTP server 127.0.0.1 accepted none of NTLM, CRAM-MD5, "
                          "LOGIN, PLAIN"),
              std::string::npos)
        << record;
    EXPECT_NE(record.find(std::string("alarm mail not sent: ") + kText), std::string::npos)
        << record;
    const std::vector<std::string> trace = rig.Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].rfind("SendAlarmMail==> SMTP server 127.0.0.1 accepted none", 0), 0u);
    EXPECT_TRUE(rig.messages.Texts().empty());
    EXPECT_FALSE(std::filesystem::exists(server.Dir() + "/1.eml"));
}

// Every way a pop-up can fail shows one "Net Messenger: " box with its reason, and the next
// computer of the book still gets its message.
TEST(NotifierMessenger, FailuresShowOneBoxEachAndTheNextComputerIsTried) {
    CScratch scratch;
    const std::string delivered = scratch.File("delivered");
    const std::string prompt = "echo 'Type your message, ending it with a Control-D' >&2; ";
    const struct {
        const char* what;
        std::string name;
        std::string failing; // the stand-in's answer for this computer; "" for no smbclient
        std::string box;
    } cases[] = {
        {"a name that would be an option", "-N", "exit 0",
         "Net Messenger:  \"-N\" is not a valid computer name."},
        {"a name with a blank", "WS 01", "exit 0",
         "Net Messenger:  \"WS 01\" is not a valid computer name."},
        {"a name that does not resolve", "NOWHERE", "exit 0",
         "Net Messenger:  The computer NOWHERE cannot be found."},
        {"connection refused", "WS01",
         prompt + "echo 'Connection to WS01 failed. Error NT_STATUS_CONNECTION_REFUSED' >&2; "
                  "exit 1",
         "Net Messenger:  Connection to WS01 failed. Error NT_STATUS_CONNECTION_REFUSED"},
        {"refused by the receiver although the exit status is 0", "WS01",
         prompt + "echo 'cli_message returned NT_STATUS_CONNECTION_DISCONNECTED' >&2; exit 0",
         "Net Messenger:  cli_message returned NT_STATUS_CONNECTION_DISCONNECTED"},
        {"no reason given", "WS01", "exit 3", "Net Messenger:  smbclient ended with status 3."},
        {"over the time limit", "WS01", "exec sleep 20",
         "Net Messenger:  The computer WS01 did not take the message within 1 seconds."},
        {"smbclient missing", "WS01", "",
         "Net Messenger:  smbclient is not installed; pop-up messages need it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(delivered);
        SNotifierOptions options;
        options.messenger.program = c.failing.empty()
                                        ? scratch.File("no-such-smbclient")
                                        : StandIn(scratch, "smbclient",
                                                  "if [ \"$2\" = NEXT ]; then cat >>" + delivered +
                                                      "; exit 0; fi\ncat >/dev/null\n" + c.failing);
        options.messenger.lookup = LoopbackLookup;
        options.messenger.timeLimit = std::chrono::milliseconds(1000);
        SNotifierRig rig(scratch, options);
        rig.messageBook.AddComputer(true, c.name);
        rig.messageBook.AddComputer(true, "NEXT");
        rig.notifier->SendAlarmMessage(kText);
        if (c.failing.empty()) { // nobody gets anything, and each computer says so
            EXPECT_EQ(rig.messages.Texts(), (std::vector<std::string>{c.box, c.box}));
            continue;
        }
        EXPECT_EQ(rig.messages.Texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(scratch.Read("delivered"), kText);
    }
}

// A stop request (the agent is being deleted) ends a pop-up in progress at once: smbclient is
// killed, no box is shown and no further computer is tried.
TEST(NotifierMessenger, StopEndsAPopUpInProgress) {
    CScratch scratch;
    SNotifierOptions options;
    options.messenger.program = StandIn(
        scratch, "smbclient", "echo \"$2\" >>" + scratch.File("started") + "; exec sleep 20");
    options.messenger.lookup = LoopbackLookup;
    SNotifierRig rig(scratch, options);
    rig.messageBook.AddComputer(true, "WS01");
    rig.messageBook.AddComputer(true, "WS02");
    rig.settings.Update([](SettingsRecord& r) {
        r.EnableNotify = 1;
        r.NotifyType = NOTIFY_BY_MESSAGE;
    });
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    rig.notifier->NotifyAlarm(5, kText, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(rig.messages.Texts().empty());
    EXPECT_EQ(scratch.Read("started"), "WS01\n");
}

} // namespace
