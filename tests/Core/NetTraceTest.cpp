#include "Core/NetTrace.h"

#include "Base/ManualClock.h"
#include "Base/Timer.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using namespace std::chrono_literals;

namespace {

TEST(NetTraceTest, SummaryOfTheLastTransaction)
{
    NetTrace::TransactionMetrics redirect;
    redirect.reusedConnection = false;
    redirect.networkProtocolName = QStringLiteral("http/1.1");

    NetTrace::TransactionMetrics fresh;
    fresh.domainLookupStart = 1000ms;
    fresh.domainLookupEnd = 1012ms + 900us; // truncated: 12
    fresh.connectStart = 1013ms;
    fresh.connectEnd = 1040ms;
    fresh.secureConnectionStart = 1020ms;
    fresh.secureConnectionEnd = 1040ms;
    fresh.requestStart = 1041ms;
    fresh.requestEnd = 1041ms + 999us; // 0
    fresh.responseStart = 1300ms;
    fresh.responseEnd = 1305ms;
    fresh.networkProtocolName = QStringLiteral("h2");

    NetTrace trace;
    trace.didFinishCollecting({{redirect, fresh}});
    EXPECT_EQ(trace.collected(),
              QStringLiteral("net[reuse=0 dns=12 tcp=27 tls=20 send=0 wait=258 recv=5 h2]"));
}

TEST(NetTraceTest, MissingTimesAndProtocol)
{
    NetTrace::TransactionMetrics reused;
    reused.reusedConnection = true;
    reused.requestStart = 5ms;
    reused.requestEnd = 6ms;
    reused.responseStart = 100ms;
    EXPECT_EQ(NetTrace::summary(reused),
              QStringLiteral("net[reuse=1 dns=- tcp=- tls=- send=1 wait=94 recv=- ?]"));
    EXPECT_EQ(NetTrace::summary({}),
              QStringLiteral("net[reuse=0 dns=- tcp=- tls=- send=- wait=- recv=- ?]"));
}

TEST(NetTraceTest, NoTransactionLeavesNothing)
{
    NetTrace trace;
    trace.didFinishCollecting({});
    EXPECT_FALSE(trace.collected().has_value());
}

// A keep-alive HTTP/1.1 server on the loopback interface: "/redirect" answers 302 to "/final",
// everything else 200 "ok".
class LoopbackServer : public QObject
{
public:
    LoopbackServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer] {
                    *buffer += socket->readAll();
                    qsizetype end;
                    while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                        const QByteArray head = buffer->left(end);
                        buffer->remove(0, end + 4);
                        if (head.startsWith("GET /redirect ")) {
                            socket->write("HTTP/1.1 302 Found\r\nLocation: /final\r\n"
                                          "Content-Length: 0\r\n\r\n");
                        } else {
                            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                        }
                    }
                });
            }
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    int connections = 0;

private:
    QTcpServer m_server;
};

QString fetch(QNetworkAccessManager &network, const QUrl &url)
{
    QNetworkReply *reply = network.get(QNetworkRequest(url));
    NetTrace trace;
    trace.observe(reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    const bool done = finished.wait(10'000);
    reply->deleteLater();
    if (!done || reply->error() != QNetworkReply::NoError) {
        return QStringLiteral("failed: ") + reply->errorString();
    }
    return trace.collected().value_or(QStringLiteral("absent"));
}

TEST(NetTraceTest, ObservesARealExchange)
{
    LoopbackServer server;
    ASSERT_TRUE(server.listen()) << "no loopback TCP";
    QNetworkAccessManager network;

    const QRegularExpression fresh(QStringLiteral(
        "^net\\[reuse=0 dns=- tcp=- tls=- send=- wait=\\d+ recv=\\d+ http/1\\.1\\]$"));
    const QRegularExpression reused(QStringLiteral(
        "^net\\[reuse=1 dns=- tcp=- tls=- send=\\d+ wait=\\d+ recv=\\d+ http/1\\.1\\]$"));

    const QString first = fetch(network, server.url(QStringLiteral("/a")));
    EXPECT_TRUE(fresh.match(first).hasMatch()) << first.toStdString();
    const QString second = fetch(network, server.url(QStringLiteral("/b")));
    EXPECT_TRUE(reused.match(second).hasMatch()) << second.toStdString();
    EXPECT_EQ(server.connections, 1);
}

TEST(NetTraceTest, RedirectReportsTheFinalTransaction)
{
    LoopbackServer server;
    ASSERT_TRUE(server.listen()) << "no loopback TCP";
    QNetworkAccessManager network;

    // The summary is the final hop's: it went out on the first hop's connection when Qt had
    // that connection free again, else on a new one, and says which.
    const QString summary = fetch(network, server.url(QStringLiteral("/redirect")));
    const QString reuse =
        server.connections == 1 ? QStringLiteral("net[reuse=1 ") : QStringLiteral("net[reuse=0 ");
    EXPECT_TRUE(summary.startsWith(reuse)) << summary.toStdString();
    EXPECT_TRUE(summary.endsWith(QStringLiteral(" http/1.1]"))) << summary.toStdString();
}

} // namespace
