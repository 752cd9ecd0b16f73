#pragma once
// Work posted to the window's thread by monitor threads, timers and helper threads, run in
// the order it was posted. The queue keeps its own lock, so what a monitor thread hands over
// is seen whole by the window thread; Qt only carries the wake-up.
//
// While a rescan runs, the queue is held: posted steps wait as they waited when the window
// itself was busy scanning, so a new agent's first state change finds the row the rescan
// builds for it, and event lines keep their order. Painting goes on meanwhile.

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CWindowQueue : public QObject {
    Q_OBJECT

public:
    // The thread that constructs the queue is the window thread.
    explicit CWindowQueue(QObject* parent = nullptr);

    // Any thread; never blocks on the window.
    void Post(std::function<void()> fn);
    // Runs even while the queue is held, before the held steps: the end of a rescan, which is
    // what releases them.
    void PostControl(std::function<void()> fn);
    bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }

    // Window thread.
    void Hold(bool hold);
    bool Held() const;
    // Runs everything posted so far, held or not (the exit steps).
    void Drain();
    std::size_t Pending() const;

private:
    void RunPosted();
    void Wake();

    // Steps run per wake-up before painting and input get their turn again.
    static constexpr int BATCH = 64;

    const std::thread::id m_owner;
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    std::deque<std::function<void()>> m_control;
    bool m_wakePending = false;
    bool m_held = false;
};
