#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>

// Awaiting it suspends the coroutine and resumes it from the application's event loop on its next
// turn. A task started by a synchronous operation begins with it when the operation must finish
// its own steps before the task's first step runs.
struct NextTurn
{
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const
    {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
    }
    void await_resume() const noexcept { }
};
