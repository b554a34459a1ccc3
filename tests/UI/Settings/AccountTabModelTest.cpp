#include "UI/Settings/AccountTabModel.h"

#include "Base/ManualClock.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/Keychain.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeUrlOpener.h"
#include "Fakes/TestAppSettings.h"
#include "Support/L10n.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;
using UsageState = AccountTabModel::UsageState;

namespace {

const std::string kUsage = "/api/cleanup/usage";
const std::string kGood = R"({"tier":"free","requests":{"used":12,"limit":200},)"
                          R"("costMicros":{"used":125,"limit":1000},)"
                          R"("resetAt":"2026-12-10T00:00:00Z"})";

// The account on a keychain that holds a token (unless a test empties it), its sync switch and
// the session, all pointed at the loopback service.
struct AccountRig
{
    FakeCloudService service;
    TestAppSettings store {true};
    ManualClock clock;
    FakeKeychainBackend backend;
    Keychain keychain {&backend, clock};
    CloudSession session {service.baseURL()};
    FakeUrlOpener opener;
    std::unique_ptr<CloudAccount> account;
    std::unique_ptr<CloudSync> sync;

    explicit AccountRig(const QString &token = QStringLiteral("tok-1"),
                        const QString &email = QStringLiteral("ada@example.org"))
    {
        L10n::shared().apply(QStringLiteral("en"));
        QCoro::waitFor(keychain.load());
        if (!token.isEmpty()) {
            keychain.set(token, CloudAccount::tokenKey);
            keychain.set(email, CloudAccount::emailKey);
        }
        account =
            std::make_unique<CloudAccount>(CloudAccount::Services {&keychain, &session, &opener});
        sync = std::make_unique<CloudSync>(CloudSync::Services {
            store.settings.get(), &store.defaults, &session, account.get(), &clock});
    }

    std::unique_ptr<AccountTabModel> make()
    {
        return std::make_unique<AccountTabModel>(L10n::shared(), account.get(), sync.get(),
                                                 &session);
    }

    // Until the model's query has its answer (or the deadline passed).
    static bool answered(AccountTabModel &model)
    {
        return QTest::qWaitFor([&] { return model.usageState() != UsageState::loading; }, 5000);
    }

    // Until no transfer is left, so that a late answer has surely come back.
    bool drained()
    {
        return QTest::qWaitFor([&] { return session.transfersInFlight() == 0; }, 5000);
    }
};

} // namespace

TEST(AccountTabModel, AsksForTheUsageWithTheBearerTokenAloneAndShowsTheFigures)
{
    AccountRig rig;
    rig.service.script(kUsage, Reply::json(kGood));
    auto model = rig.make();
    EXPECT_TRUE(model->hasToken());
    EXPECT_EQ(model->usageState(), UsageState::loading);
    ASSERT_TRUE(AccountRig::answered(*model));

    const auto requests = rig.service.requests(kUsage);
    ASSERT_EQ(requests.size(), 1u);
    const auto &request = requests.front();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.query, "");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.header("Authorization"), "Bearer tok-1");
    // Only what the HTTP stack itself sends accompanies the token.
    const std::set<std::string> transport = {
        "host",        "connection",  "accept-encoding", "accept-language", "user-agent",
        "remote_addr", "remote_port", "local_addr",      "local_port"};
    for (const auto &[name, value] : request.headers) {
        std::string lower = name;
        for (char &c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(lower == "authorization" || transport.count(lower)) << name << ": " << value;
    }

    EXPECT_EQ(model->usageState(), UsageState::loaded);
    EXPECT_EQ(model->requestsDetail(), QStringLiteral("12 / 200"));
    EXPECT_DOUBLE_EQ(model->requestsFraction(), 0.06);
    EXPECT_FALSE(model->requestsWarn());
    EXPECT_EQ(model->costDetail(), QStringLiteral("13%"));
    EXPECT_DOUBLE_EQ(model->costFraction(), 0.125);
    EXPECT_TRUE(model->resetLine().startsWith(QStringLiteral("Resets daily at ")))
        << model->resetLine().toStdString();
    EXPECT_FALSE(model->resetLine().contains(QStringLiteral("%@")));
    EXPECT_TRUE(rig.account->isSignedIn());
}

// Any reply but a 200 with the whole record shows "Could not load usage"; none signs the user
// out, a 401 included, and none is asked again.
TEST(AccountTabModel, BadRepliesShowTheFailureAndNeverSignOut)
{
    struct Case
    {
        const char *name;
        Reply reply;
    };
    Reply dropped = Reply::json(kGood);
    dropped.dropMidBody = true;
    Reply html = Reply::json("<html>usage</html>");
    html.contentType = "text/html";
    const Case cases[] = {
        {"201", Reply::json(kGood, 201)},
        {"204", Reply::json("", 204)},
        {"401", Reply::json(R"({"error":"unauthorized"})", 401)},
        {"500", Reply::json(kGood, 500)},
        {"302", Reply::json(kGood, 302)},
        {"no tier",
         Reply::json(R"({"requests":{"used":1,"limit":2},)"
                     R"("costMicros":{"used":1,"limit":2},"resetAt":"x"})")},
        {"used a text",
         Reply::json(R"({"tier":"free","requests":{"used":"1","limit":2},)"
                     R"("costMicros":{"used":1,"limit":2},"resetAt":"x"})")},
        {"limit a float",
         Reply::json(R"({"tier":"free","requests":{"used":1,"limit":2.5},)"
                     R"("costMicros":{"used":1,"limit":2},"resetAt":"x"})")},
        {"null pair",
         Reply::json(R"({"tier":"free","requests":null,)"
                     R"("costMicros":{"used":1,"limit":2},"resetAt":"x"})")},
        {"not JSON", html},
        {"cut off", dropped},
    };
    for (const Case &c : cases) {
        AccountRig rig;
        rig.service.script(kUsage, c.reply);
        auto model = rig.make();
        ASSERT_TRUE(AccountRig::answered(*model)) << c.name;
        EXPECT_EQ(model->usageState(), UsageState::failed) << c.name;
        EXPECT_TRUE(model->usageFailed()) << c.name;
        EXPECT_TRUE(model->requestsDetail().isEmpty()) << c.name;
        EXPECT_TRUE(rig.account->isSignedIn()) << c.name;
        EXPECT_EQ(rig.account->storedToken(), std::optional<QString>(QStringLiteral("tok-1")))
            << c.name;
        EXPECT_TRUE(model->hasToken()) << c.name;
        EXPECT_EQ(rig.service.requests(kUsage).size(), 1u) << c.name;
        EXPECT_TRUE(rig.service.requests("/api/app/logout").empty()) << c.name;
    }

    // A service nobody answers for: the transfer error shows the same way.
    AccountRig rig;
    CloudSession nowhere(QUrl(QStringLiteral("http://127.0.0.1:1")));
    AccountTabModel model(L10n::shared(), rig.account.get(), rig.sync.get(), &nowhere);
    ASSERT_TRUE(AccountRig::answered(model));
    EXPECT_EQ(model.usageState(), UsageState::failed);
    EXPECT_TRUE(rig.account->isSignedIn());
}

// A reset time with fractional seconds leaves out only the reset line.
TEST(AccountTabModel, AResetTimeThatDoesNotParseLeavesOutOnlyTheResetLine)
{
    AccountRig rig;
    rig.service.script(kUsage,
                       Reply::json(R"({"tier":"free","requests":{"used":160,"limit":200},)"
                                   R"("costMicros":{"used":5,"limit":0},)"
                                   R"("resetAt":"2026-12-10T00:00:00.000Z"})"));
    auto model = rig.make();
    ASSERT_TRUE(AccountRig::answered(*model));
    EXPECT_EQ(model->usageState(), UsageState::loaded);
    EXPECT_EQ(model->requestsDetail(), QStringLiteral("160 / 200"));
    EXPECT_TRUE(model->requestsWarn());
    EXPECT_EQ(model->costDetail(), QStringLiteral("0%"));
    EXPECT_DOUBLE_EQ(model->fillWidth(model->costFraction(), 300), 0);
    EXPECT_TRUE(model->resetLine().isEmpty());
}

TEST(AccountTabModel, AReplyThatArrivesAfterSignOutIsDropped)
{
    AccountRig rig;
    Reply slow = Reply::json(kGood);
    slow.delay = 300ms;
    rig.service.script(kUsage, slow);
    auto model = rig.make();
    ASSERT_TRUE(rig.service.waitForRequests(kUsage, 1));
    QSignalSpy flips(model.get(), &AccountTabModel::hasTokenChanged);

    rig.account->signOut();
    EXPECT_EQ(flips.count(), 1);
    EXPECT_FALSE(model->hasToken());
    EXPECT_FALSE(model->signedIn());
    ASSERT_TRUE(rig.drained());
    QTest::qWait(20);
    EXPECT_EQ(model->usageState(), UsageState::loading);
    EXPECT_FALSE(model->usage());
    // The flip ran the fetch again, which found no token and asked nothing.
    EXPECT_EQ(rig.service.requests(kUsage).size(), 1u);
}

TEST(AccountTabModel, ANewerFetchOvertakesAnOlderOneAndASignInFetchesAgain)
{
    AccountRig rig {QString()};
    auto model = rig.make();
    EXPECT_FALSE(model->hasToken());
    EXPECT_FALSE(model->signedIn());
    EXPECT_EQ(model->accountTitle(), QStringLiteral("Not signed in"));

    // Signed in elsewhere: the token flag flips and the usage is asked for.
    Reply older = Reply::json(R"({"tier":"free","requests":{"used":1,"limit":200},)"
                              R"("costMicros":{"used":0,"limit":1000},"resetAt":""})");
    older.delay = 300ms;
    rig.service.script(kUsage, older);
    rig.service.script(kUsage, Reply::json(kGood));
    rig.keychain.set(QStringLiteral("tok-2"), CloudAccount::tokenKey);
    Q_EMIT rig.account->stateChanged();
    EXPECT_TRUE(model->hasToken());
    ASSERT_TRUE(rig.service.waitForRequests(kUsage, 1));

    QCoro::waitFor(model->fetchUsage());
    EXPECT_EQ(model->requestsDetail(), QStringLiteral("12 / 200"));
    ASSERT_TRUE(rig.drained());
    QTest::qWait(20);
    EXPECT_EQ(model->requestsDetail(), QStringLiteral("12 / 200"));
    const auto requests = rig.service.requests(kUsage);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests.back().header("Authorization"), "Bearer tok-2");

    // A change the account announces that leaves the token as it was asks nothing again.
    Q_EMIT rig.account->stateChanged();
    QTest::qWait(20);
    EXPECT_EQ(rig.service.requests(kUsage).size(), 2u);
    EXPECT_EQ(model->usageState(), UsageState::loaded);
}

TEST(AccountTabModel, TitleSyncSwitchSignInAndSignOut)
{
    {
        AccountRig rig(QStringLiteral("tok-1"), QString());
        auto model = rig.make();
        EXPECT_TRUE(model->signedIn());
        EXPECT_EQ(model->accountTitle(), QStringLiteral("Signed in"));
        L10n::shared().apply(QStringLiteral("de"));
        EXPECT_EQ(model->accountTitle(), QStringLiteral("Angemeldet"));
        L10n::shared().apply(QStringLiteral("en"));
    }

    AccountRig rig;
    auto model = rig.make();
    EXPECT_EQ(model->accountTitle(), QStringLiteral("ada@example.org"));

    QSignalSpy switched(model.get(), &AccountTabModel::syncEnabledChanged);
    EXPECT_TRUE(model->syncEnabled());
    model->setSyncEnabled(false);
    EXPECT_FALSE(rig.sync->enabled());
    EXPECT_EQ(rig.store.defaults.boolValue(CloudSync::enabledKey), std::optional<bool>(false));
    EXPECT_EQ(switched.count(), 1);
    rig.sync->setEnabled(true);
    EXPECT_TRUE(model->syncEnabled());

    model->signOut();
    EXPECT_FALSE(model->signedIn());
    EXPECT_FALSE(rig.account->storedToken());
    model->signIn();
    ASSERT_EQ(rig.opener.opened.size(), 1);
    EXPECT_TRUE(rig.opener.opened.front().toString().contains(QStringLiteral("/app/connect")));
    EXPECT_FALSE(model->signedIn());
}

// A build without the cloud: signed out, nothing asked, and the switch writes nothing.
TEST(AccountTabModel, WithoutAccountOrSyncTheTabIsSignedOut)
{
    L10n::shared().apply(QStringLiteral("en"));
    AccountTabModel model(L10n::shared(), nullptr, nullptr, nullptr);
    EXPECT_FALSE(model.signedIn());
    EXPECT_FALSE(model.hasToken());
    EXPECT_FALSE(model.syncEnabled());
    model.setSyncEnabled(true);
    model.signIn();
    model.signOut();
    QCoro::waitFor(model.fetchUsage());
    EXPECT_EQ(model.usageState(), UsageState::loading);
}
