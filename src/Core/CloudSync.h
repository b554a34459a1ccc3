#pragma once

#include "Core/VersionedBlobSync.h"

#include <QObject>
#include <QString>

class AppSettings;
class Clock;
class CloudAccount;
class CloudSession;
class UserDefaults;

// Settings sync: keeps thirteen of the user's settings (SyncPayload) in the cloud account, so
// that every computer signed in to the same account uses the same hotkey, sounds, insertion,
// cleanup, instructions, history policy and languages. Any change of the settings arms a push of
// their blob ("/api/sync/sonorvelle"); signing in, or switching sync on, pulls the account's copy.
//
// Unlike the shared vocabulary it can be switched off (`enabled`, "cloudSyncEnabled", on by
// default), always pushes the local settings to a server without a copy, and reports through
// `status` instead of the log. A copy that does not decode is recorded as the base and changes no
// setting; one that does is checked by SyncPayload::apply before it reaches the settings.
//
// The start-up calls start() once, just before the shared vocabulary starts. Main thread only.
class CloudSync
    : public QObject
    , private VersionedBlobSync::Client
{
    Q_OBJECT

    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)

public:
    // What the last sync step did; `error` stays until the next push or pull starts.
    enum class Status { idle, syncing, error };
    Q_ENUM(Status)

    // The user-defaults keys.
    static const QString enabledKey;
    static const QString lastBlobKey;
    static const QString baseVersionKey;
    // The account whose copy the stored version and blob describe.
    static const QString accountKey;

    // The objects must outlive the sync.
    struct Services
    {
        AppSettings *settings = nullptr;
        UserDefaults *defaults = nullptr;
        CloudSession *session = nullptr;
        CloudAccount *account = nullptr;
        Clock *clock = nullptr;
    };

    explicit CloudSync(Services services, QObject *parent = nullptr);
    ~CloudSync() override;

    // The process-wide sync on the shared settings, standard defaults, shared session and account
    // and the system clock, made at first use.
    static CloudSync &shared();
    // Puts a test's own object in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(CloudSync *sync);

    bool enabled() const { return m_enabled; }
    // Stores the value, every time; true also starts a pull. Switched off, an armed push finds it
    // off when it fires and sends nothing.
    void setEnabled(bool enabled);

    Status status() const { return m_status; }

    // Follows the settings (every change arms a push) and the account (each sign-in pulls).
    // Once.
    void start();

    // The sync underneath, for tests and benchmarks that wait for it.
    VersionedBlobSync &sync() { return m_sync; }

Q_SIGNALS:
    void enabledChanged();
    void statusChanged();

private:
    QString snapshotBlob() const override;
    bool hasLocalData() const override;
    std::optional<QString> applyBlob(const QString &blob) override;
    bool isEnabled() const override { return m_enabled; }
    void report(VersionedBlobSync::Step step, qint64 version) override;
    void setStatus(Status status);

    AppSettings &m_settings;
    UserDefaults &m_defaults;
    bool m_enabled = true;
    Status m_status = Status::idle;
    bool m_started = false;
    VersionedBlobSync m_sync;
};
