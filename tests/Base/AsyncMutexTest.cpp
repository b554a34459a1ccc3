#include "Base/AsyncMutex.h"
#include "Base/CancelledError.h"
#include "Fakes/ManualGate.h"

#include <QCoreApplication>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <thread>

namespace {

void pump()
{
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
}

// Takes the lock, notes it, and keeps it until the test opens `release`.
QCoro::Task<> holder(AsyncMutex &mutex, QString name, QStringList &log, CancellationToken token,
                     ManualGate &release)
{
    try {
        AsyncMutex::Guard guard = co_await mutex.lock(token);
        log.append(name + QStringLiteral(" in"));
        co_await release.wait();
        log.append(name + QStringLiteral(" out"));
    } catch (const CancelledError &) {
        log.append(name + QStringLiteral(" cancelled"));
    }
}

TEST(AsyncMutex, HandsTheLockOverInArrivalOrderAndOnlyOnceItIsGivenUp)
{
    AsyncMutex mutex;
    QStringList log;
    ManualGate releaseA;
    ManualGate releaseB;
    ManualGate releaseC;
    auto a = holder(mutex, QStringLiteral("a"), log, {}, releaseA);
    auto b = holder(mutex, QStringLiteral("b"), log, {}, releaseB);
    auto c = holder(mutex, QStringLiteral("c"), log, {}, releaseC);
    EXPECT_EQ(log, QStringList {QStringLiteral("a in")});
    EXPECT_EQ(mutex.waiting(), 2);

    releaseA.open();
    QCoro::waitFor(std::move(a));
    // The next one starts from the event loop, not inside the releasing coroutine.
    EXPECT_EQ(log.last(), QStringLiteral("a out"));
    pump();
    EXPECT_EQ(log.last(), QStringLiteral("b in"));
    releaseC.open();
    pump();
    EXPECT_FALSE(c.isReady()) << "c ran before b gave the lock up";
    releaseB.open();
    QCoro::waitFor(std::move(b));
    QCoro::waitFor(std::move(c));
    EXPECT_EQ(log, (QStringList {"a in", "a out", "b in", "b out", "c in", "c out"}));
    EXPECT_FALSE(mutex.isLocked());
}

TEST(AsyncMutex, ACancelledWaiterLeavesTheQueueWithoutTheLock)
{
    AsyncMutex mutex;
    QStringList log;
    ManualGate releaseA;
    ManualGate releaseB;
    ManualGate releaseC;
    releaseC.open();
    CancellationToken bToken;
    auto a = holder(mutex, QStringLiteral("a"), log, {}, releaseA);
    auto b = holder(mutex, QStringLiteral("b"), log, bToken, releaseB);
    auto c = holder(mutex, QStringLiteral("c"), log, {}, releaseC);

    // From another thread, as a session's cancel may come.
    std::thread([&bToken] { bToken.cancel(); }).join();
    pump();
    EXPECT_EQ(log, (QStringList {"a in", "b cancelled"}));
    EXPECT_EQ(mutex.waiting(), 1);
    EXPECT_TRUE(mutex.isLocked());

    releaseA.open();
    QCoro::waitFor(std::move(a));
    QCoro::waitFor(std::move(c));
    EXPECT_EQ(log, (QStringList {"a in", "b cancelled", "a out", "c in", "c out"}));
    EXPECT_FALSE(mutex.isLocked());

    // A token cancelled already never waits, even for a free lock.
    CancellationToken cancelled;
    cancelled.cancel();
    auto d = holder(mutex, QStringLiteral("d"), log, cancelled, releaseC);
    EXPECT_EQ(log.last(), QStringLiteral("d cancelled"));
    EXPECT_FALSE(mutex.isLocked());
}

TEST(AsyncMutex, ACancelAfterTheHandOverKeepsTheLock)
{
    AsyncMutex mutex;
    QStringList log;
    ManualGate releaseA;
    ManualGate releaseB;
    CancellationToken bToken;
    auto a = holder(mutex, QStringLiteral("a"), log, {}, releaseA);
    auto b = holder(mutex, QStringLiteral("b"), log, bToken, releaseB);
    releaseA.open();
    QCoro::waitFor(std::move(a));
    // b has been handed the lock but not yet resumed when its session is cancelled: it holds the
    // lock all the same and gives it up normally (the lock never ends up with nobody or with two).
    bToken.cancel();
    pump();
    EXPECT_EQ(log.last(), QStringLiteral("b in"));
    EXPECT_TRUE(mutex.isLocked());
    releaseB.open();
    QCoro::waitFor(std::move(b));
    EXPECT_FALSE(mutex.isLocked());
    EXPECT_EQ(mutex.waiting(), 0);
}

} // namespace
