#include "Core/CloudAccount.h"

#include "Base/ManualClock.h"
#include "Core/CloudSession.h"
#include "Core/CloudTransferError.h"
#include "Core/Keychain.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeUrlOpener.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;
using State = CloudAccount::State;

namespace {

// An account on the fake service, an in-memory keychain holding `stored`, and an opener that
// records the browser's page.
class AccountRig
{
public:
    explicit AccountRig(QHash<QString, QByteArray> stored = {})
    {
        backend.items = std::move(stored);
        QCoro::waitFor(keychain.load());
        account =
            std::make_unique<CloudAccount>(CloudAccount::Services {&keychain, &session, &opener});
        spy = std::make_unique<QSignalSpy>(account.get(), &CloudAccount::stateChanged);
    }

    // Starts a sign-in and answers it as the browser would; true when the account took it.
    bool completeSignIn(const QString &code = QStringLiteral("the-code"))
    {
        account->signIn();
        const QUrlQuery page(opener.opened.last());
        return account->handleCallback(
            QUrl(QStringLiteral("sonorvelle://auth?code=%1&state=%2")
                     .arg(code, page.queryItemValue(QStringLiteral("state")))));
    }

    bool waitForPublications(int count)
    {
        return QTest::qWaitFor([&] { return spy->count() >= count; }, 5000);
    }

    std::optional<QString> item(const QString &key) const { return keychain.get(key); }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
    FakeKeychainBackend backend;
    ManualClock clock;
    Keychain keychain {&backend, clock};
    FakeUrlOpener opener;
    std::unique_ptr<CloudAccount> account;
    std::unique_ptr<QSignalSpy> spy;
};

// The reply or the exception of a request (QCoro::waitFor would never return from a task that
// throws).
struct Outcome
{
    std::optional<Json::Object> reply;
    std::exception_ptr error;
};

Outcome outcomeOf(QCoro::Task<Json::Object> task)
{
    auto wrapped = [](QCoro::Task<Json::Object> task) -> QCoro::Task<Outcome> {
        try {
            Json::Object reply = co_await std::move(task);
            co_return Outcome {std::move(reply), nullptr};
        } catch (...) {
            co_return Outcome {std::nullopt, std::current_exception()};
        }
    };
    return QCoro::waitFor(wrapped(std::move(task)));
}

QHash<QString, QByteArray> signedInItems(const QByteArray &token = "old-token")
{
    return {{QStringLiteral("cloudToken"), token},
            {QStringLiteral("cloudEmail"), "old@example.org"},
            {QStringLiteral("cloudTier"), "pro"}};
}

// MARK: Proof key

TEST(CloudAccountProofKey, TheChallengeMatchesTheRfc7636Example)
{
    EXPECT_EQ(
        CloudAccount::challenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
        QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
}

TEST(CloudAccountProofKey, RandomValuesAreUnpaddedBase64UrlOfTheirLength)
{
    const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]*$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString verifier = CloudAccount::randomURLBase64(32);
        const QString state = CloudAccount::randomURLBase64(16);
        EXPECT_EQ(verifier.size(), 43);
        EXPECT_EQ(state.size(), 22);
        EXPECT_TRUE(alphabet.match(verifier).hasMatch()) << qPrintable(verifier);
        EXPECT_TRUE(alphabet.match(state).hasMatch()) << qPrintable(state);
        seen.insert(verifier);
    }
    EXPECT_EQ(seen.size(), 200);
}

// MARK: Requests and the status table

struct StatusCase
{
    const char *name;
    Reply reply;
    // Absent: the call succeeds with `dictionary`.
    std::optional<CloudAccount::NetworkError::Kind> error;
    int status = 0;
    Json::Object dictionary = Json::Object::object();
};

class CloudAccountStatusTest : public ::testing::TestWithParam<StatusCase>
{
};

TEST_P(CloudAccountStatusTest, MapsTheAnswer)
{
    const StatusCase &c = GetParam();
    FakeCloudService service;
    CloudSession session(service.baseURL());
    service.script("/api/me", c.reply);
    const Outcome outcome =
        outcomeOf(CloudAccount::get(session, QStringLiteral("me"), QStringLiteral("t")));
    try {
        if (outcome.error) {
            std::rethrow_exception(outcome.error);
        }
        EXPECT_FALSE(c.error.has_value()) << c.name << ": no error raised";
        EXPECT_EQ(outcome.reply, c.dictionary) << c.name;
    } catch (const CloudAccount::NetworkError &error) {
        ASSERT_TRUE(c.error.has_value()) << c.name << ": " << error.what();
        EXPECT_EQ(error.kind(), *c.error) << c.name;
        EXPECT_EQ(error.status(), c.status) << c.name;
    }
}

Reply withType(Reply reply, std::string type)
{
    reply.contentType = std::move(type);
    return reply;
}

// The case's name stands for it in test listings, which ctest reads.
void PrintTo(const StatusCase &c, std::ostream *os)
{
    *os << c.name;
}

StatusCase succeeds(const char *name, Reply reply, Json::Object dictionary = Json::Object::object())
{
    return {name, std::move(reply), std::nullopt, 0, std::move(dictionary)};
}

StatusCase fails(const char *name, Reply reply, CloudAccount::NetworkError::Kind kind, int status)
{
    return {name, std::move(reply), kind, status, Json::Object::object()};
}

using Kind = CloudAccount::NetworkError::Kind;

INSTANTIATE_TEST_SUITE_P(
    Table, CloudAccountStatusTest,
    ::testing::Values(succeeds("object", Reply::json(R"({"email":"a@b","n":1})"),
                               Json::Object {{"email", "a@b"}, {"n", 1}}),
                      succeeds("no content", Reply::json("", 204)),
                      succeeds("empty body", Reply::json("")), succeeds("array", Reply::json("[]")),
                      succeeds("string", Reply::json(R"("hello")")),
                      succeeds("not JSON", withType(Reply::json("<html>busy</html>"), "text/html")),
                      succeeds("broken JSON", Reply::json(R"({"email": )")),
                      succeeds("invalid UTF-8", Reply::json("{\"email\":\"\xff\xfe\"}")),
                      fails("401 with a body", Reply::json(R"({"email":"x"})", 401),
                            Kind::unauthorized, 401),
                      fails("404", Reply::json("{}", 404), Kind::server, 404),
                      fails("500", Reply::json("{}", 500), Kind::server, 500),
                      fails("redirect", Reply::json("", 307), Kind::server, 307)),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

TEST(CloudAccountRequests, AStalledReplyFailsAsATransferErrorAtItsTimeOut)
{
    FakeCloudService service;
    CloudSession session(service.baseURL());
    Reply stalled;
    stalled.delay = 5s;
    service.script("/api/me", stalled);
    CloudRequest request = session.request(QStringLiteral("me"));
    request.timeout = 200ms;
    const Outcome outcome = outcomeOf(CloudAccount::send(session, request));
    try {
        ASSERT_TRUE(outcome.error) << "no error raised";
        std::rethrow_exception(outcome.error);
    } catch (const CloudTransferError &error) {
        EXPECT_EQ(error.kind(), CloudReply::TransferError::timedOut);
    }
}

TEST(CloudAccountRequests, GetAlwaysSendsTheTokenAndPostOnlyWhenGiven)
{
    FakeCloudService service;
    CloudSession session(service.baseURL());
    QCoro::waitFor(CloudAccount::get(session, QStringLiteral("me"), QStringLiteral("abc")));
    QCoro::waitFor(CloudAccount::post(session, QStringLiteral("app/token"),
                                      Json::Object {{"code", "c"}}, std::nullopt));
    QCoro::waitFor(CloudAccount::post(session, QStringLiteral("app/logout"), Json::Object::object(),
                                      QStringLiteral("abc")));
    const auto seen = service.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].header("Authorization"), "Bearer abc");
    EXPECT_FALSE(seen[0].hasHeader("Content-Type"));
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_FALSE(seen[1].hasHeader("Authorization"));
    EXPECT_EQ(seen[1].header("Content-Type"), "application/json");
    EXPECT_EQ(seen[1].body, R"({"code":"c"})");
    EXPECT_EQ(seen[2].path, "/api/app/logout");
    EXPECT_EQ(seen[2].header("Authorization"), "Bearer abc");
    EXPECT_EQ(seen[2].body, "{}");
}

// MARK: State at construction

TEST(CloudAccountState, StartsFromTheKeychain)
{
    AccountRig out;
    EXPECT_EQ(out.account->state(), State::signedOut());

    AccountRig in({{QStringLiteral("cloudToken"), "t"}});
    EXPECT_EQ(in.account->state(), State::signedIn(QString(), QStringLiteral("free")));
    EXPECT_EQ(in.service.requestCount(), 0u);
}

TEST(CloudAccountState, TakesTheStoredAccountOnceTheKeychainHasAnswered)
{
    FakeCloudService service;
    CloudSession session(service.baseURL());
    FakeKeychainBackend backend;
    backend.items = signedInItems();
    backend.mode = FakeKeychainBackend::Mode::deferred;
    ManualClock clock;
    Keychain keychain(&backend, clock);
    FakeUrlOpener opener;
    auto load = keychain.load();
    CloudAccount account({&keychain, &session, &opener});
    EXPECT_FALSE(account.isSignedIn());
    while (backend.answerNext()) { }
    QCoro::waitFor(std::move(load));
    EXPECT_EQ(account.state(),
              State::signedIn(QStringLiteral("old@example.org"), QStringLiteral("pro")));
}

// MARK: Sign-in

TEST(CloudAccountSignIn, OpensTheConnectPageWithChallengeAndState)
{
    AccountRig rig;
    rig.account->signIn();
    ASSERT_EQ(rig.opener.opened.size(), 1);
    const QUrl page = rig.opener.opened.first();
    EXPECT_EQ(page.path(), QStringLiteral("/app/connect"));
    EXPECT_EQ(page.host(), QStringLiteral("127.0.0.1"));
    const auto items = QUrlQuery(page).queryItems();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0],
              (QPair<QString, QString>(QStringLiteral("app"), QStringLiteral("sonorvelle"))));
    EXPECT_EQ(items[1].first, QStringLiteral("challenge"));
    EXPECT_EQ(items[1].second.size(), 43);
    EXPECT_EQ(items[2].first, QStringLiteral("state"));
    EXPECT_EQ(items[2].second.size(), 22);
    EXPECT_TRUE(rig.account->isSignInPending());
}

TEST(CloudAccountSignIn, TheExchangeStoresTheAccountAndPublishesIt)
{
    AccountRig rig;
    rig.service.script(
        "/api/app/token",
        Reply::json(R"({"token":"new-token","email":"me@example.org","tier":"pro"})"));
    rig.account->signIn();
    const QUrlQuery page(rig.opener.opened.last());
    // Items in another order and extra ones are fine.
    ASSERT_TRUE(
        rig.account->handleCallback(QUrl(QStringLiteral("sonorvelle://auth?state=%1&x=1&code=c%2B1")
                                             .arg(page.queryItemValue(QStringLiteral("state"))))));
    ASSERT_TRUE(rig.waitForPublications(1));

    EXPECT_EQ(rig.account->state(),
              State::signedIn(QStringLiteral("me@example.org"), QStringLiteral("pro")));
    EXPECT_EQ(rig.item(QStringLiteral("cloudToken")), QStringLiteral("new-token"));
    EXPECT_EQ(rig.item(QStringLiteral("cloudEmail")), QStringLiteral("me@example.org"));
    EXPECT_EQ(rig.item(QStringLiteral("cloudTier")), QStringLiteral("pro"));
    const auto device = rig.item(QStringLiteral("cloudDeviceID"));
    ASSERT_TRUE(device.has_value());
    EXPECT_TRUE(Json::parseUuid(*device).has_value());
    EXPECT_EQ(*device, device->toUpper());

    const auto seen = rig.service.requests("/api/app/token");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].hasHeader("Authorization"));
    const Json::Object body = Json::parse(QByteArray::fromStdString(seen[0].body));
    EXPECT_EQ(body.at("code"), "c+1");
    EXPECT_EQ(body.at("deviceId"), device->toStdString());
    const QString verifier = Json::fromStd(body.at("verifier").get<std::string>());
    EXPECT_EQ(CloudAccount::challenge(verifier), page.queryItemValue(QStringLiteral("challenge")));
}

TEST(CloudAccountSignIn, ATokenAloneGivesAnEmptyEmailAndTheFreeTier)
{
    for (const char *reply : {R"({"token":"t"})", R"({"token":"t","tier":3,"email":null})"}) {
        AccountRig rig({{QStringLiteral("cloudDeviceID"), "KEPT-DEVICE"}});
        rig.service.script("/api/app/token", Reply::json(reply));
        ASSERT_TRUE(rig.completeSignIn());
        ASSERT_TRUE(rig.waitForPublications(1));
        EXPECT_EQ(rig.account->state(), State::signedIn(QString(), QStringLiteral("free")))
            << reply;
        EXPECT_EQ(rig.item(QStringLiteral("cloudEmail")), QString()) << reply;
        EXPECT_EQ(rig.item(QStringLiteral("cloudTier")), QStringLiteral("free")) << reply;
        EXPECT_EQ(rig.item(QStringLiteral("cloudDeviceID")), QStringLiteral("KEPT-DEVICE"));
    }
}

// A failed sign-in leaves the account the keychain holds, and says so: clients keep using a
// stored token, so the state must not claim "signed out" while one is stored.
TEST(CloudAccountSignIn, AFailedExchangePublishesTheStateTheKeychainHolds)
{
    const std::vector<std::pair<const char *, Reply>> failures = {
        {"500", Reply::json("{}", 500)},
        {"401", Reply::json("{}", 401)},
        {"no token", Reply::json(R"({"email":"x@y"})")},
        {"token not a string", Reply::json(R"({"token":42})")},
        {"empty token", Reply::json(R"({"token":""})")},
        {"not JSON", Reply::json("oops")},
    };
    for (const auto &[name, reply] : failures) {
        AccountRig stored(signedInItems());
        stored.service.script("/api/app/token", reply);
        ASSERT_TRUE(stored.completeSignIn()) << name;
        ASSERT_TRUE(stored.waitForPublications(1)) << name;
        EXPECT_EQ(stored.account->state(),
                  State::signedIn(QStringLiteral("old@example.org"), QStringLiteral("pro")))
            << name;
        EXPECT_EQ(stored.item(QStringLiteral("cloudToken")), QStringLiteral("old-token")) << name;

        AccountRig none;
        none.service.script("/api/app/token", reply);
        ASSERT_TRUE(none.completeSignIn()) << name;
        ASSERT_TRUE(none.waitForPublications(1)) << name;
        EXPECT_EQ(none.account->state(), State::signedOut()) << name;
        EXPECT_FALSE(none.item(QStringLiteral("cloudToken")).has_value()) << name;
    }
}

TEST(CloudAccountSignIn, RefusedCallbacksChangeNothing)
{
    AccountRig rig;
    rig.account->signIn();
    const QString state =
        QUrlQuery(rig.opener.opened.last()).queryItemValue(QStringLiteral("state"));
    const QStringList refused = {
        QStringLiteral("sonorvelle://login?code=c&state=%1"),
        QStringLiteral("sonorvelle:auth?code=c&state=%1"),
        QStringLiteral("sonorvelle://auth?code=c"),
        QStringLiteral("sonorvelle://auth?state=%1"),
        QStringLiteral("sonorvelle://auth?code=&state=%1"),
        QStringLiteral("sonorvelle://auth?code&state=%1"),
        QStringLiteral("sonorvelle://auth?code=c&state="),
        QStringLiteral("sonorvelle://auth?code=c&state=%1&state=%1"),
        QStringLiteral("sonorvelle://auth?code=c&state=%1&state=other"),
        QStringLiteral("sonorvelle://auth?code=c&state=other"),
        QStringLiteral("sonorvelle://auth?code=c&state=%1x"),
        QStringLiteral("sonorvelle://auth"),
    };
    for (const QString &url : refused) {
        const QString text = url.contains(u'%') ? url.arg(state) : url;
        EXPECT_FALSE(rig.account->handleCallback(QUrl(text))) << qPrintable(text);
        EXPECT_TRUE(rig.account->isSignInPending()) << qPrintable(text);
    }
    QTest::qWait(50);
    EXPECT_EQ(rig.service.requestCount(), 0u);
    EXPECT_EQ(rig.spy->count(), 0);

    // The pending sign-in still completes afterwards.
    EXPECT_TRUE(rig.account->handleCallback(
        QUrl(QStringLiteral("sonorvelle://auth?code=c&state=%1").arg(state))));
}

TEST(CloudAccountSignIn, OnlyTheLatestSignInCompletesAndOnlyOnce)
{
    AccountRig rig;
    EXPECT_FALSE(
        rig.account->handleCallback(QUrl(QStringLiteral("sonorvelle://auth?code=c&state=s"))))
        << "no sign-in in progress";

    rig.account->signIn();
    const QString first =
        QUrlQuery(rig.opener.opened.last()).queryItemValue(QStringLiteral("state"));
    rig.account->signIn();
    const QString second =
        QUrlQuery(rig.opener.opened.last()).queryItemValue(QStringLiteral("state"));
    ASSERT_NE(first, second);

    const QString callback = QStringLiteral("sonorvelle://auth?code=c&state=%1");
    EXPECT_FALSE(rig.account->handleCallback(QUrl(callback.arg(first))));
    EXPECT_TRUE(rig.account->handleCallback(QUrl(callback.arg(second))));
    EXPECT_FALSE(rig.account->handleCallback(QUrl(callback.arg(second)))) << "delivered twice";
    ASSERT_TRUE(rig.service.waitForRequests("/api/app/token", 1));
    QTest::qWait(50);
    EXPECT_EQ(rig.service.requests("/api/app/token").size(), 1u);
}

// MARK: Account query

TEST(CloudAccountRefresh, UpdatesTheStoredDetails)
{
    AccountRig rig(signedInItems());
    rig.service.script("/api/me", Reply::json(R"({"email":"new@example.org","tier":7})"));
    QCoro::waitFor(rig.account->refresh());
    EXPECT_EQ(rig.account->state(),
              State::signedIn(QStringLiteral("new@example.org"), QStringLiteral("free")));
    EXPECT_EQ(rig.item(QStringLiteral("cloudEmail")), QStringLiteral("new@example.org"));
    EXPECT_EQ(rig.item(QStringLiteral("cloudTier")), QStringLiteral("free"));
    EXPECT_EQ(rig.service.requests("/api/me").at(0).header("Authorization"), "Bearer old-token");
}

TEST(CloudAccountRefresh, A401SignsOutAndOtherFailuresChangeNothing)
{
    AccountRig rejected(signedInItems());
    rejected.service.script("/api/me", Reply::json(R"({"error":"expired"})", 401));
    QCoro::waitFor(rejected.account->refresh());
    EXPECT_EQ(rejected.account->state(), State::signedOut());
    for (const char *key : {"cloudToken", "cloudEmail", "cloudTier"}) {
        EXPECT_FALSE(rejected.item(QString::fromLatin1(key)).has_value()) << key;
    }

    Reply stalled;
    stalled.delay = 5s;
    Reply huge;
    huge.fillerBytes = 20 * 1024 * 1024;
    Reply dropped = Reply::json(std::string(100000, ' ') + "{}");
    dropped.dropMidBody = true;
    for (const Reply &reply : {Reply::json("{}", 500), Reply::json("{}", 302), huge, dropped}) {
        AccountRig rig(signedInItems());
        rig.service.script("/api/me", reply);
        QCoro::waitFor(rig.account->refresh());
        EXPECT_EQ(rig.spy->count(), 0) << reply.status;
        EXPECT_EQ(rig.item(QStringLiteral("cloudToken")), QStringLiteral("old-token"));
        EXPECT_EQ(rig.item(QStringLiteral("cloudEmail")), QStringLiteral("old@example.org"));
    }
}

TEST(CloudAccountRefresh, WithoutATokenNothingIsSent)
{
    AccountRig rig;
    QCoro::waitFor(rig.account->refresh());
    rig.account->start();
    QTest::qWait(50);
    EXPECT_EQ(rig.service.requestCount(), 0u);
    EXPECT_EQ(rig.spy->count(), 0);
}

// The answer of an account query speaks only for the token it was asked with.
TEST(CloudAccountRefresh, ASuccessArrivingAfterSignOutDoesNotSignBackIn)
{
    AccountRig rig(signedInItems());
    Reply late = Reply::json(R"({"email":"old@example.org","tier":"pro"})");
    late.delay = 300ms;
    rig.service.script("/api/me", late);
    rig.account->start();
    ASSERT_TRUE(rig.service.waitForRequests("/api/me", 1));
    rig.account->signOut();
    ASSERT_TRUE(rig.service.waitForRequests("/api/app/logout", 1));
    QTest::qWait(600);

    EXPECT_EQ(rig.account->state(), State::signedOut());
    EXPECT_EQ(rig.spy->count(), 1) << "only the sign-out publishes";
    EXPECT_FALSE(rig.item(QStringLiteral("cloudToken")).has_value());
    EXPECT_FALSE(rig.item(QStringLiteral("cloudEmail")).has_value());
}

TEST(CloudAccountRefresh, A401ForAnOldTokenNeverDeletesANewerOne)
{
    AccountRig rig(signedInItems());
    Reply late = Reply::json("{}", 401);
    late.delay = 400ms;
    rig.service.script("/api/me", late);
    rig.service.script("/api/app/token",
                       Reply::json(R"({"token":"new-token","email":"new@example.org"})"));
    rig.account->start();
    ASSERT_TRUE(rig.service.waitForRequests("/api/me", 1));
    ASSERT_TRUE(rig.completeSignIn());
    ASSERT_TRUE(rig.waitForPublications(1));
    QTest::qWait(700);

    EXPECT_EQ(rig.item(QStringLiteral("cloudToken")), QStringLiteral("new-token"));
    EXPECT_EQ(rig.account->state(),
              State::signedIn(QStringLiteral("new@example.org"), QStringLiteral("free")));
    EXPECT_EQ(rig.spy->count(), 1);
}

// MARK: Sign-out

TEST(CloudAccountSignOut, ForgetsTheAccountAtOnceAndTellsTheService)
{
    auto items = signedInItems();
    items.insert(QStringLiteral("cloudDeviceID"), "DEVICE");
    AccountRig rig(items);
    Reply slow;
    slow.delay = 300ms;
    rig.service.script("/api/app/logout", slow);

    rig.account->signOut();
    EXPECT_EQ(rig.account->state(), State::signedOut());
    EXPECT_EQ(rig.spy->count(), 1);
    for (const char *key : {"cloudToken", "cloudEmail", "cloudTier"}) {
        EXPECT_FALSE(rig.item(QString::fromLatin1(key)).has_value()) << key;
    }
    EXPECT_EQ(rig.item(QStringLiteral("cloudDeviceID")), QStringLiteral("DEVICE"));
    ASSERT_TRUE(rig.service.waitForRequests("/api/app/logout", 1));
    const auto seen = rig.service.requests("/api/app/logout").at(0);
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.header("Authorization"), "Bearer old-token");
    EXPECT_EQ(seen.body, "{}");
}

TEST(CloudAccountSignOut, WithoutATokenSendsNothingButStillPublishes)
{
    AccountRig rig;
    rig.account->signOut();
    QTest::qWait(50);
    EXPECT_EQ(rig.service.requestCount(), 0u);
    EXPECT_EQ(rig.spy->count(), 1);
    EXPECT_EQ(rig.account->state(), State::signedOut());
}

} // namespace
