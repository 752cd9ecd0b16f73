// Monitor threads read the settings and address books while the window changes them: every
// read must be one consistent state, never half of an update.

#include "AddressBook.h"
#include "FixedText.h"
#include "SettingsStore.h"
#include "SettingsTestDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWrites = 2000;
constexpr int kReaders = 3;

TEST(SettingsRace, SnapshotsAreNeverTorn) {
    CTestDir dir;
    CSettingsStore store(dir.File("QuillHT.ini"));
    store.SetSaveOnDestroy(false);
    const auto writeStep = [&store](int i) {
        store.Update([i](SettingsRecord& r) {
            r.PollInterval = i;
            r.Logfilepath = "log" + std::to_string(i);
            FixedText::Set(r.Server, std::to_string(i));
            r.PollRetries = i;
        });
    };
    writeStep(0);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<long> reads{0};

    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; ++t) {
        readers.emplace_back([&] {
            while (!done.load()) {
                const SettingsRecord r = store.Snapshot();
                // The writer keeps these three in step.
                if (r.PollRetries != r.PollInterval ||
                    FixedText::Get(r.Server) != std::to_string(r.PollInterval) ||
                    r.Logfilepath != "log" + std::to_string(r.PollInterval)) {
                    ++torn;
                }
                ++reads;
            }
        });
    }
    for (int i = 1; i < kWrites; ++i) {
        writeStep(i);
        if (i % 500 == 0) {
            EXPECT_TRUE(store.Save());
        }
    }
    done = true;
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(store.Snapshot().PollInterval, kWrites - 1);
}

TEST(SettingsRace, BooksReadWhileTheWindowEditsThem) {
    CMailBook mail;
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};

    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; ++t) {
        readers.emplace_back([&] {
            while (!done.load()) {
                for (const std::string& address : mail.EnabledAddresses()) {
                    if (address.rfind("user", 0) != 0 ||
                        address.find("@localhost") == std::string::npos) {
                        ++bad;
                    }
                }
                const auto entries = mail.Entries();
                for (const CMailReceiver& e : entries) {
                    if (FixedText::Get(e.Name).empty()) {
                        ++bad;
                    }
                }
            }
        });
    }
    for (int i = 0; i < kWrites; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(mail.AddUser(i % 2 == 0, "name" + n, "user" + n + "@localhost"), 0);
        if (mail.Count() > 20) {
            mail.Remove(0);
        }
        mail.ApplyCheckStates(std::vector<bool>(mail.Count(), i % 3 == 0));
    }
    done = true;
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(mail.Count(), 20u);
}

} // namespace
