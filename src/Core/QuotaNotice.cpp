#include "Core/QuotaNotice.h"

QuotaNotice::QuotaNotice(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
{ }

QuotaNotice &QuotaNotice::shared()
{
    static QuotaNotice *instance = new QuotaNotice(Clock::system());
    return *instance;
}

void QuotaNotice::show()
{
    const std::chrono::nanoseconds now = m_clock.uptime();
    if (m_lastPosted && now - *m_lastPosted < interval) {
        return;
    }
    m_lastPosted = now;
    Q_EMIT didReach();
}
