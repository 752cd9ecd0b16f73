#include "NotifyDialog.h"

#include "Prompt.h"
#include "SettingsStore.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
// The level list shows its texts in this order; Level is the index.
constexpr int kLevelTexts[] = {IDS_LEVEL_URGENT, IDS_LEVEL_SERIOUS, IDS_LEVEL_WARNING,
                               IDS_LEVEL_INFORMATION};
} // namespace

void TellSettingsNotSaved(QWidget* parent, const CSettingsStore& store) {
    Prompt::Tell(parent, FromUtf8(FormatText(IDS_SETTINGS_SAVE_FAILED, store.Path().c_str())));
}

CNotifySettingDlg::CNotifySettingDlg(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_enable(new QCheckBox(UiText(IDS_NOTIFY_ENABLE), this)),
      m_byMail(new QCheckBox(UiText(IDS_NOTIFY_BY_MAIL), this)),
      m_byMessage(new QCheckBox(UiText(IDS_NOTIFY_BY_MESSAGE), this)),
      m_noEthernet(new QCheckBox(UiText(IDS_NOTIFY_MAIL_NO_ETHERNET), this)),
      m_level(new QComboBox(this)),
      m_sysLog(new QCheckBox(UiText(IDS_NOTIFY_ENABLE_SYSLOG), this)) {
    setWindowTitle(UiText(IDS_NOTIFY_CAPTION));
    for (int id : kLevelTexts) {
        m_level->addItem(UiText(id));
    }

    auto* types = new QGroupBox(UiText(IDS_NOTIFY_TYPE), this);
    auto* typesLayout = new QVBoxLayout(types);
    typesLayout->addWidget(m_byMail);
    typesLayout->addWidget(m_byMessage);
    typesLayout->addWidget(m_noEthernet);

    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(new QLabel(UiText(IDS_NOTIFY_LEVEL), this));
    levelRow->addWidget(m_level, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable);
    layout->addWidget(types);
    layout->addLayout(levelRow);
    layout->addWidget(m_sysLog);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);

    const SettingsRecord r = m_store.Snapshot();
    m_enable->setChecked(r.EnableNotify != 0);
    m_byMail->setChecked((r.NotifyType & NOTIFY_BY_MAIL) != 0);
    m_byMessage->setChecked((r.NotifyType & NOTIFY_BY_MESSAGE) != 0);
    m_noEthernet->setChecked((r.NotifyType & NOTIFY_MAIL_ONLY_NO_ETHERNET) != 0);
    // A hand-edited level outside the list shows as the nearest one, so OK stores a level the
    // list knows.
    m_level->setCurrentIndex(std::clamp<int>(r.Level, LEVEL_URGENT, LEVEL_INFORMATION));
    m_sysLog->setChecked(r.EnableSysLog != 0);
    FollowEnable();
    connect(m_enable, &QCheckBox::clicked, this, &CNotifySettingDlg::FollowEnable);
}

void CNotifySettingDlg::FollowEnable() {
    const bool on = m_enable->isChecked();
    for (QCheckBox* box : {m_byMail, m_byMessage, m_noEthernet}) {
        if (!on) {
            box->setChecked(false);
        }
        box->setEnabled(on);
    }
}

void CNotifySettingDlg::accept() {
    const bool on = m_enable->isChecked();
    std::int32_t type = 0;
    if (on) {
        type |= m_byMail->isChecked() ? NOTIFY_BY_MAIL : 0;
        type |= m_byMessage->isChecked() ? NOTIFY_BY_MESSAGE : 0;
        type |= m_noEthernet->isChecked() ? NOTIFY_MAIL_ONLY_NO_ETHERNET : 0;
    }
    const int level = m_level->currentIndex();
    const bool sysLog = m_sysLog->isChecked();
    m_store.Update([&](SettingsRecord& r) {
        r.EnableNotify = on ? 1 : 0;
        r.NotifyType = type;
        r.Level = level;
        r.EnableSysLog = sysLog ? 1 : 0;
    });
    m_saved = m_store.Save();
    if (!m_saved) {
        TellSettingsNotSaved(this, m_store);
    }
    QDialog::accept();
}
