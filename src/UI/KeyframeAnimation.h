#pragma once

#include <QEasingCurve>
#include <QList>
#include <QString>

#include <chrono>

// A value animated through key frames, like a layer's scale beating. The animation's time, from
// `beginTime` on, runs through `duration` (again and again when it repeats); `timing` shapes that
// time as a whole, and the value is interpolated linearly between the key frames at the shaped
// time. Before `beginTime` and after a single run the value rests at the first and the last key
// frame.
struct KeyframeAnimation
{
    // What the animation changes ("transform.scale").
    QString keyPath;
    // One value per key time; key times rise from 0 to 1.
    QList<qreal> values;
    QList<qreal> keyTimes;
    std::chrono::nanoseconds duration {0};
    bool repeatsForever = false;
    QEasingCurve timing {QEasingCurve::Linear};
    // Monotonic time (Clock::uptime) at which the animation started.
    std::chrono::nanoseconds beginTime {0};

    // The animated value at this monotonic time.
    qreal value(std::chrono::nanoseconds uptime) const;
};
