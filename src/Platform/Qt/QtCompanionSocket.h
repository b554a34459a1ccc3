#pragma once

#include "Platform/CompanionSocket.h"

#include <QPointer>

class QLocalSocket;

// The companion link over QLocalSocket. Connecting checks the socket file's owner before and the
// listening process's user (SO_PEERCRED) after the connection is made.
class QtCompanionSocket final : public CompanionSocket
{
    Q_OBJECT

public:
    using CompanionSocket::CompanionSocket;
    ~QtCompanionSocket() override;

    bool connectTo(const QString &path) override;
    bool isConnected() const override;
    bool write(const QByteArray &bytes) override;
    void close() override;

    // What the socket holds unread at most, and reads in one turn of the event loop.
    static constexpr qint64 readBufferBytes = 16 * readChunkBytes;

private:
    // At most a read buffer's worth, then the event loop's turn: a host that sends without pause
    // cannot hold the main thread, and its writes wait in the kernel once the buffer is full.
    void drainChunk();
    void drain();
    void lost();

    QPointer<QLocalSocket> m_socket;
    bool m_drainQueued = false;
};
