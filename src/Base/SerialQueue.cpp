#include "Base/SerialQueue.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

#include <pthread.h>

// Shared with the worker thread, so that a queue destroyed from its own thread can still drain.
struct SerialQueue::State
{
    QString label;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> pending;
    bool stopping = false;
    std::thread::id workerId;
    std::thread worker;

    void run()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !pending.empty(); });
                if (pending.empty()) {
                    return; // stopping, and everything queued has run
                }
                work = std::move(pending.front());
                pending.pop_front();
            }
            try {
                work();
            } catch (const std::exception &error) {
                qWarning("SerialQueue %s: work threw: %s", qUtf8Printable(label), error.what());
            } catch (...) {
                qWarning("SerialQueue %s: work threw", qUtf8Printable(label));
            }
        }
    }
};

SerialQueue::SerialQueue(const QString &label)
    : m_state(std::make_shared<State>())
{
    m_state->label = label;
    std::promise<void> started;
    auto startedFuture = started.get_future();
    m_state->worker = std::thread([state = m_state, &started] {
        state->workerId = std::this_thread::get_id();
        // Thread names are limited to 15 bytes; the end of a reverse-DNS label says the most.
        const QByteArray name = state->label.toUtf8().right(15);
        pthread_setname_np(pthread_self(), name.constData());
        started.set_value();
        state->run();
    });
    startedFuture.wait();
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_one();
    if (isCurrent()) {
        // Joining would wait for ourselves; the thread drains and ends on its own.
        m_state->worker.detach();
    } else {
        m_state->worker.join();
    }
}

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->pending.push_back(std::move(work));
    }
    m_state->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()> &work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    auto doneFuture = done.get_future();
    async([&work, &done] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    doneFuture.get();
}

bool SerialQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_state->workerId;
}

QString SerialQueue::label() const
{
    return m_state->label;
}
