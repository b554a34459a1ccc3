#pragma once

#include "Base/Json.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class Clock;
class CloudAccount;
class CloudSession;
class Timer;
class UserDefaults;

// Keeps one versioned blob of the user's data in step with the copy the cloud account holds, so
// that every computer signed in to the same account converges on the same data. Its two users are
// the shared vocabulary and settings sync; each has its own endpoint, its own blob and its own
// stored pair (base version, last blob), and the core does everything else:
//
// - a push 2.0 s after the last local change, skipped when the blob equals the last one sent or
//   received; a pull when the account signs in;
// - the pull's decision: apply a newer server copy, push a local copy the server lacks or that
//   changed since, or nothing when both agree;
// - a 409 answer to a push means the server holds a newer copy: one forced pull installs it.
//
// What a careless client would get wrong, and this one does not:
// - one operation runs at a time; a pull or a push asked for meanwhile runs right after it, so an
//   edit made while a push is in flight is pushed afterwards on the new base version instead of
//   racing it (and losing to the 409 that the race provokes);
// - a push answered 409 by the forced pull's own push is a failure, not another forced pull: a
//   service that answers 409 forever cannot make the client loop;
// - the stored pair belongs to the account it was made with: after a sign-in to another account
//   the pair starts afresh, so that account's copy is installed rather than ignored or overwritten;
// - an answer is dropped when the token it was asked with is no longer the stored one;
// - a server copy larger than maxBlobBytes is not decoded.
//
// Main thread only. The stored token of the account decides whether the user is signed in; the
// account's state publications start pulls.
class VersionedBlobSync : public QObject
{
    Q_OBJECT

public:
    // Edits within this time of each other go out as one push.
    static constexpr std::chrono::milliseconds pushDelay {2000};
    // A server copy above this size is not decoded: 2,000 terms and 500 rules take about 100 kB,
    // and a copy ten times that size cannot be one this application wrote.
    static constexpr qsizetype maxBlobBytes = 1024 * 1024;

    // When a server reply holds a copy.
    enum class PresenceRule {
        // "version" an integer of at least 1 and "blob" a string.
        versionAtLeastOne,
        // "version" an integer other than 0 and "blob" a string.
        versionNotZero,
    };

    // What a pull does when the server holds no copy.
    enum class NoCopyAction {
        // Push the local copy when the user has any data.
        pushWhenLocalNotEmpty,
        // Push the local copy in any case.
        pushAlways,
    };

    // What happened, for the user to report (a log line, a published status).
    enum class Step {
        pushStarted,
        // The push was accepted; `version` is the base version stored.
        pushed,
        // Refused (a second 409 included), unauthorized or unreachable; nothing stored.
        pushFailed,
        pullStarted,
        // The server holds what this computer holds.
        upToDate,
        // A newer server copy was installed; `version` is its version.
        applied,
        // A newer server copy did not decode, or was too large; the local data was kept and the
        // copy recorded as the base, so that the next push replaces it.
        unreadable,
        // The reply held a "version" that is not an integer, or a "blob" that is not a text; it
        // counts as a reply without a copy.
        malformedReply,
        // The pull was answered 401.
        pullUnauthorized,
        // The pull was answered with another failure.
        pullFailed,
        // The account changed while the request was under way; its answer was ignored.
        dropped,
    };

    // What one user of the core provides.
    class Client
    {
    public:
        virtual ~Client() = default;

        // The blob of the current local data.
        virtual QString snapshotBlob() const = 0;
        // Whether there is local data worth pushing to a server without a copy.
        virtual bool hasLocalData() const = 0;
        // Decodes a server copy and assigns it to the local data, and returns the blob of what it
        // assigned (a client that leaves values out or maps them writes its own); nothing when the
        // copy does not decode (nothing may then be changed).
        virtual std::optional<QString> applyBlob(const QString &blob) = 0;
        // Whether syncing is switched on.
        virtual bool isEnabled() const { return true; }
        virtual void report(Step step, qint64 version) = 0;
    };

    struct Config
    {
        // The endpoint below "api/", such as "sync/shared".
        QString path;
        // User-defaults keys of the stored pair and of the account it belongs to.
        QString lastBlobKey;
        QString baseVersionKey;
        QString accountKey;
        PresenceRule presence = PresenceRule::versionAtLeastOne;
        NoCopyAction noCopy = NoCopyAction::pushWhenLocalNotEmpty;
    };

    // The objects must outlive the sync.
    struct Services
    {
        CloudSession *session = nullptr;
        CloudAccount *account = nullptr;
        UserDefaults *defaults = nullptr;
        Clock *clock = nullptr;
    };

    VersionedBlobSync(Config config, Services services, Client &client, QObject *parent = nullptr);
    ~VersionedBlobSync() override;

    // Follows the account: every signed-in publication starts a pull, and so does a signed-in
    // state now. Once.
    void start();
    // Asks for a pull; it runs at once, or after the operation under way. Returns at once.
    void pull(bool force);
    // (Re)arms the push, unless syncing is off, no token is stored or a server copy is being
    // applied.
    void schedulePush();

    bool hasToken() const;
    // True only while a server copy is being assigned to the local data.
    bool isApplyingRemote() const { return m_applyingRemote; }
    // Whether a pull or a push is under way or waiting to run.
    bool isBusy() const { return m_running; }
    bool isPushArmed() const;

    std::optional<QString> lastBlob() const;
    qint64 baseVersion() const;

    // The text of a blob: compact JSON with the object keys in ascending order at every level and
    // "/" written as "\/", so that equal data always gives byte-identical text, the same on every
    // computer. Empty when the value holds text that is not valid Unicode.
    static QString encodeBlob(const Json::Object &value);
    // The same for a value built with sorted keys already (no conversion on the way).
    static QString encodeBlob(const nlohmann::json &value);
    // Appends `text` as a JSON string exactly as encodeBlob writes it, for users that write a
    // large blob of a fixed shape directly.
    static void appendBlobString(std::string &out, const QString &text);

Q_SIGNALS:
    // Every operation has ended and none waits.
    void settled();

private:
    enum class Answer { ok, conflict, unauthorized, failed };
    struct Reply
    {
        Answer answer = Answer::failed;
        Json::Object body;
    };

    void run();
    QCoro::Task<> drain();
    QCoro::Task<> pushIfChanged();
    QCoro::Task<> push(QString blob, bool mayForcePull);
    QCoro::Task<> pullNow(bool force, bool mayForcePull);
    void applyRemote(const QString &blob, qint64 version);
    QCoro::Task<Reply> request(QByteArray method, QString token, std::optional<Json::Object> body);
    // Makes the stored pair the signed-in account's; true when it belonged to another account
    // and was cleared.
    bool adoptSignedInAccount();
    void onAccountState();

    Config m_config;
    Services m_services;
    Client &m_client;
    std::unique_ptr<Timer> m_pushTimer;
    bool m_applyingRemote = false;
    bool m_started = false;

    bool m_running = false;
    bool m_pullWanted = false;
    bool m_forceWanted = false;
    bool m_pushWanted = false;
};
