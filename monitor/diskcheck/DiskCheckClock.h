#pragma once
// Every wait of a disk-checking worker goes through a clock, so a test runs the 60-second
// collection margin and a 75-minute self-test wait in milliseconds, and a demo against a
// time-scaled simulator waits as much less as the simulator takes.

#include <chrono>
#include <ctime>
#include <stop_token>

class IDiskCheckClock {
public:
    virtual ~IDiskCheckClock() = default;
    // Waits `d`; false when a stop request ended the wait (or came before it).
    virtual bool SleepFor(std::chrono::milliseconds d, std::stop_token stop) = 0;
    // The local time a worker stamps its page with.
    virtual std::tm LocalNow() = 0;
};

// The wall clock. A scale below 1 shortens every wait by that factor (--time-scale).
class CDiskCheckClock : public IDiskCheckClock {
public:
    explicit CDiskCheckClock(double scale = 1.0);
    bool SleepFor(std::chrono::milliseconds d, std::stop_token stop) override;
    std::tm LocalNow() override;

private:
    double m_scale;
};

// Sleeps `d` of real time unless stop is requested first; false when stopped.
bool SleepUnlessStopped(std::chrono::nanoseconds d, std::stop_token stop);
