#pragma once

#include <QDateTime>

#include <chrono>
#include <memory>

class Timer;

// The one source of time for logic with timers and deadlines: wall time for stamps and dates,
// monotonic time for durations, and timers. Production code uses Clock::system(); tests hand a
// ManualClock to the object under test.
class Clock
{
public:
    virtual ~Clock() = default;

    // Wall-clock time in UTC, millisecond precision.
    virtual QDateTime now() const = 0;
    // Monotonic time since an arbitrary origin; never goes backwards.
    virtual std::chrono::nanoseconds uptime() const = 0;
    // A stopped timer bound to this clock; it lives on the calling thread.
    virtual std::unique_ptr<Timer> makeTimer() = 0;

    static Clock &system();
};
