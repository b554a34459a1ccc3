#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <mutex>

class Clock;

// The process's own log messages, kept in memory: the newest `capacity` Qt messages (qDebug,
// qInfo, qWarning, qCritical and their categorised forms, from our code and from Qt), each with
// the time it was written and its logging category.
//
// Installed as the process's Qt message handler, the ring records every message and then hands it
// to the handler that was in place before, so the messages still reach the terminal or the
// journal as they did. One ring is installed at a time.
//
// Thread-safe: messages arrive from any thread, and readers may read from any thread.
class ProcessLogRing
{
public:
    struct Entry
    {
        QDateTime time; // UTC, when the message was written
        QString category; // the logging category; "default" for plain qDebug() and the like
        QString message;
    };

    // How many messages the shared ring keeps.
    static constexpr qsizetype defaultCapacity = 10000;
    // A longer message is kept with its first this-many code units and a trailing "…".
    static constexpr qsizetype maxMessageLength = 8192;

    // The clock stamps each message; it must outlive the ring and be safe to read from every
    // thread that logs.
    explicit ProcessLogRing(qsizetype capacity = defaultCapacity, Clock *clock = nullptr);
    // Uninstalls the ring when it is installed.
    ~ProcessLogRing();
    ProcessLogRing(const ProcessLogRing &) = delete;
    ProcessLogRing &operator=(const ProcessLogRing &) = delete;

    // The process-wide ring on the system clock; never destroyed, so a message written while
    // the process ends still finds it.
    static ProcessLogRing &shared();

    // Makes this ring the process's message handler, chaining to the handler in place. Does
    // nothing when this ring is already installed; another installed ring steps aside (it keeps
    // its messages but records no more). Call early in main(), before other threads start.
    void install();
    // Puts back the handler that was in place when this ring was installed. Only safe while no
    // other thread is logging; tests use it, the shared ring stays installed for good.
    void uninstall();
    bool isInstalled() const;

    // Keeps one message; the handler calls it, tests may call it directly.
    void record(const QString &category, const QString &message);

    // The kept messages written at or after `since`, oldest first, at most `limit` of them (the
    // oldest ones when there are more).
    QList<Entry> entriesSince(const QDateTime &since, qsizetype limit) const;
    // Every kept message, oldest first.
    QList<Entry> entries() const;
    qsizetype capacity() const { return m_capacity; }

private:
    static void handleMessage(QtMsgType type, const QMessageLogContext &context,
                              const QString &message);

    const qsizetype m_capacity;
    Clock *m_clock;
    mutable std::mutex m_mutex;
    std::deque<Entry> m_entries;
    // The handler in place before the ring was installed; guarded by the install lock.
    QtMessageHandler m_previousHandler = nullptr;
};
