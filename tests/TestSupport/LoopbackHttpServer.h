#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// An HTTP/1.1 server on 127.0.0.1, on a free port, serving from a thread of its own for the life
// of the object (so it answers while the test thread is blocked). Every request is recorded; the
// answer is the one set for its path, else the default (200 with an empty body). Connections are
// kept alive. Requests are bounded: a header block above maxHeaderBytes or a body above
// maxBodyBytes is answered 413 and the connection closed; waits in the test thread give up after
// a deadline.
class LoopbackHttpServer
{
public:
    struct Request
    {
        std::string method;
        std::string path; // without the query
        std::string query;
        std::vector<std::pair<std::string, std::string>> headers; // names as sent
        std::string body;

        bool hasHeader(const std::string &name) const { return find(name) != headers.end(); }
        std::string header(const std::string &name) const
        {
            const auto found = find(name);
            return found != headers.end() ? found->second : std::string();
        }

    private:
        std::vector<std::pair<std::string, std::string>>::const_iterator
        find(const std::string &name) const
        {
            return std::find_if(headers.begin(), headers.end(),
                                [&](const auto &header) { return sameName(header.first, name); });
        }
    };

    struct Response
    {
        int status = 200;
        std::string body;
        std::string contentType = "text/plain";
    };

    static constexpr qsizetype maxHeaderBytes = 64 * 1024;
    static constexpr qsizetype maxBodyBytes = 16 * 1024 * 1024;

    LoopbackHttpServer()
    {
        m_thread.setObjectName(QStringLiteral("LoopbackHttpServer"));
        m_thread.start();
        QString error;
        QMetaObject::invokeMethod(
            &m_anchor,
            [this, &error] {
                m_server = new QTcpServer();
                QObject::connect(m_server, &QTcpServer::newConnection, m_server,
                                 [this] { acceptConnections(); });
                if (m_server->listen(QHostAddress::LocalHost, 0)) {
                    m_port = m_server->serverPort();
                } else {
                    error = m_server->errorString();
                }
            },
            Qt::BlockingQueuedConnection);
        if (m_port == 0) {
            shutDown();
            throw std::runtime_error("loopback HTTP server: cannot listen on 127.0.0.1: "
                                     + error.toStdString());
        }
    }

    ~LoopbackHttpServer() { shutDown(); }

    LoopbackHttpServer(const LoopbackHttpServer &) = delete;
    LoopbackHttpServer &operator=(const LoopbackHttpServer &) = delete;

    int port() const { return m_port; }
    QUrl url(const QString &path = QString()) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

    void respond(const std::string &path, Response response)
    {
        std::lock_guard lock(m_mutex);
        m_routes[path] = std::move(response);
    }
    void setDefaultResponse(Response response)
    {
        std::lock_guard lock(m_mutex);
        m_default = std::move(response);
    }

    std::vector<Request> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    size_t requestCount() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests.size();
    }

    // Runs the test thread's event loop until `count` requests have arrived; false when the
    // deadline passed first.
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return QTest::qWaitFor([&] { return requestCount() >= count; },
                               static_cast<int>(timeout.count()));
    }

private:
    static bool sameName(const std::string &a, const std::string &b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x))
                == std::tolower(static_cast<unsigned char>(y));
        });
    }

    static QByteArray reason(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 404:
            return "Not Found";
        case 413:
            return "Payload Too Large";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
        }
    }

    static void write(QTcpSocket *socket, const Response &response, bool close)
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
            + reason(response.status) + "\r\n";
        out += "Content-Type: " + QByteArray::fromStdString(response.contentType) + "\r\n";
        out += "Content-Length: " + QByteArray::number(qsizetype(response.body.size())) + "\r\n";
        out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        out += QByteArray::fromStdString(response.body);
        socket->write(out);
        if (close) {
            socket->disconnectFromHost();
        }
    }

    // Server thread.
    void acceptConnections()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                while (serveOne(socket, *buffer)) { }
            });
        }
    }

    // Answers the first complete request in `buffer` and removes it; false when none is complete
    // yet (or the connection was closed).
    bool serveOne(QTcpSocket *socket, QByteArray &buffer)
    {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer.size() > maxHeaderBytes) {
                write(socket, {413, "header too large"}, true);
                buffer.clear();
            }
            return false;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = requestLine.value(0).toStdString();
        const QByteArray target = requestLine.value(1);
        const qsizetype question = target.indexOf('?');
        request.path = (question < 0 ? target : target.left(question)).toStdString();
        request.query = question < 0 ? std::string() : target.mid(question + 1).toStdString();
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const std::string name = line.left(colon).trimmed().toStdString();
            const std::string value = line.mid(colon + 1).trimmed().toStdString();
            if (sameName(name, "Content-Length")) {
                length = QByteArray::fromStdString(value).toLongLong();
            }
            request.headers.emplace_back(name, value);
        }
        if (length < 0 || length > maxBodyBytes) {
            write(socket, {413, "body too large"}, true);
            buffer.clear();
            return false;
        }
        const qsizetype total = headerEnd + 4 + length;
        if (buffer.size() < total) {
            return false;
        }
        request.body = buffer.mid(headerEnd + 4, length).toStdString();
        buffer.remove(0, total);

        Response answer;
        {
            std::lock_guard lock(m_mutex);
            const auto routed = m_routes.find(request.path);
            answer = routed != m_routes.end() ? routed->second : m_default;
            m_requests.push_back(std::move(request));
        }
        write(socket, answer, false);
        return true;
    }

    void shutDown()
    {
        if (m_thread.isRunning()) {
            QMetaObject::invokeMethod(
                &m_anchor,
                [this] {
                    // The sockets are the server's children and go with it.
                    delete m_server;
                    m_server = nullptr;
                },
                Qt::BlockingQueuedConnection);
            m_thread.quit();
            m_thread.wait();
        }
    }

    // An object living in the server thread, to run code there.
    struct Anchor : QObject
    {
        explicit Anchor(QThread *thread) { moveToThread(thread); }
    };

    QThread m_thread;
    Anchor m_anchor {&m_thread};
    QTcpServer *m_server = nullptr; // server thread
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::map<std::string, Response> m_routes;
    Response m_default;
};
