#pragma once

#include "Base/Clock.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <mutex>
#include <optional>

// The timeline of one dictation session: named marks stamped with the monotonic clock in
// nanoseconds. Every stage of the session marks it (the controller, the processing task, the
// inserter, the cloud clients, reached through the session's SessionContext), and the controller
// flushes it once when the session ends: a one-line summary of the stage durations always goes to
// the debug log, the whole timeline too when tester mode is on.
//
// Thread-safe: marks may come from any thread. Marking costs one clock read, one lock and one
// append; all text is built at flush time, outside the lock.
class DictationTrace
{
public:
    struct Mark
    {
        QString name;
        quint64 nanos = 0;
        std::optional<QString> detail;

        bool operator==(const Mark &) const = default;
    };

    // Reads the clock into origin() and starts the timeline with "keydown" at that time. The clock
    // must outlive the trace.
    explicit DictationTrace(qint64 id, Clock &clock = Clock::system());

    DictationTrace(const DictationTrace &) = delete;
    DictationTrace &operator=(const DictationTrace &) = delete;

    // Appends a mark stamped now. "keyup" and "insert.cmdV" also remember their time (the latest
    // one counts). A mark on a flushed trace is dropped without a word. Any thread.
    void mark(const QString &name, const std::optional<QString> &detail = std::nullopt);

    // Marks the reason, closes the trace and logs it. Only the first call has an effect. Any
    // thread.
    void flush(const QString &reason);

    qint64 id() const { return m_id; }
    quint64 origin() const { return m_origin; }
    // A copy of the marks so far, in the order they were appended.
    QList<Mark> marks() const;
    bool isFlushed() const;

private:
    quint64 clockNanos() const;

    Clock &m_clock;
    const qint64 m_id;
    const quint64 m_origin;

    mutable std::mutex m_lock;
    QList<Mark> m_marks;
    std::optional<quint64> m_keyUpNanos;
    std::optional<quint64> m_cmdVNanos;
    bool m_flushed = false;
};
