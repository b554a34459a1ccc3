#include "Base/AsyncMutex.h"

#include "Base/CancelledError.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <utility>

struct AsyncMutex::Waiter
{
    std::coroutine_handle<> handle;
    CancellationToken token;
    CancellationToken::CallbackId callbackId = 0;
    bool granted = false;
    // Resumed, or about to be: neither a hand-over nor a cancellation may touch it again.
    bool settled = false;
};

struct AsyncMutex::State
{
    bool locked = false;
    std::deque<std::shared_ptr<Waiter>> queue;
};

namespace {

// Runs `work` on the main thread's event loop, after whatever runs now.
template<typename F>
void later(F work)
{
    QObject *context = QCoreApplication::instance();
    if (!context) {
        work();
        return;
    }
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace

AsyncMutex::AsyncMutex()
    : m_state(std::make_shared<State>())
{ }

AsyncMutex::~AsyncMutex() = default;

AsyncMutex::Awaiter AsyncMutex::lock(CancellationToken token)
{
    return Awaiter(m_state, std::move(token));
}

bool AsyncMutex::isLocked() const
{
    return m_state->locked;
}

int AsyncMutex::waiting() const
{
    return int(m_state->queue.size());
}

AsyncMutex::Awaiter::Awaiter(std::shared_ptr<State> state, CancellationToken token)
    : m_state(std::move(state))
    , m_waiter(std::make_shared<Waiter>())
{
    m_waiter->token = std::move(token);
}

bool AsyncMutex::Awaiter::await_ready()
{
    if (m_waiter->token.isCancelled()) {
        return true;
    }
    if (!m_state->locked) {
        m_state->locked = true;
        m_waiter->granted = true;
        m_waiter->settled = true;
        return true;
    }
    return false;
}

void AsyncMutex::Awaiter::await_suspend(std::coroutine_handle<> handle)
{
    m_waiter->handle = handle;
    m_state->queue.push_back(m_waiter);
    std::weak_ptr<Waiter> weakWaiter = m_waiter;
    std::weak_ptr<State> weakState = m_state;
    m_waiter->callbackId = m_waiter->token.onCancel([weakWaiter, weakState] {
        // The token may be cancelled on any thread; the queue is only touched on the main one.
        later([weakWaiter, weakState] {
            auto waiter = weakWaiter.lock();
            auto state = weakState.lock();
            if (!waiter || !state || waiter->settled) {
                return;
            }
            waiter->settled = true;
            std::erase(state->queue, waiter);
            waiter->handle.resume();
        });
    });
}

AsyncMutex::Guard AsyncMutex::Awaiter::await_resume()
{
    m_waiter->token.removeCallback(m_waiter->callbackId);
    if (!m_waiter->granted) {
        throw CancelledError();
    }
    return Guard(m_state);
}

AsyncMutex::Guard &AsyncMutex::Guard::operator=(Guard &&other) noexcept
{
    if (this != &other) {
        release();
        m_state = std::move(other.m_state);
    }
    return *this;
}

AsyncMutex::Guard::~Guard()
{
    release();
}

void AsyncMutex::Guard::release()
{
    const std::shared_ptr<State> state = std::exchange(m_state, nullptr);
    if (!state) {
        return;
    }
    while (!state->queue.empty()) {
        std::shared_ptr<Waiter> next = state->queue.front();
        state->queue.pop_front();
        if (next->settled) {
            continue;
        }
        // The lock stays taken: it belongs to the next waiter from now on.
        next->granted = true;
        next->settled = true;
        later([next] { next->handle.resume(); });
        return;
    }
    state->locked = false;
}
