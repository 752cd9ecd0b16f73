#include "LoginDialog.h"

#include "LoginRules.h"
#include "Pictures.h"
#include "SettingsStore.h"
#include "SmallDialogs.h"
#include "StringIds.h"
#include "UiText.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CEnterPasswordDlg::CEnterPasswordDlg(QWidget* parent)
    : QDialog(parent), m_account(new QLineEdit(this)), m_password(new QLineEdit(this)) {
    setWindowTitle(UiText(IDS_LOGIN_CAPTION));
    setWindowIcon(Pictures::Application());
    m_password->setEchoMode(QLineEdit::Password);
    m_account->setMinimumWidth(200);
    auto* form = new QFormLayout;
    form->addRow(UiText(IDS_LOGIN_ACCOUNT), m_account);
    form->addRow(UiText(IDS_LOGIN_PASSWORD), m_password);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(MakeOkCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionRoom(this);
    m_account->setFocus();
}

std::string CEnterPasswordDlg::Account() const {
    return ToUtf8(m_account->text());
}

std::string CEnterPasswordDlg::Password() const {
    return ToUtf8(m_password->text());
}

LoginAsker DialogLoginAsker(QWidget* parent) {
    return [parent]() -> std::optional<SLoginEntry> {
        CEnterPasswordDlg dlg(parent);
        if (dlg.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return SLoginEntry{dlg.Account(), dlg.Password()};
    };
}

bool RunLogin(CSettingsStore& store, const LoginAsker& ask) {
    CLoginGate gate(store);
    for (;;) {
        const std::optional<SLoginEntry> entry = ask();
        if (!entry) {
            break;
        }
        const ELoginResult result = gate.Attempt(entry->account, entry->password);
        if (result == ELoginResult::Success) {
            return true;
        }
        if (result == ELoginResult::GiveUp) {
            break;
        }
    }
    store.SetSaveOnDestroy(false);
    return false;
}
