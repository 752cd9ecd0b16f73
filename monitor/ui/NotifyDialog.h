#pragma once
// "Notification Settings": the master switch, the three notification types (collected only
// while the switch is on), the notification level and the system log. OK writes the record
// and saves the settings file at once.

#include <QDialog>

class CSettingsStore;
class QCheckBox;
class QComboBox;

class CNotifySettingDlg : public QDialog {
    Q_OBJECT

public:
    CNotifySettingDlg(CSettingsStore& store, QWidget* parent = nullptr);

    QCheckBox* EnableBox() const { return m_enable; }
    QCheckBox* MailBox() const { return m_byMail; }
    QCheckBox* MessageBox() const { return m_byMessage; }
    QCheckBox* NoEthernetBox() const { return m_noEthernet; }
    QComboBox* LevelCombo() const { return m_level; }
    QCheckBox* SysLogBox() const { return m_sysLog; }

    // After OK: whether the settings file could be written (the record holds the values
    // either way).
    bool Saved() const { return m_saved; }

    void accept() override;

private:
    void FollowEnable();

    CSettingsStore& m_store;
    QCheckBox* m_enable;
    QCheckBox* m_byMail;
    QCheckBox* m_byMessage;
    QCheckBox* m_noEthernet;
    QComboBox* m_level;
    QCheckBox* m_sysLog;
    bool m_saved = false;
};

// Tells the user that the settings file could not be written; the values stay in memory and
// the old file stays as it was.
void TellSettingsNotSaved(QWidget* parent, const CSettingsStore& store);
