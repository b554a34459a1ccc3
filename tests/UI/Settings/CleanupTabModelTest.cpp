#include "UI/Settings/CleanupTabModel.h"
#include "Base/ManualClock.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/Keychain.h"
#include "Fakes/FakeCleanupMemoryReset.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeUrlOpener.h"
#include "Fakes/TestAppSettings.h"
#include "Support/L10n.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct CleanupRig
{
    CleanupRig()
    {
        L10n::shared().apply(QStringLiteral("en"));
        QCoro::waitFor(keychain.load());
    }

    TestAppSettings store {true};
    ManualClock clock;
    FakeKeychainBackend backend;
    Keychain keychain {&backend, clock};
    // Nothing listens there: the tab never talks to the service itself.
    CloudSession session {QUrl(QStringLiteral("http://127.0.0.1:1"))};
    FakeUrlOpener opener;
    CloudAccount account {{&keychain, &session, &opener}};
    FakeCleanupMemoryReset memory;
    CleanupTabModel model {*store.settings, L10n::shared(), &account, &memory};
};

} // namespace

TEST(CleanupTabModel, TheRewriteSwitchWritesOnlyTheTwoCloudModes)
{
    CleanupRig rig;
    AppSettings &settings = *rig.store.settings;
    QSignalSpy changes(&rig.model, &CleanupTabModel::polishChanged);
    struct Case
    {
        CleanupMode stored;
        bool shown;
    };
    for (const Case &c : {Case {CleanupMode::cloud, false}, Case {CleanupMode::cloudRewrite, true},
                          Case {CleanupMode::rules, false}, Case {CleanupMode::off, false}}) {
        settings.setCleanupMode(c.stored);
        EXPECT_EQ(rig.model.polish(), c.shown) << static_cast<int>(c.stored);
    }
    EXPECT_GE(changes.count(), 3);

    rig.model.setPolish(true);
    EXPECT_EQ(settings.cleanupMode(), CleanupMode::cloudRewrite);
    rig.model.setPolish(false);
    EXPECT_EQ(settings.cleanupMode(), CleanupMode::cloud);
}

TEST(CleanupTabModel, TheSliderStoresTheNearestStopAndTheCaptionFollows)
{
    struct Case
    {
        double slider;
        int stored;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case &c :
         {Case {1.0, 1}, Case {1.49, 1}, Case {1.5, 2}, Case {2.0, 2}, Case {2.5, 3}, Case {3.0, 3},
          Case {0.0, 1}, Case {7.0, 3}, Case {nan, 2}}) {
        EXPECT_EQ(CleanupTabModel::intensityForSlider(c.slider), c.stored) << c.slider;
    }

    CleanupRig rig;
    rig.model.moveIntensity(2.0);
    EXPECT_EQ(rig.store.settings->cleanupIntensity(), 2);
    EXPECT_EQ(rig.model.intensityCaption(),
              QStringLiteral("Standard: also merge restatements and tidy into written style"));
    rig.model.moveIntensity(3.0);
    EXPECT_EQ(rig.store.settings->cleanupIntensity(), 3);
    EXPECT_EQ(rig.model.intensityCaption(),
              QStringLiteral("Full rewrite: restructure freely into clean, tight text (meaning and "
                             "tone preserved)"));
    rig.model.moveIntensity(1.0);
    EXPECT_TRUE(rig.model.intensityCaption().startsWith(QStringLiteral("Light: remove fillers")));

    // Only 1 and 3 have captions of their own.
    for (int stored : {0, 2, 4, -1, 99}) {
        EXPECT_EQ(CleanupTabModel::intensityCaptionKey(stored), QStringLiteral("clean.intensity2"))
            << stored;
    }
}

TEST(CleanupTabModel, TheCloudRowsFollowTheStoredToken)
{
    CleanupRig rig;
    EXPECT_FALSE(rig.model.hasToken());
    QSignalSpy announced(&rig.model, &CleanupTabModel::hasTokenChanged);
    rig.keychain.set(QStringLiteral("token-1"), CloudAccount::tokenKey);
    Q_EMIT rig.account.stateChanged();
    EXPECT_EQ(announced.count(), 1);
    EXPECT_TRUE(rig.model.hasToken());

    rig.account.signOut();
    EXPECT_FALSE(rig.model.hasToken());

    // Signing in from the note opens the service's page in the browser.
    rig.model.signIn();
    EXPECT_EQ(rig.opener.opened.size(), 1);

    // A build without the cloud account shows the note and fails a reset.
    CleanupTabModel bare(*rig.store.settings, L10n::shared(), nullptr, nullptr);
    EXPECT_FALSE(bare.hasToken());
    bare.resetMemory();
    EXPECT_FALSE(bare.resetting());
    EXPECT_TRUE(bare.resetFailed());
}

TEST(CleanupTabModel, AResetRunsOnceAtATimeAndAFailureSaysSo)
{
    CleanupRig rig;
    QSignalSpy running(&rig.model, &CleanupTabModel::resettingChanged);
    rig.model.resetMemory();
    EXPECT_TRUE(rig.model.resetting());
    EXPECT_TRUE(rig.memory.waiting());
    // A second press while it runs starts nothing.
    rig.model.resetMemory();
    EXPECT_EQ(rig.memory.calls, 1);

    rig.memory.answer(false);
    EXPECT_FALSE(rig.model.resetting());
    EXPECT_TRUE(rig.model.resetFailed());

    // The next attempt clears the failure while it runs; success leaves no failure behind.
    rig.model.resetMemory();
    EXPECT_TRUE(rig.model.resetting());
    EXPECT_FALSE(rig.model.resetFailed());
    rig.memory.answer(true);
    EXPECT_FALSE(rig.model.resetting());
    EXPECT_FALSE(rig.model.resetFailed());
    EXPECT_EQ(rig.memory.calls, 2);
    EXPECT_EQ(running.count(), 4);
    // Learning is left as it was either way.
    EXPECT_TRUE(rig.store.settings->cloudLearning());
}

TEST(CleanupTabModel, AResetThatEndsAfterTheTabIsGoneChangesNothing)
{
    CleanupRig rig;
    auto tab = std::make_unique<CleanupTabModel>(*rig.store.settings, L10n::shared(), &rig.account,
                                                 &rig.memory);
    tab->resetMemory();
    tab.reset();
    rig.memory.answer(true);
    EXPECT_EQ(rig.memory.calls, 1);
    // A new tab starts idle.
    CleanupTabModel fresh(*rig.store.settings, L10n::shared(), &rig.account, &rig.memory);
    EXPECT_FALSE(fresh.resetting());
}
