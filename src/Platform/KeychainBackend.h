#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The user's secret store: string items of this application addressed by a key. Jobs run
// asynchronously on the thread that starts them (the main thread) and end with one call of their
// completion on that thread, or never, when the store does not answer (a keyring that is started
// on demand but locked); callers bound every job with a time-out.
class KeychainBackend
{
public:
    enum class Status {
        success,
        notFound,
        // No secret store is reachable; none will be for the rest of the session.
        noBackend,
        failed,
    };

    struct Reply
    {
        Status status = Status::failed;
        // The item's bytes, for a successful read.
        QByteArray data;
        // What went wrong, for the log; never holds a secret.
        QString error;
    };

    using Completion = std::function<void(const Reply &)>;

    virtual ~KeychainBackend() = default;

    // Whether a secret store can be reached at all; cheap, asked once before the first job.
    virtual bool isAvailable() = 0;
    virtual void read(const QString &key, Completion done) = 0;
    // Creates the item or replaces its value.
    virtual void write(const QString &key, const QString &value, Completion done) = 0;
    // Deleting a missing item ends with notFound.
    virtual void remove(const QString &key, Completion done) = 0;
};
