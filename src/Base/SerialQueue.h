#pragma once

#include <QString>

#include <functional>
#include <memory>

// Runs submitted work one item at a time, in submission order, on one dedicated thread of its own.
//
// async() queues work and returns at once; sync() queues work and waits until it has run (an
// exception it throws reaches the caller). Called from the queue's own thread, sync() runs the work
// at once instead of waiting for itself. An exception escaping async() work is caught and logged
// with the queue's label; the queue goes on.
//
// Destruction drains: work queued before (and by work running during) the destruction still runs,
// then the thread ends. Destroying the queue from its own thread leaves the draining to that
// thread. Safe to use from any thread.
class SerialQueue
{
public:
    explicit SerialQueue(const QString &label);
    ~SerialQueue();

    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    void async(std::function<void()> work);
    void sync(const std::function<void()> &work);

    // True on the queue's own thread, while it runs work.
    bool isCurrent() const;
    QString label() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};
