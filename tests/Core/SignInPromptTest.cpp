#include "Core/SignInPrompt.h"

#include "Base/ManualClock.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/Keychain.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeModalAlert.h"
#include "Fakes/FakeUrlOpener.h"
#include "Support/L10n.h"
#include "TestSupport/QtPrinters.h"

#include <QTest>

#include <QCoro/QCoroTask>
#include <QCoro/QCoroTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class SignInPromptTest : public ::testing::Test
{
protected:
    SignInPromptTest() { QCoro::waitFor(keychain.load()); }

    void prompt(bool force) { QCoro::waitFor(signIn.prompt(force)); }

    ManualClock clock;
    FakeKeychainBackend backend;
    Keychain keychain {&backend, clock};
    // Nothing listens there: the prompt never talks to the service.
    CloudSession session {QUrl(QStringLiteral("http://127.0.0.1:1"))};
    FakeUrlOpener opener;
    CloudAccount account {{&keychain, &session, &opener}};
    FakeModalAlert alert;
    SignInPrompt signIn {account, alert, clock};
};

TEST_F(SignInPromptTest, AsksWithTheTextsAndTheSignInButtonFirst)
{
    prompt(false);
    ASSERT_EQ(alert.shown.size(), 1);
    const L10n &l10n = L10n::shared();
    EXPECT_EQ(alert.shown[0].messageText, l10n.string(QStringLiteral("cloud.signInRequired")));
    EXPECT_EQ(alert.shown[0].informativeText,
              l10n.string(QStringLiteral("cloud.signInRequiredBody")));
    EXPECT_EQ(alert.shown[0].buttons,
              (QStringList {l10n.string(QStringLiteral("clean.signIn")),
                            l10n.string(QStringLiteral("common.later"))}));
    EXPECT_NE(alert.shown[0].messageText, QStringLiteral("cloud.signInRequired"));
}

TEST_F(SignInPromptTest, SignInOpensTheBrowserAndLaterDoesNothing)
{
    alert.answer = 1;
    prompt(false);
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_FALSE(account.isSignInPending());

    alert.answer = -1; // closed otherwise
    prompt(true);
    EXPECT_TRUE(opener.opened.isEmpty());

    alert.answer = 0;
    prompt(true);
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0].path(), QStringLiteral("/app/connect"));
    EXPECT_TRUE(account.isSignInPending());
}

TEST_F(SignInPromptTest, ASignedInUserIsNeverAsked)
{
    keychain.set(QStringLiteral("token"), QStringLiteral("cloudToken"));
    prompt(false);
    prompt(true);
    EXPECT_TRUE(alert.shown.isEmpty());
}

TEST(SignInPromptAtLaunch, WaitsForTheKeychainAndAsksOnlyWhenItHoldsNoToken)
{
    struct Case
    {
        const char *name;
        bool tokenStored;
        qsizetype alerts;
    };
    const Case cases[] = {
        {"signed in", true, 0},
        {"signed out", false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        FakeKeychainBackend backend;
        backend.mode = FakeKeychainBackend::Mode::deferred;
        if (c.tokenStored) {
            backend.items.insert(QStringLiteral("cloudToken"), "token");
        }
        Keychain keychain {&backend, clock};
        // The launch reads the keychain; the keyring takes its time to answer.
        QCoro::connect(keychain.load(), &keychain, [] {});
        CloudSession session {QUrl(QStringLiteral("http://127.0.0.1:1"))};
        FakeUrlOpener opener;
        CloudAccount account {{&keychain, &session, &opener}};
        FakeModalAlert alert;
        SignInPrompt signIn {account, alert, clock};

        signIn.promptForCloud(false);
        EXPECT_TRUE(alert.shown.isEmpty()) << "asked before the keychain answered";
        while (backend.answerNext()) { }
        ASSERT_TRUE(keychain.isLoaded());
        QCoreApplication::processEvents();
        EXPECT_EQ(alert.shown.size(), c.alerts);
        EXPECT_FALSE(signIn.isShowing());
    }
}

TEST_F(SignInPromptTest, UnforcedPromptsWaitOneHundredTwentySecondsOfMonotonicTime)
{
    prompt(false);
    clock.advance(60s);
    prompt(false);
    EXPECT_EQ(alert.shown.size(), 1) << "60 s later, not forced";
    prompt(true);
    EXPECT_EQ(alert.shown.size(), 2) << "60 s later, forced";

    // The forced prompt restarted the interval.
    clock.advance(120s - 1ns);
    prompt(false);
    EXPECT_EQ(alert.shown.size(), 2) << "just under 120 s after the forced one";
    clock.advance(1ns);
    prompt(false);
    EXPECT_EQ(alert.shown.size(), 3) << "exactly 120 s";

    clock.setNow(clock.now().addDays(-1));
    clock.advance(120s);
    prompt(false);
    EXPECT_EQ(alert.shown.size(), 4) << "the wall clock set back a day";
}

TEST_F(SignInPromptTest, OneAlertAtATime)
{
    alert.holdOpen = true;
    signIn.promptForCloud(false);
    ASSERT_TRUE(signIn.isShowing());
    signIn.promptForCloud(true);
    EXPECT_EQ(alert.shown.size(), 1);
    alert.answerWith(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !signIn.isShowing(); }, 2000));
    EXPECT_EQ(opener.opened.size(), 1);
}

} // namespace

namespace {

// The alert takes the focus: it must not come up while the session that asked still inserts.
TEST_F(SignInPromptTest, WaitsUntilTheSessionHasEndedAndAsksOnlyIfStillSignedOut)
{
    bool idle = false;
    signIn.setWaitUntilIdle([&idle]() -> QCoro::Task<> {
        while (!idle) {
            co_await QCoro::sleepFor(5ms);
        }
    });
    signIn.promptForCloud(false);
    QTest::qWait(50);
    EXPECT_TRUE(alert.shown.isEmpty());
    idle = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alert.shown.isEmpty(); }, 2000));

    // Signed in while the session ran: nothing to ask.
    idle = false;
    signIn.promptForCloud(true);
    keychain.set(QStringLiteral("token"), QStringLiteral("cloudToken"));
    idle = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !signIn.isShowing(); }, 2000));
    EXPECT_EQ(alert.shown.size(), 1);
}

} // namespace
