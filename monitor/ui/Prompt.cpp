#include "Prompt.h"

#include "StringIds.h"
#include "UiText.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include <memory>

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

QMessageBox* MakeBox(QWidget* parent, const QString& text, bool question, bool cancelPreselected) {
    auto* box = new QMessageBox(question ? QMessageBox::Question : QMessageBox::NoIcon,
                                UiText(IDS_APP_TITLE), text, QMessageBox::NoButton, parent);
    QPushButton* ok = box->addButton(UiText(IDS_BUTTON_OK), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (question) {
        cancel = box->addButton(UiText(IDS_BUTTON_CANCEL), QMessageBox::RejectRole);
    }
    box->setDefaultButton(cancelPreselected && cancel != nullptr ? cancel : ok);
    box->setEscapeButton(cancel != nullptr ? cancel : ok);
    // A short text would make the box narrower than its caption, which the title bar then
    // cuts: keep room for the caption and the title bar's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        QFont bold = box->font();
        bold.setBold(true);
        const int room = QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 110;
        grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

void Tell(QWidget* parent, const QString& text) {
    if (g_script != nullptr) {
        g_script->shown.push_back({text, false, false});
        return;
    }
    std::unique_ptr<QMessageBox> box(MakeBox(parent, text, false, false));
    box->exec();
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
    std::unique_ptr<QMessageBox> box(MakeBox(parent, text, true, cancelPreselected));
    box->exec();
    return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
}

} // namespace Prompt
