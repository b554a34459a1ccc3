#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// What came back for one CloudRequest: either a transfer error (no complete answer), or the
// answer's HTTP status, headers and body bytes. Clients map the status as their own rules say.
struct CloudReply
{
    // Why no complete answer arrived.
    enum class TransferError {
        none,
        // No byte moved for longer than the request's time-out.
        timedOut,
        // The service could not be reached, refused the connection, or closed it before the
        // answer was complete.
        connectionFailed,
        // The answer was longer than the request allows; it was cut off.
        tooLarge,
        // The request was aborted: its work was cancelled, or the session shut down.
        cancelled,
        // Anything else the network layer reported (TLS, a malformed answer).
        other,
    };

    TransferError error = TransferError::none;
    // The network layer's own words for a transfer error; for logs.
    QString errorText;
    // The HTTP status; absent after a transfer error, or when the answer was not HTTP.
    std::optional<int> status;
    // Names as the service sent them, in order.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    bool failed() const { return error != TransferError::none; }
    // The first header of that name (case-insensitive).
    std::optional<QByteArray> header(const QByteArray &name) const;
    // The service's own timings for the session timeline: "srv[" + the "Server-Timing" header
    // with each ";dur=" written as "=" + "]", or "srv[-]" without one.
    QString serverTimingSummary() const;

    static QString describe(TransferError error);
};
