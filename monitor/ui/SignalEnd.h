#pragma once
// SIGTERM (a session that ends, systemd, kill) and SIGINT (Ctrl-C in the terminal) end the
// window mode the way its close command does, without the question: every event loop is told
// to end, so an open dialog (the LOGIN among them) gives up as if cancelled, and the window's
// exit steps, the exit line and the saving of the settings follow. Without this a signal would
// end the program on the spot, with neither.
//
// The handler only writes a byte to a pipe; the window's thread reads it. One instance at a
// time; the previous handlers come back when it goes.

#include <QObject>

#include <csignal>

class QSocketNotifier;

class CSignalEnd : public QObject {
    Q_OBJECT

public:
    explicit CSignalEnd(QObject* parent = nullptr);
    ~CSignalEnd() override;
    CSignalEnd(const CSignalEnd&) = delete;
    CSignalEnd& operator=(const CSignalEnd&) = delete;

    // Whether a signal has ended the run.
    bool Signalled() const { return m_signalled; }

private:
    void OnSignal();

    QSocketNotifier* m_notifier = nullptr;
    bool m_signalled = false;
    bool m_installed = false;
    struct sigaction m_oldTerm {};
    struct sigaction m_oldInt {};
};
