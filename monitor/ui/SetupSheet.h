#pragma once
// The "Setup" sheet: General, Network and Security pages. The pages start from the record;
// OK copies back only the pages the user opened (a page never looked at cannot have been
// meant to change), switches the language when the General page was opened, and leaves the
// file to the next save. The Security page's own OK changes the password at once.

#include <QDialog>

#include <QWidget>

class CSettingsStore;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

// A page that knows whether it has been shown.
class CSetupPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    bool Opened() const { return m_opened; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_opened = false;
};

class CGenSetting : public CSetupPage {
    Q_OBJECT

public:
    CGenSetting(const CSettingsStore& store, QWidget* parent = nullptr);
    // Checks the fields (a refused one shows its message); true when they may be taken.
    bool Check();
    void CopyTo(CSettingsStore& store) const;

    QComboBox* LanguageCombo() const { return m_language; }
    QCheckBox* LogfileBox() const { return m_logfile; }
    QLineEdit* LogfilePathEdit() const { return m_path; }

private:
    QComboBox* m_language;
    QCheckBox* m_logfile;
    QLineEdit* m_path;
};

class CNetSetting : public CSetupPage {
    Q_OBJECT

public:
    CNetSetting(CSettingsStore& store, QWidget* parent = nullptr);
    bool Check();
    void CopyTo(CSettingsStore& store) const;

    QLineEdit* IntervalEdit() const { return m_interval; }
    QLineEdit* RetriesEdit() const { return m_retries; }
    QLineEdit* TimeoutEdit() const { return m_timeout; }
    QLineEdit* PortEdit() const { return m_port; }
    QPushButton* SmtpButton() const { return m_smtp; }

private:
    CSettingsStore& m_store;
    QLineEdit* m_interval;
    QLineEdit* m_retries;
    QLineEdit* m_timeout;
    QLineEdit* m_port;
    QPushButton* m_smtp;
};

class CSecurityDlg : public CSetupPage {
    Q_OBJECT

public:
    CSecurityDlg(CSettingsStore& store, QWidget* parent = nullptr);

    QLineEdit* OldEdit() const { return m_old; }
    QLineEdit* NewEdit() const { return m_new; }
    QLineEdit* ConfirmEdit() const { return m_confirm; }
    QPushButton* OkButton() const { return m_ok; }
    // The page's OK: the password change and its message.
    void OnOK();

private:
    CSettingsStore& m_store;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_confirm;
    QPushButton* m_ok;
};

class CSetupSheet : public QDialog {
    Q_OBJECT

public:
    CSetupSheet(CSettingsStore& store, QWidget* parent = nullptr);

    CGenSetting* General() const { return m_general; }
    CNetSetting* Network() const { return m_network; }
    CSecurityDlg* Security() const { return m_security; }
    QTabWidget* Tabs() const { return m_tabs; }
    // After OK: which pages were taken into the record.
    bool GeneralTaken() const { return m_generalTaken; }
    bool NetworkTaken() const { return m_networkTaken; }

    void accept() override;

private:
    CSettingsStore& m_store;
    QTabWidget* m_tabs;
    CGenSetting* m_general;
    CNetSetting* m_network;
    CSecurityDlg* m_security;
    bool m_generalTaken = false;
    bool m_networkTaken = false;
};
