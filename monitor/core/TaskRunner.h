#pragma once
// Runs short blocking jobs (one library exchange each) side by side on at most a given number
// of threads, started as work arrives and gone after Wait(). Discovery and the removal pass
// use it so that a thousand agents do not cost a thousand reply times in a row.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CTaskRunner {
public:
    explicit CTaskRunner(std::size_t maxThreads) : m_max(maxThreads == 0 ? 1 : maxThreads) {}
    ~CTaskRunner() { Wait(); }
    CTaskRunner(const CTaskRunner&) = delete;
    CTaskRunner& operator=(const CTaskRunner&) = delete;

    void Submit(std::function<void()> job);
    // Returns once every submitted job has run.
    void Wait();

private:
    void Work();

    const std::size_t m_max;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};
