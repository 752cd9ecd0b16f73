#include "SetupSheet.h"

#include "FieldCheck.h"
#include "LoginRules.h"
#include "NotifyDialog.h"
#include "Prompt.h"
#include "SettingsStore.h"
#include "SmallDialogs.h"
#include "SmtpDialog.h"
#include "StringIds.h"
#include "StringTable.h"
#include "UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

void CSetupPage::showEvent(QShowEvent* event) {
    m_opened = true;
    QWidget::showEvent(event);
}

// --- General ---

CGenSetting::CGenSetting(const CSettingsStore& store, QWidget* parent)
    : CSetupPage(parent), m_language(new QComboBox(this)),
      m_logfile(new QCheckBox(UiText(IDS_GENERAL_ENABLE_LOGFILE), this)),
      m_path(new QLineEdit(this)) {
    m_language->addItem(UiText(IDS_GENERAL_CHINESE));
    m_language->addItem(UiText(IDS_GENERAL_ENGLISH));
    m_path->setMinimumWidth(260);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(UiText(IDS_GENERAL_LANGUAGE), this), 0, 0);
    grid->addWidget(m_language, 0, 1);
    grid->addWidget(m_logfile, 1, 0, 1, 2);
    grid->addWidget(new QLabel(UiText(IDS_GENERAL_LOGFILE_PATH), this), 2, 0);
    grid->addWidget(m_path, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);

    const SettingsRecord r = store.Snapshot();
    m_language->setCurrentIndex(r.Language == LANGUAGE_CHINESE ? 0 : 1);
    m_logfile->setChecked(r.Logfile != 0);
    m_path->setText(FromUtf8(r.Logfilepath));
}

bool CGenSetting::Check() {
    return FieldCheck::TakeText(this, m_path, kLogfilepathMaxLength);
}

void CGenSetting::CopyTo(CSettingsStore& store) const {
    const int language = m_language->currentIndex() == 0 ? LANGUAGE_CHINESE : LANGUAGE_ENGLISH;
    const int logfile = m_logfile->isChecked() ? 1 : 0;
    const std::string path = ToUtf8(m_path->text());
    store.Update([&](SettingsRecord& r) {
        r.Language = language;
        r.Logfile = logfile;
        r.Logfilepath = path;
    });
}

// --- Network ---

namespace {
QLineEdit* DigitsEdit(QWidget* parent, int value) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    return edit;
}
} // namespace

CNetSetting::CNetSetting(CSettingsStore& store, QWidget* parent)
    : CSetupPage(parent), m_store(store) {
    const SettingsRecord r = store.Snapshot();
    m_interval = DigitsEdit(this, r.PollInterval);
    m_retries = DigitsEdit(this, r.PollRetries);
    m_timeout = DigitsEdit(this, r.PollTimeout);
    m_port = DigitsEdit(this, r.AgentPort);
    m_smtp = new QPushButton(UiText(IDS_NETWORK_SMTP_SETTINGS), this);

    auto* grid = new QGridLayout(this);
    const struct {
        int label;
        QLineEdit* edit;
        int unit;
    } rows[] = {
        {IDS_NETWORK_POLL_INTERVAL, m_interval, IDS_NETWORK_UNIT_SECONDS},
        {IDS_NETWORK_POLL_RETRIES, m_retries, IDS_NETWORK_UNIT_TIMES},
        {IDS_NETWORK_POLL_TIMEOUT, m_timeout, IDS_NETWORK_UNIT_SECONDS},
        {IDS_NETWORK_AGENT_PORT, m_port, 0},
    };
    int row = 0;
    for (const auto& r2 : rows) {
        grid->addWidget(new QLabel(UiText(r2.label), this), row, 0);
        grid->addWidget(r2.edit, row, 1);
        if (r2.unit != 0) {
            grid->addWidget(new QLabel(UiText(r2.unit), this), row, 2);
        }
        ++row;
    }
    grid->addWidget(m_smtp, row, 0, 1, 1, Qt::AlignLeft);
    grid->setRowStretch(row + 1, 1);
    grid->setColumnStretch(3, 1);

    connect(m_smtp, &QPushButton::clicked, this, [this] {
        CSmtpSettingDlg dlg(m_store, this);
        dlg.exec();
    });
}

bool CNetSetting::Check() {
    return FieldCheck::TakeInt(this, m_interval, kPollIntervalRange) &&
           FieldCheck::TakeInt(this, m_retries, kPollRetriesRange) &&
           FieldCheck::TakeInt(this, m_timeout, kPollTimeoutRange) &&
           FieldCheck::TakeInt(this, m_port, kAgentPortRange);
}

void CNetSetting::CopyTo(CSettingsStore& store) const {
    // Check() has passed: every field holds a number within its range.
    const int interval = m_interval->text().toInt();
    const int retries = m_retries->text().toInt();
    const int timeout = m_timeout->text().toInt();
    const int port = m_port->text().toInt();
    store.Update([&](SettingsRecord& r) {
        r.PollInterval = interval;
        r.PollRetries = retries;
        r.PollTimeout = timeout;
        r.AgentPort = static_cast<std::uint16_t>(port);
    });
}

// --- Security ---

CSecurityDlg::CSecurityDlg(CSettingsStore& store, QWidget* parent)
    : CSetupPage(parent), m_store(store), m_old(new QLineEdit(this)), m_new(new QLineEdit(this)),
      m_confirm(new QLineEdit(this)), m_ok(new QPushButton(UiText(IDS_BUTTON_OK), this)) {
    auto* grid = new QGridLayout(this);
    const struct {
        int label;
        QLineEdit* edit;
    } rows[] = {
        {IDS_SECURITY_OLD_PASSWORD, m_old},
        {IDS_SECURITY_NEW_PASSWORD, m_new},
        {IDS_SECURITY_CONFIRM_PASSWORD, m_confirm},
    };
    int row = 0;
    for (const auto& r : rows) {
        r.edit->setEchoMode(QLineEdit::Password);
        grid->addWidget(new QLabel(UiText(r.label), this), row, 0);
        grid->addWidget(r.edit, row, 1);
        ++row;
    }
    grid->addWidget(m_ok, row, 1, Qt::AlignRight);
    grid->setRowStretch(row + 1, 1);
    grid->setColumnStretch(1, 1);
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &CSecurityDlg::OnOK);
}

void CSecurityDlg::OnOK() {
    const SPasswordChange change = ChangePassword(m_store, ToUtf8(m_old->text()),
                                                  ToUtf8(m_new->text()), ToUtf8(m_confirm->text()));
    if (change.nMessageId != 0) {
        Prompt::Tell(this, change.nMessageId);
    }
    if (change.bSaveFailed) {
        TellSettingsNotSaved(this, m_store);
    }
}

// --- the sheet ---

CSetupSheet::CSetupSheet(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store), m_tabs(new QTabWidget(this)),
      m_general(new CGenSetting(store, m_tabs)), m_network(new CNetSetting(store, m_tabs)),
      m_security(new CSecurityDlg(store, m_tabs)) {
    setWindowTitle(UiText(IDS_SETUP_CAPTION));
    // Every page title shows whole: the sheet grows to its tabs rather than scrolling them.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    m_tabs->addTab(m_general, UiText(IDS_GENERAL_PAGE_TITLE));
    m_tabs->addTab(m_network, UiText(IDS_NETWORK_PAGE_TITLE));
    m_tabs->addTab(m_security, UiText(IDS_SECURITY_PAGE_TITLE));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(MakeOkCancel(this));
}

void CSetupSheet::accept() {
    // Every opened page must be acceptable before any of them is taken.
    if (m_general->Opened() && !m_general->Check()) {
        m_tabs->setCurrentWidget(m_general);
        return;
    }
    if (m_network->Opened() && !m_network->Check()) {
        m_tabs->setCurrentWidget(m_network);
        return;
    }
    if (m_general->Opened()) {
        m_general->CopyTo(m_store);
        CStringTable::SetLanguage(m_store.Snapshot().Language);
        m_generalTaken = true;
    }
    if (m_network->Opened()) {
        m_network->CopyTo(m_store);
        m_networkTaken = true;
    }
    QDialog::accept();
}
