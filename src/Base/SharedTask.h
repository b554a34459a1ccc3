#pragma once

#include <QCoro/QCoroTask>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// A running task whose result several coroutines can await, each getting a copy of the value (or
// the same exception). The wrapped task starts at once; awaiting after it finished returns
// immediately. Waiters resume in the order they started waiting, on the thread that completes
// the task. Empty (default-constructed) shared tasks must not be awaited.
template<typename T = void>
class SharedTask
{
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;

    struct State
    {
        bool done = false;
        std::optional<Stored> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;
    };

public:
    SharedTask() = default;

    explicit SharedTask(QCoro::Task<T> &&task)
        : m_state(std::make_shared<State>())
    {
        drive(std::move(task), m_state);
    }

    bool isValid() const { return m_state != nullptr; }
    bool isDone() const { return m_state && m_state->done; }

    class Awaiter
    {
    public:
        explicit Awaiter(std::shared_ptr<State> state)
            : m_state(std::move(state))
        { }
        bool await_ready() const { return m_state->done; }
        void await_suspend(std::coroutine_handle<> handle) { m_state->waiters.push_back(handle); }
        T await_resume() const
        {
            if (m_state->error) {
                std::rethrow_exception(m_state->error);
            }
            if constexpr (!std::is_void_v<T>) {
                return *m_state->value;
            }
        }

    private:
        std::shared_ptr<State> m_state;
    };

    Awaiter operator co_await() const { return Awaiter(m_state); }

private:
    static QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<State> state)
    {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                state->value = true;
            } else {
                state->value = co_await task;
            }
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
        auto waiters = std::exchange(state->waiters, {});
        for (auto handle : waiters) {
            handle.resume();
        }
    }

    std::shared_ptr<State> m_state;
};
