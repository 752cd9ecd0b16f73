// The window's parsers and field checks: numbers and text lengths of the settings pages, the
// hosts database and nmblookup's answers for "Find computer", and fixed controller fields.
#include "FieldCheck.h"
#include "FindComputer.h"
#include "UiTestSupport.h"
#include "UiText.h"

#include <QTest>

using namespace uitest;

Q_DECLARE_METATYPE(std::vector<std::string>)

class CFieldsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { CStringTable::SetLanguage(ELanguage::English); }

    void parseIntTakesOnlyWholeNumbersInRange_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("lo");
        QTest::addColumn<qint64>("hi");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("message");
        const QString range = "Please enter an integer between 1 and 120.";
        QTest::newRow("inside") << "5" << 1LL << 120LL << true << 5LL << "";
        QTest::newRow("lower edge") << "1" << 1LL << 120LL << true << 1LL << "";
        QTest::newRow("upper edge") << "120" << 1LL << 120LL << true << 120LL << "";
        QTest::newRow("blanks around") << " 7 " << 1LL << 120LL << true << 7LL << "";
        QTest::newRow("below") << "0" << 1LL << 120LL << false << 0LL << range;
        QTest::newRow("above") << "121" << 1LL << 120LL << false << 0LL << range;
        QTest::newRow("negative") << "-3" << 1LL << 120LL << false << 0LL << range;
        QTest::newRow("overflowing")
            << "123456789012345678901234" << 1LL << 120LL << false << 0LL << range;
        QTest::newRow("empty") << "" << 1LL << 120LL << false << 0LL << "Please enter a number.";
        QTest::newRow("trailing letters")
            << "12s" << 1LL << 120LL << false << 0LL << "Please enter a number.";
        QTest::newRow("sign alone")
            << "-" << 1LL << 120LL << false << 0LL << "Please enter a number.";
        QTest::newRow("zero allowed") << "0" << 0LL << 10LL << true << 0LL << "";
        QTest::newRow("port range") << "65536" << 1LL << 65535LL << false << 0LL
                                    << "Please enter an integer between 1 and 65535.";
    }

    void parseIntTakesOnlyWholeNumbersInRange() {
        QFETCH(QString, text);
        QFETCH(qint64, lo);
        QFETCH(qint64, hi);
        QFETCH(bool, taken);
        QFETCH(qint64, value);
        QFETCH(QString, message);
        QString said;
        const std::optional<std::int64_t> v = FieldCheck::ParseInt(text, SIntRange{lo, hi}, &said);
        QCOMPARE(v.has_value(), taken);
        if (taken) {
            QCOMPARE(static_cast<qint64>(*v), value);
        }
        QCOMPARE(said, message);
    }

    void fitsCountsBytesAsStored_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("room");
        QTest::addColumn<bool>("fits");
        QTest::newRow("ascii at the limit") << QString(31, 'a') << 31 << true;
        QTest::newRow("ascii one over") << QString(32, 'a') << 31 << false;
        // Ten Chinese characters are thirty bytes in the file.
        QTest::newRow("wide characters fit")
            << QString::fromUtf8("磁碟陣列子系統監控公") << 30 << true;
        QTest::newRow("wide characters over")
            << QString::fromUtf8("磁碟陣列子系統監控公") << 29 << false;
    }

    void fitsCountsBytesAsStored() {
        QFETCH(QString, text);
        QFETCH(int, room);
        QFETCH(bool, fits);
        QString said;
        QCOMPARE(FieldCheck::Fits(text, static_cast<std::size_t>(room), &said), fits);
        QCOMPARE(said.isEmpty(), fits);
        if (!fits) {
            QCOMPARE(said, QStringLiteral("Please enter no more than %1 characters.").arg(room));
        }
    }

    void hostsFileNames_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::vector<std::string>>("names");
        QTest::newRow("names and aliases in order")
            << "127.0.0.1\tlocalhost\n10.1.2.3 nas1 nas1.lab   backup # spare\n"
            << std::vector<std::string>{"localhost", "nas1", "nas1.lab", "backup"};
        QTest::newRow("comments, blank lines, lone addresses, CR LF")
            << "# comment only\r\n\r\n10.0.0.9\r\n10.0.0.8 ws8\r\n   # indented\r\n"
            << std::vector<std::string>{"ws8"};
        QTest::newRow("each name once") << "10.0.0.1 a b\n10.0.0.2 b c\n::1 a\n"
                                        << std::vector<std::string>{"a", "b", "c"};
        QTest::newRow("no newline at the end")
            << "10.0.0.1 last" << std::vector<std::string>{"last"};
        QTest::newRow("words that are no host names") << "10.0.0.1 good bad/name we;ird ok-2\n"
                                                      << std::vector<std::string>{"good", "ok-2"};
        QTest::newRow("empty") << "" << std::vector<std::string>{};
    }

    void hostsFileNames() {
        QFETCH(QString, file);
        QFETCH(std::vector<std::string>, names);
        const std::string text = file.toStdString();
        QCOMPARE(ParseHostsFile(text), names);
    }

    void netbiosStatusNames_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::vector<std::string>>("names");
        const QString two = "querying * on 10.9.0.255\n"
                            "10.9.0.5 *<00>\n"
                            "10.9.0.6 *<00>\n"
                            "Looking up status of 10.9.0.5\n"
                            "\tSTORE5          <00> -         B <ACTIVE> \n"
                            "\tSTORE5          <03> -         B <ACTIVE> \n"
                            "\tSTORE5          <20> -         B <ACTIVE> \n"
                            "\tWORKGROUP       <00> - <GROUP> B <ACTIVE> \n"
                            "\tWORKGROUP       <1e> - <GROUP> B <ACTIVE> \n"
                            "\n\tMAC Address = 00-00-00-00-00-00\n\n"
                            "Looking up status of 10.9.0.6\n"
                            "\tOPS DESK        <00> -         M <ACTIVE> \n";
        QTest::newRow("two hosts, groups left out")
            << two << std::vector<std::string>{"STORE5", "OPS DESK"};
        QTest::newRow("nobody answered")
            << "querying * on 10.9.0.255\nname_query failed to find name *\n"
            << std::vector<std::string>{};
        QTest::newRow("cut off in the middle")
            << "Looking up status of 10.9.0.5\n\tHALF            <0" << std::vector<std::string>{};
        QTest::newRow("not indented is no status line")
            << "STORE5          <00> -         B <ACTIVE>\n"
            << std::vector<std::string>{};
        QTest::newRow("name longer than NetBIOS allows")
            << "\tABCDEFGHIJKLMNOPQ <00> -         B <ACTIVE>\n"
            << std::vector<std::string>{};
    }

    void netbiosStatusNames() {
        QFETCH(QString, output);
        QFETCH(std::vector<std::string>, names);
        const std::string text = output.toStdString();
        QCOMPARE(ParseNetbiosStatus(text), names);
    }

    void fixedControllerFields_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full field, no terminator, cut")
            << QByteArray("SN-0123456789ABC", 16) << 14 << "SN-0123456789A";
        QTest::newRow("zero terminated") << QByteArray("AB\0CDEFG", 8) << 8 << "AB";
        QTest::newRow("blank padded") << QByteArray("M5010   ", 8) << 8 << "M5010   ";
        QTest::newRow("control and high bytes") << QByteArray("A\x01"
                                                              "B\xff"
                                                              "C",
                                                              5)
                                                << 8 << "A?B?C";
    }

    void fixedControllerFields() {
        QFETCH(QByteArray, field);
        QFETCH(int, limit);
        QFETCH(QString, shown);
        QCOMPARE(FixedFieldText(field.constData(), static_cast<std::size_t>(field.size()),
                                static_cast<std::size_t>(limit)),
                 shown);
    }
};

QTEST_MAIN(CFieldsTest)
#include "test_ui_fields.moc"
