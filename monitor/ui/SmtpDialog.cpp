#include "SmtpDialog.h"

#include "FieldCheck.h"
#include "FixedText.h"
#include "NotifyDialog.h"
#include "SettingsStore.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {
template <std::size_t N> constexpr std::size_t TextRoom(const char (&)[N]) {
    return N - 1;
}

// The port a mail server listens on for each way of protecting the session, where the user has
// not chosen one of their own.
constexpr int kPlainPort = 25;
constexpr int kImplicitTlsPort = 465;
} // namespace

CSmtpSettingDlg::CSmtpSettingDlg(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_server(new QLineEdit(this)),
      m_account(new QLineEdit(this)), m_password(new QLineEdit(this)),
      m_senderName(new QLineEdit(this)), m_senderAddr(new QLineEdit(this)),
      m_auth(new QCheckBox(UiText(IDS_SMTP_NEED_AUTH), this)), m_port(new QLineEdit(this)),
      m_security(new QComboBox(this)), m_caFile(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_SMTP_CAPTION));
    m_password->setEchoMode(QLineEdit::Password);
    m_server->setMinimumWidth(240);

    auto* serverGroup = new QGroupBox(UiText(IDS_SMTP_SERVER_GROUP), this);
    auto* serverForm = new QFormLayout(serverGroup);
    serverForm->addRow(UiText(IDS_SMTP_SERVER), m_server);
    serverForm->addRow(UiText(IDS_SMTP_PORT), m_port);
    serverForm->addRow(UiText(IDS_SMTP_SECURITY), m_security);
    serverForm->addRow(UiText(IDS_SMTP_CA_FILE), m_caFile);
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

    m_port->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), m_port));
    m_port->setText(QString::number(r.Port));
    for (int id : {IDS_SMTP_SECURITY_NONE, IDS_SMTP_SECURITY_STARTTLS,
                   IDS_SMTP_SECURITY_STARTTLS_REQUIRED, IDS_SMTP_SECURITY_TLS}) {
        m_security->addItem(UiText(id));
    }
    // A number the list does not know (a hand-edited file) shows no choice and stays as it is
    // unless the user picks one.
    m_shownSecurity = kSmtpSecurityRange.Contains(r.Security) ? r.Security : -1;
    m_security->setCurrentIndex(m_shownSecurity);
    connect(m_security, &QComboBox::currentIndexChanged, this, [this](int index) {
        FollowSecurity(m_shownSecurity);
        m_shownSecurity = index;
    });
    m_caFile->setText(FromUtf8(r.CAFile));
}

void CSmtpSettingDlg::FollowSecurity(int previous) {
    // Moving to or from TLS from the first byte moves the port along, but only from the other
    // mode's usual port: a port the user chose stays.
    const bool wasTls = previous == SMTP_SECURITY_TLS;
    const bool isTls = m_security->currentIndex() == SMTP_SECURITY_TLS;
    const QString port = m_port->text();
    if (isTls && !wasTls && port == QString::number(kPlainPort)) {
        m_port->setText(QString::number(kImplicitTlsPort));
    } else if (wasTls && !isTls && port == QString::number(kImplicitTlsPort)) {
        m_port->setText(QString::number(kPlainPort));
    }
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
                      FieldCheck::TakeText(this, m_senderAddr, TextRoom(r.SenderAddr)) &&
                      FieldCheck::TakeText(this, m_caFile, kCAFileMaxLength);
    if (!fits) {
        return;
    }
    const std::optional<std::int64_t> port = FieldCheck::TakeInt(this, m_port, kSmtpPortRange);
    if (!port) {
        return;
    }
    const int security = m_security->currentIndex();
    const std::string caFile = ToUtf8(m_caFile->text());
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
        rec.Port = static_cast<std::int32_t>(*port);
        if (security >= 0) {
            rec.Security = security;
        }
        rec.CAFile = caFile;
    });
    m_saved = m_store.Save();
    if (!m_saved) {
        TellSettingsNotSaved(this, m_store);
    }
    QDialog::accept();
}
