// Helpers of the window's tests: a scratch directory, the scripted message boxes, the
// language of the moment, and a way to act on a modal dialog that a command opens.
#pragma once

#include "Prompt.h"
#include "StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace uitest {

class CScratchDir {
public:
    CScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrn-ui-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~CScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& name, const std::string& content) const {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << content;
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

private:
    std::string m_path;
};

// Message boxes answered by the test for as long as it lives.
class CScriptedPrompts : public CPromptScript {
public:
    CScriptedPrompts() { Install(this); }
    ~CScriptedPrompts() { Install(nullptr); }
    QStringList Texts() const {
        QStringList out;
        for (const SPromptRecord& r : shown) {
            out << r.text;
        }
        return out;
    }
};

// The interface language for one test; English again afterwards.
class CLanguage {
public:
    explicit CLanguage(ELanguage lang) { CStringTable::SetLanguage(lang); }
    ~CLanguage() { CStringTable::SetLanguage(ELanguage::English); }
};

// Calls `act` with the next modal dialog (of type T when given) as soon as it shows; gives
// up after `limitMs`. For commands that exec() a dialog of their own.
template <class T = QWidget> void WhenModal(std::function<void(T*)> act, int limitMs = 5000) {
    auto* poll = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, act, limitMs] {
        QWidget* w = QApplication::activeModalWidget();
        T* dialog = w != nullptr ? qobject_cast<T*>(w) : nullptr;
        if (dialog == nullptr && clock->elapsed() < limitMs) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (dialog != nullptr) {
            act(dialog);
        }
    });
    poll->start(10);
}

// Types `text` key by key into whichever widget has the focus at each key, as a keyboard
// would (QTest::keyClicks sends every key to one widget).
inline void TypeIntoFocus(const QString& text) {
    for (const QChar c : text) {
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            return;
        }
        QTest::keyClick(target, c.toLatin1());
    }
}

// Clicks a check box or radio button on its indicator (its middle may lie beyond the label,
// where a click does nothing).
inline void ClickBox(QWidget* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// Waits (processing events) until `done` holds; false after the limit.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

} // namespace uitest
