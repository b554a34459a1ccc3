#include "UI/Settings/TesterTapCounter.h"

#include "Base/Clock.h"

TesterTapCounter::TesterTapCounter(const Clock &clock)
    : m_clock(clock)
{ }

bool TesterTapCounter::tap()
{
    const QDateTime now = m_clock.now();
    // Exactly two seconds still continues the run.
    if (!m_lastClick.isValid() || m_lastClick.msecsTo(now) > maxGapMs) {
        m_clicks = 0;
    }
    m_lastClick = now;
    ++m_clicks;
    if (m_clicks >= tapsToToggle) {
        m_clicks = 0;
        return true;
    }
    return false;
}
