#include "Base/CancellationToken.h"

#include "Base/CancelledError.h"

#include <utility>

struct CancellationToken::State
{
    std::mutex mutex;
    bool cancelled = false;
    CallbackId nextId = 1;
    std::vector<std::pair<CallbackId, std::function<void()>>> callbacks;
};

CancellationToken::CancellationToken()
    : m_state(std::make_shared<State>())
{ }

void CancellationToken::cancel() const
{
    std::vector<std::pair<CallbackId, std::function<void()>>> callbacks;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->cancelled) {
            return;
        }
        m_state->cancelled = true;
        callbacks.swap(m_state->callbacks);
    }
    for (auto &entry : callbacks) {
        entry.second();
    }
}

bool CancellationToken::isCancelled() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->cancelled;
}

void CancellationToken::throwIfCancelled() const
{
    if (isCancelled()) {
        throw CancelledError();
    }
}

CancellationToken::CallbackId CancellationToken::onCancel(std::function<void()> callback) const
{
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->cancelled) {
            const CallbackId id = m_state->nextId++;
            m_state->callbacks.emplace_back(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void CancellationToken::removeCallback(CallbackId id) const
{
    std::lock_guard lock(m_state->mutex);
    std::erase_if(m_state->callbacks, [id](const auto &entry) { return entry.first == id; });
}

CancellationToken CancellationToken::child() const
{
    CancellationToken child;
    // The parent holds the child's state only weakly, so a finished child does not live on.
    std::weak_ptr<State> weakChild = child.m_state;
    onCancel([weakChild] {
        if (auto state = weakChild.lock()) {
            CancellationToken token;
            token.m_state = std::move(state);
            token.cancel();
        }
    });
    return child;
}
