#include "AppDelegate.h"

#include "Core/Hotkey/HotkeyManager.h"
#include "Fakes/FakeKeyEventTap.h"
#include "Fakes/FakeVoiceBarPanels.h"
#include "Platform/MotionPreference.h"
#include "Support/L10n.h"
#include "UI/StatusItem/StatusItemController.h"
#include "UI/StatusItem/StatusMenuRig.h"
#include "UI/VoiceBar/VoiceBarController.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class StillMotion final : public MotionPreference
{
public:
    bool reduceMotion() override { return true; }
};

// The start-up on fakes: a real dictation controller and status item (StatusMenuRig) on a manual
// clock, hotkeys on a key listener the test plays keys into, and every other step recorded by
// name in `steps`.
class AppDelegateTest : public testing::Test
{
protected:
    AppDelegate::Services services()
    {
        AppDelegate::Services s;
        s.settings = &settings();
        s.controller = &controller;
        s.clock = &env.rig.clock;
        s.microphoneGranted = [this] {
            return microphone;
        };
        s.bootstrapLanguage = [this] {
            steps << QStringLiteral("language");
        };
        s.makeStatusItem = [this] {
            steps << QStringLiteral("status item");
            return std::make_unique<StatusItemController>(env.services(), env.rig.clock, motion);
        };
        s.showOnboarding = [this](bool startAtPermissions) {
            steps << (startAtPermissions ? QStringLiteral("onboarding at permissions")
                                         : QStringLiteral("onboarding"));
        };
        s.onboardingForced = [this] {
            return onboardingForced;
        };
        s.loadKeychain = [this]() -> QCoro::Task<> {
            steps << QStringLiteral("keychain");
            co_return;
        };
        s.startCompanionBridge = [this] {
            steps << QStringLiteral("companion bridge");
        };
        s.startCloudAccount = [this] {
            steps << QStringLiteral("cloud account");
        };
        s.startCrashReporting = [this] {
            steps << QStringLiteral("crash reporting");
        };
        s.startUsageEvents = [this] {
            steps << QStringLiteral("usage events");
        };
        s.startSettingsSync = [this] {
            steps << QStringLiteral("settings sync");
        };
        s.startSharedVocabulary = [this] {
            steps << QStringLiteral("shared vocabulary");
        };
        s.startTesterMode = [this] {
            steps << QStringLiteral("tester mode");
        };
        s.acceptSignInCallback = [this](const QUrl &url) {
            steps << QStringLiteral("callback ") + url.host();
            return url.host() == QLatin1String("auth");
        };
        s.showSettings = [this](SettingsTab tab) {
            steps << QStringLiteral("settings ") + RawEnum::rawValue(tab);
        };
        s.makeVoiceBar = [this] {
            steps << QStringLiteral("voice bar");
            VoiceBarController::Services bar;
            bar.controller = &controller;
            bar.settings = &settings();
            bar.clock = &env.rig.clock;
            bar.l10n = &L10n::shared();
            bar.panels = &panels;
            return std::make_unique<VoiceBarController>(bar);
        };
        s.makeHotkeys = [this] {
            steps << QStringLiteral("hotkeys");
            HotkeyManager::Services hotkeys;
            hotkeys.settings = &settings();
            hotkeys.tap = &tap;
            hotkeys.readTrust = [this]() -> QCoro::Task<bool> {
                co_return trusted;
            };
            return std::make_unique<HotkeyManager>(hotkeys);
        };
        s.pruneHistory = [this] {
            steps << QStringLiteral("prune history");
        };
        s.warmUpSpeech = [this]() -> QCoro::Task<> {
            steps << QStringLiteral("speech warm-up");
            co_return;
        };
        s.warmUpTagger = [this] {
            steps << QStringLiteral("tagger warm-up");
        };
        s.answerCardShown = [this] {
            return cardShown;
        };
        s.dismissAnswerCard = [this] {
            steps << QStringLiteral("dismiss card");
            cardShown = false;
        };
        s.finishKeychain = [this] {
            steps << QStringLiteral("finish keychain");
        };
        return s;
    }

    AppSettings &settings() { return env.rig.appSettings(); }

    AppDelegate &launch()
    {
        delegate = std::make_unique<AppDelegate>(services());
        delegate->applicationDidFinishLaunching();
        env.rig.pump();
        return *delegate;
    }

    void tick() { env.rig.advance(AppDelegate::permissionInterval); }

    StatusMenuRig env;
    DictationController &controller = env.rig.c();
    StillMotion motion;
    FakeKeyEventTap tap;
    FakeVoiceBarPanels panels;
    bool microphone = true;
    bool trusted = true;
    bool cardShown = false;
    bool onboardingForced = false;
    QStringList steps;
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(AppDelegateTest, LaunchingRunsItsStepsInOrderAndStartsTheCoreInItsPlace)
{
    settings().setOnboardingCompleted(true);
    launch();
    EXPECT_TRUE(delegate->coreStarted());
    EXPECT_EQ(steps,
              QStringList({"language", "status item", "voice bar", "hotkeys", "prune history",
                           "speech warm-up", "tagger warm-up", "keychain", "companion bridge",
                           "cloud account", "settings sync", "shared vocabulary", "crash reporting",
                           "usage events", "tester mode"}));
    ASSERT_NE(delegate->statusItem(), nullptr);
    ASSERT_NE(delegate->voiceBar(), nullptr);
    ASSERT_NE(delegate->hotkeys(), nullptr);
    EXPECT_TRUE(tap.installed) << "the core's hotkeys listen from launch on";
}

TEST_F(AppDelegateTest, ASignInCallbackOpensTheAccountTabOnlyWhenTheAccountTookIt)
{
    launch();
    steps.clear();
    delegate->handleURL(QUrl(QStringLiteral("sonorvelle://auth?code=c&state=s")));
    delegate->handleURL(QUrl(QStringLiteral("sonorvelle://elsewhere?code=c")));
    delegate->handleURL(QUrl());
    EXPECT_EQ(steps, QStringList({"callback auth", "settings account", "callback elsewhere"}));
}

TEST_F(AppDelegateTest, TheCoreWaitsForOnboardingAndTheMicrophone)
{
    struct Case
    {
        const char *name;
        bool onboarded;
        bool microphone;
        bool startsAtLaunch;
    };
    const Case cases[] = {
        {"first launch", false, true, false},
        {"onboarded, no microphone", true, false, false},
        {"neither", false, false, false},
        {"onboarded with the microphone", true, true, true},
    };
    for (const Case &c : cases) {
        steps.clear();
        settings().setOnboardingCompleted(c.onboarded);
        microphone = c.microphone;
        launch();
        EXPECT_EQ(delegate->coreStarted(), c.startsAtLaunch) << c.name;
        EXPECT_EQ(steps.contains(QStringLiteral("hotkeys")), c.startsAtLaunch) << c.name;
        EXPECT_EQ(tap.installed, c.startsAtLaunch) << c.name << ": no global keys before the core";
        delegate->applicationWillTerminate();
        delegate.reset();
        tap.remove();
    }
}

// The guide opens at launch when onboarding was never done or the environment forces it, at its
// permissions page when only the microphone is missing, and from the tray's guide entry.
TEST_F(AppDelegateTest, OnboardingOpensAtLaunchAsTheSettingsAndTheEnvironmentSay)
{
    struct Case
    {
        const char *name;
        bool onboarded;
        bool microphone;
        bool forced;
        QStringList expected;
    };
    const Case cases[] = {
        {"first launch", false, true, false, {"status item", "onboarding", "keychain"}},
        {"onboarded", true, true, false, {"status item", "hotkeys", "keychain"}},
        {"onboarded, no microphone",
         true,
         false,
         false,
         {"status item", "onboarding at permissions", "keychain"}},
        {"forced after onboarding",
         true,
         true,
         true,
         {"status item", "hotkeys", "onboarding", "keychain"}},
        {"forced on a first launch without microphone",
         false,
         false,
         true,
         {"status item", "onboarding", "keychain"}},
    };
    for (const Case &c : cases) {
        steps.clear();
        settings().setOnboardingCompleted(c.onboarded);
        microphone = c.microphone;
        onboardingForced = c.forced;
        launch();
        QStringList seen;
        for (const QString &step : steps) {
            if (c.expected.contains(step)) {
                seen << step;
            }
        }
        EXPECT_EQ(seen, c.expected) << c.name;
        EXPECT_EQ(steps.count(QStringLiteral("onboarding"))
                      + steps.count(QStringLiteral("onboarding at permissions")),
                  c.expected.contains(QStringLiteral("onboarding"))
                          || c.expected.contains(QStringLiteral("onboarding at permissions"))
                      ? 1
                      : 0)
            << c.name;

        steps.clear();
        delegate->statusItem()->model().perform(StatusMenuItem::Action::showGuide);
        EXPECT_EQ(steps, QStringList {"onboarding"}) << c.name << ": the guide entry";
        delegate->applicationWillTerminate();
        delegate.reset();
        tap.remove();
    }
}

TEST_F(AppDelegateTest, FinishingOnboardingStartsTheCoreAtTheNextTick)
{
    launch();
    tick();
    EXPECT_FALSE(delegate->coreStarted());

    settings().setOnboardingCompleted(true);
    env.rig.advance(AppDelegate::permissionInterval - 1ms);
    EXPECT_FALSE(delegate->coreStarted()) << "not before the tick";
    env.rig.advance(1ms);
    EXPECT_TRUE(delegate->coreStarted());
    EXPECT_TRUE(tap.installed) << "hotkeys work without a relaunch";
}

TEST_F(AppDelegateTest, GrantingTheMicrophoneLaterStartsTheCoreAtTheNextTick)
{
    settings().setOnboardingCompleted(true);
    microphone = false;
    launch();
    tick();
    tick();
    EXPECT_FALSE(delegate->coreStarted());
    microphone = true;
    tick();
    EXPECT_TRUE(delegate->coreStarted());
}

TEST_F(AppDelegateTest, TheCoreStartsOnlyOnce)
{
    settings().setOnboardingCompleted(true);
    launch();
    delegate->startCore();
    tick();
    tick();
    delegate->startCore();
    for (const char *step :
         {"voice bar", "hotkeys", "prune history", "speech warm-up", "tagger warm-up"}) {
        EXPECT_EQ(steps.count(QString::fromLatin1(step)), 1) << step;
    }
}

TEST_F(AppDelegateTest, TheTickInstallsTheKeyListenerOnceAccessibilityIsTrusted)
{
    settings().setOnboardingCompleted(true);
    trusted = false;
    launch();
    ASSERT_TRUE(delegate->coreStarted());
    EXPECT_FALSE(tap.installed) << "no listener without trust";

    trusted = true;
    env.rig.advance(AppDelegate::permissionInterval - 1ms);
    EXPECT_FALSE(tap.installed);
    env.rig.advance(1ms);
    EXPECT_TRUE(tap.installed) << "no restart needed";
}

TEST_F(AppDelegateTest, EscapeCancelsASessionOrDismissesTheCardAndIsOtherwiseLeftAlone)
{
    settings().setOnboardingCompleted(true);
    launch();

    // Idle with no card: Escape belongs to the focused application.
    EXPECT_FALSE(tap.pressEscape());

    env.rig.startMenu();
    ASSERT_EQ(controller.state(), DictationState::recording);
    EXPECT_TRUE(tap.pressEscape());
    env.rig.pump();
    EXPECT_EQ(controller.state(), DictationState::idle);
    EXPECT_TRUE(env.rig.sounds.played.contains(QStringLiteral("Bottle")))
        << "a cancel by Escape is not silent: " << env.rig.sounds.played.join(u',').toStdString();
    EXPECT_FALSE(steps.contains(QStringLiteral("dismiss card")));

    cardShown = true;
    delegate->hotkeys()->refreshEscape();
    EXPECT_TRUE(tap.pressEscape());
    env.rig.pump();
    EXPECT_EQ(steps.count(QStringLiteral("dismiss card")), 1);
    EXPECT_EQ(controller.state(), DictationState::idle);

    delegate->hotkeys()->refreshEscape();
    EXPECT_FALSE(tap.pressEscape()) << "the card is gone";
}

TEST_F(AppDelegateTest, TerminationReleasesTheKeysAndLetsTheKeychainFinish)
{
    settings().setOnboardingCompleted(true);
    launch();
    ASSERT_TRUE(tap.installed);
    delegate->applicationWillTerminate();
    EXPECT_FALSE(tap.installed);
    EXPECT_EQ(steps.last(), QStringLiteral("finish keychain"));
}
