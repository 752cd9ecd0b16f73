#pragma once
// Login and password change as the window's dialogs drive them. The password is kept only as
// its MD5 digest (LoginP, 32 lower-case hex digits); an empty LoginP means no password has been
// set yet, and the first login attempt then puts the default password's digest in its place.

#include <string>
#include <string_view>

class CSettingsStore;

inline constexpr char kLoginAccount[] = "WARDN";
inline constexpr char kDefaultPassword[] = "5172";
inline constexpr int kLoginAttempts = 3;

// MD5 of the bytes as typed (no terminator), as 32 lower-case hex digits.
std::string PasswordDigest(std::string_view password);

enum class ELoginResult {
    Success,  // go on with the start-up
    TryAgain, // show the LOGIN dialog again, no message
    GiveUp,   // the third failure: end the program without saving the settings
};

class CLoginGate {
public:
    explicit CLoginGate(CSettingsStore& store) : m_store(store) {}

    // One OK of the LOGIN dialog. The account is compared after upper-casing, the digest of the
    // password exactly against LoginP. After GiveUp every further attempt gives GiveUp.
    ELoginResult Attempt(std::string_view account, std::string_view password);
    int AttemptsLeft() const { return kLoginAttempts - m_failures; }

private:
    CSettingsStore& m_store;
    int m_failures = 0;
};

struct SPasswordChange {
    int nMessageId = 0;       // 0: nothing to show (old password empty); else the message
    bool bSaveFailed = false; // the new digest is in the record but the file was not written
};

// The Security page's OK: old password empty does nothing; a wrong old password, an empty new
// one or a confirmation that differs gives its message and changes nothing; otherwise LoginP
// becomes the new digest and the settings are saved at once.
SPasswordChange ChangePassword(CSettingsStore& store, std::string_view oldPassword,
                               std::string_view newPassword, std::string_view confirmPassword);
