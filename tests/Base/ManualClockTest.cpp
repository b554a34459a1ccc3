#include "Base/ManualClock.h"
#include "Base/SystemClock.h"
#include "Base/Timer.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace std::chrono_literals;

TEST(ManualClock, AdvanceMovesWallAndMonotonicTime)
{
    ManualClock clock;
    const QDateTime startWall = clock.now();
    const auto startUptime = clock.uptime();
    clock.advance(1500ms);
    EXPECT_EQ(startWall.msecsTo(clock.now()), 1500);
    EXPECT_EQ(clock.uptime() - startUptime, 1500ms);
    EXPECT_EQ(clock.now().timeSpec(), Qt::UTC);
}

TEST(ManualClock, SetNowChangesOnlyTheWallClock)
{
    ManualClock clock;
    const auto uptime = clock.uptime();
    const QDateTime later = clock.now().addDays(3);
    clock.setNow(later);
    EXPECT_EQ(clock.now(), later);
    EXPECT_EQ(clock.uptime(), uptime);
    clock.advance(1s);
    EXPECT_EQ(clock.now(), later.addSecs(1));
}

TEST(ManualClock, TimersFireAtTheirOwnDeadlinesInOrder)
{
    ManualClock clock;
    const auto origin = clock.uptime();
    QStringList fired;
    auto late = clock.makeTimer();
    auto early = clock.makeTimer();
    auto sameAsEarly = clock.makeTimer();
    QObject::connect(late.get(), &Timer::timeout, [&] {
        fired << QStringLiteral("late@%1").arg((clock.uptime() - origin) / 1ms);
    });
    QObject::connect(early.get(), &Timer::timeout, [&] {
        fired << QStringLiteral("early@%1").arg((clock.uptime() - origin) / 1ms);
    });
    QObject::connect(sameAsEarly.get(), &Timer::timeout, [&] {
        fired << QStringLiteral("same@%1").arg((clock.uptime() - origin) / 1ms);
    });
    late->start(300ms, false);
    early->start(100ms, false);
    sameAsEarly->start(100ms, false);

    clock.advance(99ms);
    EXPECT_TRUE(fired.isEmpty());
    clock.advance(1s);
    EXPECT_EQ(fired,
              (QStringList {QStringLiteral("early@100"), QStringLiteral("same@100"),
                            QStringLiteral("late@300")}));
    EXPECT_EQ((clock.uptime() - origin) / 1ms, 1099);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST(ManualClock, RepeatingTimerFiresOncePerIntervalUntilStopped)
{
    ManualClock clock;
    auto timer = clock.makeTimer();
    int count = 0;
    QObject::connect(timer.get(), &Timer::timeout, [&] {
        if (++count == 540) {
            timer->stop();
        }
    });
    timer->start(1s, true);
    clock.advance(std::chrono::hours(1));
    EXPECT_EQ(count, 540);
    EXPECT_FALSE(timer->isActive());
}

TEST(ManualClock, HandlerMayRestartOrDeleteTimers)
{
    ManualClock clock;
    auto first = clock.makeTimer();
    std::unique_ptr<Timer> second = clock.makeTimer();
    int firstCount = 0;
    int secondCount = 0;
    QObject::connect(second.get(), &Timer::timeout, [&] { ++secondCount; });
    QObject::connect(first.get(), &Timer::timeout, [&] {
        ++firstCount;
        second.reset(); // due at the same time, must not fire after deletion
        if (firstCount < 3) {
            first->start(250ms, false); // a one-shot re-armed from its own handler
        }
    });
    first->start(250ms, false);
    second->start(250ms, false);
    clock.advance(10s);
    EXPECT_EQ(firstCount, 3);
    EXPECT_EQ(secondCount, 0);
}

TEST(ManualClock, TimerOutlivingItsClockIsInert)
{
    std::unique_ptr<Timer> timer;
    {
        ManualClock clock;
        timer = clock.makeTimer();
        timer->start(1s, true);
    }
    EXPECT_FALSE(timer->isActive());
    timer->start(1s, true); // no clock any more: must not crash
}

TEST(SystemClock, MonotonicTimeNeverGoesBackwards)
{
    Clock &clock = Clock::system();
    auto previous = clock.uptime();
    for (int i = 0; i < 1000; ++i) {
        const auto current = clock.uptime();
        ASSERT_GE(current, previous);
        previous = current;
    }
    EXPECT_EQ(clock.now().timeSpec(), Qt::UTC);
}
