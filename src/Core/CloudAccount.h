#pragma once

#include "Base/Json.h"
#include "Core/CloudReply.h"
#include "Core/CloudRequest.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <optional>
#include <stdexcept>

class CloudSession;
class Keychain;
class UrlOpener;

// The user's optional account with the cloud service: sign-in through the default browser with a
// proof-key exchange (PKCE, S256), the bearer token and the account's e-mail and tier in the
// keychain, the profile refreshed at launch, sign-out, and the published account state.
//
// "Signed in" means everywhere that the keychain holds "cloudToken", read afresh each time
// (token()); the published state follows the keychain. Replies that arrive late act only when the
// stored token is still the one the request carried, so a reply for an older token never signs a
// signed-out user back in nor removes a newer token.
//
// Main thread: signIn(), handleCallback() and signOut() are called from interface actions and the
// callback forwarding; the exchange, the account query and the logout run as coroutines there.
class CloudAccount : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool signedIn READ isSignedIn NOTIFY stateChanged)
    Q_PROPERTY(QString email READ email NOTIFY stateChanged)
    Q_PROPERTY(QString tier READ tier NOTIFY stateChanged)

public:
    struct State
    {
        enum class Case { signedIn, signedOut };

        Case is = Case::signedOut;
        // Only meaningful when signed in: the e-mail as the service reported it (possibly empty)
        // and the tier ("free" when it reported none).
        QString email;
        QString tier;

        static State signedIn(QString email, QString tier)
        {
            return {Case::signedIn, std::move(email), std::move(tier)};
        }
        static State signedOut() { return {}; }

        friend bool operator==(const State &a, const State &b)
        {
            return a.is == b.is
                && (a.is == Case::signedOut || (a.email == b.email && a.tier == b.tier));
        }
    };

    // An answer of the service that is not a success (the account's own endpoints).
    class NetworkError : public std::runtime_error
    {
    public:
        enum class Kind {
            // Neither 401 nor 2xx; status() holds it.
            server,
            // 401.
            unauthorized,
            // The transfer completed, but the answer was not HTTP.
            invalid,
        };

        NetworkError(Kind kind, int status = 0);
        Kind kind() const { return m_kind; }
        int status() const { return m_status; }

    private:
        Kind m_kind;
        int m_status;
    };

    // The objects must outlive the account.
    struct Services
    {
        Keychain *keychain = nullptr;
        CloudSession *session = nullptr;
        UrlOpener *urlOpener = nullptr;
    };

    // The keychain items.
    static const QString tokenKey;
    static const QString emailKey;
    static const QString tierKey;
    static const QString deviceIDKey;

    explicit CloudAccount(Services services, QObject *parent = nullptr);
    ~CloudAccount() override;

    // The process-wide account, made at first use on the main thread with the services given to
    // configureShared() (by default the shared keychain and session and the desktop's URL opener).
    static CloudAccount &shared();
    static void configureShared(Services services);
    // Puts a test's own account in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(CloudAccount *account);

    // The stored bearer token of the shared account; absent: signed out.
    static std::optional<QString> token();
    // This account's stored token.
    std::optional<QString> storedToken() const;
    // Finishes once the keychain has been read at launch (at once after that). Until then a
    // missing token says nothing: the keychain answers late, the longer with a locked keyring.
    QCoro::Task<> whenLoaded() const;

    State state() const { return m_state; }
    bool isSignedIn() const { return m_state.is == State::Case::signedIn; }
    QString email() const { return m_state.email; }
    QString tier() const { return m_state.tier; }

    // Refreshes the account in the background when a token is stored.
    void start();
    // The account query; never fails. Without a token it returns at once.
    QCoro::Task<> refresh();
    // Prepares a new proof key and opens the sign-in page in the browser; an unfinished earlier
    // sign-in can no longer complete. False when no browser or opener could be started (also
    // announced with signInPageOpened).
    bool signIn();
    // True when `url` completes the sign-in in progress; the token exchange then runs in the
    // background. Anything else changes nothing.
    bool handleCallback(const QUrl &url);
    // Forgets the account at once; tells the service in the background.
    void signOut();

    // Whether a sign-in waits for its callback.
    bool isSignInPending() const { return m_pendingState.has_value(); }

    // This machine's identifier for the service ("cloudDeviceID"): made and stored by the first
    // call that finds none, the same value ever after.
    QString deviceID();

    // `count` secure random bytes in unpadded base64url.
    static QString randomURLBase64(int count);
    // The S256 challenge of a verifier.
    static QString challenge(const QString &verifier);

    // The request convention of the account's endpoints: send() performs a request and returns the
    // reply's JSON object (empty for any 2xx body that is not one), raising CloudTransferError
    // when no answer came and NetworkError for a status that is not a success.
    static QCoro::Task<Json::Object> send(CloudSession &session, CloudRequest request);
    static QCoro::Task<Json::Object> get(CloudSession &session, QString path, QString token);
    static QCoro::Task<Json::Object> post(CloudSession &session, QString path, Json::Object body,
                                          std::optional<QString> token);

Q_SIGNALS:
    // Every publication, also of a state equal to the last one.
    void stateChanged();
    // Each sign-in's hand-off to the browser: false when nothing could open the page, so the
    // window the user clicked in can say so.
    void signInPageOpened(bool opened);

private:
    QCoro::Task<> exchange(QString code, QString verifier);
    QCoro::Task<> logout(QString token);
    void setState(State state);
    // The state the keychain describes.
    State storedState() const;

    Services m_services;
    State m_state;
    std::optional<QString> m_pendingVerifier;
    std::optional<QString> m_pendingState;
};
