// The settings record against its file: defaults, value forms, the saved layout, what a save
// keeps and drops, and what happens when the file cannot be written.

#include "FixedText.h"
#include "IniFile.h"
#include "SettingsRecordText.h"
#include "SettingsStore.h"
#include "SettingsTestDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unistd.h>

namespace {

using namespace std::string_literals;

TEST(SettingsStore, MissingFileGivesTheDefaultsAndCreatesNothing) {
    CTestDir dir;
    CSettingsStore store(dir.File("QuillHT.ini"));
    store.SetSaveOnDestroy(false);
    EXPECT_FALSE(dir.Exists("QuillHT.ini"));
    const SettingsRecord r = store.Snapshot();
    EXPECT_EQ(DescribeRecord(r), DescribeRecord(SettingsRecord{}));
    // The values the program starts with when it has no file.
    EXPECT_NE(r.Language, LANGUAGE_CHINESE);
    EXPECT_EQ(r.PollInterval, 5);
    EXPECT_EQ(r.PollRetries, 1);
    EXPECT_EQ(r.PollTimeout, 5);
    EXPECT_EQ(r.Logfilepath, "Log.log");
    EXPECT_EQ(r.Logfile, 1);
    EXPECT_EQ(r.EnableNotify, 0);
    EXPECT_EQ(r.Level, 3);
    EXPECT_EQ(r.AgentPort, 7890);
    // Mail goes out as it always did: plain SMTP on port 25, only the system's CAs trusted.
    EXPECT_EQ(r.Port, 25);
    EXPECT_EQ(r.Security, SMTP_SECURITY_NONE);
    EXPECT_EQ(r.CAFile, "");
}

struct SLoadCase {
    const char* what;
    std::string file;
    std::function<void(const SettingsRecord&)> check;
};

TEST(SettingsStore, LoadReadsEachValueForm) {
    const SLoadCase cases[] = {
        {"empty file", "",
         [](const SettingsRecord& r) {
             EXPECT_EQ(DescribeRecord(r), DescribeRecord(SettingsRecord{}));
         }},
        {"binary garbage",
         "\x7f"
         "ELF\x02\x01\x01\0\0\0\xff\xfe\n\x00\x00=\x01\n[\n"s,
         [](const SettingsRecord& r) {
             EXPECT_EQ(DescribeRecord(r), DescribeRecord(SettingsRecord{}));
         }},
        {"negative port form", "[Network]\nAgentPort=-25535\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.AgentPort, 40001); }},
        {"positive port form", "[Network]\nAgentPort=40001\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.AgentPort, 40001); }},
        {"port kept modulo 65536", "[Network]\nAgentPort=70000\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.AgentPort, 4464); }},
        {"interval abc", "[Network]\nPollInterval=abc\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.PollInterval, 0); }},
        {"interval empty", "[Network]\nPollInterval=\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.PollInterval, 5); }},
        {"interval 12s", "[network]\r\npollinterval=12s\r\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.PollInterval, 12); }},
        {"flags yes and On", "[EVENT]\nEnableNotify=yes\nEnableSysLog=On\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.EnableNotify, 1);
             EXPECT_EQ(r.EnableSysLog, 1);
         }},
        {"flags true and N", "[EVENT]\nEnableNotify=true\nEnableSysLog=N\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.EnableNotify, 0);
             EXPECT_EQ(r.EnableSysLog, 0);
         }},
        {"language is a key of General, not a section", "[Language]\nLanguage=0\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.Language, 1); }},
        {"password with its zero byte", "[SMTP]\nPassword=YWJjAA==\n",
         [](const SettingsRecord& r) { EXPECT_EQ(FixedText::Get(r.Password), "abc"); }},
        {"password without the zero byte", "[SMTP]\nPassword=YWJj\n",
         [](const SettingsRecord& r) { EXPECT_EQ(FixedText::Get(r.Password), "abc"); }},
        {"password with stray characters", "[SMTP]\nPassword= Y*W!J.j-A A==\n",
         [](const SettingsRecord& r) { EXPECT_EQ(FixedText::Get(r.Password), "abc"); }},
        {"password ends at its first zero byte", "[SMTP]\nPassword=YWJjAGRlZg==\n",
         [](const SettingsRecord& r) { EXPECT_EQ(FixedText::Get(r.Password), "abc"); }},
        {"texts cut to their arrays",
         "[SMTP]\nServer=" + std::string(100, 's') + "\nAccount=" + std::string(40, 'a') +
             "\nSenderName=" + std::string(29, 'n') + "\xe4\xb8\xad\xe6\x96\x87" +
             "\nSenderAddr=" + std::string(64, 'm') +
             "\nPassword=" + CSettingsStore::EncodePassword(std::string(80, 'p')) + "\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(FixedText::Get(r.Server), std::string(63, 's'));
             EXPECT_EQ(FixedText::Get(r.Account), std::string(31, 'a'));
             // 29 + 3 bytes would split the second character: cut before it.
             EXPECT_EQ(FixedText::Get(r.SenderName), std::string(29, 'n'));
             EXPECT_EQ(FixedText::Get(r.SenderAddr), std::string(63, 'm'));
             EXPECT_EQ(FixedText::Get(r.Password), std::string(63, 'p'));
             EXPECT_EQ(r.SenderName[31], '\0');
         }},
        {"mail security keys, names in any letter case",
         "[smtp]\nport=465\nSECURITY=3\nCaFile=/etc/ssl/extra.pem\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.Port, 465);
             EXPECT_EQ(r.Security, SMTP_SECURITY_TLS);
             EXPECT_EQ(r.CAFile, "/etc/ssl/extra.pem");
         }},
        // Out-of-range values stay as written: the mailer refuses them rather than falling
        // back to a plain session or another port behind the user's back.
        {"mail security values out of range are kept", "[SMTP]\nPort=70000\nSecurity=7\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.Port, 70000);
             EXPECT_EQ(r.Security, 7);
         }},
        {"empty mail security values read as the defaults", "[SMTP]\nPort=\nSecurity=\n",
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.Port, 25);
             EXPECT_EQ(r.Security, SMTP_SECURITY_NONE);
         }},
        {"long log path comes through the 300-character buffer",
         "[General]\nLogfilepath=" + std::string(400, 'l') + "\n",
         [](const SettingsRecord& r) { EXPECT_EQ(r.Logfilepath, std::string(299, 'l')); }},
    };
    CTestDir dir;
    for (const SLoadCase& c : cases) {
        SCOPED_TRACE(c.what);
        dir.Write("QuillHT.ini", c.file);
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.SetSaveOnDestroy(false);
        c.check(store.Snapshot());
    }
}

TEST(SettingsStore, SavedFileHasExactlyTheFiveSectionsInOrder) {
    CTestDir dir;
    CSettingsStore store(dir.File("QuillHT.ini"));
    store.SetSaveOnDestroy(false);
    store.Update([](SettingsRecord& r) { r = SampleRecord(); });
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(dir.Read("QuillHT.ini"), "[General]\n"
                                       "Language=0\n"
                                       "Logfile=0\n"
                                       "Logfilepath=/var/log/quill monitor.log\n"
                                       "\n[Network]\n"
                                       "AgentPort=-25535\n"
                                       "PollInterval=10\n"
                                       "PollRetries=2\n"
                                       "PollTimeout=7\n"
                                       "\n[Security]\n"
                                       "LoginP=0123456789abcdef0123456789abcdef\n"
                                       "\n[EVENT]\n"
                                       "EnableNotify=Y\n"
                                       "NotifyType=268435459\n"
                                       "Level=2\n"
                                       "EnableSysLog=Y\n"
                                       "\n[SMTP]\n"
                                       "Server=127.0.0.1\n"
                                       "Auth=1\n"
                                       "Account=alarm\n"
                                       "Password=cEBzczt3PXJkICMxAA==\n"
                                       "SenderName=Quill Monitor\n"
                                       "SenderAddr=quill@localhost\n"
                                       "Port=587\n"
                                       "Security=2\n"
                                       "CAFile=/etc/quill/site ca.pem\n");
    // The same store saving again writes the same bytes.
    const std::string first = dir.Read("QuillHT.ini");
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(dir.Read("QuillHT.ini"), first);
}

TEST(SettingsStore, EmptyPasswordAndDefaultsAreWrittenPlainly) {
    CTestDir dir;
    {
        CSettingsStore store(dir.File("QuillHT.ini")); // destruction saves
    }
    CIniFile ini(dir.File("QuillHT.ini"));
    EXPECT_TRUE(ini.FileRead());
    EXPECT_EQ(ini.GetString("SMTP", "Password", "<missing>"), "<missing>"); // empty value
    EXPECT_EQ(dir.Read("QuillHT.ini").find("Password=\n") != std::string::npos, true);
    EXPECT_EQ(ini.GetString("EVENT", "EnableNotify", ""), "N");
    EXPECT_EQ(ini.GetString("Network", "AgentPort", ""), "7890");
    EXPECT_EQ(ini.GetString("General", "Logfilepath", ""), "Log.log");
}

TEST(SettingsStore, ThreeCharacterPasswordEncodesWithItsZeroByte) {
    const std::string text = CSettingsStore::EncodePassword("abc");
    EXPECT_EQ(text, "YWJjAA==");
    EXPECT_EQ(CSettingsStore::DecodePassword(text), "abc");
    EXPECT_EQ(CSettingsStore::DecodePassword("YWJj"), "abc");
    EXPECT_EQ(CSettingsStore::EncodePassword(""), "");
}

TEST(SettingsStore, SaveKeepsForeignSectionsAndDropsUnknownKeysOfItsOwn) {
    CTestDir dir;
    dir.Write("QuillHT.ini", "; written by hand\r\n"
                             "[General]\r\nLanguage=0\r\nExtra=1\r\n\r\n"
                             "[Window]\r\nx=10\r\nno equals sign here\r\n\r\n"
                             "[smtp]\r\nServer=a\r\n"
                             "[SMTP]\r\nServer=b\r\nLegacy=yes\r\n");
    CSettingsStore store(dir.File("QuillHT.ini"));
    store.SetSaveOnDestroy(false);
    EXPECT_EQ(FixedText::Get(store.Snapshot().Server), "a");
    ASSERT_TRUE(store.Save());

    const std::string saved = dir.Read("QuillHT.ini");
    CIniDocument doc;
    doc.Parse(saved);
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Window", "General", "Network",
                                                            "Security", "EVENT", "SMTP"}));
    EXPECT_EQ(saved.rfind("; written by hand\n[Window]\nx=10\nno equals sign here\n\n", 0), 0u);
    EXPECT_EQ(doc.Find("General", "Extra"), nullptr);
    EXPECT_EQ(doc.Find("SMTP", "Legacy"), nullptr);
    EXPECT_EQ(*doc.Find("General", "Language"), "0");
    EXPECT_EQ(*doc.Find("SMTP", "Server"), "a");
    EXPECT_EQ(saved.find('\r'), std::string::npos);
}

TEST(SettingsStore, SavedRecordReadsBackIdentically) {
    CTestDir dir;
    {
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Update([](SettingsRecord& r) { r = SampleRecord(); });
    }
    CSettingsStore again(dir.File("QuillHT.ini"));
    again.SetSaveOnDestroy(false);
    EXPECT_EQ(DescribeRecord(again.Snapshot()), DescribeRecord(SampleRecord()));
}

TEST(SettingsStore, FailedSaveKeepsFileAndRecord) {
    CTestDir dir;
    const std::string path = dir.File("QuillHT.ini");
    dir.Write("QuillHT.ini", "[General]\nLanguage=0\n");

    // Interrupted between writing and renaming.
    {
        CSettingsStore store(path);
        store.SetSaveOnDestroy(false);
        store.Update([](SettingsRecord& r) { r.PollInterval = 99; });
        store.SetBeforeRenameHook([](const std::string&) { return false; });
        EXPECT_FALSE(store.Save());
        EXPECT_EQ(dir.Read("QuillHT.ini"), "[General]\nLanguage=0\n");
        EXPECT_EQ(store.Snapshot().PollInterval, 99);
        store.SetBeforeRenameHook({});
        EXPECT_TRUE(store.Save());
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"QuillHT.ini"});
    }
    CSettingsStore reread(path);
    reread.SetSaveOnDestroy(false);
    EXPECT_EQ(reread.Snapshot().PollInterval, 99);

    // No path at all, and a directory where the file should be.
    std::filesystem::create_directory(dir.File("dir.ini"));
    for (const std::string& bad : {std::string(), dir.File("dir.ini")}) {
        CSettingsStore store(bad);
        store.SetSaveOnDestroy(false);
        store.Update([](SettingsRecord& r) { r.Level = 0; });
        EXPECT_FALSE(store.Save()) << bad;
        EXPECT_EQ(store.Snapshot().Level, 0);
    }
}

TEST(SettingsStore, ReadOnlyDirectoryReportsFailure) {
    CTestDir dir;
    const std::string path = dir.File("QuillHT.ini");
    dir.Write("QuillHT.ini", "[Network]\nPollInterval=9\n");
    ::chmod(path.c_str(), 0644);
    ::chmod(dir.Path().c_str(), 0555);
    const int status = RunUnprivileged([&] {
        CSettingsStore store(path);
        store.SetSaveOnDestroy(false);
        if (store.Snapshot().PollInterval != 9) {
            return 1;
        }
        store.Update([](SettingsRecord& r) { r.PollInterval = 20; });
        if (store.Save()) {
            return 2;
        }
        return store.Snapshot().PollInterval == 20 ? 0 : 3;
    });
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir.Read("QuillHT.ini"), "[Network]\nPollInterval=9\n");
}

TEST(SettingsStore, NoSaveWhenTheProgramEndsWithoutLogin) {
    CTestDir dir;
    dir.Write("QuillHT.ini", "[Network]\nPollInterval=9\n");
    {
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.Update([](SettingsRecord& r) { r.PollInterval = 20; });
        store.SetSaveOnDestroy(false);
    }
    EXPECT_EQ(dir.Read("QuillHT.ini"), "[Network]\nPollInterval=9\n");
}

TEST(SettingsStore, PathBesideTheProgram) {
    const struct {
        const char* program;
        const char* ini;
    } cases[] = {
        {"/opt/quill/QuillHT.exe", "/opt/quill/QuillHT.ini"},
        {"/usr/local/bin/QuillHT", "/usr/local/bin/QuillHT.ini"},
        {"/opt/a.exe/QuillHT", "/opt/a.exe/QuillHT.ini"},
        {"/opt/QuillHT.exe.old", "/opt/QuillHT.exe.old.ini"},
        {".exe", ".exe.ini"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsPathForProgram(c.program), c.ini) << c.program;
    }
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(DefaultSettingsPath(), std::string(self) + ".ini");
}

} // namespace
