#pragma once
// The diagnostic trace. Lines are formatted only while a sink is attached; with none (the
// program's normal state) a trace call costs one atomic load, which matters with a thousand
// monitor threads tracing every poll.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class CTraceSink {
public:
    using Writer = std::function<void(std::string_view line)>;

    // Attaches a writer (called from any thread, one line at a time); an empty one detaches.
    void Attach(Writer writer);
    bool Enabled() const { return m_enabled.load(std::memory_order_relaxed); }

    void Write(std::string_view line);
    // printf-style; lines carry their own "\r\n".
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::atomic<bool> m_enabled{false};
    std::mutex m_mutex; // one line at a time, and the writer is not swapped mid-line
    Writer m_writer;
};
