#pragma once

#include "Base/CancellationToken.h"
#include "Base/CancelledError.h"
#include "Base/Clock.h"
#include "Base/SharedTask.h"
#include "Base/Timer.h"

#include <QCoreApplication>
#include <QFuture>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>

#include <chrono>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

// Small additions to QCoro for the application's asynchronous work: a cancellable sleep on an
// injectable clock, and blocking work run off the main thread with its result (or exception)
// delivered back on the awaiting thread.
namespace Async {

namespace detail {

struct SleepState
{
    std::coroutine_handle<> handle;
    std::unique_ptr<Timer> timer;
    CancellationToken token;
    CancellationToken::CallbackId callbackId = 0;
    bool resumed = false;
    bool cancelled = false;

    void finish(bool byCancel)
    {
        if (resumed) {
            return;
        }
        resumed = true;
        cancelled = byCancel;
        token.removeCallback(callbackId);
        if (timer) {
            // The timer may be the one emitting right now: never delete it under its own feet.
            timer->stop();
            timer.release()->deleteLater();
        }
        handle.resume();
    }
};

class SleepAwaiter
{
public:
    SleepAwaiter(Clock &clock, std::chrono::nanoseconds duration, CancellationToken token)
        : m_clock(clock)
        , m_duration(duration)
        , m_state(std::make_shared<SleepState>())
    {
        m_state->token = std::move(token);
    }

    bool await_ready() const { return m_state->token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> handle)
    {
        m_state->handle = handle;
        m_state->timer = m_clock.makeTimer();
        std::weak_ptr<SleepState> weak = m_state;
        QObject::connect(m_state->timer.get(), &Timer::timeout, m_state->timer.get(), [weak] {
            if (auto state = weak.lock()) {
                state->finish(false);
            }
        });
        m_state->timer->start(m_duration, false);
        // Cancellation may come from any thread; the sleeper always wakes on its own thread, from
        // the event loop, never inside the caller of cancel(). The application object is the
        // stable context on the main thread, where the application's tasks run.
        QObject *context = QCoreApplication::instance();
        if (!context || context->thread() != QThread::currentThread()) {
            context = m_state->timer.get();
        }
        m_state->callbackId = m_state->token.onCancel([context, weak] {
            QMetaObject::invokeMethod(
                context,
                [weak] {
                    if (auto state = weak.lock()) {
                        state->finish(true);
                    }
                },
                Qt::QueuedConnection);
        });
    }

    void await_resume()
    {
        if (m_state->cancelled || m_state->token.isCancelled()) {
            m_state->token.removeCallback(m_state->callbackId);
            throw CancelledError();
        }
    }

private:
    Clock &m_clock;
    std::chrono::nanoseconds m_duration;
    std::shared_ptr<SleepState> m_state;
};

template<typename R>
using Outcome =
    std::variant<std::conditional_t<std::is_void_v<R>, std::monostate, R>, std::exception_ptr>;

} // namespace detail

// Suspends for `duration` of `clock`'s time. Throws CancelledError when `token` is (or becomes)
// cancelled; the timer is stopped then.
inline detail::SleepAwaiter sleep(Clock &clock, std::chrono::nanoseconds duration,
                                  CancellationToken token = CancellationToken())
{
    return detail::SleepAwaiter(clock, duration, std::move(token));
}

// Runs blocking `work` on `pool` and resumes the awaiting coroutine on its own thread with the
// result; an exception thrown by `work` is rethrown there.
template<typename F>
auto runInBackground(F work, QThreadPool *pool = QThreadPool::globalInstance())
    -> QCoro::Task<std::invoke_result_t<F>>
{
    using R = std::invoke_result_t<F>;
    QFuture<detail::Outcome<R>> future =
        QtConcurrent::run(pool, [work = std::move(work)]() mutable -> detail::Outcome<R> {
            try {
                if constexpr (std::is_void_v<R>) {
                    work();
                    return std::monostate {};
                } else {
                    return work();
                }
            } catch (...) {
                return std::current_exception();
            }
        });
    detail::Outcome<R> outcome = co_await future;
    if (auto *error = std::get_if<std::exception_ptr>(&outcome)) {
        std::rethrow_exception(*error);
    }
    if constexpr (!std::is_void_v<R>) {
        co_return std::move(std::get<0>(outcome));
    }
}

namespace detail {

// Resolves `finished` once the task has ended, whatever its result.
template<typename T>
QCoro::Task<> signalWhenDone(SharedTask<T> task, CancellationToken finished)
{
    try {
        co_await task;
    } catch (...) { }
    finished.cancel();
}

} // namespace detail

// Whether the task ended within `limit` of the clock's time. A task still running is left to
// finish on its own.
template<typename T>
QCoro::Task<bool> finishesWithin(SharedTask<T> task, Clock &clock, std::chrono::nanoseconds limit)
{
    if (task.isDone()) {
        co_return true;
    }
    CancellationToken finished;
    detail::signalWhenDone(task, finished);
    try {
        co_await sleep(clock, limit, finished);
    } catch (const CancelledError &) {
        co_return true;
    }
    co_return task.isDone();
}

} // namespace Async
