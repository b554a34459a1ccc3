#include "Platform/Qt/SingleInstance.h"

#include "Base/AppInfo.h"
#include "Base/Paths.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace {

constexpr int connectTimeoutMs = 1000;
// The message is the arguments, UTF-8, each followed by a NUL byte; the sender then closes.
constexpr qsizetype maxMessageBytes = 64 * 1024;

} // namespace

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(socketPath)
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath()
{
    return Paths::runtimeFolder() + QLatin1Char('/') + AppInfo::bundleIdentifier()
        + QStringLiteral(".sock");
}

bool SingleInstance::claimOrForward(const QStringList &arguments)
{
    // Two attempts: a socket file left by a crashed instance is removed between them, and a
    // simultaneous launch that won the race is found by the second connect.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (forward(arguments)) {
            return false;
        }
        auto *server = new QLocalServer(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (server->listen(m_socketPath)) {
            m_server = server;
            connect(m_server, &QLocalServer::newConnection, this,
                    &SingleInstance::acceptConnections);
            return true;
        }
        delete server;
        if (attempt == 0) {
            QLocalServer::removeServer(m_socketPath);
        }
    }
    // Neither reachable nor claimable: run anyway rather than refuse to start.
    qWarning("app: single-instance socket unavailable at %s", qPrintable(m_socketPath));
    return true;
}

bool SingleInstance::forward(const QStringList &arguments)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    QByteArray message;
    for (const QString &argument : arguments) {
        message += argument.toUtf8();
        message += '\0';
    }
    socket.write(message);
    socket.flush();
    socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(connectTimeoutMs);
    }
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > maxMessageBytes) {
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            socket->deleteLater();
            if (buffer->size() > maxMessageBytes) {
                return;
            }
            QStringList arguments;
            for (const QByteArray &part : buffer->split('\0')) {
                if (!part.isEmpty()) {
                    arguments.append(QString::fromUtf8(part));
                }
            }
            Q_EMIT launchedAgain(arguments);
        });
    }
}
