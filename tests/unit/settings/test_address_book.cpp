// The two address books: file layout, partial and damaged files, the add rules and saving.

#include "AddressBook.h"
#include "FixedText.h"
#include "SettingsMessages.h"
#include "SettingsTestDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

std::string MailRecordBytes(std::uint32_t enabled, const std::string& name,
                            const std::string& address) {
    std::string r(96, '\0');
    for (int i = 0; i < 4; ++i) {
        r[i] = static_cast<char>(enabled >> (8 * i));
    }
    r.replace(4, name.size(), name);
    r.replace(32, address.size(), address);
    return r;
}

TEST(AddressBook, MailFileOf200BytesLoadsTwoEntries) {
    CTestDir dir;
    const std::string bytes = MailRecordBytes(1, "Ann", "ann@localhost") +
                              MailRecordBytes(0, "Bob", "bob@localhost") + std::string(8, 'z');
    ASSERT_EQ(bytes.size(), 200u);
    dir.Write(kMailBookFile, bytes);
    CMailBook mail;
    CMessageBook message;
    LoadAddressBooks(mail, message, dir.Path());
    const auto entries = mail.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(FixedText::Get(entries[0].Name), "Ann");
    EXPECT_EQ(FixedText::Get(entries[1].Address), "bob@localhost");
    EXPECT_EQ(entries[1].Enabled, 0);
    EXPECT_EQ(message.Count(), 0u);
    EXPECT_FALSE(dir.Exists(kMessageBookFile));

    // The partial record is gone after the next save; the rest is unchanged.
    ASSERT_TRUE(SaveMailBook(mail, dir.Path()));
    EXPECT_EQ(dir.Read(kMailBookFile), bytes.substr(0, 192));
}

TEST(AddressBook, RecordsAreZeroPaddedLittleEndian) {
    CMailBook mail;
    ASSERT_EQ(mail.AddUser(true, "Al", "al@localhost"), 0);
    ASSERT_EQ(mail.AddUser(false, "", "b@localhost"), 0);
    EXPECT_EQ(CMailBook::Encode(mail.Entries()),
              MailRecordBytes(1, "Al", "al@localhost") + MailRecordBytes(0, "", "b@localhost"));

    CMessageBook message;
    ASSERT_EQ(message.AddComputer(true, "HOST1"), 0);
    std::string expected(128, '\0');
    expected[0] = 1;
    expected.replace(4, 5, "HOST1");
    EXPECT_EQ(CMessageBook::Encode(message.Entries()), expected);
}

TEST(AddressBook, DamagedRecordsCannotOverrunTheirFields) {
    // Every byte 0xFF: no terminator anywhere, Enabled is -1.
    const auto mail = CMailBook::Decode(std::string(96 * 2 + 95, '\xff'));
    ASSERT_EQ(mail.size(), 2u);
    EXPECT_EQ(FixedText::Get(mail[0].Name), std::string(27, '\xff'));
    EXPECT_EQ(FixedText::Get(mail[0].Address), std::string(63, '\xff'));
    EXPECT_EQ(mail[0].Enabled, -1);

    const auto msg = CMessageBook::Decode(std::string(128 + 127, 'A'));
    ASSERT_EQ(msg.size(), 1u);
    EXPECT_EQ(FixedText::Get(msg[0].Computer), std::string(123, 'A'));
    EXPECT_EQ(msg[0].Enabled, 0x41414141);

    EXPECT_TRUE(CMailBook::Decode("").empty());
    EXPECT_TRUE(CMessageBook::Decode(std::string(127, '\0')).empty());
}

TEST(AddressBook, OnlyEntriesWithEnabledOneAreNotified) {
    CTestDir dir;
    dir.Write(kMailBookFile, MailRecordBytes(1, "a", "a@x") + MailRecordBytes(0, "b", "b@x") +
                                 MailRecordBytes(7, "c", "c@x") + MailRecordBytes(1, "d", "d@x"));
    CMailBook mail;
    EXPECT_TRUE(mail.Load(dir.File(kMailBookFile)));
    EXPECT_EQ(mail.EnabledAddresses(), (std::vector<std::string>{"a@x", "d@x"}));
    // Loading again into a book that has entries changes nothing.
    EXPECT_FALSE(mail.Load(dir.File(kMailBookFile)));
    EXPECT_EQ(mail.Count(), 4u);
}

struct SAddCase {
    bool enabled;
    std::string name;
    std::string address;
    int expected;
};

TEST(AddressBook, AddUserRules) {
    const std::string long63(63, 'q');
    const SAddCase cases[] = {
        {true, "Ann", "ann@localhost", 0},
        {true, "Other", "ann@localhost", SettingsMsg::kMailAddressExists},
        {true, "Ann", "Ann@localhost", 0}, // letter case makes it a different address
        {true, "Nobody", "", SettingsMsg::kMailAddressBlank},
        {false, "", "anon@localhost", 0}, // an empty name is allowed
        {true, std::string(40, 'n'), long63 + "first", 0},
        {true, "x", long63 + "second", SettingsMsg::kMailAddressExists}, // same once cut
        {true, "x", "\0hidden"s, SettingsMsg::kMailAddressBlank},
    };
    CMailBook mail;
    for (const SAddCase& c : cases) {
        SCOPED_TRACE(c.name + " <" + c.address + ">");
        EXPECT_EQ(mail.AddUser(c.enabled, c.name, c.address), c.expected);
    }
    const auto entries = mail.Entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(FixedText::Get(entries[3].Name), std::string(27, 'n'));
    EXPECT_EQ(FixedText::Get(entries[3].Address), long63);
    EXPECT_EQ(entries[2].Enabled, 0);
    EXPECT_EQ(mail.EnabledAddresses(),
              (std::vector<std::string>{"ann@localhost", "Ann@localhost", long63}));
}

TEST(AddressBook, AddComputerRules) {
    const SAddCase cases[] = {
        {true, "", "HOST1", 0},
        {true, "", "HOST1", SettingsMsg::kComputerNameExists},
        {true, "", "host1", 0},
        {true, "", "", SettingsMsg::kComputerNameBlank},
        {false, "", std::string(200, 'h'), 0},
        {true, "", std::string(123, 'h') + "x", SettingsMsg::kComputerNameExists},
    };
    CMessageBook message;
    for (const SAddCase& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(message.AddComputer(c.enabled, c.address), c.expected);
    }
    EXPECT_EQ(message.Count(), 3u);
    EXPECT_EQ(message.EnabledComputers(), (std::vector<std::string>{"HOST1", "host1"}));
}

TEST(AddressBook, AdditionsStayOnCancelCheckBoxesOnlyOnOk) {
    CTestDir dir;
    CMailBook mail;
    ASSERT_EQ(mail.AddUser(true, "a", "a@x"), 0);
    ASSERT_EQ(mail.AddUser(true, "b", "b@x"), 0);
    ASSERT_TRUE(SaveMailBook(mail, dir.Path()));

    // Dialog opened: one addition, one deletion, then "Cancel" (check boxes not copied).
    ASSERT_EQ(mail.AddUser(true, "c", "c@x"), 0);
    EXPECT_TRUE(mail.Remove(0));
    EXPECT_FALSE(mail.Remove(5));
    ASSERT_TRUE(SaveMailBook(mail, dir.Path()));
    CMailBook reread;
    reread.Load(dir.File(kMailBookFile));
    EXPECT_EQ(reread.EnabledAddresses(), (std::vector<std::string>{"b@x", "c@x"}));

    // Dialog opened again: first box cleared, "Ok".
    mail.ApplyCheckStates({false, true});
    ASSERT_TRUE(SaveMailBook(mail, dir.Path()));
    CMailBook third;
    third.Load(dir.File(kMailBookFile));
    EXPECT_EQ(third.EnabledAddresses(), (std::vector<std::string>{"c@x"}));
    EXPECT_EQ(third.Count(), 2u);
}

TEST(AddressBook, SaveFailuresKeepTheOldFile) {
    CTestDir dir;
    CMessageBook message;
    ASSERT_EQ(message.AddComputer(true, "HOST1"), 0);
    ASSERT_TRUE(SaveMessageBook(message, dir.Path()));
    const std::string before = dir.Read(kMessageBookFile);

    ASSERT_EQ(message.AddComputer(true, "HOST2"), 0);
    message.SetBeforeRenameHook([](const std::string&) { return false; });
    EXPECT_FALSE(SaveMessageBook(message, dir.Path()));
    EXPECT_EQ(dir.Read(kMessageBookFile), before);
    message.SetBeforeRenameHook({});
    EXPECT_TRUE(SaveMessageBook(message, dir.Path()));
    EXPECT_EQ(dir.Read(kMessageBookFile).size(), 256u);

    // A book file that exists but cannot be read is not overwritten by an empty book.
    std::filesystem::create_directory(dir.File("locked"));
    std::filesystem::create_directory(dir.File("locked/Mail.dat"));
    CMailBook mail;
    EXPECT_FALSE(mail.Load(dir.File("locked/Mail.dat")));
    EXPECT_FALSE(SaveMailBook(mail, dir.File("locked")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("locked/Mail.dat")));
    EXPECT_FALSE(SaveMailBook(mail, dir.File("missing/dir")));

    // A write-only book file in a writable directory: it could be replaced, but must not be.
    std::filesystem::create_directory(dir.File("wo"));
    ::chmod(dir.Path().c_str(), 0711);
    ::chmod(dir.File("wo").c_str(), 0777);
    const std::string record(96, 'r');
    CTestDir::WritePath(dir.File("wo/Mail.dat"), record);
    ::chmod(dir.File("wo/Mail.dat").c_str(), 0222);
    const int status = RunUnprivileged([&] {
        CMailBook book;
        if (book.Load(dir.File("wo/Mail.dat"))) {
            return 1;
        }
        book.AddUser(true, "n", "n@x");
        return SaveMailBook(book, dir.File("wo")) ? 2 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir.Read("wo/Mail.dat"), record);
}

} // namespace
