#include "Base/ManualClock.h"

#include "Base/Timer.h"

#include <algorithm>

using std::chrono::nanoseconds;

class ManualTimer final : public Timer
{
public:
    explicit ManualTimer(ManualClock *clock)
        : m_clock(clock)
    {
        m_clock->m_timers.append(this);
    }

    ~ManualTimer() override
    {
        if (m_clock) {
            m_clock->m_timers.removeOne(this);
        }
    }

    void start(nanoseconds interval, bool repeating, nanoseconds) override
    {
        m_interval = std::max(interval, nanoseconds::zero());
        m_repeating = repeating;
        m_deadline = (m_clock ? m_clock->m_elapsed : nanoseconds::zero()) + m_interval;
        m_active = true;
        m_sequence = ++s_sequence;
    }

    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    ManualClock *m_clock;
    nanoseconds m_interval {0};
    nanoseconds m_deadline {0};
    bool m_repeating = false;
    bool m_active = false;
    // Timers due at the same instant fire in the order they were started.
    quint64 m_sequence = 0;
    static inline quint64 s_sequence = 0;
};

ManualClock::ManualClock(QDateTime start, nanoseconds uptime)
    : m_wallOrigin(std::move(start))
    , m_uptimeOrigin(uptime)
{ }

ManualClock::~ManualClock()
{
    for (ManualTimer *timer : std::as_const(m_timers)) {
        timer->m_clock = nullptr;
        timer->m_active = false;
    }
}

QDateTime ManualClock::now() const
{
    using namespace std::chrono;
    return m_wallOrigin.addMSecs(duration_cast<milliseconds>(m_elapsed + m_wallShift).count());
}

nanoseconds ManualClock::uptime() const
{
    return m_uptimeOrigin + m_elapsed;
}

std::unique_ptr<Timer> ManualClock::makeTimer()
{
    return std::make_unique<ManualTimer>(this);
}

void ManualClock::advance(nanoseconds by)
{
    const nanoseconds target = m_elapsed + std::max(by, nanoseconds::zero());
    for (;;) {
        ManualTimer *next = nullptr;
        for (ManualTimer *timer : std::as_const(m_timers)) {
            if (!timer->m_active || timer->m_deadline > target) {
                continue;
            }
            if (!next || timer->m_deadline < next->m_deadline
                || (timer->m_deadline == next->m_deadline
                    && timer->m_sequence < next->m_sequence)) {
                next = timer;
            }
        }
        if (!next) {
            break;
        }
        m_elapsed = std::max(m_elapsed, next->m_deadline);
        if (next->m_repeating) {
            // A zero interval would fire forever within one instant.
            next->m_deadline += std::max(next->m_interval, nanoseconds(1));
            next->m_sequence = ++ManualTimer::s_sequence;
        } else {
            next->m_active = false;
        }
        // The handler may stop, restart or delete any timer, this one included: the list is
        // searched afresh on every round.
        Q_EMIT next->timeout();
    }
    m_elapsed = target;
}

void ManualClock::setNow(const QDateTime &now)
{
    using namespace std::chrono;
    m_wallShift = milliseconds(m_wallOrigin.msecsTo(now)) - m_elapsed;
}

int ManualClock::activeTimerCount() const
{
    return static_cast<int>(
        std::count_if(m_timers.cbegin(), m_timers.cend(),
                      [](const ManualTimer *timer) { return timer->m_active; }));
}
