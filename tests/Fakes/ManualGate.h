#pragma once

#include <coroutine>
#include <exception>
#include <utility>
#include <vector>

// A gate the test opens by hand: coroutines that await wait() stay suspended until open() (or
// fail(), which makes them throw), and are resumed from inside that call. Waiting at an open gate
// passes at once. Single-threaded.
class ManualGate
{
public:
    class Awaiter
    {
    public:
        explicit Awaiter(ManualGate *gate)
            : m_gate(gate)
        { }
        bool await_ready() const noexcept { return m_gate->m_open; }
        void await_suspend(std::coroutine_handle<> handle) { m_gate->m_waiters.push_back(handle); }
        void await_resume() const
        {
            if (m_gate->m_error) {
                std::rethrow_exception(m_gate->m_error);
            }
        }

    private:
        ManualGate *m_gate;
    };

    ManualGate() = default;
    ManualGate(const ManualGate &) = delete;
    ManualGate &operator=(const ManualGate &) = delete;

    // The awaiter refers to the gate (QCoro copies what it is asked to await).
    Awaiter wait() { return Awaiter(this); }

    void open() { release(nullptr); }
    void fail(std::exception_ptr error) { release(std::move(error)); }
    bool hasWaiters() const { return !m_waiters.empty(); }

private:
    void release(std::exception_ptr error)
    {
        m_open = true;
        m_error = std::move(error);
        for (auto handle : std::exchange(m_waiters, {})) {
            handle.resume();
        }
    }

    bool m_open = false;
    std::exception_ptr m_error;
    std::vector<std::coroutine_handle<>> m_waiters;
};
