#pragma once

#include "Core/CloudReply.h"
#include "Core/CloudRequest.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

class LowDelayConnections;
class QNetworkAccessManager;
class QNetworkReply;

// The one way to the cloud service: every cloud client builds a CloudRequest and performs it here,
// so that all of them share one connection pool (a warmed-up connection serves the upload that
// follows), one set of defaults and one set of bounds. No other code talks to QtNetwork for the
// service.
//
// The session never follows a redirect (the bearer token must not travel to another address): a
// 3xx answer reaches the client as its status. A reply longer than the request's bound is cut off
// as a transfer error. perform() never throws; the reply says what happened.
//
// Main thread: the network manager lives there, and perform() is awaited by main-thread
// coroutines.
class CloudSession : public QObject
{
    Q_OBJECT

public:
    explicit CloudSession(QUrl baseURL, QObject *parent = nullptr);
    // Aborts the transfers still running; their awaiters resume with a cancelled reply.
    ~CloudSession() override;

    // The process-wide session on CloudConfig's base address, made at first use.
    static CloudSession &shared();
    // Puts a test's own session in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(CloudSession *session);

    QUrl baseURL() const { return m_baseURL; }
    // <base>/api/<path>.
    QUrl endpoint(const QString &path) const;
    // A GET of the endpoint `path` with the default time-out and no header.
    CloudRequest request(const QString &path) const;

    // Sends the request and waits for the whole answer (or the transfer error). A request whose
    // cancellation fires is aborted: its connection is closed and the reply says `cancelled`.
    QCoro::Task<CloudReply> perform(CloudRequest request);

    // Transfers under way; for tests and benchmarks.
    int transfersInFlight() const { return int(m_inFlight.size()); }

    // Switches the delay of small writes off on the connections to the service after each
    // exchange, so that the next request on a kept-alive connection goes out whole: the network
    // layer writes a body in pieces, and the service acknowledges late. Must outlive the session;
    // nullptr: none.
    void setLowDelay(LowDelayConnections *connections) { m_lowDelay = connections; }

private:
    QNetworkReply *send(const CloudRequest &request);

    QUrl m_baseURL;
    QNetworkAccessManager *m_network;
    QSet<QNetworkReply *> m_inFlight;
    LowDelayConnections *m_lowDelay = nullptr;
    bool m_shuttingDown = false;
};
