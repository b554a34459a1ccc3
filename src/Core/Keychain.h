#pragma once

#include "Platform/KeychainBackend.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class Clock;
class Timer;

// Short secret strings of the application (the cloud account's token and details) in the user's
// secret store, one item per key.
//
// Reads never wait for the store: load() reads the known items once at launch into a cache, and
// get() answers from it. set() and remove() change the cache at once and write through to the
// store in the background, one job after the other in call order. Every job has a time-out; one
// that runs out counts as failed (a read as absent) and the next job starts. No operation reports
// an error to its caller: a failed read is an absent item, and a failed write or removal is
// logged, naming the key, never the value.
//
// Without a reachable secret store the items live in memory for the session, and the log says so.
// Nothing is ever written in plain text.
//
// get(), set() and remove() may be called from any thread; load() and the store's jobs run on the
// thread the object lives on (the main thread).
class Keychain : public QObject
{
    Q_OBJECT

public:
    // How long the store gets to answer one job.
    static constexpr std::chrono::seconds defaultTimeout {5};
    // The items the application keeps, read by load().
    static const QStringList knownKeys;

    // `backend` null: no secret store, the items live in memory. The backend and the clock must
    // outlive the object.
    Keychain(KeychainBackend *backend, Clock &clock,
             std::chrono::nanoseconds timeout = defaultTimeout, QObject *parent = nullptr);
    ~Keychain() override;

    // The process-wide keychain on the desktop's secret store, made at first use on the main
    // thread.
    static Keychain &shared();
    // Puts a test's own object in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(Keychain *keychain);

    // Reads the given items into the cache; finishes when each has answered or timed out. Items
    // assigned meanwhile keep the assigned value. Called once, at launch.
    QCoro::Task<> load(QStringList keys = knownKeys);
    bool isLoaded() const;

    // The cached string, or absent. An empty string is a present value.
    std::optional<QString> get(const QString &key) const;
    // Stores the value; an absent value removes the item.
    void set(const std::optional<QString> &value, const QString &key);
    void remove(const QString &key);

    // Whether the items are kept in memory only, for want of a secret store.
    bool isMemoryOnly() const;

    // Finishes when every job of the store has ended (answered or timed out), so that nothing
    // assigned is lost when the process quits right after an assignment.
    QCoro::Task<> waitForPendingJobs();

Q_SIGNALS:
    // load() has finished.
    void loaded();
    // The last job of the store has ended.
    void jobsDrained();

private:
    enum class JobKind { read, write, remove };
    struct Job
    {
        JobKind kind;
        QString key;
        QString value;
        // The key's generation when the job was queued: a read that answers after a newer
        // assignment is dropped.
        quint64 generation = 0;
        bool partOfLoad = false;
    };

    void enqueue(Job job);
    void pump();
    void start(const Job &job);
    void finish(quint64 jobNumber, const KeychainBackend::Reply &reply);
    void timeOut(quint64 jobNumber);
    void settle(const Job &job);
    void finishLoad();
    void goMemoryOnly(const QString &reason);
    void writeThrough(JobKind kind, const QString &key, const QString &value);

    KeychainBackend *m_backend;
    std::chrono::nanoseconds m_timeout;
    std::unique_ptr<Timer> m_timer;

    // Owner thread only.
    QQueue<Job> m_queue;
    std::optional<Job> m_current;
    quint64 m_jobNumber = 0;
    bool m_pumping = false;
    bool m_availabilityChecked = false;
    int m_pendingLoadReads = 0;
    bool m_loading = false;

    mutable std::mutex m_mutex;
    QHash<QString, QString> m_cache;
    QHash<QString, quint64> m_generations;
    bool m_memoryOnly = false;
    bool m_loaded = false;
};
