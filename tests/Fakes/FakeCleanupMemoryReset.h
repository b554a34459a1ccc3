#pragma once

#include "Core/Services/CleanupMemoryResetting.h"
#include "Fakes/ManualGate.h"

#include <memory>

// A reset of the learned data that waits until the test answers it: answer(true) confirms the
// deletion, answer(false) reports a failure. Counts the resets started.
class FakeCleanupMemoryReset : public CleanupMemoryResetting
{
public:
    QCoro::Task<bool> resetMemory() override
    {
        ++calls;
        auto gate = m_gate;
        co_await gate->wait();
        co_return m_answer;
    }

    // Ends every waiting reset with `confirmed`; later resets wait again.
    void answer(bool confirmed)
    {
        m_answer = confirmed;
        auto gate = std::exchange(m_gate, std::make_shared<ManualGate>());
        gate->open();
    }

    bool waiting() const { return m_gate->hasWaiters(); }

    int calls = 0;

private:
    std::shared_ptr<ManualGate> m_gate = std::make_shared<ManualGate>();
    bool m_answer = false;
};
