#include "Core/CloudSync.h"

#include "Base/Clock.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/DebugLog.h"
#include "Core/SyncPayload.h"

namespace {

CloudSync *g_override = nullptr;

} // namespace

const QString CloudSync::enabledKey = QStringLiteral("cloudSyncEnabled");
const QString CloudSync::lastBlobKey = QStringLiteral("cloudSyncLastBlob");
const QString CloudSync::baseVersionKey = QStringLiteral("cloudSyncBaseVersion");
const QString CloudSync::accountKey = QStringLiteral("cloudSyncAccount");

CloudSync::CloudSync(Services services, QObject *parent)
    : QObject(parent)
    , m_settings(*services.settings)
    , m_defaults(*services.defaults)
    , m_enabled(m_defaults.boolValue(enabledKey).value_or(true))
    , m_sync(
          VersionedBlobSync::Config {
              QStringLiteral("sync/sonorvelle"),
              lastBlobKey,
              baseVersionKey,
              accountKey,
              VersionedBlobSync::PresenceRule::versionNotZero,
              VersionedBlobSync::NoCopyAction::pushAlways,
          },
          VersionedBlobSync::Services {services.session, services.account, services.defaults,
                                       services.clock},
          *this)
{ }

CloudSync::~CloudSync() = default;

CloudSync &CloudSync::shared()
{
    if (g_override) {
        return *g_override;
    }
    static CloudSync *instance = new CloudSync(
        Services {&AppSettings::shared(), &UserDefaults::standard(), &CloudSession::shared(),
                  &CloudAccount::shared(), &Clock::system()});
    return *instance;
}

void CloudSync::overrideSharedForTesting(CloudSync *sync)
{
    g_override = sync;
}

void CloudSync::setEnabled(bool enabled)
{
    const bool changed = enabled != m_enabled;
    m_enabled = enabled;
    m_defaults.setValue(enabledKey, enabled);
    if (changed) {
        Q_EMIT enabledChanged();
    }
    if (enabled) {
        m_sync.pull(false);
    }
}

void CloudSync::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    // The change is announced before it is made; the push reads the settings when it fires.
    connect(&m_settings, &AppSettings::willChange, this, [this] { m_sync.schedulePush(); });
    m_sync.start();
}

QString CloudSync::snapshotBlob() const
{
    return SyncPayload::from(m_settings, m_sync.lastBlob()).blob();
}

bool CloudSync::hasLocalData() const
{
    return true;
}

std::optional<QString> CloudSync::applyBlob(const QString &blob)
{
    const std::optional<SyncPayload> payload = SyncPayload::decodeBlob(blob);
    if (!payload) {
        return std::nullopt;
    }
    payload->apply(m_settings);
    return SyncPayload::from(m_settings, blob).blob();
}

void CloudSync::setStatus(Status status)
{
    if (status == m_status) {
        return;
    }
    m_status = status;
    Q_EMIT statusChanged();
}

void CloudSync::report(VersionedBlobSync::Step step, qint64 version)
{
    using Step = VersionedBlobSync::Step;
    switch (step) {
    case Step::pushStarted:
    case Step::pullStarted:
        setStatus(Status::syncing);
        break;
    case Step::pushed:
    case Step::upToDate:
    case Step::applied:
    case Step::pullUnauthorized:
    case Step::dropped:
        setStatus(Status::idle);
        break;
    case Step::unreadable:
        // A bad copy is worth one line: it is recorded as the base and replaced by the next push,
        // and the user sees nothing.
        DebugLog::log(
            QStringLiteral("sync: pulled settings v%1 unreadable; settings kept").arg(version));
        setStatus(Status::idle);
        break;
    case Step::malformedReply:
        DebugLog::log(QStringLiteral("sync: pull reply without a usable version or blob"));
        break;
    case Step::pushFailed:
    case Step::pullFailed:
        setStatus(Status::error);
        break;
    }
}
