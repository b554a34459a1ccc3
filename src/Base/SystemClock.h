#pragma once

#include "Base/Clock.h"

// Real time: the UTC wall clock, CLOCK_MONOTONIC, and QTimer-backed timers.
class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
    std::chrono::nanoseconds uptime() const override;
    std::unique_ptr<Timer> makeTimer() override;
};
