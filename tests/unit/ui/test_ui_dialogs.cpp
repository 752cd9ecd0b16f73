// The settings dialogs, the login and the small dialogs of the window, driven as a user
// would: fields typed, boxes clicked, OK or Cancel pressed; the settings record and file are
// checked afterwards.
#include "LoginDialog.h"
#include "LoginRules.h"
#include "NotifyDialog.h"
#include "SettingsStore.h"
#include "SetupSheet.h"
#include "SmallDialogs.h"
#include "SmtpDialog.h"
#include "StringIds.h"
#include "UiTestSupport.h"
#include "UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <optional>

using namespace uitest;

Q_DECLARE_METATYPE(std::vector<std::optional<SLoginEntry>>)

namespace {

QString Text(int id, ELanguage lang) {
    return QString::fromUtf8(LoadText(id, lang));
}

// An INI value of the saved file ("" when the key is not there).
std::string IniValue(const std::string& file, const std::string& key) {
    std::size_t pos = 0;
    while (pos < file.size()) {
        std::size_t end = file.find('\n', pos);
        if (end == std::string::npos) {
            end = file.size();
        }
        std::string line = file.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
        pos = end + 1;
    }
    return {};
}

} // namespace

class CDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { CStringTable::SetLanguage(ELanguage::English); }

    // --- login ---

    void loginLoop_data() {
        using Entries = std::vector<std::optional<SLoginEntry>>;
        QTest::addColumn<QString>("storedPassword"); // "" : no LoginP in the file
        QTest::addColumn<Entries>("entries");        // nullopt: Cancel
        QTest::addColumn<bool>("admitted");
        QTest::addColumn<int>("asked");
        QTest::newRow("default password, account in any case")
            << "" << Entries{SLoginEntry{"wArDn", "5172"}} << true << 1;
        QTest::newRow("stored password; the default no longer opens")
            << "s3cret" << Entries{SLoginEntry{"WARDN", "5172"}, SLoginEntry{"WARDN", "s3cret"}}
            << true << 2;
        QTest::newRow("wrong account with the right password")
            << "" << Entries{SLoginEntry{"ADMIN", "5172"}, SLoginEntry{"WARDN", "5172"}} << true
            << 2;
        QTest::newRow("three failures end it; no fourth question")
            << ""
            << Entries{SLoginEntry{"WARDN", "1"}, SLoginEntry{"WARDN", "2"},
                       SLoginEntry{"WARDN", "3"}, SLoginEntry{"WARDN", "5172"}}
            << false << 3;
        QTest::newRow("cancel at the second question")
            << "" << Entries{SLoginEntry{"WARDN", "1"}, std::nullopt} << false << 2;
        QTest::newRow("cancel at once") << "s3cret" << Entries{std::nullopt} << false << 1;
    }

    void loginLoop() {
        using Entries = std::vector<std::optional<SLoginEntry>>;
        QFETCH(QString, storedPassword);
        QFETCH(Entries, entries);
        QFETCH(bool, admitted);
        QFETCH(int, asked);

        CScratchDir dir;
        const std::string ini = dir.File("QuillHT.ini");
        std::string before;
        if (!storedPassword.isEmpty()) {
            before = "[Security]\nLoginP=" + PasswordDigest(storedPassword.toStdString()) + "\n";
            dir.Write("QuillHT.ini", before);
        }
        int calls = 0;
        {
            CSettingsStore store(ini);
            store.Load();
            const bool result = RunLogin(store, [&]() -> std::optional<SLoginEntry> {
                return entries.at(static_cast<std::size_t>(calls++));
            });
            QCOMPARE(result, admitted);
            QCOMPARE(calls, asked);
        }
        // A refused start leaves the file as it was; an admitted one saves the digest in use.
        if (!admitted) {
            QCOMPARE(dir.Read("QuillHT.ini"), before);
        } else {
            const std::string expected = PasswordDigest(
                storedPassword.isEmpty() ? kDefaultPassword : storedPassword.toStdString());
            QCOMPARE(IniValue(dir.Read("QuillHT.ini"), "LoginP"), expected);
        }
    }

    void loginDialogTypesIntoMaskedFields() {
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        int shown = 0;
        // The real dialog, typed into: first a wrong password, then the default one.
        const char* passwords[] = {"nope", "5172"};
        const LoginAsker ask = [&]() -> std::optional<SLoginEntry> {
            const char* password = passwords[shown++];
            WhenModal<CEnterPasswordDlg>([password](CEnterPasswordDlg* dlg) {
                QCOMPARE(dlg->windowTitle(), QStringLiteral("LOGIN"));
                QCOMPARE(dlg->PasswordEdit()->echoMode(), QLineEdit::Password);
                QTest::keyClicks(dlg->AccountEdit(), "wardn");
                QTest::keyClicks(dlg->PasswordEdit(), password);
                QTest::keyClick(dlg->PasswordEdit(), Qt::Key_Return);
            });
            return DialogLoginAsker()();
        };
        QVERIFY(RunLogin(store, ask));
        QCOMPARE(shown, 2);
    }

    // --- labels follow the language of the moment ---

    void setupSheetLabelsInBothLanguages_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << static_cast<int>(ELanguage::English);
        QTest::newRow("Chinese") << static_cast<int>(ELanguage::Chinese);
    }

    void setupSheetLabelsInBothLanguages() {
        QFETCH(int, language);
        const auto lang = static_cast<ELanguage>(language);
        const ELanguage other =
            lang == ELanguage::English ? ELanguage::Chinese : ELanguage::English;
        CLanguage scope(lang);
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        CSetupSheet sheet(store);
        const int pages[] = {IDS_GENERAL_PAGE_TITLE, IDS_NETWORK_PAGE_TITLE,
                             IDS_SECURITY_PAGE_TITLE};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(sheet.Tabs()->tabText(i), Text(pages[i], lang));
            QVERIFY(sheet.Tabs()->tabText(i) != Text(pages[i], other));
        }
        QCOMPARE(sheet.windowTitle(), Text(IDS_SETUP_CAPTION, lang));
        QCOMPARE(sheet.General()->LogfileBox()->text(), Text(IDS_GENERAL_ENABLE_LOGFILE, lang));
        QCOMPARE(sheet.Network()->SmtpButton()->text(), Text(IDS_NETWORK_SMTP_SETTINGS, lang));
        QStringList labels;
        for (QLabel* l : sheet.findChildren<QLabel*>()) {
            labels << l->text();
        }
        for (int id : {IDS_GENERAL_LANGUAGE, IDS_NETWORK_POLL_INTERVAL, IDS_NETWORK_UNIT_TIMES,
                       IDS_SECURITY_CONFIRM_PASSWORD}) {
            QVERIFY2(labels.contains(Text(id, lang)), qPrintable(Text(id, lang)));
        }
    }

    // --- the Setup sheet ---

    void setupCopiesOnlyOpenedPages_data() {
        QTest::addColumn<bool>("visitNetwork");
        QTest::addColumn<bool>("confirm");
        QTest::newRow("network page never opened") << false << true;
        QTest::newRow("network page opened") << true << true;
        QTest::newRow("cancelled") << true << false;
    }

    void setupCopiesOnlyOpenedPages() {
        QFETCH(bool, visitNetwork);
        QFETCH(bool, confirm);
        CScratchDir dir;
        dir.Write("QuillHT.ini", "[Network]\nPollInterval=5\n");
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Load();
        const std::string fileBefore = dir.Read("QuillHT.ini");
        {
            CSetupSheet sheet(store);
            sheet.show();
            QVERIFY(QTest::qWaitForWindowExposed(&sheet));
            // Both pages get new values, as if typed; only opened pages may take theirs.
            sheet.General()->LanguageCombo()->setCurrentIndex(0);
            sheet.General()->LogfilePathEdit()->setText("other.log");
            sheet.Network()->IntervalEdit()->setText("42");
            sheet.Network()->PortEdit()->setText("40001");
            if (visitNetwork) {
                sheet.Tabs()->setCurrentWidget(sheet.Network());
            }
            confirm ? sheet.accept() : sheet.reject();
            QCOMPARE(sheet.result(), confirm ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
        const SettingsRecord r = store.Snapshot();
        QCOMPARE(r.Language, confirm ? LANGUAGE_CHINESE : LANGUAGE_ENGLISH);
        QCOMPARE(r.Logfilepath, confirm ? std::string("other.log") : std::string("Log.log"));
        QCOMPARE(CStringTable::Language(), confirm ? ELanguage::Chinese : ELanguage::English);
        const bool networkTaken = confirm && visitNetwork;
        QCOMPARE(r.PollInterval, networkTaken ? 42 : 5);
        QCOMPARE(static_cast<int>(r.AgentPort), networkTaken ? 40001 : 7890);
        // Confirming the sheet changes the record only; the file waits for the next save.
        QCOMPARE(dir.Read("QuillHT.ini"), fileBefore);
        CStringTable::SetLanguage(ELanguage::English);
    }

    void networkPageRefusesOutOfRange_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("interval 0") << "interval"
                                    << "0"
                                    << "Please enter an integer between 1 and 120.";
        QTest::newRow("interval 121") << "interval"
                                      << "121"
                                      << "Please enter an integer between 1 and 120.";
        QTest::newRow("retries 11") << "retries"
                                    << "11"
                                    << "Please enter an integer between 0 and 10.";
        QTest::newRow("timeout empty") << "timeout"
                                       << ""
                                       << "Please enter a number.";
        QTest::newRow("port 0") << "port"
                                << "0"
                                << "Please enter an integer between 1 and 65535.";
        QTest::newRow("port 65536") << "port"
                                    << "65536"
                                    << "Please enter an integer between 1 and 65535.";
        QTest::newRow("port of twenty digits") << "port"
                                               << "99999999999999999999"
                                               << "Please enter an integer between 1 and 65535.";
    }

    void networkPageRefusesOutOfRange() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        CScriptedPrompts prompts;
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        CSetupSheet sheet(store);
        sheet.show();
        sheet.Tabs()->setCurrentWidget(sheet.Network());
        CNetSetting* net = sheet.Network();
        QLineEdit* edit = field == "interval"  ? net->IntervalEdit()
                          : field == "retries" ? net->RetriesEdit()
                          : field == "timeout" ? net->TimeoutEdit()
                                               : net->PortEdit();
        net->RetriesEdit()->setText("3"); // a valid change that must not be taken either
        edit->setText(value);
        sheet.accept();
        QVERIFY(sheet.isVisible());
        QCOMPARE(prompts.Texts(), QStringList{message});
        const SettingsRecord r = store.Snapshot();
        QCOMPARE(r.PollRetries, 1);
        QCOMPARE(r.PollInterval, 5);
        QCOMPARE(static_cast<int>(r.AgentPort), 7890);
    }

    void securityPageOkChangesPasswordAtOnce_data() {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirmPassword");
        QTest::addColumn<QString>("message"); // "" : none
        QTest::addColumn<QString>("digestOf");
        QTest::newRow("old empty does nothing") << ""
                                                << "n"
                                                << "n"
                                                << ""
                                                << "5172";
        QTest::newRow("wrong old") << "x"
                                   << "n"
                                   << "n"
                                   << "Incorrect Password"
                                   << "5172";
        QTest::newRow("new empty") << "5172"
                                   << ""
                                   << ""
                                   << "Password can not be blank"
                                   << "5172";
        QTest::newRow("confirmation differs") << "5172"
                                              << "new"
                                              << "New"
                                              << "Failed to confirm password"
                                              << "5172";
        QTest::newRow("changed") << "5172"
                                 << "new"
                                 << "new"
                                 << "Password modified successfully!!"
                                 << "new";
    }

    void securityPageOkChangesPasswordAtOnce() {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirmPassword);
        QFETCH(QString, message);
        QFETCH(QString, digestOf);
        CScriptedPrompts prompts;
        CScratchDir dir;
        dir.Write("QuillHT.ini", "[Security]\nLoginP=" + PasswordDigest("5172") + "\n");
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Load();
        CSetupSheet sheet(store);
        sheet.show();
        sheet.Tabs()->setCurrentWidget(sheet.Security());
        CSecurityDlg* page = sheet.Security();
        QTest::keyClicks(page->OldEdit(), oldPassword);
        QTest::keyClicks(page->NewEdit(), newPassword);
        QTest::keyClicks(page->ConfirmEdit(), confirmPassword);
        QTest::mouseClick(page->OkButton(), Qt::LeftButton);
        QCOMPARE(prompts.Texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        // Saved at once, without the sheet's OK; the edits keep what was typed.
        const std::string digest = PasswordDigest(digestOf.toStdString());
        QCOMPARE(IniValue(dir.Read("QuillHT.ini"), "LoginP"), digest);
        QCOMPARE(page->OldEdit()->text(), oldPassword);
        QVERIFY(sheet.isVisible());
    }

    // --- SMTP server setting ---

    void needAuthenticationClearsTheAccountFields() {
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Update([](SettingsRecord& r) {
            r.Auth = 1;
            std::strcpy(r.Account, "alarm");
            std::strcpy(r.Password, "pw");
            std::strcpy(r.Server, "mail.example.org");
        });
        CSmtpSettingDlg dlg(store);
        dlg.show();
        QCOMPARE(dlg.AccountEdit()->text(), QStringLiteral("alarm"));
        QCOMPARE(dlg.PasswordEdit()->echoMode(), QLineEdit::Password);
        ClickBox(dlg.AuthBox());
        QVERIFY(!dlg.AuthBox()->isChecked());
        QCOMPARE(dlg.AccountEdit()->text(), QString());
        QCOMPARE(dlg.PasswordEdit()->text(), QString());
        QVERIFY(!dlg.AccountEdit()->isEnabled());
        QVERIFY(!dlg.PasswordEdit()->isEnabled());
        ClickBox(dlg.AuthBox());
        QVERIFY(dlg.AccountEdit()->isEnabled() && dlg.PasswordEdit()->isEnabled());
        QCOMPARE(dlg.AccountEdit()->text(), QString());
        ClickBox(dlg.AuthBox());
        dlg.accept();
        QVERIFY(dlg.Saved());
        const SettingsRecord r = store.Snapshot();
        QCOMPARE(r.Auth, 0);
        QCOMPARE(QString(r.Account), QString());
        QCOMPARE(QString(r.Password), QString());
        QCOMPARE(QString(r.Server), QStringLiteral("mail.example.org"));
        const std::string file = dir.Read("QuillHT.ini");
        QCOMPARE(IniValue(file, "Auth"), std::string("0"));
        QCOMPARE(IniValue(file, "Server"), std::string("mail.example.org"));
    }

    void smtpDialogOpenedWithoutAuthShowsNoAccount() {
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Update([](SettingsRecord& r) {
            r.Auth = 0;
            std::strcpy(r.Account, "left-over");
        });
        CSmtpSettingDlg dlg(store);
        QCOMPARE(dlg.AccountEdit()->text(), QString());
        QVERIFY(!dlg.AccountEdit()->isEnabled());
    }

    void smtpDialogRefusesTextLongerThanItsField() {
        CScriptedPrompts prompts;
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        CSmtpSettingDlg dlg(store);
        dlg.show();
        dlg.ServerEdit()->setText(QString(64, 'm'));
        dlg.SenderAddrEdit()->setText("raid@example.org");
        dlg.accept();
        QVERIFY(dlg.isVisible());
        QCOMPARE(prompts.Texts(), QStringList{"Please enter no more than 63 characters."});
        QCOMPARE(QString(store.Snapshot().SenderAddr), QString());
        QVERIFY(!dir.Exists("QuillHT.ini"));
        dlg.ServerEdit()->setText(QString(63, 'm'));
        dlg.accept();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(std::string(store.Snapshot().Server), std::string(63, 'm'));
    }

    void smtpPortSecurityAndCaFile_data() {
        QTest::addColumn<int>("security");     // in the record when the dialog opens
        QTest::addColumn<int>("port");         // likewise
        QTest::addColumn<int>("choose");       // list index picked, -2: none
        QTest::addColumn<QString>("typePort"); // typed into the port field, null: nothing
        QTest::addColumn<int>("savedPort");    // -1: the dialog refuses and saves nothing
        QTest::addColumn<int>("savedSecurity");
        QTest::newRow("plain on 25 stays") << 0 << 25 << -2 << QString() << 25 << 0;
        QTest::newRow("STARTTLS keeps the port") << 0 << 25 << 1 << QString() << 25 << 1;
        QTest::newRow("TLS moves 25 to 465") << 0 << 25 << 3 << QString() << 465 << 3;
        QTest::newRow("leaving TLS moves 465 back to 25") << 3 << 465 << 2 << QString() << 25 << 2;
        QTest::newRow("a port of the user's own stays") << 1 << 587 << 3 << QString() << 587 << 3;
        QTest::newRow("typed port wins") << 0 << 25 << 3 << "2465" << 2465 << 3;
        QTest::newRow("port 0 refused") << 0 << 25 << 1 << "0" << -1 << 0;
        QTest::newRow("port 65536 refused") << 0 << 25 << 1 << "65536" << -1 << 0;
        QTest::newRow("empty port refused") << 0 << 25 << 2 << QString("") << -1 << 0;
        QTest::newRow("unknown number kept when nothing is picked")
            << 7 << 25 << -2 << QString() << 25 << 7;
    }

    void smtpPortSecurityAndCaFile() {
        QFETCH(int, security);
        QFETCH(int, port);
        QFETCH(int, choose);
        QFETCH(QString, typePort);
        QFETCH(int, savedPort);
        QFETCH(int, savedSecurity);
        CScriptedPrompts prompts;
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.SetSaveOnDestroy(false);
        store.Update([&](SettingsRecord& r) {
            r.Security = security;
            r.Port = port;
            r.CAFile = "/etc/ssl/old.pem";
        });
        CSmtpSettingDlg dlg(store);
        dlg.show();
        QCOMPARE(dlg.PortEdit()->text(), QString::number(port));
        QCOMPARE(dlg.SecurityCombo()->count(), 4);
        QCOMPARE(dlg.SecurityCombo()->currentIndex(), security <= 3 ? security : -1);
        QCOMPARE(dlg.CaFileEdit()->text(), QStringLiteral("/etc/ssl/old.pem"));
        if (choose >= 0) {
            dlg.SecurityCombo()->setCurrentIndex(choose);
        }
        if (!typePort.isNull()) {
            dlg.PortEdit()->setText(typePort);
        }
        dlg.CaFileEdit()->setText(QStringLiteral("/etc/ssl/site ca.pem"));
        dlg.accept();
        const SettingsRecord r = store.Snapshot();
        if (savedPort < 0) {
            QVERIFY(dlg.isVisible());
            QCOMPARE(prompts.Texts().size(), 1);
            QVERIFY(!dir.Exists("QuillHT.ini"));
            QCOMPARE(r.Port, port);
            QCOMPARE(r.CAFile, std::string("/etc/ssl/old.pem"));
            return;
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(prompts.Texts(), QStringList{});
        QCOMPARE(r.Port, savedPort);
        QCOMPARE(r.Security, savedSecurity);
        QCOMPARE(r.CAFile, std::string("/etc/ssl/site ca.pem"));
        const std::string file = dir.Read("QuillHT.ini");
        QCOMPARE(IniValue(file, "Port"), std::to_string(savedPort));
        QCOMPARE(IniValue(file, "Security"), std::to_string(savedSecurity));
    }

    // --- Notification Settings ---

    void notificationTypesFollowTheSwitch() {
        CScratchDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Update([](SettingsRecord& r) {
            r.EnableNotify = 0;
            r.NotifyType = NOTIFY_BY_MAIL | NOTIFY_BY_MESSAGE; // left from an earlier run
        });
        CNotifySettingDlg dlg(store);
        dlg.show();
        for (QCheckBox* box : {dlg.MailBox(), dlg.MessageBox(), dlg.NoEthernetBox()}) {
            QVERIFY(!box->isChecked());
            QVERIFY(!box->isEnabled());
        }
        ClickBox(dlg.EnableBox());
        QVERIFY(dlg.MailBox()->isEnabled());
        ClickBox(dlg.MailBox());
        ClickBox(dlg.NoEthernetBox());
        dlg.LevelCombo()->setCurrentIndex(0);
        QCOMPARE(dlg.LevelCombo()->currentText(), QStringLiteral("Urgent Error Notification"));
        dlg.accept();
        SettingsRecord r = store.Snapshot();
        QCOMPARE(r.EnableNotify, 1);
        QCOMPARE(r.NotifyType, NOTIFY_BY_MAIL | NOTIFY_MAIL_ONLY_NO_ETHERNET);
        QCOMPARE(r.Level, LEVEL_URGENT);
        QCOMPARE(IniValue(dir.Read("QuillHT.ini"), "EnableNotify"), std::string("Y"));

        // Switched off again: the types are dropped and 0 is stored.
        CNotifySettingDlg again(store);
        again.show();
        QVERIFY(again.MailBox()->isChecked());
        ClickBox(again.EnableBox());
        QVERIFY(!again.MailBox()->isChecked() && !again.MailBox()->isEnabled());
        again.accept();
        r = store.Snapshot();
        QCOMPARE(r.EnableNotify, 0);
        QCOMPARE(r.NotifyType, 0);
        QCOMPARE(IniValue(dir.Read("QuillHT.ini"), "NotifyType"), std::string("0"));
    }

    void failedSaveIsToldAndKeepsBothFileAndMemory() {
        CScriptedPrompts prompts;
        CScratchDir dir;
        dir.Write("QuillHT.ini", "[EVENT]\nEnableNotify=N\nLevel=3\n");
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Load();
        store.SetBeforeRenameHook([](const std::string&) { return false; });
        CNotifySettingDlg dlg(store);
        dlg.show();
        ClickBox(dlg.EnableBox());
        dlg.LevelCombo()->setCurrentIndex(1);
        dlg.accept();
        QVERIFY(!dlg.Saved());
        QCOMPARE(prompts.shown.size(), std::size_t(1));
        QVERIFY(prompts.Texts().at(0).startsWith("Failed to save the settings to "));
        QVERIFY(prompts.Texts().at(0).contains(QString::fromStdString(store.Path())));
        QCOMPARE(dir.Read("QuillHT.ini"), std::string("[EVENT]\nEnableNotify=N\nLevel=3\n"));
        QCOMPARE(store.Snapshot().EnableNotify, 1);
        QCOMPARE(store.Snapshot().Level, LEVEL_SERIOUS);
    }

    // --- Input IP ---

    void inputIpStartsAt192168AndRefusesBadFields_data() {
        QTest::addColumn<QString>("typed");  // keys typed after the preset, from field 3
        QTest::addColumn<bool>("acceptor");  // what the acceptance rule answers
        QTest::addColumn<QString>("fields"); // fields the rule was asked about ("" : never)
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("closed");
        QTest::newRow("accepted as typed") << "7.9" << true << "192,168,7,9"
                                           << "" << true;
        QTest::newRow("refused by the rule") << "7.9" << false << "192,168,7,9"
                                             << "Invalid IP Address" << false;
        QTest::newRow("field above 255") << "300" << true << ""
                                         << "Please enter an integer between 0 and 255." << false;
    }

    void inputIpStartsAt192168AndRefusesBadFields() {
        QFETCH(QString, typed);
        QFETCH(bool, acceptor);
        QFETCH(QString, fields);
        QFETCH(QString, message);
        QFETCH(bool, closed);
        CScriptedPrompts prompts;
        QString asked;
        CInputIpDlg dlg([&](const int f[4]) {
            asked = QStringLiteral("%1,%2,%3,%4").arg(f[0]).arg(f[1]).arg(f[2]).arg(f[3]);
            return acceptor;
        });
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        CIpAddressEdit* edit = dlg.AddressEdit();
        QCOMPARE(edit->Fields(), (std::array<int, 4>{192, 168, 0, 0}));
        // The caret waits in the third field.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit->Field(2)));
        QTest::keyClick(edit->Field(2), Qt::Key_Backspace);
        QTest::keyClick(edit->Field(2), Qt::Key_Delete);
        TypeIntoFocus(typed);
        dlg.accept();
        QCOMPARE(asked, fields);
        QCOMPARE(prompts.Texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(!dlg.isVisible(), closed);
    }

    // --- the real question box ---

    void questionBoxPreselectsAsAsked_data() {
        QTest::addColumn<bool>("cancelPreselected");
        QTest::addColumn<int>("language");
        QTest::newRow("close: Cancel preselected") << true << 1;
        QTest::newRow("delete: OK preselected") << false << 1;
        QTest::newRow("Chinese buttons") << true << 0;
    }

    void questionBoxPreselectsAsAsked() {
        QFETCH(bool, cancelPreselected);
        QFETCH(int, language);
        CLanguage scope(LanguageFromSetting(language));
        QString title, defaultText, text;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            defaultText = box->defaultButton()->text();
            QTest::keyClick(box, Qt::Key_Return); // Enter presses the preselected button
        });
        const bool ok = Prompt::Confirm(nullptr, UiText(IDS_ARE_YOU_SURE), cancelPreselected);
        const ELanguage lang = LanguageFromSetting(language);
        QCOMPARE(ok, !cancelPreselected);
        QCOMPARE(title, Text(IDS_APP_TITLE, lang));
        QCOMPARE(text, Text(IDS_ARE_YOU_SURE, lang));
        QCOMPARE(defaultText, Text(cancelPreselected ? IDS_BUTTON_CANCEL : IDS_BUTTON_OK, lang));
    }
};

QTEST_MAIN(CDialogsTest)
#include "test_ui_dialogs.moc"
