#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The stream connection to the companion widget host: a local socket that the host listens on.
// Lives on the main thread and never blocks it for long: writes are queued, reads arrive as
// signals.
//
// The peer receives dictated text and can start a recording, so a connection is made only to a
// socket that belongs to the user running this application, served by a process of that user.
class CompanionSocket : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The most bytes one received() hands over.
    static constexpr qsizetype readChunkBytes = 4096;

    // Connects to the socket at `path`. False, with nothing left open, when no socket file is
    // there, when the path does not fit a socket address (it is never shortened to another
    // path), when the file or the listening process belongs to another user, or when nobody
    // accepts. A connection already open is closed first.
    virtual bool connectTo(const QString &path) = 0;

    virtual bool isConnected() const = 0;

    // Queues `bytes` for the host. False when the link is down, when it broke, or when the host
    // has stopped reading and the queue would grow past `maxBacklogBytes`: the link is then
    // closed (the false return stands for closed()), so a stalled host cannot make the
    // application hoard memory.
    virtual bool write(const QByteArray &bytes) = 0;

    // Closes the link without emitting closed().
    virtual void close() = 0;

    static constexpr qsizetype maxBacklogBytes = 1024 * 1024;

Q_SIGNALS:
    // Bytes from the host, at most readChunkBytes at a time, in order.
    void received(const QByteArray &bytes);
    // The host closed the link, or it broke.
    void closed();
};
