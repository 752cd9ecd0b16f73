#include "TaskRunner.h"

void CTaskRunner::Submit(std::function<void()> job) {
    std::unique_lock lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (m_idle == 0 && m_threads.size() < m_max)
        m_threads.emplace_back([this] { Work(); });
    else
        m_cv.notify_one();
}

void CTaskRunner::Wait() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        threads.swap(m_threads);
    }
    m_cv.notify_all();
    for (std::thread& t : threads)
        t.join();
    std::lock_guard lock(m_mutex);
    m_closing = false;
    m_idle = 0;
}

void CTaskRunner::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_jobs.empty()) {
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
            continue;
        }
        if (m_closing)
            return;
        ++m_idle;
        m_cv.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
        --m_idle;
    }
}
