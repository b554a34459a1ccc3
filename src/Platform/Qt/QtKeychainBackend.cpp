#include "Platform/Qt/QtKeychainBackend.h"

#include "Base/AppInfo.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <qt6keychain/keychain.h>

namespace {

const QStringList kStoreNames = {
    QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
    QStringLiteral("org.kde.kwalletd5"), QStringLiteral("org.kde.kwalletd")};

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
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    QDBusConnectionInterface *interface = bus.interface();
    for (const QString &name : kStoreNames) {
        if (interface->isServiceRegistered(name).value()) {
            return true;
        }
    }
    const QStringList activatable = interface->activatableServiceNames().value();
    for (const QString &name : kStoreNames) {
        if (activatable.contains(name)) {
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
