#pragma once

#include "Base/CancellationToken.h"

#include <coroutine>
#include <deque>
#include <memory>

// Mutual exclusion for coroutines on the main thread: lock() suspends the caller until the lock is
// free, hands it over in the order the callers came, and never blocks the thread. A waiter whose
// token is cancelled leaves the queue and gets CancelledError instead of the lock.
//
// The lock passes to the next waiter through the event loop, never inside the Guard's destructor:
// the coroutine giving it up finishes its own step before the next one starts. Main thread only
// (cancel() may come from any thread).
class AsyncMutex
{
    struct State;
    struct Waiter;

public:
    // Holds the lock; gives it up when destroyed.
    class Guard
    {
    public:
        Guard() = default;
        Guard(Guard &&other) noexcept = default;
        Guard &operator=(Guard &&other) noexcept;
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;
        ~Guard();

        bool ownsLock() const { return m_state != nullptr; }

    private:
        friend class AsyncMutex;
        explicit Guard(std::shared_ptr<State> state)
            : m_state(std::move(state))
        { }
        void release();

        std::shared_ptr<State> m_state;
    };

    class Awaiter
    {
    public:
        Awaiter(std::shared_ptr<State> state, CancellationToken token);
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle);
        Guard await_resume();

    private:
        std::shared_ptr<State> m_state;
        std::shared_ptr<Waiter> m_waiter;
    };

    AsyncMutex();
    ~AsyncMutex();
    AsyncMutex(const AsyncMutex &) = delete;
    AsyncMutex &operator=(const AsyncMutex &) = delete;

    // Suspends until the lock is ours. Throws CancelledError when `token` is (or becomes)
    // cancelled before that.
    Awaiter lock(CancellationToken token = CancellationToken());

    bool isLocked() const;
    // How many callers wait for the lock.
    int waiting() const;

private:
    std::shared_ptr<State> m_state;
};
