// Saves replace the file whole or not at all.

#include "AtomicFile.h"
#include "IniFile.h"
#include "SettingsTestDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(AtomicFile, InterruptedBetweenWriteAndRenameKeepsTheOldFile) {
    CTestDir dir;
    const std::string path = dir.File("QuillHT.ini");
    dir.Write("QuillHT.ini", "old content\n");

    std::string seenTemp;
    const bool ok = WriteFileAtomically(path, "new content\n", [&](const std::string& temp) {
        seenTemp = temp;
        return false; // the process "dies" here
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(seenTemp, TempPathFor(path));
    EXPECT_EQ(dir.Read("QuillHT.ini"), "old content\n");
    EXPECT_EQ(CTestDir::ReadPath(seenTemp), "new content\n"); // complete, just not in place

    // The next save overwrites the leftover and goes through.
    ::chmod(seenTemp.c_str(), 0400);
    EXPECT_TRUE(WriteFileAtomically(path, "newer\n"));
    EXPECT_EQ(dir.Read("QuillHT.ini"), "newer\n");
    EXPECT_FALSE(std::filesystem::exists(seenTemp));
}

TEST(AtomicFile, ModeAndSymbolicLinkSurviveTheReplacement) {
    CTestDir dir;
    dir.Write("real.ini", "a\n");
    // Wider than the umask allows a new file: the replacement must still get it.
    ::chmod(dir.File("real.ini").c_str(), 0666);
    const mode_t oldMask = ::umask(022);
    std::filesystem::create_symlink(dir.File("real.ini"), dir.File("link.ini"));

    EXPECT_TRUE(WriteFileAtomically(dir.File("link.ini"), "b\n"));
    EXPECT_TRUE(WriteFileAtomically(dir.File("fresh.ini"), "c\n"));
    ::umask(oldMask);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(dir.Read("real.ini"), "b\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    ASSERT_EQ(::stat(dir.File("fresh.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(AtomicFile, WritesThatCannotHappenReportFailure) {
    CTestDir dir;
    std::filesystem::create_directory(dir.File("sub.ini"));
    const struct {
        const char* what;
        std::string path;
    } cases[] = {
        {"empty path", ""},
        {"missing directory", dir.File("no/such/dir/QuillHT.ini")},
        {"the path is a directory", dir.File("sub.ini")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(WriteFileAtomically(c.path, "x\n"));
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub.ini")));
}

TEST(AtomicFile, ReadOnlyDirectoryFailsAndKeepsTheFile) {
    CTestDir dir;
    const std::string path = dir.File("QuillHT.ini");
    dir.Write("QuillHT.ini", "[General]\nLanguage=0\n");
    ::chmod(dir.File("QuillHT.ini").c_str(), 0644);
    ::chmod(dir.Path().c_str(), 0555);

    const int status = RunUnprivileged([&] {
        if (WriteFileAtomically(path, "replaced\n")) {
            return 1;
        }
        CIniFile ini(path);
        if (ini.GetInt("General", "Language", 1) != 0) {
            return 2; // could not even read the old file
        }
        ini.WriteInt("General", "Language", 5);
        return ini.Flush() ? 3 : 0;
    });
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir.Read("QuillHT.ini"), "[General]\nLanguage=0\n");
    EXPECT_FALSE(dir.Exists("QuillHT.ini.tmp"));
}

TEST(AtomicFile, ReadWholeFileTellsMissingFromFailed) {
    CTestDir dir;
    dir.Write("a", "abc");
    std::filesystem::create_directory(dir.File("d"));
    std::string out;
    EXPECT_EQ(ReadWholeFile(dir.File("a"), out, 3), EReadResult::Ok);
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(ReadWholeFile(dir.File("a"), out, 2), EReadResult::Failed);
    EXPECT_EQ(ReadWholeFile(dir.File("missing"), out, 10), EReadResult::Missing);
    EXPECT_EQ(ReadWholeFile(dir.File("d"), out, 10), EReadResult::Failed);
}

} // namespace
