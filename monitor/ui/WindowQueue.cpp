#include "WindowQueue.h"

#include <QMetaObject>

CWindowQueue::CWindowQueue(QObject* parent)
    : QObject(parent), m_owner(std::this_thread::get_id()) {}

void CWindowQueue::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(fn));
        if (m_wakePending || m_held) {
            return;
        }
        m_wakePending = true;
    }
    Wake();
}

void CWindowQueue::PostControl(std::function<void()> fn) {
    {
        std::lock_guard lock(m_mutex);
        m_control.push_back(std::move(fn));
        if (m_wakePending) {
            return;
        }
        m_wakePending = true;
    }
    Wake();
}

void CWindowQueue::Wake() {
    QMetaObject::invokeMethod(this, &CWindowQueue::RunPosted, Qt::QueuedConnection);
}

void CWindowQueue::Hold(bool hold) {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_held = hold;
        if (!hold && !m_queue.empty() && !m_wakePending) {
            m_wakePending = true;
            wake = true;
        }
    }
    if (wake) {
        Wake();
    }
}

bool CWindowQueue::Held() const {
    std::lock_guard lock(m_mutex);
    return m_held;
}

std::size_t CWindowQueue::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size() + m_control.size();
}

void CWindowQueue::RunPosted() {
    for (int n = 0;; ++n) {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_mutex);
            std::deque<std::function<void()>>* from = nullptr;
            if (!m_control.empty()) {
                from = &m_control;
            } else if (!m_held && !m_queue.empty()) {
                from = &m_queue;
            }
            if (from == nullptr) {
                m_wakePending = false;
                return;
            }
            if (n == BATCH) {
                break; // m_wakePending stays set: the next wake-up is ours
            }
            fn = std::move(from->front());
            from->pop_front();
        }
        fn();
    }
    Wake();
}

void CWindowQueue::Drain() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_mutex);
            std::deque<std::function<void()>>& from = m_control.empty() ? m_queue : m_control;
            if (from.empty()) {
                return;
            }
            fn = std::move(from.front());
            from.pop_front();
        }
        fn();
    }
}
