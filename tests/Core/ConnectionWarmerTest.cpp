#include "Core/ConnectionWarmer.h"

#include "Base/ManualClock.h"
#include "Core/CloudSession.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class ConnectionWarmerTest : public ::testing::Test
{
protected:
    // Warm-ups that reached the service once the event loop has had its turn.
    size_t warmups()
    {
        QTest::qWait(30);
        service.waitForRequests(expected, 2s);
        return service.requests("/api/stt").size();
    }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
    ManualClock clock;
    ConnectionWarmer warmer {session, clock};
    size_t expected = 0;
};

TEST_F(ConnectionWarmerTest, TheFirstCallWarmsWithAHeadWithoutToken)
{
    warmer.warm();
    expected = 1;
    ASSERT_EQ(warmups(), 1u);
    const auto request = service.requests("/api/stt").at(0);
    EXPECT_EQ(request.method, "HEAD");
    EXPECT_FALSE(request.hasHeader("Authorization"));
    EXPECT_TRUE(request.body.empty());
}

TEST_F(ConnectionWarmerTest, AtMostOneWarmUpPerThirtySecondsOfMonotonicTime)
{
    warmer.warm();
    clock.advance(10s);
    warmer.warm();
    expected = 1;
    EXPECT_EQ(warmups(), 1u) << "10 s apart";

    clock.advance(20s); // exactly 30 s after the first
    warmer.warm();
    EXPECT_EQ(warmups(), 1u) << "exactly 30 s is still too soon";

    clock.advance(1ns);
    warmer.warm();
    expected = 2;
    EXPECT_EQ(warmups(), 2u) << "just over 30 s";
}

// The wall clock set back by hours must neither silence the warmer nor let it fire early.
TEST_F(ConnectionWarmerTest, TheWallClockDoesNotCount)
{
    warmer.warm();
    clock.setNow(clock.now().addSecs(-6 * 3600));
    clock.advance(31s);
    warmer.warm();
    expected = 2;
    EXPECT_EQ(warmups(), 2u);

    clock.setNow(clock.now().addSecs(+6 * 3600));
    warmer.warm();
    EXPECT_EQ(warmups(), 2u);
}

TEST_F(ConnectionWarmerTest, AFailedWarmUpStillCounts)
{
    CloudSession nowhere(QUrl(QStringLiteral("http://127.0.0.1:1")));
    ConnectionWarmer failing(nowhere, clock);
    failing.warm();
    QTest::qWait(100);
    EXPECT_EQ(nowhere.transfersInFlight(), 0);
    clock.advance(30s);
    failing.warm();
    EXPECT_EQ(nowhere.transfersInFlight(), 0) << "no second attempt within 30 s";
}

} // namespace
