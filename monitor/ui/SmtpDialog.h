#pragma once
// "SMTP server setting": the server, its port and how the session is protected, the account
// for authentication, the sender. While "Need Authentication" is cleared the account and
// password are empty and disabled. OK writes the record and saves the settings file at once. A
// text longer than its field or a port out of range is refused, never cut behind the user's
// back.

#include <QDialog>

class CSettingsStore;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CSmtpSettingDlg : public QDialog {
    Q_OBJECT

public:
    CSmtpSettingDlg(CSettingsStore& store, QWidget* parent = nullptr);

    QLineEdit* ServerEdit() const { return m_server; }
    QLineEdit* AccountEdit() const { return m_account; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* SenderNameEdit() const { return m_senderName; }
    QLineEdit* SenderAddrEdit() const { return m_senderAddr; }
    QCheckBox* AuthBox() const { return m_auth; }
    QLineEdit* PortEdit() const { return m_port; }
    QComboBox* SecurityCombo() const { return m_security; }
    QLineEdit* CaFileEdit() const { return m_caFile; }
    bool Saved() const { return m_saved; }

    void accept() override;

private:
    void FollowAuth();
    void FollowSecurity(int previous);

    CSettingsStore& m_store;
    QLineEdit* m_server;
    QLineEdit* m_account;
    QLineEdit* m_password;
    QLineEdit* m_senderName;
    QLineEdit* m_senderAddr;
    QCheckBox* m_auth;
    QLineEdit* m_port;
    QComboBox* m_security;
    QLineEdit* m_caFile;
    int m_shownSecurity = -1;
    bool m_saved = false;
};
