#include "Core/NetTrace.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

namespace {

using Nanos = std::optional<std::chrono::nanoseconds>;

QString gap(const Nanos &start, const Nanos &end)
{
    if (!start || !end) {
        return QStringLiteral("-");
    }
    // Whole milliseconds, truncated toward zero.
    return QString::number((*end - *start).count() / 1'000'000);
}

// The transactions of one reply as its signals arrive.
struct Observation
{
    QList<NetTrace::TransactionMetrics> done;
    NetTrace::TransactionMetrics current;
    std::chrono::nanoseconds currentBegan {};
    bool currentSeen = false; // the transaction reached the network

    void begin(std::chrono::nanoseconds now)
    {
        current = {};
        current.reusedConnection = true; // until a connection is opened for it
        currentBegan = now;
        currentSeen = false;
    }

    void end(std::chrono::nanoseconds now, QNetworkReply *reply)
    {
        if (!currentSeen) {
            return;
        }
        if (!current.responseEnd && current.responseStart) {
            current.responseEnd = now;
        }
        if (current.responseStart) {
            const bool http2 = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
            current.networkProtocolName = http2 ? QStringLiteral("h2") : QStringLiteral("http/1.1");
        }
        done << current;
    }
};

} // namespace

NetTrace::NetTrace(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
{ }

void NetTrace::observe(QNetworkReply *reply)
{
    auto observation = std::make_shared<Observation>();
    observation->begin(m_clock.uptime());

    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this, observation] {
        TransactionMetrics &current = observation->current;
        observation->currentSeen = true;
        current.reusedConnection = false;
        if (!current.connectStart) {
            current.connectStart = m_clock.uptime();
        }
    });
    connect(reply, &QNetworkReply::encrypted, this, [this, observation] {
        TransactionMetrics &current = observation->current;
        observation->currentSeen = true;
        current.secureConnectionEnd = m_clock.uptime();
        // The request is written as soon as the handshake is done.
        if (!current.reusedConnection) {
            current.requestStart = current.secureConnectionEnd;
        }
    });
    connect(reply, &QNetworkReply::requestSent, this, [this, observation] {
        TransactionMetrics &current = observation->current;
        observation->currentSeen = true;
        current.requestEnd = m_clock.uptime();
        // On a reused connection the request goes out when it is made; on a new plain connection
        // the moment the connect ended is unknown, and so is the start of the send.
        if (current.reusedConnection) {
            current.requestStart = observation->currentBegan;
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, observation] {
        TransactionMetrics &current = observation->current;
        observation->currentSeen = true;
        if (!current.responseStart) {
            current.responseStart = m_clock.uptime();
        }
    });
    connect(reply, &QNetworkReply::redirected, this, [this, observation, reply] {
        const auto now = m_clock.uptime();
        observation->end(now, reply);
        observation->begin(now);
    });
    connect(reply, &QNetworkReply::finished, this, [this, observation, reply] {
        observation->end(m_clock.uptime(), reply);
        didFinishCollecting(TaskMetrics {observation->done});
    });
}

void NetTrace::didFinishCollecting(const TaskMetrics &metrics)
{
    if (metrics.transactionMetrics.isEmpty()) {
        return;
    }
    const QString text = summary(metrics.transactionMetrics.last());
    std::lock_guard guard(m_lock);
    m_collected = text;
}

std::optional<QString> NetTrace::collected() const
{
    std::lock_guard guard(m_lock);
    return m_collected;
}

QString NetTrace::summary(const TransactionMetrics &t)
{
    return QStringLiteral("net[reuse=") + (t.reusedConnection ? QLatin1Char('1') : QLatin1Char('0'))
        + QStringLiteral(" dns=") + gap(t.domainLookupStart, t.domainLookupEnd)
        + QStringLiteral(" tcp=") + gap(t.connectStart, t.connectEnd) + QStringLiteral(" tls=")
        + gap(t.secureConnectionStart, t.secureConnectionEnd) + QStringLiteral(" send=")
        + gap(t.requestStart, t.requestEnd) + QStringLiteral(" wait=")
        + gap(t.requestEnd, t.responseStart) + QStringLiteral(" recv=")
        + gap(t.responseStart, t.responseEnd) + QLatin1Char(' ')
        + t.networkProtocolName.value_or(QStringLiteral("?")) + QLatin1Char(']');
}
