#include "Trace.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void CTraceSink::Attach(Writer writer) {
    std::lock_guard lock(m_mutex);
    m_writer = std::move(writer);
    m_enabled.store(static_cast<bool>(m_writer), std::memory_order_relaxed);
}

void CTraceSink::Write(std::string_view line) {
    if (!Enabled())
        return;
    std::lock_guard lock(m_mutex);
    if (m_writer)
        m_writer(line);
}

void CTraceSink::Format(const char* format, ...) {
    if (!Enabled())
        return;
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(again);
        Write(std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, again);
    va_end(again);
    Write(std::string_view(big.data(), static_cast<size_t>(n)));
}
