#include "Prompt.h"

#include "StringIds.h"
#include "UiText.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
CPromptScript* g_script = nullptr;
} // namespace

void CPromptScript::Install(CPromptScript* script) {
    g_script = script;
}

CPromptScript* CPromptScript::Installed() {
    return g_script;
}

namespace Prompt {

void Tell(QWidget* parent, const QString& text) {
    if (g_script != nullptr) {
        g_script->shown.push_back({text, false, false});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, UiText(IDS_APP_TITLE), text, QMessageBox::NoButton,
                    parent);
    QPushButton* ok = box.addButton(UiText(IDS_BUTTON_OK), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

void Tell(QWidget* parent, int textId) {
    Tell(parent, UiText(textId));
}

bool Confirm(QWidget* parent, const QString& text, bool cancelPreselected) {
    if (g_script != nullptr) {
        g_script->shown.push_back({text, true, cancelPreselected});
        if (g_script->answers.empty()) {
            return false;
        }
        const bool answer = g_script->answers.front();
        g_script->answers.pop_front();
        return answer;
    }
    QMessageBox box(QMessageBox::Question, UiText(IDS_APP_TITLE), text, QMessageBox::NoButton,
                    parent);
    QPushButton* ok = box.addButton(UiText(IDS_BUTTON_OK), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(UiText(IDS_BUTTON_CANCEL), QMessageBox::RejectRole);
    box.setDefaultButton(cancelPreselected ? cancel : ok);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == ok;
}

} // namespace Prompt
