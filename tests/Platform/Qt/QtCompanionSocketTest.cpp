#include "Platform/Qt/QtCompanionSocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A user other than the one running the tests.
constexpr uid_t otherUser = 65534;

// A socket bound (and listening, when `listening`) at `path` with plain system calls, for peers
// the Qt server cannot play: a stale file, a listener that never accepts.
int rawSocket(const QString &path, bool listening)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
        || (listening && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class QtCompanionSocketTest : public testing::Test
{
protected:
    QTemporaryDir folder {QStringLiteral("/tmp/sv-sock-XXXXXX")};
    QString path = folder.filePath(QStringLiteral("bridge.sock"));
    QtCompanionSocket socket;
};

} // namespace

TEST_F(QtCompanionSocketTest, ConnectsToAListenerOfTheSameUserAndReadsInBoundedChunks)
{
    QLocalServer server;
    ASSERT_TRUE(server.listen(path));
    ASSERT_TRUE(socket.connectTo(path));
    EXPECT_TRUE(socket.isConnected());
    ASSERT_TRUE(server.waitForNewConnection(1000));
    QLocalSocket *peer = server.nextPendingConnection();

    QByteArray sent(10000, 'x');
    sent[5000] = '\n';
    peer->write(sent);
    peer->flush();
    QByteArray got;
    QList<qsizetype> sizes;
    QObject::connect(&socket, &CompanionSocket::received, [&](const QByteArray &bytes) {
        got += bytes;
        sizes << bytes.size();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == sent.size(); }, 5000));
    EXPECT_EQ(got, sent);
    for (const qsizetype size : sizes) {
        EXPECT_LE(size, CompanionSocket::readChunkBytes);
    }

    QSignalSpy closed(&socket, &CompanionSocket::closed);
    peer->abort();
    EXPECT_TRUE(closed.wait(5000));
    EXPECT_FALSE(socket.isConnected());
}

TEST_F(QtCompanionSocketTest, NoFileAStaleFileAndAPathTooLongConnectNowhere)
{
    EXPECT_FALSE(socket.connectTo(path)) << "no file";

    const int stale = rawSocket(path, false);
    ASSERT_GE(stale, 0);
    ::close(stale);
    EXPECT_FALSE(socket.connectTo(path)) << "nobody listens";

    // A listener at the first 103 bytes of a longer path: cutting the path would reach it.
    const QString cut = folder.filePath(QString(103 - folder.path().size() - 1, QLatin1Char('a')));
    ASSERT_EQ(QFile::encodeName(cut).size(), 103);
    QLocalServer server;
    ASSERT_TRUE(server.listen(cut));
    EXPECT_FALSE(socket.connectTo(cut + QString(20, QLatin1Char('b'))));
    QCoreApplication::processEvents();
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_TRUE(socket.connectTo(cut)) << "the listener itself is reachable";
}

TEST_F(QtCompanionSocketTest, ASocketFileOfAnotherUserIsRefused)
{
    ASSERT_EQ(::geteuid(), 0u) << "giving a file to another user needs root (CI runs as root)";
    QLocalServer server;
    ASSERT_TRUE(server.listen(path));
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), otherUser, otherUser), 0);
    EXPECT_FALSE(socket.connectTo(path));
    QCoreApplication::processEvents();
    EXPECT_FALSE(server.hasPendingConnections());
}

// The file is ours but the process listening on it is not: the peer's credentials decide.
TEST_F(QtCompanionSocketTest, AListenerOfAnotherUserIsRefused)
{
    ASSERT_EQ(::geteuid(), 0u) << "listening as another user needs root (CI runs as root)";
    const QByteArray native = QFile::encodeName(path);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // System calls only: the parent has threads.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
            || ::setgid(otherUser) != 0 || ::setuid(otherUser) != 0 || ::listen(fd, 4) != 0) {
            ::_exit(1);
        }
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1) {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char byte = 0;
    const bool listening = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    const bool connected = listening && socket.connectTo(path);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(listening);
    EXPECT_FALSE(connected);
    EXPECT_FALSE(socket.isConnected());
}

TEST_F(QtCompanionSocketTest, APeerThatStopsReadingIsDroppedPastTheBacklog)
{
    // Listens and never accepts or reads: the kernel's buffer fills, then ours.
    const int listener = rawSocket(path, true);
    ASSERT_GE(listener, 0);
    ASSERT_TRUE(socket.connectTo(path));
    const QByteArray chunk(64 * 1024, 'x');
    qsizetype written = 0;
    bool dropped = false;
    for (int i = 0; i < 200 && !dropped; ++i) {
        dropped = !socket.write(chunk);
        written += dropped ? 0 : chunk.size();
        QCoreApplication::processEvents();
    }
    ::close(listener);
    EXPECT_TRUE(dropped) << written << " bytes queued";
    EXPECT_FALSE(socket.isConnected());
    EXPECT_FALSE(socket.write(QByteArrayLiteral("late\n")));
}
