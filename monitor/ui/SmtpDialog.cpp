#include "SmtpDialog.h"

#include "FieldCheck.h"
#include "FixedText.h"
#include "NotifyDialog.h"
#include "SettingsStore.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
template <std::size_t N> constexpr std::size_t TextRoom(const char (&)[N]) {
    return N - 1;
}
} // namespace

CSmtpSettingDlg::CSmtpSettingDlg(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_server(new QLineEdit(this)),
      m_account(new QLineEdit(this)), m_password(new QLineEdit(this)),
      m_senderName(new QLineEdit(this)), m_senderAddr(new QLineEdit(this)),
      m_auth(new QCheckBox(UiText(IDS_SMTP_NEED_AUTH), this)) {
    setWindowTitle(UiText(IDS_SMTP_CAPTION));
    m_password->setEchoMode(QLineEdit::Password);
    m_server->setMinimumWidth(240);

    auto* serverGroup = new QGroupBox(UiText(IDS_SMTP_SERVER_GROUP), this);
    auto* serverForm = new QFormLayout(serverGroup);
    serverForm->addRow(UiText(IDS_SMTP_SERVER), m_server);
    serverForm->addRow(QString(), m_auth);
    serverForm->addRow(UiText(IDS_SMTP_ACCOUNT), m_account);
    serverForm->addRow(UiText(IDS_SMTP_PASSWORD), m_password);

    auto* senderGroup = new QGroupBox(UiText(IDS_SMTP_SENDER_GROUP), this);
    auto* senderForm = new QFormLayout(senderGroup);
    senderForm->addRow(UiText(IDS_SMTP_SENDER_NAME), m_senderName);
    senderForm->addRow(UiText(IDS_SMTP_SENDER_ADDRESS), m_senderAddr);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serverGroup);
    layout->addWidget(senderGroup);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);

    const SettingsRecord r = m_store.Snapshot();
    m_server->setText(FromUtf8(FixedText::Get(r.Server)));
    m_account->setText(FromUtf8(FixedText::Get(r.Account)));
    m_password->setText(FromUtf8(FixedText::Get(r.Password)));
    m_senderName->setText(FromUtf8(FixedText::Get(r.SenderName)));
    m_senderAddr->setText(FromUtf8(FixedText::Get(r.SenderAddr)));
    m_auth->setChecked(r.Auth != 0);
    FollowAuth();
    connect(m_auth, &QCheckBox::clicked, this, &CSmtpSettingDlg::FollowAuth);
}

void CSmtpSettingDlg::FollowAuth() {
    const bool on = m_auth->isChecked();
    if (!on) {
        m_account->clear();
        m_password->clear();
    }
    m_account->setEnabled(on);
    m_password->setEnabled(on);
}

void CSmtpSettingDlg::accept() {
    const SettingsRecord r = m_store.Snapshot();
    const bool fits = FieldCheck::TakeText(this, m_server, TextRoom(r.Server)) &&
                      FieldCheck::TakeText(this, m_account, TextRoom(r.Account)) &&
                      FieldCheck::TakeText(this, m_password, TextRoom(r.Password)) &&
                      FieldCheck::TakeText(this, m_senderName, TextRoom(r.SenderName)) &&
                      FieldCheck::TakeText(this, m_senderAddr, TextRoom(r.SenderAddr));
    if (!fits) {
        return;
    }
    const std::string server = ToUtf8(m_server->text());
    const std::string account = ToUtf8(m_account->text());
    const std::string password = ToUtf8(m_password->text());
    const std::string senderName = ToUtf8(m_senderName->text());
    const std::string senderAddr = ToUtf8(m_senderAddr->text());
    const bool auth = m_auth->isChecked();
    m_store.Update([&](SettingsRecord& rec) {
        FixedText::Set(rec.Server, server);
        FixedText::Set(rec.Account, account);
        FixedText::Set(rec.Password, password);
        FixedText::Set(rec.SenderName, senderName);
        FixedText::Set(rec.SenderAddr, senderAddr);
        rec.Auth = auth ? 1 : 0;
    });
    m_saved = m_store.Save();
    if (!m_saved) {
        TellSettingsNotSaved(this, m_store);
    }
    QDialog::accept();
}
