#include "Core/VersionedBlobSync.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/UserDefaults.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"

#include <QPointer>

#include <algorithm>
#include <exception>
#include <string>

namespace {

// What a GET reply says about the server's copy.
struct ServerCopy
{
    std::optional<qint64> version;
    std::optional<QString> blob;
    // "version" or "blob" held a value of the wrong type.
    bool malformed = false;
};

ServerCopy readCopy(const Json::Object &reply)
{
    ServerCopy copy;
    try {
        copy.version = Json::optionalInt64(reply, "version");
    } catch (const Json::DecodeError &) {
        copy.malformed = true;
    }
    try {
        copy.blob = Json::optionalString(reply, "blob");
    } catch (const Json::DecodeError &) {
        copy.malformed = true;
    }
    return copy;
}

std::optional<qint64> integerField(const Json::Object &reply, const char *key)
{
    try {
        return Json::optionalInt64(reply, key);
    } catch (const Json::DecodeError &) {
        return std::nullopt;
    }
}

} // namespace

VersionedBlobSync::VersionedBlobSync(Config config, Services services, Client &client,
                                     QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_services(services)
    , m_client(client)
{
    Q_ASSERT(m_services.session && m_services.account && m_services.defaults && m_services.clock);
    m_pushTimer = m_services.clock->makeTimer();
    connect(m_pushTimer.get(), &Timer::timeout, this, [this] {
        m_pushWanted = true;
        run();
    });
}

VersionedBlobSync::~VersionedBlobSync() = default;

// MARK: Blob text

QString VersionedBlobSync::encodeBlob(const Json::Object &value)
{
    // The plain json type keeps its object keys in a sorted map: converting to it sorts every
    // level at once.
    return encodeBlob(nlohmann::json(value));
}

QString VersionedBlobSync::encodeBlob(const nlohmann::json &sorted)
{
    std::string text;
    try {
        text = sorted.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception &) {
        return QString();
    }
    // Other clients of the service write "/" escaped; writing it the same way keeps equal data
    // byte-identical across computers, so that no computer pushes a copy that differs only in
    // its spelling. Outside strings compact JSON has no "/" at all.
    const auto slashes = std::count(text.begin(), text.end(), '/');
    if (slashes == 0) {
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    std::string escaped;
    escaped.reserve(text.size() + size_t(slashes));
    size_t from = 0;
    for (size_t slash = text.find('/'); slash != std::string::npos; slash = text.find('/', from)) {
        escaped.append(text, from, slash - from);
        escaped += "\\/";
        from = slash + 1;
    }
    escaped.append(text, from, std::string::npos);
    return QString::fromUtf8(escaped.data(), qsizetype(escaped.size()));
}

void VersionedBlobSync::appendBlobString(std::string &out, const QString &text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xf];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// MARK: State

bool VersionedBlobSync::hasToken() const
{
    return m_services.account->storedToken().has_value();
}

bool VersionedBlobSync::isPushArmed() const
{
    return m_pushTimer->isActive();
}

std::optional<QString> VersionedBlobSync::lastBlob() const
{
    return m_services.defaults->string(m_config.lastBlobKey);
}

qint64 VersionedBlobSync::baseVersion() const
{
    return m_services.defaults->integer(m_config.baseVersionKey).value_or(0);
}

bool VersionedBlobSync::adoptSignedInAccount()
{
    CloudAccount &account = *m_services.account;
    // An account whose e-mail is not known (yet) neither claims the pair nor clears it.
    if (!account.isSignedIn() || account.email().isEmpty()) {
        return false;
    }
    const QString email = account.email();
    const std::optional<QString> owner = m_services.defaults->string(m_config.accountKey);
    if (owner == email) {
        return false;
    }
    m_services.defaults->setValue(m_config.accountKey, email);
    if (!owner) {
        // A pair stored before owners were recorded was made with the account signed in now.
        return false;
    }
    // The other account's version and blob say nothing about this account's copy: compared with
    // it they would either ignore it (a higher base) or push the other account's data over it.
    m_services.defaults->remove(m_config.baseVersionKey);
    m_services.defaults->remove(m_config.lastBlobKey);
    return true;
}

// MARK: Triggers

void VersionedBlobSync::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    connect(m_services.account, &CloudAccount::stateChanged, this,
            &VersionedBlobSync::onAccountState);
    onAccountState();
}

void VersionedBlobSync::onAccountState()
{
    if (m_services.account->isSignedIn()) {
        pull(false);
    }
}

void VersionedBlobSync::pull(bool force)
{
    m_pullWanted = true;
    m_forceWanted = m_forceWanted || force;
    run();
}

void VersionedBlobSync::schedulePush()
{
    if (!m_client.isEnabled() || !hasToken() || m_applyingRemote) {
        return;
    }
    m_pushTimer->start(pushDelay, false);
}

void VersionedBlobSync::run()
{
    if (m_running) {
        return;
    }
    m_running = true;
    QCoro::connect(drain(), this, [] {});
}

QCoro::Task<> VersionedBlobSync::drain()
{
    QPointer<VersionedBlobSync> self(this);
    for (;;) {
        if (m_pullWanted) {
            const bool force = m_forceWanted;
            m_pullWanted = false;
            m_forceWanted = false;
            co_await pullNow(force, true);
        } else if (m_pushWanted) {
            m_pushWanted = false;
            co_await pushIfChanged();
        } else {
            break;
        }
        if (!self) {
            co_return;
        }
    }
    m_running = false;
    Q_EMIT settled();
}

// MARK: Operations

QCoro::Task<> VersionedBlobSync::pushIfChanged()
{
    if (!m_client.isEnabled() || !hasToken()) {
        co_return;
    }
    if (adoptSignedInAccount()) {
        // Signed in to another account since the edit: its copy comes first.
        co_await pullNow(false, true);
        co_return;
    }
    const QString snapshot = m_client.snapshotBlob();
    const std::optional<QString> last = lastBlob();
    if (last && *last == snapshot) {
        co_return;
    }
    co_await push(snapshot, true);
}

QCoro::Task<> VersionedBlobSync::push(QString blob, bool mayForcePull)
{
    const std::optional<QString> token = m_services.account->storedToken();
    if (!token) {
        co_return;
    }
    m_client.report(Step::pushStarted, 0);

    Json::Object body = Json::Object::object();
    Json::putString(body, "blob", blob);
    Json::putInt64(body, "baseVersion", baseVersion());
    Json::putString(body, "deviceId", m_services.account->deviceID());

    QPointer<VersionedBlobSync> self(this);
    const Reply reply = co_await request("PUT", *token, std::move(body));
    if (!self) {
        co_return;
    }
    if (m_services.account->storedToken() != token) {
        m_client.report(Step::dropped, 0);
        co_return;
    }
    switch (reply.answer) {
    case Answer::ok: {
        const qint64 version = integerField(reply.body, "version").value_or(baseVersion());
        m_services.defaults->setValue(m_config.baseVersionKey,
                                      QVariant::fromValue<qint64>(version));
        m_services.defaults->setValue(m_config.lastBlobKey, blob);
        m_client.report(Step::pushed, version);
        break;
    }
    case Answer::conflict:
        if (mayForcePull) {
            co_await pullNow(true, false);
        } else {
            m_client.report(Step::pushFailed, 0);
        }
        break;
    case Answer::unauthorized:
    case Answer::failed:
        m_client.report(Step::pushFailed, 0);
        break;
    }
}

QCoro::Task<> VersionedBlobSync::pullNow(bool force, bool mayForcePull)
{
    if (!m_client.isEnabled()) {
        co_return;
    }
    const std::optional<QString> token = m_services.account->storedToken();
    if (!token) {
        co_return;
    }
    adoptSignedInAccount();
    m_client.report(Step::pullStarted, 0);

    QPointer<VersionedBlobSync> self(this);
    const Reply reply = co_await request("GET", *token, std::nullopt);
    if (!self) {
        co_return;
    }
    if (m_services.account->storedToken() != token) {
        m_client.report(Step::dropped, 0);
        co_return;
    }
    if (reply.answer == Answer::unauthorized) {
        m_client.report(Step::pullUnauthorized, 0);
        co_return;
    }
    if (reply.answer != Answer::ok) {
        m_client.report(Step::pullFailed, 0);
        co_return;
    }

    const ServerCopy copy = readCopy(reply.body);
    if (copy.malformed) {
        m_client.report(Step::malformedReply, 0);
    }
    const bool present = copy.blob && copy.version
        && (m_config.presence == PresenceRule::versionAtLeastOne ? *copy.version >= 1
                                                                 : *copy.version != 0);
    if (present) {
        if (force || baseVersion() < *copy.version) {
            applyRemote(*copy.blob, *copy.version);
            co_return;
        }
        const QString snapshot = m_client.snapshotBlob();
        const std::optional<QString> last = lastBlob();
        if (last && *last == snapshot) {
            m_client.report(Step::upToDate, *copy.version);
            co_return;
        }
        co_await push(snapshot, mayForcePull);
        co_return;
    }
    if (m_config.noCopy == NoCopyAction::pushAlways || m_client.hasLocalData()) {
        co_await push(m_client.snapshotBlob(), mayForcePull);
    }
}

void VersionedBlobSync::applyRemote(const QString &blob, qint64 version)
{
    const bool withinBound = blob.size() <= maxBlobBytes && blob.toUtf8().size() <= maxBlobBytes;
    std::optional<QString> applied;
    if (withinBound) {
        m_applyingRemote = true;
        try {
            applied = m_client.applyBlob(blob);
        } catch (...) {
            applied.reset();
        }
        m_applyingRemote = false;
    }
    const bool decoded = applied.has_value();
    m_services.defaults->setValue(m_config.baseVersionKey, QVariant::fromValue<qint64>(version));
    if (applied) {
        // The base is what this computer now holds, so that the next comparison finds no change
        // where the client only left values out or mapped them.
        m_services.defaults->setValue(m_config.lastBlobKey, *applied);
    } else if (withinBound) {
        m_services.defaults->setValue(m_config.lastBlobKey, blob);
    } else {
        // Kept only to be compared with the local blob, which it can never equal; the user
        // defaults are rewritten whole at every change and must not carry megabytes.
        m_services.defaults->remove(m_config.lastBlobKey);
    }
    m_client.report(decoded ? Step::applied : Step::unreadable, version);
}

QCoro::Task<VersionedBlobSync::Reply> VersionedBlobSync::request(QByteArray method, QString token,
                                                                 std::optional<Json::Object> body)
{
    CloudSession &session = *m_services.session;
    CloudRequest request = session.request(m_config.path);
    request.method = method;
    request.setBearer(token);
    if (body) {
        request.setJsonBody(*body);
    }
    Reply reply;
    try {
        reply.body = co_await CloudAccount::send(session, std::move(request));
        reply.answer = Answer::ok;
    } catch (const CloudAccount::NetworkError &error) {
        if (error.kind() == CloudAccount::NetworkError::Kind::unauthorized) {
            reply.answer = Answer::unauthorized;
        } else if (error.kind() == CloudAccount::NetworkError::Kind::server
                   && error.status() == 409) {
            reply.answer = Answer::conflict;
        } else {
            reply.answer = Answer::failed;
        }
    } catch (...) {
        reply.answer = Answer::failed;
    }
    co_return reply;
}
