#pragma once

#include <coroutine>
#include <utility>
#include <vector>

// A gate a fake's coroutine waits at until the test opens it. Once open, it lets everyone pass.
class TestGate
{
public:
    bool isOpen() const { return m_open; }
    bool hasWaiters() const { return !m_waiters.empty(); }

    void open()
    {
        m_open = true;
        for (auto handle : std::exchange(m_waiters, {})) {
            handle.resume();
        }
    }

    auto operator co_await()
    {
        struct Awaiter
        {
            TestGate *gate;
            bool await_ready() const noexcept { return gate->m_open; }
            void await_suspend(std::coroutine_handle<> handle)
            {
                gate->m_waiters.push_back(handle);
            }
            void await_resume() const noexcept { }
        };
        return Awaiter {this};
    }

private:
    bool m_open = false;
    std::vector<std::coroutine_handle<>> m_waiters;
};
