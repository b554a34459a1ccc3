#include "UI/KeyframeAnimation.h"

#include <algorithm>

qreal KeyframeAnimation::value(std::chrono::nanoseconds uptime) const
{
    if (values.isEmpty()) {
        return 1.0;
    }
    const qsizetype frames = std::min(values.size(), keyTimes.size());
    if (frames < 2 || duration <= std::chrono::nanoseconds::zero()) {
        return values.constLast();
    }
    const auto elapsed = uptime - beginTime;
    if (elapsed < std::chrono::nanoseconds::zero()) {
        return values.constFirst();
    }
    qreal progress = 1.0;
    if (repeatsForever) {
        progress = qreal((elapsed % duration).count()) / qreal(duration.count());
    } else if (elapsed < duration) {
        progress = qreal(elapsed.count()) / qreal(duration.count());
    }
    const qreal t = timing.valueForProgress(progress);
    if (t <= keyTimes.constFirst()) {
        return values.constFirst();
    }
    for (qsizetype i = 1; i < frames; ++i) {
        if (t <= keyTimes[i]) {
            const qreal span = keyTimes[i] - keyTimes[i - 1];
            const qreal f = span > 0 ? (t - keyTimes[i - 1]) / span : 1.0;
            return values[i - 1] + (values[i] - values[i - 1]) * f;
        }
    }
    return values[frames - 1];
}
