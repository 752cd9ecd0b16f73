#pragma once
// The window's message boxes: caption "Monitoring Utility" in the current language, buttons
// labelled from the string table. A test can take the place of the user: it scripts the
// answers and reads back what was asked, so no box ever waits on a screen nobody looks at.

#include <QString>

#include <deque>
#include <vector>

class QMessageBox;
class QWidget;

struct SPromptRecord {
    QString text;
    bool question = false;          // OK/Cancel rather than OK alone
    bool cancelPreselected = false; // Cancel is the default button
};

class CPromptScript {
public:
    // Answers for the questions to come, in order (true: OK); an empty queue answers Cancel.
    std::deque<bool> answers;
    std::vector<SPromptRecord> shown;

    // Every box now goes to `script` instead of the screen (null: the screen again).
    static void Install(CPromptScript* script);
    static CPromptScript* Installed();
};

namespace Prompt {

// The box itself, as Tell and Confirm show it (for pictures of it).
QMessageBox* MakeBox(QWidget* parent, const QString& text, bool question, bool cancelPreselected);

// An OK box, modal to `parent`.
void Tell(QWidget* parent, const QString& text);
void Tell(QWidget* parent, int textId);
// OK and Cancel; true on OK.
bool Confirm(QWidget* parent, const QString& text, bool cancelPreselected);

} // namespace Prompt
