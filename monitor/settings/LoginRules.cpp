#include "LoginRules.h"

#include "Md5.h"
#include "SettingsMessages.h"
#include "SettingsStore.h"

std::string PasswordDigest(std::string_view password) {
    return Md5Hex(password);
}

namespace {

bool IsLoginAccount(std::string_view typed) {
    constexpr std::string_view kAccount = kLoginAccount;
    if (typed.size() != kAccount.size()) {
        return false;
    }
    for (std::size_t i = 0; i < typed.size(); ++i) {
        char c = typed[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kAccount[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

ELoginResult CLoginGate::Attempt(std::string_view account, std::string_view password) {
    if (m_failures >= kLoginAttempts) {
        return ELoginResult::GiveUp;
    }
    const std::string typed = PasswordDigest(password);
    std::string expected;
    m_store.Update([&expected](SettingsRecord& r) {
        if (r.LoginP.empty()) {
            r.LoginP = PasswordDigest(kDefaultPassword);
        }
        expected = r.LoginP;
    });
    if (IsLoginAccount(account) && typed == expected) {
        return ELoginResult::Success;
    }
    ++m_failures;
    return m_failures >= kLoginAttempts ? ELoginResult::GiveUp : ELoginResult::TryAgain;
}

SPasswordChange ChangePassword(CSettingsStore& store, std::string_view oldPassword,
                               std::string_view newPassword, std::string_view confirmPassword) {
    SPasswordChange result;
    if (oldPassword.empty()) {
        return result;
    }
    if (PasswordDigest(oldPassword) != store.Snapshot().LoginP) {
        result.nMessageId = SettingsMsg::kIncorrectPassword;
    } else if (newPassword.empty()) {
        result.nMessageId = SettingsMsg::kPasswordBlank;
    } else if (newPassword != confirmPassword) {
        result.nMessageId = SettingsMsg::kConfirmFailed;
    } else {
        const std::string digest = PasswordDigest(newPassword);
        store.Update([&digest](SettingsRecord& r) { r.LoginP = digest; });
        result.nMessageId = SettingsMsg::kPasswordModified;
        result.bSaveFailed = !store.Save();
    }
    return result;
}
