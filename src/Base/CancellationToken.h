#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Cooperative cancellation shared by a task and whoever may cancel it. Copies share one state.
// cancel() may be called from any thread; callbacks run on the cancelling thread, once, outside
// the token's lock. A child token is cancelled with its parent (and may be cancelled alone).
class CancellationToken
{
public:
    using CallbackId = std::uint64_t;

    CancellationToken();

    void cancel() const;
    bool isCancelled() const;
    // Throws CancelledError when cancelled.
    void throwIfCancelled() const;

    // Runs `callback` when the token is cancelled, or at once when it already is. Returns an id
    // for removeCallback (0 when it ran at once).
    CallbackId onCancel(std::function<void()> callback) const;
    void removeCallback(CallbackId id) const;

    CancellationToken child() const;

    bool operator==(const CancellationToken &other) const { return m_state == other.m_state; }

private:
    struct State;
    std::shared_ptr<State> m_state;
};
