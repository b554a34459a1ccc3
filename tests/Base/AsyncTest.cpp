#include "Base/Async.h"
#include "Base/AsyncStream.h"
#include "Base/ManualClock.h"
#include "Base/SharedTask.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QThread>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs the event loop until `done` holds; the bound only keeps a broken test from hanging.
template<typename Predicate>
bool spinUntil(Predicate done, int rounds = 100000)
{
    for (int i = 0; i < rounds && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done()) {
            QThread::yieldCurrentThread();
        }
    }
    return done();
}

enum class Outcome { Pending, Slept, Cancelled };

QCoro::Task<void> sleepThenRecord(Clock &clock, std::chrono::nanoseconds duration,
                                  CancellationToken token, Outcome &outcome)
{
    try {
        co_await Async::sleep(clock, duration, token);
        outcome = Outcome::Slept;
    } catch (const CancelledError &) {
        outcome = Outcome::Cancelled;
    }
}

} // namespace

TEST(AsyncSleep, WakesExactlyAtTheDeadlineOfTheInjectedClock)
{
    ManualClock clock;
    Outcome outcome = Outcome::Pending;
    auto task = sleepThenRecord(clock, 540s, CancellationToken(), outcome);
    clock.advance(539s);
    EXPECT_EQ(outcome, Outcome::Pending);
    clock.advance(1s);
    EXPECT_EQ(outcome, Outcome::Slept);
}

TEST(AsyncSleep, CancellationWakesTheSleeperFromTheEventLoopAndStopsTheTimer)
{
    ManualClock clock;
    CancellationToken token;
    Outcome outcome = Outcome::Pending;
    auto task = sleepThenRecord(clock, 50s, token, outcome);
    token.cancel();
    // Never resumed inside cancel(): the caller of cancel() keeps running first.
    EXPECT_EQ(outcome, Outcome::Pending);
    ASSERT_TRUE(spinUntil([&] { return outcome != Outcome::Pending; }));
    EXPECT_EQ(outcome, Outcome::Cancelled);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(clock.activeTimerCount(), 0);
    clock.advance(100s); // the stopped timer must not resume the finished coroutine
    EXPECT_EQ(outcome, Outcome::Cancelled);
}

TEST(AsyncSleep, AlreadyCancelledTokenThrowsWithoutSuspending)
{
    ManualClock clock;
    CancellationToken token;
    token.cancel();
    Outcome outcome = Outcome::Pending;
    auto task = sleepThenRecord(clock, 1s, token, outcome);
    EXPECT_EQ(outcome, Outcome::Cancelled);
}

TEST(AsyncSleep, CancelFromAnotherThreadResumesOnTheMainThread)
{
    ManualClock clock;
    CancellationToken token;
    QThread *resumedOn = nullptr;
    bool finished = false;
    // The closure must outlive the coroutine: its captures live in it.
    auto body = [&]() -> QCoro::Task<void> {
        try {
            co_await Async::sleep(clock, 10s, token);
        } catch (const CancelledError &) { }
        resumedOn = QThread::currentThread();
        finished = true;
    };
    auto task = body();
    std::thread([token] { token.cancel(); }).join();
    ASSERT_TRUE(spinUntil([&] { return finished; }));
    EXPECT_EQ(resumedOn, QCoreApplication::instance()->thread());
}

TEST(AsyncSleep, RealClockSleepCompletes)
{
    // Plumbing through QTimer only; the duration is tiny and nothing is asserted about it.
    bool done = false;
    // The closure must outlive the coroutine: its captures live in it.
    auto body = [&]() -> QCoro::Task<void> {
        co_await Async::sleep(Clock::system(), 1ms);
        done = true;
    };
    auto task = body();
    EXPECT_TRUE(spinUntil([&] { return done; }));
}

TEST(CancellationToken, CallbacksRunOnceAndChildrenFollowTheirParent)
{
    CancellationToken parent;
    CancellationToken child = parent.child();
    int calls = 0;
    parent.onCancel([&] { ++calls; });
    const auto removed = parent.onCancel([&] { calls += 100; });
    parent.removeCallback(removed);
    EXPECT_FALSE(child.isCancelled());
    parent.cancel();
    parent.cancel();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(child.isCancelled());
    EXPECT_THROW(child.throwIfCancelled(), CancelledError);

    // Registering on a cancelled token runs the callback at once.
    bool ranAtOnce = false;
    EXPECT_EQ(parent.onCancel([&] { ranAtOnce = true; }), 0u);
    EXPECT_TRUE(ranAtOnce);

    // Cancelling a child leaves its parent alone.
    CancellationToken other;
    other.child().cancel();
    EXPECT_FALSE(other.isCancelled());
}

TEST(CancelledError, IsToldApartFromFailuresAlsoWhenNested)
{
    EXPECT_TRUE(CancelledError::isCancellation(std::make_exception_ptr(CancelledError())));
    EXPECT_FALSE(CancelledError::isCancellation(std::make_exception_ptr(std::runtime_error("x"))));
    EXPECT_FALSE(CancelledError::isCancellation(nullptr));
    std::exception_ptr nested;
    try {
        try {
            throw CancelledError();
        } catch (...) {
            std::throw_with_nested(std::runtime_error("session failed"));
        }
    } catch (...) {
        nested = std::current_exception();
    }
    EXPECT_TRUE(CancelledError::isCancellation(nested));
}

TEST(RunInBackground, ResultAndExceptionArriveBackOnTheAwaitingThread)
{
    QThread *mainThread = QThread::currentThread();
    QThread *workThread = nullptr;
    int value = QCoro::waitFor([&]() -> QCoro::Task<int> {
        co_return co_await Async::runInBackground([&] {
            workThread = QThread::currentThread();
            return 42;
        });
    }());
    EXPECT_EQ(value, 42);
    EXPECT_NE(workThread, mainThread);

    QThread *resumedOn = nullptr;
    QString message;
    QCoro::waitFor([&]() -> QCoro::Task<void> {
        try {
            co_await Async::runInBackground([] { throw std::runtime_error("disk full"); });
        } catch (const std::runtime_error &error) {
            message = QString::fromUtf8(error.what());
        }
        resumedOn = QThread::currentThread();
    }());
    EXPECT_EQ(message, QStringLiteral("disk full"));
    EXPECT_EQ(resumedOn, mainThread);
}

TEST(SharedTask, SeveralAwaitersGetTheSameResult)
{
    ManualClock clock;
    int starts = 0;
    auto body = [&]() -> QCoro::Task<int> {
        ++starts;
        co_await Async::sleep(clock, 1s);
        co_return 7;
    };
    SharedTask<int> shared(body());
    std::vector<int> results;
    auto awaitIt = [&]() -> QCoro::Task<void> {
        results.push_back(co_await shared);
    };
    auto a = awaitIt();
    auto b = awaitIt();
    auto c = awaitIt();
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(shared.isDone());
    clock.advance(1s);
    EXPECT_EQ(results, (std::vector<int> {7, 7, 7}));
    EXPECT_EQ(starts, 1);
    // Late awaiters see the stored result at once.
    auto d = awaitIt();
    EXPECT_EQ(results.size(), 4u);
}

TEST(SharedTask, FailureReachesEveryAwaiter)
{
    ManualClock clock;
    auto body = [&]() -> QCoro::Task<void> {
        co_await Async::sleep(clock, 1s);
        throw std::runtime_error("engine failed");
    };
    SharedTask<void> shared(body());
    int failures = 0;
    auto awaitIt = [&]() -> QCoro::Task<void> {
        try {
            co_await shared;
        } catch (const std::runtime_error &) {
            ++failures;
        }
    };
    auto a = awaitIt();
    auto b = awaitIt();
    clock.advance(1s);
    auto c = awaitIt();
    EXPECT_EQ(failures, 3);
}

TEST(AsyncStream, DeliversEveryValueInOrderFromAnotherThreadThenEnds)
{
    AsyncStream<int> stream;
    std::vector<int> received;
    bool ended = false;
    // The closure must outlive the coroutine: its captures live in it.
    auto body = [&]() -> QCoro::Task<void> {
        while (auto value = co_await stream.next()) {
            received.push_back(*value);
        }
        ended = true;
    };
    auto consumer = body();
    std::thread producer([stream] {
        for (int i = 0; i < 2000; ++i) {
            stream.yield(i);
        }
        stream.finish();
    });
    producer.join();
    ASSERT_TRUE(spinUntil([&] { return ended; }));
    ASSERT_EQ(received.size(), 2000u);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(received[i], i);
    }
    EXPECT_FALSE(stream.yield(1)); // after the end
}

TEST(AsyncStream, ErrorComesAfterTheValuesYieldedBeforeIt)
{
    AsyncStream<QString> stream;
    stream.yield(QStringLiteral("a"));
    stream.finish(std::make_exception_ptr(std::runtime_error("recogniser failed")));
    QStringList received;
    QString error;
    QCoro::waitFor([&]() -> QCoro::Task<void> {
        try {
            while (auto value = co_await stream.next()) {
                received << *value;
            }
        } catch (const std::runtime_error &e) {
            error = QString::fromUtf8(e.what());
        }
    }());
    EXPECT_EQ(received, QStringList {QStringLiteral("a")});
    EXPECT_EQ(error, QStringLiteral("recogniser failed"));
}

TEST(AsyncStream, ConsumerCancelEndsTheWaitAndTellsTheProducerOnce)
{
    AsyncStream<int> stream;
    std::atomic<int> terminations = 0;
    stream.setOnTermination([&] { ++terminations; });
    bool cancelled = false;
    // The closure must outlive the coroutine: its captures live in it.
    auto body = [&]() -> QCoro::Task<void> {
        try {
            while (co_await stream.next()) { }
        } catch (const CancelledError &) {
            cancelled = true;
        }
    };
    auto consumer = body();
    stream.cancel();
    stream.finish();
    ASSERT_TRUE(spinUntil([&] { return cancelled; }));
    EXPECT_EQ(terminations.load(), 1);
    EXPECT_FALSE(stream.yield(5));
}
