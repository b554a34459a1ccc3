#include "Core/CloudConfig.h"

#include <QHostAddress>
#include <QtDebug>

namespace CloudConfig {

namespace {

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

QUrl resolveBaseURL(const QByteArray &overrideText)
{
    const QUrl fallback(QString::fromLatin1(defaultBaseURL));
    const QString text = QString::fromUtf8(overrideText).trimmed();
    if (text.isEmpty()) {
        return fallback;
    }
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool isOrigin = url.isValid()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"))
        && !url.host().isEmpty() && url.userInfo().isEmpty() && !url.hasQuery()
        && !url.hasFragment() && (url.path().isEmpty() || url.path() == QLatin1String("/"));
    if (!isOrigin) {
        qWarning().noquote() << "cloud: ignoring" << overrideVariable << "=" << text
                             << "(not an http or https origin); using" << defaultBaseURL;
        return fallback;
    }
    // The bearer token travels with every request: unencrypted only to this very computer.
    if (scheme == QLatin1String("http") && !isLoopback(url.host())) {
        qWarning().noquote() << "cloud: refusing" << overrideVariable << "=" << text
                             << "(plain http is allowed for loopback addresses only); using"
                             << defaultBaseURL;
        return fallback;
    }
    url.setPath(QString());
    return url;
}

QUrl baseURL()
{
    static const QUrl base = resolveBaseURL(qgetenv(overrideVariable));
    return base;
}

QUrl endpoint(const QString &path)
{
    return endpoint(baseURL(), path);
}

QUrl endpoint(const QUrl &base, const QString &path)
{
    QUrl url = base;
    QString joined = url.path();
    while (joined.endsWith(QLatin1Char('/'))) {
        joined.chop(1);
    }
    QString tail = path;
    while (tail.startsWith(QLatin1Char('/'))) {
        tail.remove(0, 1);
    }
    joined += QStringLiteral("/api/") + tail;
    url.setPath(joined);
    return url;
}

} // namespace CloudConfig
