// Saves replace the file whole or not at all.

#include "AddressBook.h"
#include "AtomicFile.h"
#include "IniFile.h"
#include "SettingsStore.h"
#include "SettingsTestDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

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
    EXPECT_EQ(seenTemp.rfind(path + ".tmp.", 0), 0u) << seenTemp;
    EXPECT_EQ(dir.Read("QuillHT.ini"), "old content\n");
    EXPECT_EQ(CTestDir::ReadPath(seenTemp), "new content\n"); // complete, just not in place

    // The next save removes the leftover and goes through; a file that only looks like a
    // temporary one stays.
    ::chmod(seenTemp.c_str(), 0400);
    dir.Write("QuillHT.ini.tmp.saved", "mine\n");
    EXPECT_TRUE(WriteFileAtomically(path, "newer\n"));
    EXPECT_EQ(dir.Read("QuillHT.ini"), "newer\n");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"QuillHT.ini", "QuillHT.ini.tmp.saved"}));
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
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"QuillHT.ini"});
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

// Two savers of one file (two instances of the program, or the window and its exit) must each
// install their own content: a save that reports success never renames the other's file.
TEST(AtomicFile, ConcurrentSavesEachInstallTheirOwnContent) {
    CTestDir dir;
    const std::string path = dir.File("QuillHT.ini");
    dir.Write("QuillHT.ini", "old\n");

    std::promise<void> secondWritten, firstRenamed;
    std::shared_future<void> secondWrittenF = secondWritten.get_future().share();
    std::shared_future<void> firstRenamedF = firstRenamed.get_future().share();
    std::string firstTemp, secondTemp, afterFirst;
    bool firstOk = false;

    std::thread first([&] {
        firstOk = WriteFileAtomically(path, "first\n", [&](const std::string& temp) {
            firstTemp = temp;
            // Holds its rename until the second saver has written its own temporary file.
            return secondWrittenF.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        });
        firstRenamed.set_value();
    });
    const bool secondOk = WriteFileAtomically(path, "second\n", [&](const std::string& temp) {
        secondTemp = temp;
        secondWritten.set_value();
        if (firstRenamedF.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            return false;
        }
        afterFirst = dir.Read("QuillHT.ini");
        return true;
    });
    first.join();

    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
    EXPECT_EQ(afterFirst, "first\n");
    EXPECT_EQ(dir.Read("QuillHT.ini"), "second\n");
    EXPECT_NE(firstTemp, secondTemp);
    // Both temporary files lived beside the file, and neither is left behind.
    for (const std::string& temp : {firstTemp, secondTemp}) {
        EXPECT_EQ(std::filesystem::path(temp).parent_path(), std::filesystem::path(dir.Path()));
        EXPECT_FALSE(std::filesystem::exists(temp)) << temp;
    }
}

// Only regular files are settings files or address books. Anything else at their path (a FIFO,
// whose blocking open would stop start-up until some writer appears, a socket, a device) is a
// file that cannot be read: the defaults apply and a save never replaces it.
TEST(AtomicFile, OnlyRegularFilesAreReadAndNothingElseIsReplaced) {
    struct SKind {
        const char* what;
        std::function<bool(const std::string& path)> make;
    };
    int socketFd = -1;
    const SKind kinds[] = {
        {"FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0644) == 0; }},
        {"Unix socket",
         [&](const std::string& p) {
             socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             if (p.size() >= sizeof addr.sun_path) {
                 return false;
             }
             std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
             return ::bind(socketFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         }},
        {"link to a character device",
         [](const std::string& p) { return ::symlink("/dev/null", p.c_str()) == 0; }},
        {"directory", [](const std::string& p) { return ::mkdir(p.c_str(), 0755) == 0; }},
    };
    struct SFile {
        const char* name;
        // Loads whatever is at the path, changes something and saves: true when the save
        // reported success. `loadedDefaults` tells whether the load gave the empty state.
        std::function<bool(const std::string& path, bool& loadedDefaults)> loadAndSave;
    };
    const SFile files[] = {
        {"QuillHT.ini",
         [](const std::string& path, bool& loadedDefaults) {
             CSettingsStore store(path);
             store.SetSaveOnDestroy(false);
             const SettingsRecord r = store.Snapshot();
             loadedDefaults = r.Logfilepath == "Log.log" && r.PollInterval == 5;
             store.Update([](SettingsRecord& rec) { rec.PollInterval = 9; });
             return store.Save();
         }},
        {"Mail.dat",
         [](const std::string& path, bool& loadedDefaults) {
             CMailBook book;
             book.Load(path);
             loadedDefaults = book.Count() == 0;
             book.AddUser(true, "n", "n@x");
             return book.Save(path);
         }},
        {"Msg.dat",
         [](const std::string& path, bool& loadedDefaults) {
             CMessageBook book;
             book.Load(path);
             loadedDefaults = book.Count() == 0;
             book.AddComputer(true, "HOST1");
             return book.Save(path);
         }},
    };
    for (const SKind& kind : kinds) {
        for (const SFile& file : files) {
            SCOPED_TRACE(std::string(kind.what) + " as " + file.name);
            CTestDir dir;
            const std::string path = dir.File(file.name);
            ASSERT_TRUE(kind.make(path));
            struct stat before {};
            ASSERT_EQ(::lstat(path.c_str(), &before), 0);

            bool loadedDefaults = false;
            auto done = std::async(std::launch::async,
                                   [&] { return file.loadAndSave(path, loadedDefaults); });
            if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
                ADD_FAILURE() << "loading blocked";
                // Release every open stuck on the FIFO, so the test ends and reports.
                for (int i = 0; i < 100 && done.wait_for(std::chrono::milliseconds(50)) !=
                                               std::future_status::ready;
                     ++i) {
                    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (writer >= 0) {
                        ::close(writer);
                    }
                }
            }
            EXPECT_FALSE(done.get()) << "the save replaced it";
            EXPECT_TRUE(loadedDefaults);
            struct stat after {};
            ASSERT_EQ(::lstat(path.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
            EXPECT_EQ(after.st_ino, before.st_ino);
            if (socketFd >= 0) {
                ::close(socketFd);
                socketFd = -1;
            }
        }
    }
}

} // namespace
