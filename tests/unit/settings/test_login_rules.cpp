// Login attempts and the password change, driven as the dialogs drive them.

#include "LoginRules.h"
#include "SettingsMessages.h"
#include "SettingsStore.h"
#include "SettingsTestDir.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kDigest5172[] = "08fc80de8121419136e443a70489c123";
constexpr char kDigestEmpty[] = "d41d8cd98f00b204e9800998ecf8427e";

TEST(LoginRules, DigestIsLowerCaseHexOfTheBytesAsTyped) {
    EXPECT_EQ(PasswordDigest("5172"), kDigest5172);
    EXPECT_EQ(PasswordDigest(""), kDigestEmpty);
    EXPECT_EQ(PasswordDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

struct SLoginCase {
    const char* what;
    std::string loginP;
    std::vector<std::pair<std::string, std::string>> attempts;
    std::vector<ELoginResult> results;
    std::string loginPAfter;
};

TEST(LoginRules, AttemptsAgainstTheStoredDigest) {
    using R = ELoginResult;
    const SLoginCase cases[] = {
        {"no digest yet: default password, any letter case of the account",
         "",
         {{"wArDn", "5172"}},
         {R::Success},
         kDigest5172},
        {"wrong account, then right",
         "",
         {{"WARDN ", "5172"}, {"WARDN", "5172"}},
         {R::TryAgain, R::Success},
         kDigest5172},
        {"upper-case hex never matches",
         "08FC80DE8121419136E443A70489C123",
         {{"WARDN", "5172"}, {"WARDN", "5172"}, {"WARDN", "5172"}},
         {R::TryAgain, R::TryAgain, R::GiveUp},
         "08FC80DE8121419136E443A70489C123"},
        {"three failures end it, a fourth right one does not help",
         kDigest5172,
         {{"WARDN", "1"}, {"WARDN", "2"}, {"WARDN", "3"}, {"WARDN", "5172"}},
         {R::TryAgain, R::TryAgain, R::GiveUp, R::GiveUp},
         kDigest5172},
        {"third attempt may still succeed",
         kDigest5172,
         {{"admin", "5172"}, {"WARDN", "5171"}, {"wardn", "5172"}},
         {R::TryAgain, R::TryAgain, R::Success},
         kDigest5172},
        {"empty password only against the empty text's digest",
         kDigestEmpty,
         {{"WARDN", ""}},
         {R::Success},
         kDigestEmpty},
        {"empty password against the default", "", {{"WARDN", ""}}, {R::TryAgain}, kDigest5172},
        {"password is case-sensitive",
         PasswordDigest("Secret"),
         {{"WARDN", "secret"}, {"WARDN", "Secret"}},
         {R::TryAgain, R::Success},
         PasswordDigest("Secret")},
    };
    for (const SLoginCase& c : cases) {
        SCOPED_TRACE(c.what);
        CSettingsStore store("");
        store.SetSaveOnDestroy(false);
        store.Update([&](SettingsRecord& r) { r.LoginP = c.loginP; });
        CLoginGate gate(store);
        ASSERT_EQ(c.attempts.size(), c.results.size());
        for (std::size_t i = 0; i < c.attempts.size(); ++i) {
            EXPECT_EQ(gate.Attempt(c.attempts[i].first, c.attempts[i].second), c.results[i])
                << "attempt " << i + 1;
        }
        EXPECT_EQ(store.Snapshot().LoginP, c.loginPAfter);
    }
}

TEST(LoginRules, FirstLoginStoresTheDefaultDigestAtProgramEnd) {
    CTestDir dir;
    dir.Write("QuillHT.ini", "[General]\nLanguage=1\n");
    {
        CSettingsStore store(dir.File("QuillHT.ini"));
        CLoginGate gate(store);
        ASSERT_EQ(gate.Attempt("wardn", "5172"), ELoginResult::Success);
    }
    EXPECT_NE(dir.Read("QuillHT.ini").find("LoginP=" + std::string(kDigest5172) + "\n"),
              std::string::npos);

    // Three failures: the program ends without saving, the file stays as it was.
    const std::string before = dir.Read("QuillHT.ini");
    {
        CSettingsStore store(dir.File("QuillHT.ini"));
        CLoginGate gate(store);
        ELoginResult last = ELoginResult::Success;
        for (int i = 0; i < kLoginAttempts; ++i) {
            last = gate.Attempt("WARDN", "guess");
        }
        EXPECT_EQ(last, ELoginResult::GiveUp);
        EXPECT_EQ(gate.AttemptsLeft(), 0);
        store.Update([](SettingsRecord& r) { r.PollInterval = 77; });
        store.SetSaveOnDestroy(false);
    }
    EXPECT_EQ(dir.Read("QuillHT.ini"), before);
}

struct SChangeCase {
    const char* oldPassword;
    const char* newPassword;
    const char* confirm;
    int message;
    std::string loginPAfter;
};

TEST(LoginRules, PasswordChangeRules) {
    const SChangeCase cases[] = {
        {"", "new", "new", 0, kDigest5172},
        {"wrong", "new", "new", SettingsMsg::kIncorrectPassword, kDigest5172},
        {"5172", "", "", SettingsMsg::kPasswordBlank, kDigest5172},
        {"5172", "", "x", SettingsMsg::kPasswordBlank, kDigest5172},
        {"5172", "new", "New", SettingsMsg::kConfirmFailed, kDigest5172},
        {"wrong", "", "", SettingsMsg::kIncorrectPassword, kDigest5172},
        {"5172", "new", "new", SettingsMsg::kPasswordModified, PasswordDigest("new")},
    };
    for (const SChangeCase& c : cases) {
        SCOPED_TRACE(std::string(c.oldPassword) + "/" + c.newPassword + "/" + c.confirm);
        CTestDir dir;
        CSettingsStore store(dir.File("QuillHT.ini"));
        store.SetSaveOnDestroy(false);
        store.Update([](SettingsRecord& r) { r.LoginP = kDigest5172; });
        const SPasswordChange result =
            ChangePassword(store, c.oldPassword, c.newPassword, c.confirm);
        EXPECT_EQ(result.nMessageId, c.message);
        EXPECT_FALSE(result.bSaveFailed);
        EXPECT_EQ(store.Snapshot().LoginP, c.loginPAfter);
        // Only a successful change writes the file, and it writes it at once.
        const bool saved = c.message == SettingsMsg::kPasswordModified;
        EXPECT_EQ(dir.Exists("QuillHT.ini"), saved);
        if (saved) {
            EXPECT_NE(dir.Read("QuillHT.ini").find("LoginP=" + c.loginPAfter + "\n"),
                      std::string::npos);
        }
    }
}

TEST(LoginRules, PasswordChangeThatCannotBeSavedSaysSo) {
    CTestDir dir;
    std::filesystem::create_directory(dir.File("QuillHT.ini"));
    CSettingsStore store(dir.File("QuillHT.ini"));
    store.SetSaveOnDestroy(false);
    store.Update([](SettingsRecord& r) { r.LoginP = kDigest5172; });
    const SPasswordChange result = ChangePassword(store, "5172", "n3w", "n3w");
    EXPECT_EQ(result.nMessageId, SettingsMsg::kPasswordModified);
    EXPECT_TRUE(result.bSaveFailed);
    EXPECT_EQ(store.Snapshot().LoginP, PasswordDigest("n3w"));
}

} // namespace
