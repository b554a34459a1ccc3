#include "Core/CloudAccount.h"

#include "Core/CloudSession.h"
#include "Core/CloudTransferError.h"
#include "Core/DebugLog.h"
#include "Core/Keychain.h"
#include "Platform/Xdg/DesktopUrlOpener.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QUuid>

#include <vector>

namespace {

CloudAccount *g_override = nullptr;

std::optional<CloudAccount::Services> &sharedServices()
{
    static std::optional<CloudAccount::Services> services;
    return services;
}

const QString defaultTier = QStringLiteral("free");

std::optional<QString> stringField(const Json::Object &reply, const char *key)
{
    const auto found = reply.find(key);
    if (found == reply.end() || !found->is_string()) {
        return std::nullopt;
    }
    return Json::fromStd(found->get<std::string>());
}

QByteArray urlBase64(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

const QString CloudAccount::tokenKey = QStringLiteral("cloudToken");
const QString CloudAccount::emailKey = QStringLiteral("cloudEmail");
const QString CloudAccount::tierKey = QStringLiteral("cloudTier");
const QString CloudAccount::deviceIDKey = QStringLiteral("cloudDeviceID");

CloudAccount::NetworkError::NetworkError(Kind kind, int status)
    : std::runtime_error(kind == Kind::server ? "cloud: server status " + std::to_string(status)
                             : kind == Kind::unauthorized
                             ? std::string("cloud: unauthorized")
                             : std::string("cloud: not an HTTP answer"))
    , m_kind(kind)
    , m_status(status)
{ }

CloudAccount::CloudAccount(Services services, QObject *parent)
    : QObject(parent)
    , m_services(services)
{
    Q_ASSERT(m_services.keychain && m_services.session && m_services.urlOpener);
    m_state = storedState();
    // The keychain is read once at launch, in the background: until it has answered the account
    // looks signed out, and then takes what it holds.
    if (!m_services.keychain->isLoaded()) {
        connect(m_services.keychain, &Keychain::loaded, this, [this] { setState(storedState()); });
    }
}

CloudAccount::~CloudAccount() = default;

CloudAccount &CloudAccount::shared()
{
    if (g_override) {
        return *g_override;
    }
    static CloudAccount *instance = [] {
        Services services = sharedServices().value_or(Services {});
        if (!services.keychain) {
            services.keychain = &Keychain::shared();
        }
        if (!services.session) {
            services.session = &CloudSession::shared();
        }
        if (!services.urlOpener) {
            static DesktopUrlOpener opener;
            services.urlOpener = &opener;
        }
        return new CloudAccount(services);
    }();
    return *instance;
}

void CloudAccount::configureShared(Services services)
{
    sharedServices() = services;
}

void CloudAccount::overrideSharedForTesting(CloudAccount *account)
{
    g_override = account;
}

std::optional<QString> CloudAccount::token()
{
    return shared().storedToken();
}

std::optional<QString> CloudAccount::storedToken() const
{
    return m_services.keychain->get(tokenKey);
}

QCoro::Task<> CloudAccount::whenLoaded() const
{
    co_await m_services.keychain->load();
}

CloudAccount::State CloudAccount::storedState() const
{
    if (!storedToken()) {
        return State::signedOut();
    }
    return State::signedIn(m_services.keychain->get(emailKey).value_or(QString()),
                           m_services.keychain->get(tierKey).value_or(defaultTier));
}

void CloudAccount::setState(State state)
{
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

// MARK: Requests

QCoro::Task<Json::Object> CloudAccount::send(CloudSession &session, CloudRequest request)
{
    const CloudReply reply = co_await session.perform(std::move(request));
    if (reply.failed()) {
        throw CloudTransferError(reply.error, reply.errorText);
    }
    if (!reply.status) {
        throw NetworkError(NetworkError::Kind::invalid);
    }
    const int status = *reply.status;
    if (status == 401) {
        throw NetworkError(NetworkError::Kind::unauthorized, status);
    }
    if (status < 200 || status > 299) {
        throw NetworkError(NetworkError::Kind::server, status);
    }
    // A success never fails because of its body.
    Json::Object parsed = Json::Object::parse(reply.body.begin(), reply.body.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        co_return Json::Object::object();
    }
    co_return parsed;
}

QCoro::Task<Json::Object> CloudAccount::get(CloudSession &session, QString path, QString token)
{
    CloudRequest request = session.request(path);
    request.setBearer(token);
    Json::Object reply = co_await send(session, std::move(request));
    co_return reply;
}

QCoro::Task<Json::Object> CloudAccount::post(CloudSession &session, QString path, Json::Object body,
                                             std::optional<QString> token)
{
    CloudRequest request = session.request(path);
    request.method = "POST";
    request.setJsonBody(body);
    if (token) {
        request.setBearer(*token);
    }
    Json::Object reply = co_await send(session, std::move(request));
    co_return reply;
}

// MARK: Proof key

QString CloudAccount::randomURLBase64(int count)
{
    std::vector<quint32> words(size_t((count + 3) / 4));
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), count);
    return QString::fromLatin1(urlBase64(bytes));
}

QString CloudAccount::challenge(const QString &verifier)
{
    return QString::fromLatin1(
        urlBase64(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)));
}

// MARK: Sign-in

bool CloudAccount::signIn()
{
    const QString verifier = randomURLBase64(32);
    const QString state = randomURLBase64(16);
    m_pendingVerifier = verifier;
    m_pendingState = state;

    QUrl page = m_services.session->baseURL();
    QString path = page.path();
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    page.setPath(path + QStringLiteral("/app/connect"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("app"), QStringLiteral("sonorvelle"));
    query.addQueryItem(QStringLiteral("challenge"), challenge(verifier));
    query.addQueryItem(QStringLiteral("state"), state);
    page.setQuery(query);
    const bool opened = page.isValid() && m_services.urlOpener->openUrl(page);
    if (!opened) {
        DebugLog::log(QStringLiteral("account: no browser could open the sign-in page"));
    }
    Q_EMIT signInPageOpened(opened);
    return opened;
}

bool CloudAccount::handleCallback(const QUrl &url)
{
    if (url.host() != u"auth") {
        return false;
    }
    const QUrlQuery query(url);
    const QStringList codes = query.allQueryItemValues(QStringLiteral("code"), QUrl::FullyDecoded);
    const QStringList states =
        query.allQueryItemValues(QStringLiteral("state"), QUrl::FullyDecoded);
    // A second state makes the callback ambiguous: which one did the browser answer?
    if (codes.isEmpty() || codes.first().isEmpty() || states.size() != 1
        || states.first().isEmpty()) {
        return false;
    }
    if (!m_pendingState || *m_pendingState != states.first() || !m_pendingVerifier) {
        return false;
    }
    const QString verifier = *m_pendingVerifier;
    m_pendingState.reset();
    m_pendingVerifier.reset();
    QCoro::connect(exchange(codes.first(), verifier), this, [] {});
    return true;
}

QString CloudAccount::deviceID()
{
    if (const auto stored = m_services.keychain->get(deviceIDKey)) {
        return *stored;
    }
    const QString made = Json::uuidString(QUuid::createUuid());
    m_services.keychain->set(made, deviceIDKey);
    return made;
}

QCoro::Task<> CloudAccount::exchange(QString code, QString verifier)
{
    Json::Object body = Json::Object::object();
    Json::putString(body, "code", code);
    Json::putString(body, "verifier", verifier);
    Json::putString(body, "deviceId", deviceID());

    QPointer<CloudAccount> self(this);
    CloudSession &session = *m_services.session;
    std::optional<Json::Object> reply;
    try {
        reply = co_await post(session, QStringLiteral("app/token"), body, std::nullopt);
    } catch (...) { }
    if (!self) {
        co_return;
    }
    const std::optional<QString> token = reply ? stringField(*reply, "token") : std::nullopt;
    if (!token || token->isEmpty()) {
        // The sign-in failed; whatever account the keychain still holds is the one in use.
        setState(storedState());
        co_return;
    }
    const QString email = stringField(*reply, "email").value_or(QString());
    const QString tier = stringField(*reply, "tier").value_or(defaultTier);
    Keychain &keychain = *m_services.keychain;
    keychain.set(*token, tokenKey);
    keychain.set(email, emailKey);
    keychain.set(tier, tierKey);
    setState(State::signedIn(email, tier));
}

// MARK: Account query and sign-out

void CloudAccount::start()
{
    QCoro::connect(refresh(), this, [] {});
}

QCoro::Task<> CloudAccount::refresh()
{
    const std::optional<QString> sent = storedToken();
    if (!sent) {
        co_return;
    }
    QPointer<CloudAccount> self(this);
    std::optional<Json::Object> reply;
    bool unauthorized = false;
    try {
        reply = co_await get(*m_services.session, QStringLiteral("me"), *sent);
    } catch (const NetworkError &error) {
        unauthorized = error.kind() == NetworkError::Kind::unauthorized;
    } catch (...) { }
    // The answer speaks for the token it was asked with: after a sign-out or a new sign-in it
    // has nothing to say.
    if (!self || storedToken() != sent) {
        co_return;
    }
    Keychain &keychain = *m_services.keychain;
    if (unauthorized) {
        keychain.remove(tokenKey);
        keychain.remove(emailKey);
        keychain.remove(tierKey);
        setState(State::signedOut());
        co_return;
    }
    if (!reply) {
        co_return; // offline or a server error: the stored account stands
    }
    const QString email = stringField(*reply, "email").value_or(QString());
    const QString tier = stringField(*reply, "tier").value_or(defaultTier);
    keychain.set(email, emailKey);
    keychain.set(tier, tierKey);
    setState(State::signedIn(email, tier));
}

QCoro::Task<> CloudAccount::logout(QString token)
{
    CloudSession &session = *m_services.session;
    try {
        co_await post(session, QStringLiteral("app/logout"), Json::Object::object(), token);
    } catch (...) { }
}

void CloudAccount::signOut()
{
    if (const auto stored = storedToken()) {
        QCoro::connect(logout(*stored), this, [] {});
    }
    Keychain &keychain = *m_services.keychain;
    keychain.remove(tokenKey);
    keychain.remove(emailKey);
    keychain.remove(tierKey);
    setState(State::signedOut());
}
