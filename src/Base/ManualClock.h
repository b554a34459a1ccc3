#pragma once

#include "Base/Clock.h"

#include <QList>

class ManualTimer;

// A clock that moves only when told to. advance() walks time forward deadline by deadline and
// fires each due timer at its own deadline (now() and uptime() read that deadline inside the
// handler), so a chain of timers behaves as it would in real time, in microseconds.
// Single-threaded: use it from the thread that owns the objects under test.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC),
                         std::chrono::nanoseconds uptime = std::chrono::seconds(1000));
    ~ManualClock() override;

    QDateTime now() const override;
    std::chrono::nanoseconds uptime() const override;
    std::unique_ptr<Timer> makeTimer() override;

    // Moves both clocks forward by `by`, firing every timer that falls due on the way.
    void advance(std::chrono::nanoseconds by);
    // Sets the wall clock only (a user changing the date); timers are not affected.
    void setNow(const QDateTime &now);
    // Number of running timers, for tests that check nothing was left armed.
    int activeTimerCount() const;

private:
    friend class ManualTimer;
    QDateTime m_wallOrigin;
    std::chrono::nanoseconds m_uptimeOrigin;
    std::chrono::nanoseconds m_elapsed {0};
    std::chrono::nanoseconds m_wallShift {0};
    QList<ManualTimer *> m_timers;
};
