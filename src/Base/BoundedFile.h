#pragma once

#include <QByteArray>
#include <QString>

// The one way the application reads the files it keeps (settings, history, queues, reports,
// caches), whatever is found in their place.
//
// Only a regular file is read, through a link as well, and only up to a bound the caller sets
// for the kind of file. Anything else at the path (a folder, a device such as /dev/zero, a pipe,
// a socket, a dangling link), a file larger than the bound, and a file that cannot be opened or
// read all count as unreadable: nothing of it is read, and a pipe or a device is never even
// opened, so no read can block or run without end. Callers treat unreadable as they treat a
// broken file: keep it aside, never write over it. Safe to use from any thread.
class BoundedFile
{
public:
    enum class Status {
        read,
        // Nothing at the path, not even a link.
        missing,
        unreadable,
    };

    struct Result
    {
        Status status = Status::missing;
        QByteArray bytes;
        // The file's size, also when only its tail was read.
        qint64 fileSize = 0;
        // Why it is unreadable, for the log.
        QString error;

        bool isRead() const { return status == Status::read; }
    };

    // The whole file, when it holds at most `limit` bytes.
    static Result read(const QString &path, qint64 limit);
    // At most the first `limit` bytes of a larger file; the whole of a smaller one.
    static Result readHead(const QString &path, qint64 limit);
    // At most the last `limit` bytes of a larger file; the whole of a smaller one.
    static Result readTail(const QString &path, qint64 limit);
};
