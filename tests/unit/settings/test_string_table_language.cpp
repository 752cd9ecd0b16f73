// The `Language` setting picks the table for the whole process; monitor threads keep
// formatting alarm texts while the Setup sheet switches it.
#include "StringTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class StringTableLanguage : public ::testing::Test {
protected:
    void TearDown() override { CStringTable::SetLanguage(ELanguage::English); }
};

TEST_F(StringTableLanguage, SettingValueSelectsTheTable) {
    struct SCase {
        int setting;
        ELanguage expected;
        const char* addLabel;
        const char* exitLabel;
    };
    const SCase cases[] = {
        {0, ELanguage::Chinese, "新增", "離開程式"},  {1, ELanguage::English, "Add", "Exit"},
        {7, ELanguage::English, "Add", "Exit"},       {-1, ELanguage::English, "Add", "Exit"},
        {INT_MIN, ELanguage::English, "Add", "Exit"}, {INT_MAX, ELanguage::English, "Add", "Exit"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(LanguageFromSetting(c.setting), c.expected);
        CStringTable::SetLanguage(c.setting);
        EXPECT_EQ(CStringTable::Language(), c.expected);
        EXPECT_STREQ(CStringTable::Text(IDS_TOOLBAR_ADD), c.addLabel);
        EXPECT_STREQ(CStringTable::Text(IDS_TOOLBAR_EXIT), c.exitLabel);
        EXPECT_STREQ(CStringTable::Text(102), "");
    }
}

TEST_F(StringTableLanguage, EnglishUntilTheSettingsSayOtherwise) {
    // A fresh process (this test runs in its own process under ctest) starts in English,
    // the setting's default.
    EXPECT_EQ(CStringTable::Language(), ELanguage::English);
    EXPECT_STREQ(CStringTable::Text(IDS_ARE_YOU_SURE), "Are you sure?");
}

TEST_F(StringTableLanguage, OutOfRangeLanguageValueReadsEnglish) {
    EXPECT_STREQ(LoadText(IDS_TOOLBAR_SETUP, static_cast<ELanguage>(5)), "Setup");
    EXPECT_STREQ(LoadText(IDS_TOOLBAR_SETUP, static_cast<ELanguage>(-3)), "Setup");
}

// Readers must always get one whole text of one of the two languages while the language
// flips under them; the thread sanitizer build runs this too.
TEST_F(StringTableLanguage, SwitchingWhileThreadsReadGivesWholeTexts) {
    const char* en = LoadText(IDS_ALARM_FAN_FAILED, ELanguage::English);
    const char* zh = LoadText(IDS_ALARM_FAN_FAILED, ELanguage::Chinese);
    ASSERT_STRNE(en, zh);

    constexpr int kFlips = 20000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::atomic<bool> stop{false};
    std::atomic<long> bad{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const char* s = CStringTable::Text(IDS_ALARM_FAN_FAILED);
                if (s != en && s != zh) {
                    bad.fetch_add(1);
                }
                reads.fetch_add(1);
            }
        });
    }
    for (int i = 0; i < kFlips && std::chrono::steady_clock::now() < deadline; ++i) {
        CStringTable::SetLanguage(i % 2);
    }
    // Let the readers see at least some texts before they stop.
    while (reads.load() < 1000 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    stop.store(true);
    for (std::thread& r : readers) {
        r.join();
    }
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GE(reads.load(), 1000);
}

} // namespace
