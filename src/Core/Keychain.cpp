#include "Core/Keychain.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/DebugLog.h"
#include "Platform/Qt/QtKeychainBackend.h"

#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QStringDecoder>
#include <QThread>

namespace {

Keychain *g_override = nullptr;

QString describe(const QString &key)
{
    return u'"' + key + u'"';
}

// Data that is not valid UTF-8 is no string.
std::optional<QString> decodeUtf8(const QByteArray &data)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless
                               | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

const QStringList Keychain::knownKeys = {QStringLiteral("cloudToken"), QStringLiteral("cloudEmail"),
                                         QStringLiteral("cloudTier"),
                                         QStringLiteral("cloudDeviceID")};

Keychain::Keychain(KeychainBackend *backend, Clock &clock, std::chrono::nanoseconds timeout,
                   QObject *parent)
    : QObject(parent)
    , m_backend(backend)
    , m_timeout(timeout)
    , m_timer(clock.makeTimer())
{
    connect(m_timer.get(), &Timer::timeout, this, [this] { timeOut(m_jobNumber); });
}

Keychain::~Keychain() = default;

Keychain &Keychain::shared()
{
    if (g_override) {
        return *g_override;
    }
    static Keychain *instance = new Keychain(new QtKeychainBackend(), Clock::system());
    return *instance;
}

void Keychain::overrideSharedForTesting(Keychain *keychain)
{
    g_override = keychain;
}

QCoro::Task<> Keychain::load(QStringList keys)
{
    if (!isLoaded() && !m_loading) {
        m_loading = true;
        m_pendingLoadReads = int(keys.size());
        if (keys.isEmpty()) {
            finishLoad();
        }
        for (const QString &key : keys) {
            Job job {JobKind::read, key, QString(), 0, true};
            {
                std::lock_guard lock(m_mutex);
                job.generation = m_generations.value(key);
            }
            enqueue(job);
        }
    }
    if (!isLoaded()) {
        co_await qCoro(this, &Keychain::loaded);
    }
}

bool Keychain::isLoaded() const
{
    std::lock_guard lock(m_mutex);
    return m_loaded;
}

bool Keychain::isMemoryOnly() const
{
    std::lock_guard lock(m_mutex);
    return m_memoryOnly;
}

std::optional<QString> Keychain::get(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_cache.constFind(key);
    if (it == m_cache.cend()) {
        return std::nullopt;
    }
    return *it;
}

void Keychain::set(const std::optional<QString> &value, const QString &key)
{
    if (!value) {
        remove(key);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_cache.insert(key, *value);
        ++m_generations[key];
    }
    writeThrough(JobKind::write, key, *value);
}

void Keychain::remove(const QString &key)
{
    {
        std::lock_guard lock(m_mutex);
        m_cache.remove(key);
        ++m_generations[key];
    }
    writeThrough(JobKind::remove, key, QString());
}

void Keychain::writeThrough(JobKind kind, const QString &key, const QString &value)
{
    if (isMemoryOnly()) {
        return;
    }
    Job job {kind, key, value, 0, false};
    if (QThread::currentThread() == thread()) {
        enqueue(std::move(job));
    } else {
        QMetaObject::invokeMethod(
            this, [this, job = std::move(job)]() mutable { enqueue(std::move(job)); },
            Qt::QueuedConnection);
    }
}

void Keychain::enqueue(Job job)
{
    if (isMemoryOnly()) {
        settle(job);
        return;
    }
    m_queue.enqueue(std::move(job));
    pump();
}

void Keychain::pump()
{
    // A backend may answer inside the call that starts its job; the loop then starts the next.
    if (m_pumping) {
        return;
    }
    m_pumping = true;
    while (!m_current && !m_queue.isEmpty()) {
        if (!m_availabilityChecked) {
            m_availabilityChecked = true;
            if (!m_backend || !m_backend->isAvailable()) {
                goMemoryOnly(QStringLiteral("no secret service is reachable"));
                break;
            }
        }
        m_current = m_queue.dequeue();
        ++m_jobNumber;
        m_timer->start(m_timeout, false);
        start(*m_current);
    }
    m_pumping = false;
    if (!m_current && m_queue.isEmpty()) {
        Q_EMIT jobsDrained();
    }
}

QCoro::Task<> Keychain::waitForPendingJobs()
{
    if (m_current || !m_queue.isEmpty()) {
        co_await qCoro(this, &Keychain::jobsDrained);
    }
}

void Keychain::start(const Job &job)
{
    QPointer<Keychain> self(this);
    const quint64 number = m_jobNumber;
    auto done = [self, number](const KeychainBackend::Reply &reply) {
        if (self) {
            self->finish(number, reply);
        }
    };
    switch (job.kind) {
    case JobKind::read:
        m_backend->read(job.key, done);
        break;
    case JobKind::write:
        m_backend->write(job.key, job.value, done);
        break;
    case JobKind::remove:
        m_backend->remove(job.key, done);
        break;
    }
}

void Keychain::finish(quint64 jobNumber, const KeychainBackend::Reply &reply)
{
    if (!m_current || jobNumber != m_jobNumber) {
        // The job timed out earlier; its late answer changes nothing.
        return;
    }
    const Job job = *m_current;
    m_current.reset();
    m_timer->stop();

    using Status = KeychainBackend::Status;
    if (reply.status == Status::noBackend) {
        settle(job);
        goMemoryOnly(reply.error.isEmpty() ? QStringLiteral("no secret service is available")
                                           : reply.error);
        pump();
        return;
    }
    switch (job.kind) {
    case JobKind::read:
        if (reply.status == Status::success) {
            const auto text = decodeUtf8(reply.data);
            std::lock_guard lock(m_mutex);
            if (text && m_generations.value(job.key) == job.generation) {
                m_cache.insert(job.key, *text);
            }
        } else if (reply.status == Status::failed) {
            DebugLog::log(QStringLiteral("keychain: could not read %1: %2")
                              .arg(describe(job.key), reply.error));
        }
        break;
    case JobKind::write:
        if (reply.status != Status::success) {
            DebugLog::log(QStringLiteral("keychain: could not store %1: %2")
                              .arg(describe(job.key), reply.error));
        }
        break;
    case JobKind::remove:
        if (reply.status == Status::failed) {
            DebugLog::log(QStringLiteral("keychain: could not remove %1: %2")
                              .arg(describe(job.key), reply.error));
        }
        break;
    }
    settle(job);
    pump();
}

void Keychain::timeOut(quint64 jobNumber)
{
    if (!m_current || jobNumber != m_jobNumber) {
        return;
    }
    const Job job = *m_current;
    m_current.reset();
    m_timer->stop();
    const char *what = job.kind == JobKind::read ? "reading"
        : job.kind == JobKind::write             ? "storing"
                                                 : "removing";
    DebugLog::log(QStringLiteral("keychain: the secret service did not answer within %1 ms; %2 %3 "
                                 "was given up")
                      .arg(std::chrono::duration_cast<std::chrono::milliseconds>(m_timeout).count())
                      .arg(QLatin1StringView(what), describe(job.key)));
    settle(job);
    pump();
}

void Keychain::settle(const Job &job)
{
    if (job.partOfLoad && --m_pendingLoadReads == 0) {
        finishLoad();
    }
}

void Keychain::finishLoad()
{
    m_loading = false;
    {
        std::lock_guard lock(m_mutex);
        m_loaded = true;
    }
    Q_EMIT loaded();
}

void Keychain::goMemoryOnly(const QString &reason)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_memoryOnly) {
            return;
        }
        m_memoryOnly = true;
    }
    DebugLog::log(
        QStringLiteral("keychain: %1; items are kept in memory for this session").arg(reason));
    while (!m_queue.isEmpty()) {
        settle(m_queue.dequeue());
    }
}
