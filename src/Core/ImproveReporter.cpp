#include "Core/ImproveReporter.h"

#include "Base/AppInfo.h"
#include "Base/BoundedFile.h"
#include "Base/Clock.h"
#include "Base/Json.h"
#include "Base/Paths.h"
#include "Base/SerialQueue.h"
#include "Base/Timer.h"
#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/CrashConfig.h"
#include "Core/ImproveConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <cmath>
#include <future>
#include <mutex>

namespace {

const QString kAppName = QStringLiteral("sonorvelle");

double secondsSince1970(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

// A sanitised value in its JSON form; only the kinds sanitized() keeps reach this.
Json::Object jsonValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return Json::toStd(value.toString());
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::ULongLong:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return value.toULongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    default:
        return value.toLongLong();
    }
}

Json::Object jsonObject(const QVariantMap &map)
{
    Json::Object object = Json::Object::object();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        object[Json::toStd(it.key())] = jsonValue(it.value());
    }
    return object;
}

QString bundleValueOrUnknown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("?") : value;
}

int statusOf(const CloudReply &reply)
{
    return reply.failed() ? 0 : reply.status.value_or(0);
}

QCoro::Task<> perform(CloudSession *session, CloudRequest request, std::function<void(int)> done)
{
    const CloudReply reply = co_await session->perform(std::move(request));
    if (done) {
        done(statusOf(reply));
    }
}

// Starts the transfer and lets it run on its own; `done` hears its status (0 without an answer).
void startTransfer(CloudSession *session, CloudRequest request, std::function<void(int)> done)
{
    QCoro::connect(perform(session, std::move(request), std::move(done)),
                   QCoreApplication::instance(), [] {});
}

struct FileLines
{
    QList<QByteArray> lines;
    // Bytes found in the file, including any that were not read.
    qint64 fileBytes = 0;
};

} // namespace

// Everything the serial queue touches. Shared with the work in flight, so that a reply arriving
// after the reporter is gone still has somewhere to land.
struct ImproveReporter::Worker : std::enable_shared_from_this<Worker>
{
    Worker(QString filePath, UserDefaults &defaults, CloudSession *session)
        : path(std::move(filePath))
        , defaults(defaults)
        , session(session)
    { }

    // Any thread.
    SerialQueue queue {QStringLiteral("org.sonorvelle.Sonorvelle.usage-events")};
    const QString path;
    UserDefaults &defaults;
    CloudSession *const session;
    std::mutex providerMutex;
    TokenProvider provider;

    // The serial queue only, from here on.
    // Non-empty lines in the file; unknown until the file is first read.
    std::optional<qsizetype> lineCount;
    bool inFlight = false;
    // When the upload in flight began.
    QDateTime uploadStartedAt;
    // The pause after the last failed upload (zero after a delivered one), counted from that
    // upload's start.
    std::chrono::seconds retryDelay {0};
    QDateTime failedUploadStartedAt;
    // What the upload in flight leaves in the file when the service takes it: the lines held back
    // for a later batch, and those recorded while it was under way.
    QList<QByteArray> keptBack;
    QList<QByteArray> recordedDuringUpload;

    std::optional<QString> token()
    {
        std::lock_guard lock(providerMutex);
        return provider ? provider() : std::nullopt;
    }

    FileLines readAll() const
    {
        FileLines result;
        // A file grown past the bound (by an older build, or by hand) is read from its newest
        // end only; the partial line where the reading starts is not a line.
        const BoundedFile::Result file = BoundedFile::readTail(path, maxFileBytes);
        if (!file.isRead()) {
            return result;
        }
        result.fileBytes = file.fileSize;
        QByteArray bytes = file.bytes;
        if (file.fileSize > maxFileBytes) {
            const qsizetype firstBreak = bytes.indexOf('\n');
            bytes = firstBreak < 0 ? QByteArray() : bytes.mid(firstBreak + 1);
        }
        qsizetype start = 0;
        while (start < bytes.size()) {
            qsizetype end = bytes.indexOf('\n', start);
            if (end < 0) {
                end = bytes.size();
            }
            if (end > start) {
                result.lines.append(bytes.sliced(start, end - start));
            }
            start = end + 1;
        }
        return result;
    }

    void rewrite(const QList<QByteArray> &lines)
    {
        if (lines.isEmpty()) {
            remove();
            return;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            lineCount.reset();
            return;
        }
        for (const QByteArray &line : lines) {
            file.write(line);
            file.write("\n", 1);
        }
        lineCount = file.commit() ? std::optional<qsizetype>(lines.size()) : std::nullopt;
    }

    void remove()
    {
        QFile::remove(path);
        lineCount = QFile::exists(path) ? std::nullopt : std::optional<qsizetype>(0);
    }

    // Makes room by dropping the oldest lines, down to three quarters of the bound, so that the
    // trimming is rare.
    void trimFor(const QByteArray &line)
    {
        QList<QByteArray> lines = readAll().lines;
        qint64 budget = maxFileBytes * 3 / 4 - (line.size() + 1);
        qsizetype first = lines.size();
        while (first > 0 && budget - (lines[first - 1].size() + 1) >= 0) {
            --first;
            budget -= lines[first].size() + 1;
        }
        lines.remove(0, first);
        lines.append(line);
        rewrite(lines);
    }

    // Something other than a file in the queue's place (a folder, a device, a dangling link) is
    // never written into: it is kept aside, as found, and a new queue starts. True when the place
    // is free for the queue.
    bool keepOtherThingsAside(const QDateTime &now) const
    {
        const QFileInfo info(path);
        if (info.isFile() || (!info.exists() && !info.isSymLink())) {
            return true;
        }
        return Paths::setAsideUnreadable(path, now);
    }

    bool append(const QByteArray &line, const QDateTime &now)
    {
        if (!keepOtherThingsAside(now)) {
            return false;
        }
        const qint64 size = QFileInfo(path).size();
        if (size + line.size() + 2 > maxFileBytes) {
            trimFor(line);
            return lineCount.has_value();
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)) {
            return false;
        }
        QByteArray bytes = line + '\n';
        if (file.size() > 0) {
            // A line cut short (the process died while writing it) must not swallow this one.
            char last = '\n';
            if (!file.seek(file.size() - 1) || !file.getChar(&last)) {
                return false;
            }
            if (last != '\n') {
                bytes.prepend('\n');
            }
        }
        if (!file.seek(file.size()) || file.write(bytes) != bytes.size() || !file.flush()) {
            lineCount.reset();
            return false;
        }
        if (lineCount) {
            ++*lineCount;
        } else {
            lineCount = readAll().lines.size();
        }
        return true;
    }

    // Whether the pause after a failed upload is over at `now`; a clock set back ends it too,
    // rather than stretching it.
    bool retryDue(const QDateTime &now) const
    {
        if (retryDelay.count() == 0 || now < failedUploadStartedAt) {
            return true;
        }
        return now >= failedUploadStartedAt.addSecs(retryDelay.count());
    }

    // Steps of one flush up to the ready body; nothing when there is nothing to send (or the
    // flush may not run now). Before the user has seen the consent page the events stay queued.
    std::optional<QByteArray> beginUpload(const QDateTime &now, bool whenDue)
    {
        if (!ImproveConfig::enabled(defaults) || !ImproveConfig::consentGiven(defaults)
            || inFlight || (whenDue && !retryDue(now))) {
            return std::nullopt;
        }
        const FileLines read = readAll();
        if (read.lines.isEmpty()) {
            // Only blank lines, or one unbroken run of bytes past the bound: nothing in it can
            // ever be sent.
            if (read.fileBytes > 0) {
                remove();
            }
            return std::nullopt;
        }

        const double nowSeconds = secondsSince1970(now);
        const double oldest = nowSeconds - double(maxAge.count());
        const double newest = nowSeconds + double(maxFutureSkew.count());
        Json::Object events = Json::Object::array();
        QList<QByteArray> kept;
        for (const QByteArray &line : read.lines) {
            Json::Object event;
            try {
                event = Json::parse(line);
            } catch (const Json::DecodeError &) {
                continue;
            }
            if (!event.is_object()) {
                continue;
            }
            const auto t = event.find("t");
            const double time = t != event.end() && t->is_number() ? t->get<double>() : 0.0;
            if (!(time >= oldest && time <= newest)) {
                continue;
            }
            // A line without a name or a property map is not an event of ours; sent along, it
            // could have the whole batch refused.
            const auto name = event.find("n");
            const auto properties = event.find("p");
            if (name == event.end() || !name->is_string()
                || name->get_ref<const std::string &>().empty() || properties == event.end()
                || !properties->is_object()) {
                continue;
            }
            if (events.size() >= size_t(batchSize)) {
                kept.append(line);
            } else {
                events.push_back(std::move(event));
            }
        }
        if (events.empty()) {
            rewrite(kept);
            return std::nullopt;
        }

        Json::Object body = Json::Object::object();
        Json::putString(body, "app", kAppName);
        Json::putString(body, "installID", CrashConfig::installID(defaults));
        Json::putString(body, "appVersion", bundleValueOrUnknown(AppInfo::shortVersion()));
        Json::putString(body, "build", bundleValueOrUnknown(AppInfo::buildVersion()));
        Json::putString(body, "os", QSysInfo::prettyProductName());
        Json::putString(body, "arch", QSysInfo::currentCpuArchitecture());
        Json::putString(body, "locale", QLocale::system().name());
        body["events"] = std::move(events);
        QByteArray serialized;
        try {
            serialized = Json::serialize(body);
        } catch (const std::exception &) {
            return std::nullopt;
        }
        inFlight = true;
        uploadStartedAt = now;
        keptBack = std::move(kept);
        recordedDuringUpload.clear();
        return serialized;
    }

    void finishUpload(int status)
    {
        inFlight = false;
        // 4xx: the service will never take these lines; sending them again would not help.
        if (status >= 200 && status <= 499) {
            rewrite(keptBack + recordedDuringUpload);
            retryDelay = std::chrono::seconds(0);
        } else {
            retryDelay =
                retryDelay.count() == 0 ? firstRetryDelay : std::min(retryDelay * 2, flushInterval);
            failedUploadStartedAt = uploadStartedAt;
        }
        keptBack.clear();
        recordedDuringUpload.clear();
    }

    void clear()
    {
        remove();
        // An upload under way must not bring back what the user just asked to delete.
        keptBack.clear();
        recordedDuringUpload.clear();
    }

    void recordLine(const QByteArray &line, const QDateTime &now,
                    const std::function<void(QDateTime)> &flush)
    {
        if (!append(line, now)) {
            return;
        }
        if (inFlight) {
            recordedDuringUpload.append(line);
        }
        if (lineCount.value_or(0) >= batchSize && retryDue(now)) {
            flush(now);
        }
    }

    CloudRequest uploadRequest(const CloudSession &target, const QByteArray &body)
    {
        CloudRequest request = target.request(QStringLiteral("improve"));
        request.method = "POST";
        request.setHeader("Content-Type", "application/json");
        if (const auto bearer = token()) {
            request.setBearer(*bearer);
        }
        request.body = body;
        request.timeout = requestTimeout;
        return request;
    }

    // On the serial queue: one flush, handing the request to the session's thread.
    void flushLocked(const QDateTime &now, bool whenDue, std::function<void()> completion)
    {
        const auto body = beginUpload(now, whenDue);
        if (!body) {
            if (completion) {
                completion();
            }
            return;
        }
        auto self = shared_from_this();
        auto done = [self, completion](int status) {
            self->queue.async([self, completion, status] {
                self->finishUpload(status);
                if (completion) {
                    completion();
                }
            });
        };
        const bool posted = QMetaObject::invokeMethod(
            session,
            [self, body = *body, done] {
                startTransfer(self->session, self->uploadRequest(*self->session, body), done);
            },
            Qt::QueuedConnection);
        if (!posted) {
            done(0);
        }
    }
};

ImproveReporter::ImproveReporter(Services services)
    : m_services(std::move(services))
{
    Q_ASSERT(m_services.session && m_services.defaults && m_services.clock);
    QDir().mkpath(QFileInfo(m_services.filePath).absolutePath());
    m_worker =
        std::make_shared<Worker>(m_services.filePath, *m_services.defaults, m_services.session);
}

ImproveReporter::~ImproveReporter()
{
    m_timer.reset();
    waitForQueuedWork();
}

ImproveReporter &ImproveReporter::shared()
{
    static ImproveReporter *instance = new ImproveReporter(Services {
        &CloudSession::shared(), &UserDefaults::standard(), &Clock::system(), defaultFilePath()});
    return *instance;
}

QString ImproveReporter::defaultFilePath()
{
    return Paths::bundleSupportFolder() + QStringLiteral("/improve-queue.jsonl");
}

QString ImproveReporter::filePath() const
{
    return m_services.filePath;
}

void ImproveReporter::setTokenProvider(TokenProvider provider)
{
    std::lock_guard lock(m_worker->providerMutex);
    m_worker->provider = std::move(provider);
}

void ImproveReporter::start()
{
    m_timer = m_services.clock->makeTimer();
    Timer *timer = m_timer.get();
    QObject::connect(timer, &Timer::timeout, timer, [this, timer] {
        if (!timer->isActive()) {
            // The first firing came 60 s after launch; from now on every 15 minutes.
            timer->start(flushInterval, true, flushLeeway);
        }
        flush(m_services.clock->now(), true, {});
    });
    timer->start(firstFlushDelay, false, flushLeeway);
    // The events of a short session go out before the process ends.
    if (QCoreApplication *application = QCoreApplication::instance()) {
        QObject::connect(application, &QCoreApplication::aboutToQuit, timer,
                         [this] { flushNow(true); });
    }
    if (!ImproveConfig::enabled(*m_services.defaults)) {
        clearQueue();
    }
}

QVariantMap ImproveReporter::sanitized(const QVariantMap &properties, bool shortenTexts)
{
    QVariantMap result;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QVariant &value = it.value();
        switch (value.typeId()) {
        case QMetaType::QString:
            result.insert(it.key(),
                          shortenTexts ? Unicode::graphemePrefix(value.toString(), maxTextLength)
                                       : value.toString());
            break;
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::SChar:
        case QMetaType::UChar:
            result.insert(it.key(), value);
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            if (std::isfinite(value.toDouble())) {
                result.insert(it.key(), value);
            }
            break;
        default:
            break; // dates, lists, maps, absent values: nothing the service reads
        }
    }
    return result;
}

void ImproveReporter::record(const QString &event, const QVariantMap &properties)
{
    if (!ImproveConfig::enabled(*m_services.defaults)) {
        return;
    }
    const QDateTime now = m_services.clock->now();
    Json::Object line = Json::Object::object();
    line["t"] = secondsSince1970(now);
    line["n"] = Json::toStd(event);
    line["p"] = jsonObject(sanitized(properties, true));
    QByteArray serialized;
    try {
        serialized = Json::serialize(line);
    } catch (const std::exception &) {
        return;
    }
    auto worker = m_worker;
    worker->queue.async([worker, serialized, now] {
        worker->recordLine(serialized, now,
                           [worker](const QDateTime &at) { worker->flushLocked(at, true, {}); });
    });
}

void ImproveReporter::sample(const QVariantMap &properties)
{
    if (!ImproveConfig::enabled(*m_services.defaults)
        || !ImproveConfig::consentGiven(*m_services.defaults)) {
        return;
    }
    Json::Object body = jsonObject(sanitized(properties, false));
    body["app"] = Json::toStd(kAppName);
    body["installID"] = Json::toStd(CrashConfig::installID(*m_services.defaults));
    body["appVersion"] = Json::toStd(bundleValueOrUnknown(AppInfo::shortVersion()));
    body["os"] = Json::toStd(QSysInfo::prettyProductName());
    QByteArray serialized;
    try {
        serialized = Json::serialize(body);
    } catch (const std::exception &) {
        return;
    }
    auto worker = m_worker;
    QMetaObject::invokeMethod(
        m_services.session,
        [worker, serialized] {
            // Samples belong to a signed-in user only, and are never kept for later.
            const auto token = worker->token();
            if (!token) {
                return;
            }
            CloudRequest request = worker->session->request(QStringLiteral("improve/sample"));
            request.method = "POST";
            request.setHeader("Content-Type", "application/json");
            request.setBearer(*token);
            request.body = serialized;
            request.timeout = requestTimeout;
            startTransfer(worker->session, std::move(request), {});
        },
        Qt::QueuedConnection);
}

void ImproveReporter::flush(QDateTime now, bool whenDue, std::function<void()> completion)
{
    auto worker = m_worker;
    worker->queue.async(
        [worker, now = std::move(now), whenDue, completion = std::move(completion)] {
            worker->flushLocked(now, whenDue, completion);
        });
}

void ImproveReporter::flushNow(bool sync)
{
    if (!sync || m_worker->queue.isCurrent()) {
        flush(m_services.clock->now(), false, {});
        return;
    }
    flushFromWaitingThread();
}

// The quit flush: the main thread is the one waiting here, so nothing may wait for it. This thread
// prepares the batch on the serial queue, builds the request, and runs its own event loop for the
// transfer, all within one deadline.
void ImproveReporter::flushFromWaitingThread()
{
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + quitFlushLimit;
    auto worker = m_worker;

    auto prepared = std::make_shared<std::promise<std::optional<QByteArray>>>();
    auto preparedBody = prepared->get_future();
    const QDateTime now = m_services.clock->now();
    worker->queue.async(
        [worker, now, prepared] { prepared->set_value(worker->beginUpload(now, false)); });
    if (preparedBody.wait_until(deadline) != std::future_status::ready) {
        return;
    }
    const std::optional<QByteArray> body = preparedBody.get();
    if (!body) {
        return;
    }

    // Made first: the event loop gives this thread the dispatcher its network objects need.
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    // The shared session belongs to the main thread; any other thread talks through its own.
    CloudSession *session = worker->session;
    std::unique_ptr<CloudSession> own;
    if (session->thread() != QThread::currentThread()) {
        own = std::make_unique<CloudSession>(session->baseURL());
        session = own.get();
    }

    auto handled = std::make_shared<std::promise<void>>();
    auto handledFuture = handled->get_future();
    auto answered = std::make_shared<bool>(false);
    startTransfer(session, worker->uploadRequest(*session, *body),
                  [worker, handled, answered, waiting](int status) {
                      *answered = true;
                      worker->queue.async([worker, handled, status] {
                          worker->finishUpload(status);
                          handled->set_value();
                      });
                      if (waiting) {
                          waiting->quit();
                      }
                  });
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (!*answered && remaining.count() > 0) {
        QTimer::singleShot(remaining, &loop, &QEventLoop::quit);
        loop.exec();
    }
    handledFuture.wait_until(deadline);
    // Leaving ends a transfer of our own still under way: its lines stay for the next launch.
}

void ImproveReporter::waitForQueuedWork()
{
    m_worker->queue.sync([] {});
}

bool ImproveReporter::uploadInFlight() const
{
    bool inFlight = false;
    // When the upload in flight began.
    QDateTime uploadStartedAt;
    // The pause after the last failed upload (zero after a delivered one), counted from that
    // upload's start.
    std::chrono::seconds retryDelay {0};
    QDateTime failedUploadStartedAt;
    m_worker->queue.sync([&] { inFlight = m_worker->inFlight; });
    return inFlight;
}

void ImproveReporter::clearQueue()
{
    auto worker = m_worker;
    worker->queue.async([worker] { worker->clear(); });
}
