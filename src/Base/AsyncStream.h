#pragma once

#include "Base/CancelledError.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// An unbounded stream of values from a producer on any thread to one consumer coroutine on the
// main thread. The producer yields values and then finishes, normally or with an error; values
// yielded before the end are all delivered first. The consumer may stop listening at any time
// with cancel(), which drops what is queued and runs the producer's termination handler (once,
// also for a normal end), so the producer can stop its work.
//
//     AsyncStream<EngineUpdate> stream;
//     producerThread: stream.yield(update); ... stream.finish();
//     consumer: while (auto update = co_await stream.next()) { ... }   // rethrows a failure
template<typename T>
class AsyncStream
{
    struct State
    {
        std::mutex mutex;
        std::deque<T> queue;
        bool finished = false;
        bool cancelled = false;
        std::exception_ptr error;
        std::coroutine_handle<> waiter;
        bool wakePosted = false;
        std::function<void()> onTermination;
    };

public:
    AsyncStream()
        : m_state(std::make_shared<State>())
    { }

    // Producer side. Calls after the end are ignored (returns false).
    bool yield(T value) const
    {
        std::unique_lock lock(m_state->mutex);
        if (m_state->finished || m_state->cancelled) {
            return false;
        }
        m_state->queue.push_back(std::move(value));
        wakeLocked(lock);
        return true;
    }

    void finish(std::exception_ptr error = nullptr) const
    {
        std::function<void()> termination;
        {
            std::unique_lock lock(m_state->mutex);
            if (m_state->finished || m_state->cancelled) {
                return;
            }
            m_state->finished = true;
            m_state->error = std::move(error);
            termination = std::exchange(m_state->onTermination, {});
            wakeLocked(lock);
        }
        if (termination) {
            termination();
        }
    }

    // Set by the producer before it starts; runs once, on the thread that ends the stream.
    void setOnTermination(std::function<void()> handler) const
    {
        std::lock_guard lock(m_state->mutex);
        m_state->onTermination = std::move(handler);
    }

    bool isFinished() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->finished || m_state->cancelled;
    }

    // Consumer side: stop listening. A pending next() ends with CancelledError.
    void cancel() const
    {
        std::function<void()> termination;
        {
            std::unique_lock lock(m_state->mutex);
            if (m_state->cancelled) {
                return;
            }
            m_state->cancelled = true;
            m_state->queue.clear();
            termination = std::exchange(m_state->onTermination, {});
            wakeLocked(lock);
        }
        if (termination) {
            termination();
        }
    }

    class NextAwaiter
    {
    public:
        explicit NextAwaiter(std::shared_ptr<State> state)
            : m_state(std::move(state))
        { }

        bool await_ready() const
        {
            std::lock_guard lock(m_state->mutex);
            return !m_state->queue.empty() || m_state->finished || m_state->cancelled;
        }

        bool await_suspend(std::coroutine_handle<> handle)
        {
            std::lock_guard lock(m_state->mutex);
            if (!m_state->queue.empty() || m_state->finished || m_state->cancelled) {
                return false;
            }
            Q_ASSERT_X(!m_state->waiter, "AsyncStream", "only one consumer may wait at a time");
            m_state->waiter = handle;
            return true;
        }

        // The next value, or nothing at the normal end; rethrows the producer's error.
        std::optional<T> await_resume()
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->cancelled) {
                throw CancelledError();
            }
            if (!m_state->queue.empty()) {
                T value = std::move(m_state->queue.front());
                m_state->queue.pop_front();
                return value;
            }
            if (m_state->error) {
                std::rethrow_exception(m_state->error);
            }
            return std::nullopt;
        }

    private:
        std::shared_ptr<State> m_state;
    };

    NextAwaiter next() const { return NextAwaiter(m_state); }

private:
    // Resumes the waiting consumer from the main thread's event loop, never from inside the
    // producer's call, so a producer holding its own locks cannot be re-entered.
    void wakeLocked(std::unique_lock<std::mutex> &) const
    {
        if (!m_state->waiter || m_state->wakePosted) {
            return;
        }
        m_state->wakePosted = true;
        std::weak_ptr<State> weak = m_state;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak] {
                auto state = weak.lock();
                if (!state) {
                    return;
                }
                std::coroutine_handle<> handle;
                {
                    std::lock_guard lock(state->mutex);
                    state->wakePosted = false;
                    handle = std::exchange(state->waiter, {});
                }
                if (handle) {
                    handle.resume();
                }
            },
            Qt::QueuedConnection);
    }

    std::shared_ptr<State> m_state;
};
