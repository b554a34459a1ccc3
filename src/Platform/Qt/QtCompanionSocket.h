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

private:
    void drain();
    void lost();

    QPointer<QLocalSocket> m_socket;
};
