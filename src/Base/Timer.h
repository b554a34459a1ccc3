#pragma once

#include <QObject>

#include <chrono>

// A timer made by a Clock. Production timers run on the thread's event loop; test timers fire
// when a ManualClock is advanced past their deadline, so deadline logic is tested without waiting.
class Timer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // (Re)starts the timer. A repeating timer fires every interval until stopped; a tolerance
    // lets the system coalesce wake-ups (production only; ManualClock fires at the deadline).
    virtual void start(std::chrono::nanoseconds interval, bool repeating,
                       std::chrono::nanoseconds tolerance = std::chrono::nanoseconds::zero()) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

Q_SIGNALS:
    void timeout();
};
