// The address-book dialogs: additions and deletions stay even after Cancel, check boxes only
// after Ok, the file mirrors the book whenever its dialog closes, and a file that cannot be
// written is reported with the book in memory kept.
#include "AddressBook.h"
#include "BookDialogs.h"
#include "FixedText.h"
#include "StringIds.h"
#include "UiTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace uitest;

namespace {

std::vector<std::pair<std::string, int>> MailFile(const std::string& bytes) {
    std::vector<std::pair<std::string, int>> out;
    for (const CMailReceiver& e : CMailBook::Decode(bytes)) {
        out.emplace_back(std::string(FixedText::Get(e.Address)), e.Enabled);
    }
    return out;
}

void Check(QTreeWidget* list, int row, bool on) {
    list->topLevelItem(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

} // namespace

class CBooksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { CStringTable::SetLanguage(ELanguage::English); }

    void mailBookCancelKeepsAdditionsNotChecks_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("left with Cancel") << false;
        QTest::newRow("left with Ok") << true;
    }

    void mailBookCancelKeepsAdditionsNotChecks() {
        QFETCH(bool, ok);
        CScratchDir dir;
        CMailBook book;
        QCOMPARE(book.AddUser(false, "Ann", "ann@example.org"), 0);
        QCOMPARE(book.AddUser(true, "Bob", "bob@example.org"), 0);
        CMailBookDlg dlg(book, dir.Path());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.List()->topLevelItemCount(), 2);
        // The receiver's column takes a third of the list, the address the rest.
        const int third = dlg.List()->viewport()->width() / 3;
        QVERIFY2(std::abs(dlg.List()->columnWidth(0) - third) <= 2,
                 qPrintable(QString::number(dlg.List()->columnWidth(0))));
        QCOMPARE(dlg.List()->topLevelItem(1)->text(0), QStringLiteral("Bob"));
        QCOMPARE(dlg.List()->topLevelItem(1)->text(1), QStringLiteral("bob@example.org"));
        QCOMPARE(dlg.List()->topLevelItem(1)->checkState(0), Qt::Checked);

        Check(dlg.List(), 0, true);
        WhenModal<CAddUserDlg>([](CAddUserDlg* add) {
            QVERIFY(add->EnableBox()->isChecked());
            QTest::keyClicks(add->NameEdit(), "Cy");
            QTest::keyClicks(add->AddressEdit(), "cy@example.org");
            add->accept();
        });
        QTest::mouseClick(dlg.AddButton(), Qt::LeftButton);
        QCOMPARE(dlg.List()->topLevelItemCount(), 3);
        Check(dlg.List(), 0, true); // the rows were filled anew from the book
        Check(dlg.List(), 1, false);
        QTest::mouseClick(ok ? dlg.OkButton() : dlg.CancelButton(), Qt::LeftButton);

        QVERIFY(dlg.Saved());
        const auto expected = ok ? std::vector<std::pair<std::string, int>>{{"ann@example.org", 1},
                                                                            {"bob@example.org", 0},
                                                                            {"cy@example.org", 1}}
                                 : std::vector<std::pair<std::string, int>>{{"ann@example.org", 0},
                                                                            {"bob@example.org", 1},
                                                                            {"cy@example.org", 1}};
        QCOMPARE(MailFile(dir.Read(kMailBookFile)), expected);
        QCOMPARE(book.Count(), std::size_t(3));
    }

    void deleteAsksAndCancelKeepsTheEntry_data() {
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("no row selected") << false << true << 0 << QStringList{"alpha", "beta"};
        QTest::newRow("question cancelled") << true << false << 1 << QStringList{"alpha", "beta"};
        QTest::newRow("question confirmed") << true << true << 1 << QStringList{"beta"};
    }

    void deleteAsksAndCancelKeepsTheEntry() {
        QFETCH(bool, select);
        QFETCH(bool, answer);
        QFETCH(int, asked);
        QFETCH(QStringList, left);
        CScriptedPrompts prompts;
        prompts.answers.push_back(answer);
        CScratchDir dir;
        CMessageBook book;
        book.AddComputer(true, "alpha");
        book.AddComputer(false, "beta");
        {
            CMessageBookDlg dlg(book, dir.Path(), SFindComputerOptions{});
            dlg.show();
            if (select) {
                dlg.List()->setCurrentItem(dlg.List()->topLevelItem(0));
            }
            QTest::mouseClick(dlg.DeleteButton(), Qt::LeftButton);
            QCOMPARE(static_cast<int>(prompts.shown.size()), asked);
            if (asked != 0) {
                QCOMPARE(prompts.shown[0].text, QStringLiteral("Are you sure?"));
            }
            QStringList rows;
            for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i) {
                rows << dlg.List()->topLevelItem(i)->text(0);
            }
            QCOMPARE(rows, left);
            // Closed with Cancel: the deletion stays all the same.
            dlg.reject();
        }
        QStringList saved;
        for (const CMessageReceiver& e : CMessageBook::Decode(dir.Read(kMessageBookFile))) {
            saved << QString::fromUtf8(FixedText::Get(e.Computer).data());
        }
        QCOMPARE(saved, left);
    }

    void addDialogsRefuseWithTheirMessages_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank address") << "Dee"
                                       << ""
                                       << "Mail address can't not be blank";
        QTest::newRow("address already there") << "Dee"
                                               << "ann@example.org"
                                               << "The mail address already exist";
        QTest::newRow("differs in case only: accepted") << "Dee"
                                                        << "ANN@example.org"
                                                        << "";
        QTest::newRow("name longer than its field") << QString(28, 'n') << "dee@example.org"
                                                    << "Please enter no more than 27 characters.";
        QTest::newRow("address longer than its field")
            << "Dee" << QString(64, 'a') << "Please enter no more than 63 characters.";
    }

    void addDialogsRefuseWithTheirMessages() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, message);
        CScriptedPrompts prompts;
        CMailBook book;
        book.AddUser(true, "Ann", "ann@example.org");
        CAddUserDlg dlg(book);
        dlg.show();
        dlg.NameEdit()->setText(name);
        dlg.AddressEdit()->setText(address);
        dlg.accept();
        QCOMPARE(prompts.Texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        QCOMPARE(book.Count(), std::size_t(message.isEmpty() ? 2 : 1));
    }

    void addComputerRefusesBlankAndDuplicate_data() {
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank") << ""
                               << "Computer name can't not be blank";
        QTest::newRow("duplicate") << "ws1"
                                   << "The name of computer already exist";
        QTest::newRow("new") << "ws2"
                             << "";
        QTest::newRow("too long") << QString(124, 'w')
                                  << "Please enter no more than 123 characters.";
    }

    void addComputerRefusesBlankAndDuplicate() {
        QFETCH(QString, computer);
        QFETCH(QString, message);
        CScriptedPrompts prompts;
        CMessageBook book;
        book.AddComputer(true, "ws1");
        CAddComputerDlg dlg(book, SFindComputerOptions{});
        dlg.show();
        dlg.NameEdit()->setText(computer);
        dlg.accept();
        QCOMPARE(prompts.Texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(book.Count(), std::size_t(message.isEmpty() ? 2 : 1));
    }

    void findComputerFillsTheName() {
        CScratchDir dir;
        dir.Write("hosts", "127.0.0.1 localhost\n10.0.0.7 storage7 s7 # rack 2\n");
        SFindComputerOptions find;
        find.hostsFile = dir.File("hosts");
        find.browseNetwork = false; // nothing may be asked of the network here
        CMessageBook book;
        CAddComputerDlg dlg(book, find);
        dlg.show();
        WhenModal<CFindComputerDlg>([](CFindComputerDlg* f) {
            QCOMPARE(f->windowTitle(), QStringLiteral("Find computer"));
            QVERIFY(!f->Browsing());
            QCOMPARE(f->List()->count(), 3);
            f->List()->setCurrentRow(1);
            QCOMPARE(f->NameEdit()->text(), QStringLiteral("storage7"));
            f->accept();
        });
        QTest::mouseClick(dlg.BrowseButton(), Qt::LeftButton);
        QCOMPARE(dlg.NameEdit()->text(), QStringLiteral("storage7"));
    }

    void failedBookSaveIsToldAndTheBookKept() {
        CScriptedPrompts prompts;
        CScratchDir dir;
        CMailBook book;
        book.AddUser(true, "Ann", "ann@example.org");
        QVERIFY(SaveMailBook(book, dir.Path()));
        const std::string before = dir.Read(kMailBookFile);
        book.SetBeforeRenameHook([](const std::string&) { return false; });
        {
            CMailBookDlg dlg(book, dir.Path());
            dlg.show();
            WhenModal<CAddUserDlg>([](CAddUserDlg* add) {
                add->AddressEdit()->setText("bob@example.org");
                add->accept();
            });
            QTest::mouseClick(dlg.AddButton(), Qt::LeftButton);
            dlg.accept();
            QVERIFY(!dlg.Saved());
        }
        QCOMPARE(prompts.shown.size(), std::size_t(1));
        QVERIFY(prompts.Texts().at(0).startsWith("Failed to save the address book "));
        QVERIFY(prompts.Texts().at(0).contains("Mail.dat"));
        QCOMPARE(dir.Read(kMailBookFile), before);
        QCOMPARE(book.Count(), std::size_t(2));
    }

    void chooserOffersBothBooksFirstSelected() {
        CAddressBookSelect chooser;
        QCOMPARE(chooser.List()->count(), 2);
        QCOMPARE(chooser.List()->item(0)->text(), QStringLiteral("Mail Address book"));
        QCOMPARE(chooser.List()->item(1)->text(), QStringLiteral("Windows Message address book"));
        QCOMPARE(chooser.Choice(), 0);
        chooser.show();
        const QPoint second = chooser.List()->visualItemRect(chooser.List()->item(1)).center();
        QTest::mouseClick(chooser.List()->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(chooser.List()->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.Choice(), 1);
    }
};

QTEST_MAIN(CBooksTest)
#include "test_ui_books.moc"
