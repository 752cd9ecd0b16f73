// INI lookup and write rules, and CIniFile's behaviour on files that are missing, odd or
// unreadable.

#include "IniDocument.h"
#include "IniFile.h"
#include "SettingsTestDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct SLookupCase {
    const char* what;
    std::string file;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

TEST(IniDocument, LookupRules) {
    const SLookupCase cases[] = {
        {"names ignore letter case", "[General]\nLanguage=0\n", "general", "LANGUAGE", "0"},
        {"CR LF line ends", "[General]\r\nLanguage=7\r\nLogfile=1\r\n", "General", "Language", "7"},
        {"doubled CR before LF", "\r\r\n[A]\r\r\nk=v\r\r\n", "A", "k", "v"},
        {"first key wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"first section wins", "[A]\nk=1\n[a]\nk=2\nj=3\n", "A", "k", "1"},
        {"keys of a later duplicate section are not seen", "[A]\nk=1\n[a]\nj=3\n", "A", "j",
         std::nullopt},
        {"value runs to the end of the line", "[A]\nk=a=b;c # d\n", "A", "k", "a=b;c # d"},
        {"blanks around key and value", "[A]\n  k \t=   12  \n", "A", "k", "12"},
        {"line without '=' is skipped", "[A]\njunk\nk=v\n", "A", "k", "v"},
        {"line without '=' is no key", "[A]\njunk\nk=v\n", "A", "junk", std::nullopt},
        {"comment lines are no keys", "[A]\n;k=1\n#k=3\nk=2\n", "A", "k", "2"},
        {"blanks inside the brackets", "[ A ]\nk=1\n", "A", "k", "1"},
        {"text after the closing bracket", "[A] old\nk=1\n", "A", "k", "1"},
        {"keys before any section belong to none", "k=1\n[A]\n", "A", "k", std::nullopt},
        {"no line end at the end of the file", "[A]\nk=v", "A", "k", "v"},
        {"empty value is found as empty", "[A]\nk=\n", "A", "k", ""},
        {"missing section", "[A]\nk=1\n", "B", "k", std::nullopt},
        {"key of the next section", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
        {"binary junk around a good section", "\x01\xff[A]\x02\n\xfe\xfd\n[A]\nk=\x01v\0w\n"s, "A",
         "k", "\x01v"},
        {"unclosed bracket is not a section", "[A\nk=1\n", "A", "k", std::nullopt},
    };
    for (const SLookupCase& c : cases) {
        SCOPED_TRACE(c.what);
        CIniDocument doc;
        doc.Parse(c.file);
        const std::string* value = doc.Find(c.section, c.key);
        ASSERT_EQ(value != nullptr, c.expected.has_value());
        if (value != nullptr) {
            EXPECT_EQ(*value, *c.expected);
        }
        // Writing back unchanged and reading again must find the same.
        CIniDocument again;
        again.Parse(doc.Serialize());
        EXPECT_EQ(again.Serialize(), doc.Serialize());
        const std::string* value2 = again.Find(c.section, c.key);
        ASSERT_EQ(value2 != nullptr, c.expected.has_value());
        if (value2 != nullptr) {
            EXPECT_EQ(*value2, *value);
        }
    }
}

struct SEdit {
    enum { Set, Delete } op;
    const char* section;
    std::string key;
    std::string value;
    bool accepted;
};

struct SWriteCase {
    const char* what;
    std::string before;
    std::vector<SEdit> edits;
    std::string after;
};

TEST(IniDocument, WritePlacement) {
    const SWriteCase cases[] = {
        {"new file", "", {{SEdit::Set, "A", "k", "v", true}}, "[A]\nk=v\n"},
        {"replace keeps the file's spelling and place",
         "[A]\nKey=1\n\n[B]\nx=1\n",
         {{SEdit::Set, "a", "KEY", "2", true}},
         "[A]\nKey=2\n\n[B]\nx=1\n"},
        {"new key at the end of its section, before the blank line",
         "[A]\nk=1\n\n[B]\nx=1\n",
         {{SEdit::Set, "A", "new", "3", true}},
         "[A]\nk=1\nnew=3\n\n[B]\nx=1\n"},
        {"new section at the end of the file",
         "[A]\nk=1",
         {{SEdit::Set, "C", "z", "9", true}, {SEdit::Set, "C", "y", "8", true}},
         "[A]\nk=1\n\n[C]\nz=9\ny=8\n"},
        {"delete removes every section of the name",
         "; top\n[A]\nk=1\n[b]\nx=1\n[a]\nj=2\n[C]\ny=3\n",
         {{SEdit::Delete, "A", "", "", true}},
         "; top\n[b]\nx=1\n[C]\ny=3\n"},
        {"CR LF file is written with LF",
         "[A]\r\nk=1\r\n; note\r\n",
         {{SEdit::Set, "A", "k", "2", true}},
         "[A]\nk=2\n; note\n"},
        {"a value cannot start a line of its own",
         "",
         {{SEdit::Set, "A", "k", "v\n[General]\nLanguage=0", true},
          {SEdit::Set, "A", "j", "w\rx", true},
          {SEdit::Set, "A", "n", "a\0b"s, true}},
         "[A]\nk=v\nj=w\nn=a\n"},
        {"names that would not read back are refused",
         "[A]\nk=1\n",
         {{SEdit::Set, "A]", "k", "2", false},
          {SEdit::Set, "", "k", "2", false},
          {SEdit::Set, "A", "k=x", "2", false},
          {SEdit::Set, "A", "[k", "2", false},
          {SEdit::Set, "A", ";k", "2", false},
          {SEdit::Set, "A", " k", "2", false},
          {SEdit::Set, "A", "", "2", false},
          {SEdit::Set, "A", "k\nj", "2", false}},
         "[A]\nk=1\n"},
    };
    for (const SWriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        CIniDocument doc;
        doc.Parse(c.before);
        for (const SEdit& e : c.edits) {
            const bool ok = e.op == SEdit::Set ? doc.Set(e.section, e.key, e.value)
                                               : doc.DeleteSection(e.section);
            EXPECT_EQ(ok, e.accepted) << e.section << "/" << e.key;
        }
        EXPECT_EQ(doc.Serialize(), c.after);
    }
}

struct SIntCase {
    const char* value; // nullptr: key absent
    std::int32_t expected;
};

TEST(IniFile, GetIntDecimalRule) {
    const SIntCase cases[] = {
        {nullptr, 5},
        {"", 5},
        {"abc", 0},
        {"12s", 12},
        {"  -7", -7},
        {"+3", 3},
        {"-", 0},
        {"0x10", 0},
        {"007", 7},
        {"1 2", 1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483648", INT_MAX},
    };
    CTestDir dir;
    for (const SIntCase& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        dir.Write("t.ini", c.value ? "[N]\nPollInterval=" + std::string(c.value) + "\n" : "[N]\n");
        CIniFile ini(dir.File("t.ini"));
        EXPECT_EQ(ini.GetInt("N", "PollInterval", 5), c.expected);
    }
}

struct SBoolCase {
    const char* value;
    bool def;
    bool expected;
};

TEST(IniFile, GetBoolFirstCharacterRule) {
    const SBoolCase cases[] = {
        {"yes", false, true}, {"On", false, true},  {"1", false, true},    {"Y", false, true},
        {"o", false, true},   {"N", true, false},   {"0", true, false},    {"true", true, false},
        {"", false, false},   {"", true, true},     {nullptr, true, true}, {"  yes", false, true},
        {"No", true, false},  {"Off", false, true}, {"2", true, false},
    };
    CTestDir dir;
    for (const SBoolCase& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        dir.Write("t.ini", c.value ? "[EVENT]\nEnableNotify=" + std::string(c.value) + "\n" : "");
        CIniFile ini(dir.File("t.ini"));
        EXPECT_EQ(ini.GetBool("EVENT", "EnableNotify", c.def), c.expected);
    }
}

TEST(IniFile, GetStringBufferAndDefault) {
    CTestDir dir;
    const std::string longValue(500, 'x');
    dir.Write("t.ini",
              "[A]\nlong=" + longValue + "\nempty=\nexact=" + std::string(299, 'y') + "\n");
    CIniFile ini(dir.File("t.ini"));
    EXPECT_EQ(ini.GetString("A", "long", "d"), std::string(299, 'x'));
    EXPECT_EQ(ini.GetString("A", "exact", "d"), std::string(299, 'y'));
    EXPECT_EQ(ini.GetString("A", "empty", "d"), "d");
    EXPECT_EQ(ini.GetString("A", "missing", "d"), "d");
}

TEST(IniFile, EmptyPathReadsNothingAndWritesNothing) {
    CIniFile ini("");
    EXPECT_EQ(ini.GetString("A", "k", "default"), "");
    EXPECT_EQ(ini.GetInt("A", "k", 42), 0);
    EXPECT_TRUE(ini.GetBool("A", "k", true));
    EXPECT_FALSE(ini.GetBool("A", "k", false));
    EXPECT_FALSE(ini.WriteString("A", "k", "v"));
    EXPECT_FALSE(ini.WriteInt("A", "k", 1));
    EXPECT_FALSE(ini.WriteBool("A", "k", true));
    EXPECT_FALSE(ini.DeleteSection("A"));
    EXPECT_EQ(ini.GetString("A", "k", "default"), "");
}

TEST(IniFile, WritesReachTheFileOnceOnFlushOrDestruction) {
    CTestDir dir;
    dir.Write("t.ini", "[Keep]\nx=1\n");
    {
        CIniFile ini(dir.File("t.ini"));
        EXPECT_TRUE(ini.WriteInt("N", "i", -25535));
        EXPECT_TRUE(ini.WriteBool("N", "b", true));
        EXPECT_TRUE(ini.WriteBool("N", "c", false));
        EXPECT_EQ(dir.Read("t.ini"), "[Keep]\nx=1\n"); // nothing before the flush
        EXPECT_EQ(ini.GetInt("N", "i", 0), -25535);    // but reads see the change
    }
    EXPECT_EQ(dir.Read("t.ini"), "[Keep]\nx=1\n\n[N]\ni=-25535\nb=Y\nc=N\n");
    {
        CIniFile ini(dir.File("none.ini"));
        EXPECT_EQ(ini.GetInt("N", "i", 3), 3);
    }
    EXPECT_FALSE(dir.Exists("none.ini")); // reading never creates the file
}

TEST(IniFile, UnreadableFileIsNeverReplaced) {
    CTestDir dir;
    // A directory where the file should be, and a file too large to be settings.
    std::filesystem::create_directory(dir.File("dir.ini"));
    const std::string huge(CIniFile::kMaxFileSize + 1, 'a');
    dir.Write("huge.ini", huge);
    for (const char* name : {"dir.ini", "huge.ini"}) {
        SCOPED_TRACE(name);
        CIniFile ini(dir.File(name));
        EXPECT_TRUE(ini.ReadFailed());
        EXPECT_EQ(ini.GetInt("A", "k", 9), 9);
        EXPECT_TRUE(ini.WriteInt("A", "k", 1));
        EXPECT_FALSE(ini.Flush());
        ini.Discard();
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("dir.ini")));
    EXPECT_EQ(dir.Read("huge.ini").size(), huge.size());
}

} // namespace
