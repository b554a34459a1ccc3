#include "Platform/Qt/QtCompanionSocket.h"

#include <QFile>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A connection may sit in the listener's backlog for a moment; longer than this and the host is
// treated as absent until the next try, rather than holding up the main thread.
constexpr int connectWaitMs = 50;

bool ownedByUs(const QByteArray &nativePath)
{
    struct stat info
    {
    };
    return ::lstat(nativePath.constData(), &info) == 0 && S_ISSOCK(info.st_mode)
        && info.st_uid == ::geteuid();
}

bool peerIsUs(qintptr descriptor)
{
    struct ucred credentials
    {
    };
    socklen_t length = sizeof(credentials);
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
        && length == sizeof(credentials) && credentials.uid == ::geteuid();
}

} // namespace

QtCompanionSocket::~QtCompanionSocket()
{
    close();
}

bool QtCompanionSocket::connectTo(const QString &path)
{
    close();
    const QByteArray nativePath = QFile::encodeName(path);
    // A path the address cannot hold whole would name another file once cut.
    if (nativePath.isEmpty() || nativePath.contains('\0')
        || nativePath.size() >= qsizetype(sizeof(sockaddr_un::sun_path))) {
        return false;
    }
    if (!ownedByUs(nativePath)) {
        return false;
    }
    auto *socket = new QLocalSocket(this);
    socket->connectToServer(path, QIODevice::ReadWrite);
    if (socket->state() == QLocalSocket::ConnectingState) {
        socket->waitForConnected(connectWaitMs);
    }
    if (socket->state() != QLocalSocket::ConnectedState || !peerIsUs(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return false;
    }
    m_socket = socket;
    socket->setReadBufferSize(readBufferBytes);
    connect(socket, &QLocalSocket::readyRead, this, &QtCompanionSocket::drainChunk);
    connect(socket, &QLocalSocket::disconnected, this, &QtCompanionSocket::lost);
    connect(socket, &QLocalSocket::errorOccurred, this, &QtCompanionSocket::lost);
    // Bytes that came with the connection.
    if (socket->bytesAvailable() > 0) {
        m_drainQueued = true;
        QMetaObject::invokeMethod(this, &QtCompanionSocket::drainChunk, Qt::QueuedConnection);
    }
    return true;
}

bool QtCompanionSocket::isConnected() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

bool QtCompanionSocket::write(const QByteArray &bytes)
{
    if (!isConnected()) {
        return false;
    }
    if (m_socket->bytesToWrite() + bytes.size() > maxBacklogBytes
        || m_socket->write(bytes) != bytes.size()) {
        close();
        return false;
    }
    // Hands what the kernel takes right now to the socket; the rest goes out from the event loop.
    m_socket->flush();
    if (!isConnected()) {
        close();
        return false;
    }
    return true;
}

void QtCompanionSocket::close()
{
    if (!m_socket) {
        return;
    }
    QLocalSocket *socket = m_socket;
    m_socket.clear();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void QtCompanionSocket::drainChunk()
{
    m_drainQueued = false;
    if (!m_socket) {
        return;
    }
    for (qint64 taken = 0; m_socket && taken < readBufferBytes;) {
        const QByteArray chunk = m_socket->read(readChunkBytes);
        if (chunk.isEmpty()) {
            break;
        }
        taken += chunk.size();
        Q_EMIT received(chunk);
    }
    if (m_socket && m_socket->bytesAvailable() > 0 && !m_drainQueued) {
        m_drainQueued = true;
        QMetaObject::invokeMethod(this, &QtCompanionSocket::drainChunk, Qt::QueuedConnection);
    }
}

void QtCompanionSocket::drain()
{
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(readChunkBytes);
        if (chunk.isEmpty()) {
            break;
        }
        Q_EMIT received(chunk);
    }
}

void QtCompanionSocket::lost()
{
    if (!m_socket) {
        return;
    }
    // What the host sent before it left is still handed over, in order.
    drain();
    if (!m_socket) {
        return;
    }
    close();
    Q_EMIT closed();
}
