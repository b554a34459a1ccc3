#pragma once

#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

// The maker's cloud service, played on 127.0.0.1 at a free port by a cpp-httplib server with
// threads of its own (it answers while the test thread waits). Every endpoint the application
// calls is served; each request is recorded (method, path, query, headers, body, multipart parts,
// the time the server spent on it) and answered with the reply scripted for its path:
//
// - script(path, reply) queues a reply for the next request to that path (one each, in order);
// - respond(path, reply) sets the standing reply once the queue is empty;
// - serve(path, handler) answers from the request instead, once the queue is empty (a service
//   with state of its own; the handler runs on the server's thread);
// - otherwise a known endpoint answers 200 with "{}" (a HEAD: no body) and any other path 404.
//
// A reply can wait before it answers (a slow or stalled service), stream a large body without
// holding it, or drop the connection part-way through the body. Waits end early when the service
// shuts down, so a stalled reply never holds up the end of a test.
class FakeCloudService
{
public:
    struct Reply
    {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body = "{}";
        std::string contentType = "application/json";
        // Waited before anything is answered.
        std::chrono::milliseconds delay {0};
        // When set, the body is this many bytes of filler, streamed (`body` is ignored).
        std::optional<std::uint64_t> fillerBytes;
        // Announce the whole body, send half of it, then close the connection.
        bool dropMidBody = false;
        // Take the request and never answer: the connection stays open until the client closes
        // it (or the service stops), and the moment it closed is recorded.
        bool hold = false;

        static Reply json(std::string body, int status = 200)
        {
            Reply reply;
            reply.status = status;
            reply.body = std::move(body);
            return reply;
        }
    };

    struct Part
    {
        std::string name;
        std::string filename;
        std::string contentType;
        std::string content;
    };

    struct Request
    {
        std::string method;
        std::string path;
        std::string query; // as sent, without the "?"
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body; // empty for a multipart/form-data body: its parts are in `parts`
        std::vector<Part> parts;
        std::chrono::nanoseconds serverTime {0};
        // When the client closed the connection of a held request.
        std::optional<std::chrono::steady_clock::time_point> closedAt;

        bool hasHeader(const std::string &name) const;
        std::string header(const std::string &name) const;
        const Part *part(const std::string &name) const;
    };

    // Every path the application calls, the browser's sign-in page first.
    static const std::vector<std::string> &endpoints();

    FakeCloudService();
    ~FakeCloudService();

    FakeCloudService(const FakeCloudService &) = delete;
    FakeCloudService &operator=(const FakeCloudService &) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>", the base address to point the application at.
    QUrl baseURL() const;

    void script(const std::string &path, Reply reply);
    void respond(const std::string &path, Reply reply);
    void serve(const std::string &path, std::function<Reply(const Request &)> handler);

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string &path) const;
    size_t requestCount() const;
    void clearRequests();

    // Runs the test thread's event loop until `count` requests in all (or to `path`) have
    // arrived; false when the deadline passed first.
    bool waitForRequests(size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForRequests(const std::string &path, size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Runs the test thread's event loop until the client has closed the connection of the held
    // request number `index` (from 0) to `path`; the moment the service saw it close, or nothing
    // when the deadline passed first.
    std::optional<std::chrono::steady_clock::time_point>
    waitForClose(const std::string &path, size_t index = 0,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    Reply replyFor(const Request &request);
    // Waits until the client closes the connection this request came on (true), or the service
    // shuts down (false).
    bool holdUntilClosed(int clientPort);
    // False when the service shut down during the wait.
    bool pause(std::chrono::milliseconds delay);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    std::vector<Request> m_requests;
    std::map<std::string, std::deque<Reply>> m_scripts;
    std::map<std::string, Reply> m_standing;
    std::map<std::string, std::function<Reply(const Request &)>> m_handlers;
};
