#include "Core/CloudSession.h"

#include "Core/CloudConfig.h"
#include "Core/NetTrace.h"
#include "Platform/LowDelayConnections.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <coroutine>
#include <memory>

namespace {

CloudSession *g_override = nullptr;

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Resumes the request's coroutine right inside the reply's finished signal, also when the
// signal comes from an abort in the session's destructor: a resumption posted to the event loop
// would find the reply already gone with its network manager, and the awaiter would never return.
struct Finished
{
    QNetworkReply *reply;

    bool await_ready() const { return reply->isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting) const
    {
        QObject::connect(
            reply, &QNetworkReply::finished, reply, [waiting] { waiting.resume(); },
            Qt::SingleShotConnection);
    }
    void await_resume() const { }
};

// Qt files HTTP error statuses (4xx, 5xx) among its error codes too; those are answers, not
// transfer failures.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

CloudReply::TransferError transferError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::TimeoutError:
        return CloudReply::TransferError::timedOut;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError:
        return CloudReply::TransferError::connectionFailed;
    default:
        return CloudReply::TransferError::other;
    }
}

} // namespace

CloudSession::CloudSession(QUrl baseURL, QObject *parent)
    : QObject(parent)
    , m_baseURL(std::move(baseURL))
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

CloudSession::~CloudSession()
{
    m_shuttingDown = true;
    // Each abort resumes its awaiter, which removes the reply from the set.
    const QSet<QNetworkReply *> running = m_inFlight;
    for (QNetworkReply *reply : running) {
        reply->abort();
    }
}

CloudSession &CloudSession::shared()
{
    if (g_override) {
        return *g_override;
    }
    static CloudSession *instance = new CloudSession(CloudConfig::baseURL());
    return *instance;
}

void CloudSession::overrideSharedForTesting(CloudSession *session)
{
    g_override = session;
}

QUrl CloudSession::endpoint(const QString &path) const
{
    return CloudConfig::endpoint(m_baseURL, path);
}

CloudRequest CloudSession::request(const QString &path) const
{
    CloudRequest request;
    request.url = endpoint(path);
    return request;
}

QNetworkReply *CloudSession::send(const CloudRequest &request)
{
    QNetworkRequest http(request.url);
    // Zero would mean "no time-out" to Qt.
    http.setTransferTimeout(std::max(1, int(request.timeout.count())));
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                      QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[name, value] : request.headers) {
        http.setRawHeader(name, value);
    }
    const QByteArray &method = request.method;
    if (method == "GET" && request.body.isEmpty()) {
        return m_network->get(http);
    }
    if (method == "HEAD") {
        return m_network->head(http);
    }
    if (method == "POST") {
        return m_network->post(http, request.body);
    }
    if (method == "PUT") {
        return m_network->put(http, request.body);
    }
    return m_network->sendCustomRequest(http, method, request.body);
}

QCoro::Task<CloudReply> CloudSession::perform(CloudRequest request)
{
    CloudReply result;
    const auto cancelled = [&request] {
        return request.cancellation && request.cancellation->isCancelled();
    };
    if (m_shuttingDown || cancelled()) {
        result.error = CloudReply::TransferError::cancelled;
        co_return result;
    }

    std::unique_ptr<QNetworkReply, DeleteLater> reply(send(request));
    QNetworkReply *raw = reply.get();
    m_inFlight.insert(raw);
    if (request.trace) {
        request.trace->observe(raw);
    }
    std::optional<CancellationToken::CallbackId> cancelHook;
    if (request.cancellation) {
        cancelHook = request.cancellation->onCancel([target = QPointer(raw)] {
            // Queued, so whoever cancels finishes first (the controller closes the session's
            // timeline) before abort() ends the reply, closes its connection and resumes the
            // client, in the next turn of the event loop.
            if (target) {
                QMetaObject::invokeMethod(target, &QNetworkReply::abort, Qt::QueuedConnection);
            }
        });
    }

    // The body is taken as it arrives, so a reply over the bound is stopped before it is kept.
    auto body = std::make_shared<QByteArray>();
    auto cutOff = std::make_shared<bool>(false);
    const qint64 limit = request.maxReplyBytes;
    const auto overLimit = [raw, cutOff] {
        *cutOff = true;
        // Not from inside the reply's own signal: abort() finishes the reply synchronously.
        QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    connect(raw, &QNetworkReply::metaDataChanged, raw, [raw, limit, cutOff, overLimit] {
        const QVariant length = raw->header(QNetworkRequest::ContentLengthHeader);
        if (!*cutOff && length.isValid() && length.toLongLong() > limit) {
            overLimit();
        }
    });
    connect(raw, &QNetworkReply::readyRead, raw, [raw, body, limit, cutOff, overLimit] {
        if (*cutOff) {
            raw->readAll();
            return;
        }
        const QByteArray chunk = raw->readAll();
        if (body->size() + chunk.size() > limit) {
            body->clear();
            overLimit();
            return;
        }
        body->append(chunk);
    });

    co_await Finished {raw};
    m_inFlight.remove(raw);
    if (m_lowDelay) {
        const bool plain = request.url.scheme() == QLatin1String("http");
        m_lowDelay->apply(quint16(request.url.port(plain ? 80 : 443)));
    }
    if (cancelHook) {
        request.cancellation->removeCallback(*cancelHook);
    }
    // An answer that arrived after the cancel is not wanted either: its client must not act on it.
    if (cancelled()) {
        result.error = CloudReply::TransferError::cancelled;
        result.errorText = QStringLiteral("cancelled");
        co_return result;
    }

    const QNetworkReply::NetworkError error = raw->error();
    if (*cutOff) {
        result.error = CloudReply::TransferError::tooLarge;
        result.errorText = QStringLiteral("more than %1 bytes").arg(limit);
        co_return result;
    }
    if (error != QNetworkReply::NoError && !isHttpStatusError(error)) {
        if (error == QNetworkReply::OperationCanceledError) {
            // Qt ends a transfer that outlived its time-out by cancelling it.
            result.error = m_shuttingDown ? CloudReply::TransferError::cancelled
                                          : CloudReply::TransferError::timedOut;
        } else {
            result.error = transferError(error);
        }
        result.errorText = raw->errorString();
        co_return result;
    }
    const QByteArray rest = raw->readAll();
    if (body->size() + rest.size() > limit) {
        result.error = CloudReply::TransferError::tooLarge;
        result.errorText = QStringLiteral("more than %1 bytes").arg(limit);
        co_return result;
    }
    body->append(rest);

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.status = status.toInt();
    }
    result.headers = raw->rawHeaderPairs();
    result.body = std::move(*body);
    co_return result;
}
