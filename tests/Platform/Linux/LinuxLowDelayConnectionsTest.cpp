#include "Platform/Linux/LinuxLowDelayConnections.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>

namespace {

bool sendsWithoutDelay(const QTcpSocket &socket)
{
    int on = 0;
    socklen_t length = sizeof on;
    getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_NODELAY, &on, &length);
    return on != 0;
}

// A connection of this process to a loopback server, connected.
std::unique_ptr<QTcpSocket> connectTo(const QTcpServer &server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
    EXPECT_TRUE(socket->waitForConnected(5000)) << socket->errorString().toStdString();
    return socket;
}

// Only the connections to the port named change: the service's, not the process's others.
TEST(LinuxLowDelayConnections, TheConnectionsToThePortSendWithoutDelay)
{
    QTcpServer service;
    QTcpServer other;
    ASSERT_TRUE(service.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    const auto first = connectTo(service);
    const auto second = connectTo(service);
    const auto elsewhere = connectTo(other);
    ASSERT_FALSE(sendsWithoutDelay(*first));

    LinuxLowDelayConnections().apply(service.serverPort());

    EXPECT_TRUE(sendsWithoutDelay(*first));
    EXPECT_TRUE(sendsWithoutDelay(*second));
    EXPECT_FALSE(sendsWithoutDelay(*elsewhere));
}

} // namespace
