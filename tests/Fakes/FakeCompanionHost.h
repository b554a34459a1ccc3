#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

// A companion widget host in a short temporary data folder, or at a given socket path: it listens
// on "<folder>/Velmoor/bridge.sock" once started, keeps the lines its client sends, and sends lines
// back. Main thread; lines arrive as the event loop runs.
class FakeCompanionHost
{
public:
    explicit FakeCompanionHost(QString path = {})
        : folder(QStringLiteral("/tmp/sv-host-XXXXXX"))
        , m_path(path.isEmpty() ? folder.filePath(QStringLiteral("Velmoor/bridge.sock")) : path)
    {
        QDir().mkpath(QFileInfo(m_path).path());
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            while (QLocalSocket *socket = server.nextPendingConnection()) {
                client = socket;
                ++connections;
                QObject::connect(socket, &QLocalSocket::readyRead, [this, socket] {
                    if (reading) {
                        take(socket->readAll());
                    }
                });
            }
        });
    }

    ~FakeCompanionHost() { stop(); }

    QString socketPath() const { return m_path; }

    bool start()
    {
        QLocalServer::removeServer(socketPath());
        return server.listen(socketPath());
    }

    // Stops listening and drops the client; the socket file goes with the server.
    void stop()
    {
        if (client) {
            client->abort();
        }
        server.close();
    }

    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }

    // The client's lines, parsed.
    QList<nlohmann::json> messages() const
    {
        QList<nlohmann::json> parsed;
        for (const QByteArray &line : lines) {
            parsed << nlohmann::json::parse(line.toStdString());
        }
        return parsed;
    }

    // What each line is: its type, and for state messages which of ear, status, actions, items
    // it carries ("state:ear+status", "hello").
    QStringList kinds() const
    {
        QStringList kinds;
        for (const nlohmann::json &message : messages()) {
            QString kind = QString::fromStdString(message["type"].get<std::string>());
            kind.remove(QStringLiteral("widget."));
            QStringList parts;
            for (const char *key : {"ear", "status", "actions", "items"}) {
                if (message.contains(key)) {
                    parts << QString::fromLatin1(key);
                }
            }
            if (!parts.isEmpty()) {
                kind += QLatin1Char(':') + parts.join(QLatin1Char('+'));
            }
            kinds << kind;
        }
        return kinds;
    }

    bool waitForLines(qsizetype count)
    {
        return QTest::qWaitFor([&] { return lines.size() >= count; }, 5000);
    }

    QTemporaryDir folder;
    QLocalServer server;
    QPointer<QLocalSocket> client;
    int connections = 0;
    // Off: the host stops reading, as a hung host would.
    bool reading = true;
    QList<QByteArray> lines;

private:
    void take(const QByteArray &bytes)
    {
        pending += bytes;
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            lines << pending.left(end);
            pending.remove(0, end + 1);
        }
    }

    QString m_path;
    QByteArray pending;
};
