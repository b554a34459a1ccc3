#include "Base/SystemClock.h"

#include "Base/Timer.h"

#include <QTimer>

namespace {

class SystemTimer final : public Timer
{
public:
    SystemTimer() { connect(&m_timer, &QTimer::timeout, this, &Timer::timeout); }

    void start(std::chrono::nanoseconds interval, bool repeating,
               std::chrono::nanoseconds tolerance) override
    {
        using namespace std::chrono;
        m_timer.setSingleShot(!repeating);
        // QTimer's coarse timers allow about 5% slack; ask for them only when the caller allows it.
        const bool coarse = tolerance > nanoseconds::zero() && tolerance * 20 >= interval;
        m_timer.setTimerType(coarse ? Qt::CoarseTimer : Qt::PreciseTimer);
        m_timer.start(duration_cast<milliseconds>(interval + nanoseconds(999'999)));
    }

    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

std::chrono::nanoseconds SystemClock::uptime() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<Timer> SystemClock::makeTimer()
{
    return std::make_unique<SystemTimer>();
}

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}
