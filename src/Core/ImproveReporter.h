#pragma once

#include "Core/Services/UsageReporting.h"
#include "Core/UsageEventQueue.h"

#include <QByteArray>
#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class CloudSession;
class Timer;
class UserDefaults;

// Collects small records of how the application is used in a queue file, "improve-queue.jsonl"
// in the application's data folder, one compact JSON object per line ({"t": seconds since 1970,
// "n": event name, "p": flat properties}), and uploads them to "/api/improve" in batches of at
// most 200; sends one-off dictation samples to "/api/improve/sample" for a signed-in user. All of
// it only while the user shares usage data (the user default "improveDataSharing"); switching it
// off empties the queue.
//
// Threads: record(), sample(), flushNow() and clearQueue() may be called from any thread and
// return at once (except flushNow(true), which waits at most two seconds). The queue file, the
// line count and the upload state are touched only on the reporter's own serial queue, so appends,
// flushes, rewrites and deletions never overlap. Requests are built and performed on the thread of
// the cloud session (the main thread), where the token provider is called; the reply's handling
// hops back to the serial queue. The exception is the quit flush: the thread that waits builds and
// awaits the request itself, because at quit the main thread is the one waiting.
//
// Every failure is silent: a lost event costs nothing worth a log line or a message.
class ImproveReporter final
    : public UsageReporting
    , public UsageEventQueue
{
public:
    // Events per upload; a record that leaves this many lines in the file starts a flush at once.
    static constexpr int batchSize = 200;
    // Events older than this are never sent.
    static constexpr std::chrono::seconds maxAge {7 * 24 * 3600};
    // Events stamped further ahead than this come from a clock gone wrong (or are not events at
    // all): they are dropped rather than kept until that time.
    static constexpr std::chrono::seconds maxFutureSkew {24 * 3600};
    // The periodic flush: first soon after launch, then four times an hour, with room for the
    // system to coalesce the wake-ups.
    static constexpr std::chrono::seconds firstFlushDelay {60};
    static constexpr std::chrono::seconds flushInterval {900};
    static constexpr std::chrono::seconds flushLeeway {60};
    // After a failed upload the next flush of a full batch or of the timer waits this long, twice
    // as long after each further failure, up to the timer's period; a delivered upload ends the
    // wait. A service that fails must not be sent the same batch again at every new event.
    static constexpr std::chrono::seconds firstRetryDelay {60};
    // The quit flush never holds the end of the process longer than this.
    static constexpr std::chrono::milliseconds quitFlushLimit {2000};
    // Uploads and samples wait this long for the service.
    static constexpr std::chrono::milliseconds requestTimeout {20000};
    // Texts of an event are cut to this many characters; a sample keeps them whole.
    static constexpr int maxTextLength = 256;
    // The file never grows past this, however long the service stays out of reach: the oldest
    // lines make room (they would be the first to age out anyway). Thousands of events a week fit.
    static constexpr qint64 maxFileBytes = 8 * 1024 * 1024;

    using TokenProvider = std::function<std::optional<QString>()>;

    struct Services
    {
        // Where uploads and samples go; its thread builds and performs them.
        CloudSession *session = nullptr;
        // Holds "improveDataSharing" and the installation's identifier. Any thread.
        UserDefaults *defaults = nullptr;
        // Stamps events and runs the periodic flush.
        Clock *clock = nullptr;
        // The queue file; made in the folder of the queue file path, which is created now.
        QString filePath;
    };

    explicit ImproveReporter(Services services);
    // Waits for the file work already queued; an upload still under way is abandoned.
    ~ImproveReporter() override;
    ImproveReporter(const ImproveReporter &) = delete;
    ImproveReporter &operator=(const ImproveReporter &) = delete;

    // The process-wide reporter on the shared cloud session, the standard user defaults and the
    // system clock, made at first use (on the main thread) and never released.
    static ImproveReporter &shared();
    // "<application data folder>/improve-queue.jsonl".
    static QString defaultFilePath();

    // Supplies the bearer token of uploads and samples; no value when signed out (uploads then go
    // without it, samples not at all). Called on the thread that builds the request.
    void setTokenProvider(TokenProvider provider);

    // Arms the periodic flush on the calling thread's event loop, flushes when the application
    // quits (waiting up to two seconds), and empties the queue when sharing is off. Once, at
    // launch, on the main thread.
    void start();

    // Queues one event stamped now; its properties are sanitised on the calling thread.
    void record(const QString &event, const QVariantMap &properties) override;
    void sample(const QVariantMap &properties) override;
    // Runs one flush. With `sync` the caller waits until it has finished, at most two seconds.
    void flushNow(bool sync);
    void clearQueue() override;

    QString filePath() const;
    // For tests and benchmarks: waits until the file work queued so far has run; whether an
    // upload is waiting for its answer.
    void waitForQueuedWork();
    bool uploadInFlight() const;

    // The properties as they go out: texts (in events cut to `maxTextLength` characters),
    // booleans, integers and finite numbers are kept; every other entry is dropped.
    static QVariantMap sanitized(const QVariantMap &properties, bool shortenTexts);

private:
    struct Worker;

    // `whenDue`: a flush of the timer or of a full batch, which waits out the pause after a
    // failed upload; an explicit flush does not.
    void flush(QDateTime now, bool whenDue, std::function<void()> completion);
    void flushFromWaitingThread();

    Services m_services;
    std::shared_ptr<Worker> m_worker;
    std::unique_ptr<Timer> m_timer;
};
