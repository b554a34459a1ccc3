#include "TestSupport/FakeCloudService.h"

#include <QTest>

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace {

bool sameName(const std::string &a, const std::string &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

int portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    }
    return -1;
}

// The server's socket of the connection from the client's port: the server library hands its
// handlers no socket, so it is found among the process's descriptors by its two ends.
int serverSocket(int serverPort, int clientPort)
{
    DIR *folder = opendir("/proc/self/fd");
    if (!folder) {
        return -1;
    }
    int found = -1;
    while (const dirent *entry = readdir(folder)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(folder)) {
            continue;
        }
        sockaddr_storage local {};
        sockaddr_storage peer {};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localLength) == 0
            && getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0
            && portOf(local) == serverPort && portOf(peer) == clientPort) {
            found = int(fd);
            break;
        }
    }
    closedir(folder);
    return found;
}

} // namespace

bool FakeCloudService::Request::hasHeader(const std::string &name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &header) { return sameName(header.first, name); });
}

std::string FakeCloudService::Request::header(const std::string &name) const
{
    const auto found = std::find_if(headers.begin(), headers.end(), [&](const auto &header) {
        return sameName(header.first, name);
    });
    return found != headers.end() ? found->second : std::string();
}

const FakeCloudService::Part *FakeCloudService::Request::part(const std::string &name) const
{
    const auto found = std::find_if(parts.begin(), parts.end(),
                                    [&](const Part &part) { return part.name == name; });
    return found != parts.end() ? &*found : nullptr;
}

const std::vector<std::string> &FakeCloudService::endpoints()
{
    static const std::vector<std::string> paths = {
        "/app/connect",
        "/api/app/token",
        "/api/me",
        "/api/app/logout",
        "/api/stt",
        "/api/dictate",
        "/api/cleanup",
        "/api/cleanup/memory",
        "/api/cleanup/correction",
        "/api/cleanup/usage",
        "/api/sync/sonorvelle",
        "/api/sync/shared",
        "/api/crash",
        "/api/improve",
        "/api/improve/sample",
        "/api/testlog",
    };
    return paths;
}

FakeCloudService::FakeCloudService()
    : m_server(std::make_unique<httplib::Server>())
{
    // One connection carries every request of a test, as a real service's keep-alive would.
    m_server->set_keep_alive_max_count(1000000);
    m_server->set_keep_alive_timeout(30);
    m_server->set_payload_max_length(64 * 1024 * 1024);
    // Headers and body go out in separate writes: without this, each answer waits for the
    // client's delayed acknowledgement (about 40 ms), as no real service lets it.
    m_server->set_tcp_nodelay(true);

    const auto handle = [this](const httplib::Request &in, httplib::Response &out, std::string body,
                               std::vector<Part> parts) {
        const auto started = std::chrono::steady_clock::now();
        Request request;
        request.method = in.method;
        request.path = in.path;
        if (const size_t question = in.target.find('?'); question != std::string::npos) {
            request.query = in.target.substr(question + 1);
        }
        for (const auto &[name, value] : in.headers) {
            request.headers.emplace_back(name, value);
        }
        request.body = std::move(body);
        request.parts = std::move(parts);

        const Reply reply = replyFor(request);
        const auto recordedAt = std::chrono::steady_clock::now();
        size_t index = 0;
        {
            std::lock_guard lock(m_mutex);
            index = m_requests.size();
            m_requests.push_back(std::move(request));
        }
        const auto record = [this, index, started](std::chrono::steady_clock::time_point at) {
            std::lock_guard lock(m_mutex);
            if (index < m_requests.size()) {
                m_requests[index].serverTime = at - started;
            }
        };
        record(recordedAt);

        if (reply.hold) {
            if (holdUntilClosed(in.remote_port)) {
                std::lock_guard lock(m_mutex);
                if (index < m_requests.size()) {
                    m_requests[index].closedAt = std::chrono::steady_clock::now();
                }
            }
            out.status = 503;
            return;
        }
        if (!pause(reply.delay)) {
            out.status = 503;
            return;
        }
        out.status = reply.status;
        for (const auto &[name, value] : reply.headers) {
            out.set_header(name, value);
        }
        if (reply.fillerBytes || reply.dropMidBody) {
            const std::string content = reply.body;
            const std::uint64_t total = reply.fillerBytes ? *reply.fillerBytes : content.size();
            const bool drop = reply.dropMidBody;
            const std::uint64_t sendUpTo = drop ? total / 2 : total;
            const bool filler = reply.fillerBytes.has_value();
            out.set_content_provider(
                size_t(total), reply.contentType,
                [content, filler, sendUpTo](size_t offset, size_t length, httplib::DataSink &sink) {
                    if (offset >= sendUpTo) {
                        return false; // the connection closes with the body unfinished
                    }
                    const size_t chunk = std::min<size_t>({length, 64 * 1024, sendUpTo - offset});
                    if (filler) {
                        const std::string bytes(chunk, 'x');
                        sink.write(bytes.data(), bytes.size());
                    } else {
                        sink.write(content.data() + offset, chunk);
                    }
                    return true;
                });
        } else if (in.method != "HEAD") {
            out.set_content(reply.body, reply.contentType);
        }
        record(std::chrono::steady_clock::now());
    };

    const httplib::Server::Handler withoutBody = [handle](const httplib::Request &in,
                                                          httplib::Response &out) {
        handle(in, out, in.body, {});
    };
    const httplib::Server::HandlerWithContentReader withBody =
        [handle](const httplib::Request &in, httplib::Response &out,
                 const httplib::ContentReader &reader) {
            std::string body;
            std::vector<Part> parts;
            if (in.is_multipart_form_data()) {
                reader(
                    [&parts](const httplib::MultipartFormData &header) {
                        parts.push_back({header.name, header.filename, header.content_type, {}});
                        return true;
                    },
                    [&parts](const char *data, size_t length) {
                        parts.back().content.append(data, length);
                        return true;
                    });
            } else {
                reader([&body](const char *data, size_t length) {
                    body.append(data, length);
                    return true;
                });
            }
            handle(in, out, std::move(body), std::move(parts));
        };
    m_server->Get(".*", withoutBody);
    m_server->Options(".*", withoutBody);
    m_server->Post(".*", withBody);
    m_server->Put(".*", withBody);
    m_server->Patch(".*", withBody);
    m_server->Delete(".*", withBody);

    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("fake cloud service: cannot listen on 127.0.0.1");
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeCloudService::~FakeCloudService()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

QUrl FakeCloudService::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

void FakeCloudService::script(const std::string &path, Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_scripts[path].push_back(std::move(reply));
}

void FakeCloudService::respond(const std::string &path, Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_standing[path] = std::move(reply);
}

void FakeCloudService::serve(const std::string &path, std::function<Reply(const Request &)> handler)
{
    std::lock_guard lock(m_mutex);
    m_handlers[path] = std::move(handler);
}

std::vector<FakeCloudService::Request> FakeCloudService::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<FakeCloudService::Request> FakeCloudService::requests(const std::string &path) const
{
    std::lock_guard lock(m_mutex);
    std::vector<Request> matching;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(matching),
                 [&](const Request &request) { return request.path == path; });
    return matching;
}

size_t FakeCloudService::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void FakeCloudService::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

bool FakeCloudService::waitForRequests(size_t count, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([&] { return requestCount() >= count; }, int(timeout.count()));
}

bool FakeCloudService::waitForRequests(const std::string &path, size_t count,
                                       std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([&] { return requests(path).size() >= count; }, int(timeout.count()));
}

FakeCloudService::Reply FakeCloudService::replyFor(const Request &request)
{
    const std::string &path = request.path;
    std::unique_lock lock(m_mutex);
    if (auto queued = m_scripts.find(path); queued != m_scripts.end() && !queued->second.empty()) {
        Reply reply = std::move(queued->second.front());
        queued->second.pop_front();
        return reply;
    }
    if (auto handler = m_handlers.find(path); handler != m_handlers.end()) {
        // Not under the lock: the handler keeps its own state and may take its time.
        const auto serve = handler->second;
        lock.unlock();
        return serve(request);
    }
    if (auto standing = m_standing.find(path); standing != m_standing.end()) {
        return standing->second;
    }
    const auto &known = endpoints();
    if (std::find(known.begin(), known.end(), path) != known.end()) {
        return Reply {};
    }
    return Reply::json(R"({"error":"not found"})", 404);
}

bool FakeCloudService::pause(std::chrono::milliseconds delay)
{
    std::unique_lock lock(m_mutex);
    if (delay.count() > 0) {
        m_stopping.wait_for(lock, delay, [this] { return m_stopped; });
    }
    return !m_stopped;
}

bool FakeCloudService::holdUntilClosed(int clientPort)
{
    const int socket = serverSocket(m_port, clientPort);
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped) {
                return false;
            }
        }
        if (socket < 0) {
            // Not found: hold until the service stops, as an unanswered request would.
            pause(std::chrono::milliseconds(20));
            continue;
        }
        pollfd watched {socket, POLLIN | POLLRDHUP, 0};
        if (poll(&watched, 1, 20) <= 0) {
            continue;
        }
        if (watched.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) {
            return true;
        }
        char byte = 0;
        if (recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
            return true;
        }
        // More bytes from the client (a request after this one): not a close.
        pause(std::chrono::milliseconds(20));
    }
}

std::optional<std::chrono::steady_clock::time_point>
FakeCloudService::waitForClose(const std::string &path, size_t index,
                               std::chrono::milliseconds timeout)
{
    std::optional<std::chrono::steady_clock::time_point> closedAt;
    const bool closed = QTest::qWaitFor(
        [&] {
            const auto seen = requests(path);
            closedAt = seen.size() > index ? seen[index].closedAt : std::nullopt;
            return closedAt.has_value();
        },
        int(timeout.count()));
    return closed ? closedAt : std::nullopt;
}
