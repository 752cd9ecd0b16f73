#include "DiskCheckClock.h"

#include <condition_variable>
#include <mutex>

CDiskCheckClock::CDiskCheckClock(double scale) : m_scale(scale > 0 ? scale : 1.0) {}

bool CDiskCheckClock::SleepFor(std::chrono::milliseconds d, std::stop_token stop) {
    const auto real = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double, std::milli>(static_cast<double>(d.count()) * m_scale));
    return SleepUnlessStopped(real, stop);
}

std::tm CDiskCheckClock::LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

bool SleepUnlessStopped(std::chrono::nanoseconds d, std::stop_token stop) {
    if (stop.stop_requested())
        return false;
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stop, d, [] { return false; });
    return !stop.stop_requested();
}
