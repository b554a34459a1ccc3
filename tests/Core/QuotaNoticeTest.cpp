#include "Core/QuotaNotice.h"

#include "Base/ManualClock.h"
#include "TestSupport/QtPrinters.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(QuotaNotice, PostsAtMostOncePerThreeHoursToTheSecond)
{
    ManualClock clock;
    QuotaNotice notice(clock);
    QSignalSpy posted(&notice, &QuotaNotice::didReach);

    notice.show();
    EXPECT_EQ(posted.count(), 1) << "the first report after launch";
    clock.advance(10min);
    notice.show();
    EXPECT_EQ(posted.count(), 1) << "ten minutes later";
    clock.advance(10800s - 10min - 1ns);
    notice.show();
    EXPECT_EQ(posted.count(), 1) << "just under three hours";
    clock.advance(1ns);
    notice.show();
    EXPECT_EQ(posted.count(), 2) << "exactly three hours";
    clock.advance(10801s);
    notice.show();
    EXPECT_EQ(posted.count(), 3) << "three hours and one second";
}

TEST(QuotaNotice, SettingTheWallClockBackDoesNotSilenceIt)
{
    ManualClock clock;
    QuotaNotice notice(clock);
    QSignalSpy posted(&notice, &QuotaNotice::didReach);
    notice.show();
    clock.setNow(clock.now().addDays(-1));
    clock.advance(10800s);
    notice.show();
    EXPECT_EQ(posted.count(), 2);
}

} // namespace
