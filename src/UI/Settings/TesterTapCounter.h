#pragma once

#include <QDateTime>

class Clock;

// The hidden switch of tester mode: eight taps on the sidebar icon, each no more than two seconds
// after the one before. A longer pause starts a new run.
class TesterTapCounter
{
public:
    static constexpr int tapsToToggle = 8;
    static constexpr qint64 maxGapMs = 2000;

    explicit TesterTapCounter(const Clock &clock);

    // Counts one tap; true when it completes a run, which starts the count again.
    bool tap();
    int count() const { return m_clicks; }

private:
    const Clock &m_clock;
    int m_clicks = 0;
    QDateTime m_lastClick;
};
