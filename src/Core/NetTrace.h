#pragma once

#include "Base/Clock.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

class QNetworkReply;

// Connection timing of one HTTP request, as a one-line summary beginning "net[reuse=" that the
// cloud clients put into their session-timeline marks.
//
// Qt's network layer reports no transfer metrics of its own, so the collector gathers what the
// reply's signals reveal: whether a new connection was opened (no "connecting" signal means the
// request went out on a reused one), when the TLS handshake finished, when the request was sent,
// when the response's headers and its end arrived, and the protocol. Name lookup, the TCP
// connect and the start of the TLS handshake are not visible; the summary shows "-" for them.
class NetTrace : public QObject
{
    Q_OBJECT

public:
    // One request-response exchange (one per redirect hop). Times are monotonic clock readings;
    // an absent time was not observed.
    struct TransactionMetrics
    {
        bool reusedConnection = false;
        std::optional<std::chrono::nanoseconds> domainLookupStart;
        std::optional<std::chrono::nanoseconds> domainLookupEnd;
        std::optional<std::chrono::nanoseconds> connectStart;
        std::optional<std::chrono::nanoseconds> connectEnd;
        std::optional<std::chrono::nanoseconds> secureConnectionStart;
        std::optional<std::chrono::nanoseconds> secureConnectionEnd;
        std::optional<std::chrono::nanoseconds> requestStart;
        std::optional<std::chrono::nanoseconds> requestEnd;
        std::optional<std::chrono::nanoseconds> responseStart;
        std::optional<std::chrono::nanoseconds> responseEnd;
        // "http/1.1", "h2"; absent when no response told.
        std::optional<QString> networkProtocolName;
    };

    struct TaskMetrics
    {
        // Oldest first; the last one produced the final response.
        QList<TransactionMetrics> transactionMetrics;
    };

    // The clock must outlive the collector.
    explicit NetTrace(Clock &clock = Clock::system(), QObject *parent = nullptr);

    // Follows the reply until it finishes, then delivers its metrics to didFinishCollecting. Call
    // it right after sending the request and before awaiting the reply, so the summary is ready
    // when the caller resumes. The reply's thread.
    void observe(QNetworkReply *reply);

    // Builds the summary of the last transaction and keeps it; with no transaction, nothing.
    void didFinishCollecting(const TaskMetrics &metrics);

    // The summary once the metrics have arrived. Any thread.
    std::optional<QString> collected() const;

    // "net[reuse=1 dns=- tcp=- tls=- send=0 wait=120 recv=3 h2]".
    static QString summary(const TransactionMetrics &transaction);

private:
    Clock &m_clock;
    mutable std::mutex m_lock;
    std::optional<QString> m_collected;
};
