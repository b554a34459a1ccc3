#include "Platform/Qt/QtKeychainBackend.h"

#include "Base/AppInfo.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <optional>

#include <qt6keychain/keychain.h>

namespace {

const QStringList kStoreNames = {
    QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
    QStringLiteral("org.kde.kwalletd5"), QStringLiteral("org.kde.kwalletd")};

// The longest wait for the bus's answer to the availability probe.
constexpr int kBusTimeoutMs = 300;

KeychainBackend::Reply replyOf(const QKeychain::Job &job)
{
    KeychainBackend::Reply reply;
    switch (job.error()) {
    case QKeychain::NoError:
        reply.status = KeychainBackend::Status::success;
        break;
    case QKeychain::EntryNotFound:
        reply.status = KeychainBackend::Status::notFound;
        break;
    case QKeychain::NoBackendAvailable:
        reply.status = KeychainBackend::Status::noBackend;
        break;
    default:
        reply.status = KeychainBackend::Status::failed;
        break;
    }
    if (reply.status != KeychainBackend::Status::success) {
        reply.error = job.errorString();
    }
    return reply;
}

template<typename J>
void run(J *job, const QString &key, KeychainBackend::Completion done,
         void (*fill)(const J &, KeychainBackend::Reply &) = nullptr)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done = std::move(done), fill] {
        KeychainBackend::Reply reply = replyOf(*job);
        if (fill && reply.status == KeychainBackend::Status::success) {
            fill(*job, reply);
        }
        done(reply);
    });
    job->start();
}

} // namespace

QtKeychainBackend::QtKeychainBackend()
    : m_service(AppInfo::bundleIdentifier())
{ }

bool QtKeychainBackend::isAvailable()
{
    return storeReachable(QDBusConnection::sessionBus(), kBusTimeoutMs);
}

bool QtKeychainBackend::storeReachable(const QDBusConnection &bus, int timeoutMs)
{
    if (!bus.isConnected()) {
        return false;
    }
    // Asked on the main thread at the first keychain job: a bus that does not answer must not
    // freeze the tray, so each question waits briefly and no answer counts as no store.
    const auto names = [&](const char *method) -> std::optional<QStringList> {
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
        const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        return reply.arguments().constFirst().toStringList();
    };
    const std::optional<QStringList> owned = names("ListNames");
    if (!owned) {
        return false;
    }
    for (const QString &name : kStoreNames) {
        if (owned->contains(name)) {
            return true;
        }
    }
    const std::optional<QStringList> activatable = names("ListActivatableNames");
    if (!activatable) {
        return false;
    }
    for (const QString &name : kStoreNames) {
        if (activatable->contains(name)) {
            return true;
        }
    }
    return false;
}

void QtKeychainBackend::read(const QString &key, Completion done)
{
    run<QKeychain::ReadPasswordJob>(
        new QKeychain::ReadPasswordJob(m_service), key, std::move(done),
        [](const QKeychain::ReadPasswordJob &job, Reply &reply) { reply.data = job.binaryData(); });
}

void QtKeychainBackend::write(const QString &key, const QString &value, Completion done)
{
    auto *job = new QKeychain::WritePasswordJob(m_service);
    job->setTextData(value);
    run<QKeychain::WritePasswordJob>(job, key, std::move(done));
}

void QtKeychainBackend::remove(const QString &key, Completion done)
{
    run<QKeychain::DeletePasswordJob>(new QKeychain::DeletePasswordJob(m_service), key,
                                      std::move(done));
}
