#pragma once
// "LOGIN" before the main window: the account and a masked password, three attempts, no
// message after a wrong one. Cancel, or the third wrong entry, ends the program without its
// settings being saved.

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class CSettingsStore;
class QLineEdit;

class CEnterPasswordDlg : public QDialog {
    Q_OBJECT

public:
    explicit CEnterPasswordDlg(QWidget* parent = nullptr);

    std::string Account() const;
    std::string Password() const;
    QLineEdit* AccountEdit() const { return m_account; }
    QLineEdit* PasswordEdit() const { return m_password; }

private:
    QLineEdit* m_account;
    QLineEdit* m_password;
};

struct SLoginEntry {
    std::string account;
    std::string password;
};
// Shows the dialog once: what was typed, or nothing for Cancel.
using LoginAsker = std::function<std::optional<SLoginEntry>()>;
LoginAsker DialogLoginAsker(QWidget* parent = nullptr);

// The login loop. True: go on with the start-up. False: the program ends; the store will not
// save on its destruction.
bool RunLogin(CSettingsStore& store, const LoginAsker& ask);
