#pragma once

#include "Base/Clock.h"
#include "Core/Permissions.h"
#include "UI/Onboarding/OnboardingKitEnv.h"
#include "UI/Settings/SettingsTab.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class AppSettings;
class DictationController;
class HotkeyManager;
class StatusItemController;
class Timer;
class VoiceBarController;

// Wires the long-lived services together at launch, starts the dictation core once onboarding is
// done and the microphone may be used, re-checks permissions every two seconds, and releases the
// global keys at the end. It holds no logic of its own beyond that wiring.
//
// The services come from outside (SystemServices in the application, fakes in tests), so the
// start-up rules can be checked on a manual clock. Main thread only.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds permissionInterval {2};
    static constexpr std::chrono::milliseconds permissionTolerance {500};

    // What the start-up wires together, in the order it uses them. The objects must outlive the
    // delegate. An empty function is a step this build does without; a subsystem that arrives
    // later adds its own entry here and its step in applicationDidFinishLaunching().
    struct Services
    {
        AppSettings *settings = nullptr;
        DictationController *controller = nullptr;
        Clock *clock = &Clock::system();
        // Whether the microphone may be used.
        std::function<bool()> microphoneGranted = &Permissions::microphoneGranted;

        // Applies the stored interface language; the first step of launching.
        std::function<void()> bootstrapLanguage;
        // Makes the status item; at launch, once.
        std::function<std::unique_ptr<StatusItemController>()> makeStatusItem;
        // Opens the first-run guide, at its permissions page when asked: at launch and from the
        // tray's guide entry.
        std::function<void(bool startAtPermissions)> showOnboarding;
        // Whether the environment forces the guide at launch, even after it was done.
        std::function<bool()> onboardingForced = [] {
            return OnboardingKitEnv::forced({});
        };
        // Reads the keychain items into the cache the dictation path reads; at launch.
        std::function<QCoro::Task<>()> loadKeychain;
        // Refreshes the cloud account in the background when a token is stored; at launch.
        std::function<void()> startCloudAccount;
        // Reports the crashes of earlier runs and collects this run's; then starts the usage-event
        // reporter (which flushes by itself at quit) and records the launch's environment. At
        // launch, once.
        std::function<void()> startCrashReporting;
        std::function<void()> startUsageEvents;
        // Settings sync, then the shared vocabulary: each follows the account from here on (a
        // sign-in pulls); at launch, right after the account.
        std::function<void()> startSettingsSync;
        std::function<void()> startSharedVocabulary;
        // Starts tester mode; at launch.
        std::function<void()> startTesterMode;
        // Starts the companion bridge; at launch, once.
        std::function<void()> startCompanionBridge;

        // Hands a callback URL to the cloud account; true when a sign-in was waiting for it.
        std::function<bool(const QUrl &)> acceptSignInCallback;
        // Shows the settings window on a tab (the account tab after a sign-in).
        std::function<void(SettingsTab)> showSettings;

        // Makes the voice bar, which follows the dictation controller by itself; when the core
        // starts, once.
        std::function<std::unique_ptr<VoiceBarController>()> makeVoiceBar;
        // Makes the global hotkeys; when the core starts, once.
        std::function<std::unique_ptr<HotkeyManager>()> makeHotkeys;
        // Drops expired history; when the core starts.
        std::function<void()> pruneHistory;
        // Prepares the speech engine and the tagger model ahead of the first dictation; when the
        // core starts, never awaited.
        std::function<QCoro::Task<>()> warmUpSpeech;
        std::function<void()> warmUpTagger;

        // Whether the answer card is up, and taking it down: Escape while no session runs.
        std::function<bool()> answerCardShown;
        std::function<void()> dismissAnswerCard;

        // Lets writes to the keychain finish; at termination.
        std::function<void()> finishKeychain;
    };

    explicit AppDelegate(Services services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; main thread, once the application object exists.
    void applicationDidFinishLaunching();
    // Releases the global keys; called when the event loop has ended.
    void applicationWillTerminate();

    // A "sonorvelle:" URL handed to the application (the cloud account's sign-in callback).
    void handleURL(const QUrl &url);

    // Starts the dictation core, once per process.
    void startCore();
    bool coreStarted() const { return m_coreStarted; }

    // What launching and the core made; null before.
    StatusItemController *statusItem() const { return m_statusItem.get(); }
    HotkeyManager *hotkeys() const { return m_hotkeys.get(); }
    VoiceBarController *voiceBar() const { return m_voiceBar.get(); }

private:
    bool mayStartCore() const;
    void showOnboardingAtLaunch();
    void permissionTick();

    Services m_services;
    std::unique_ptr<StatusItemController> m_statusItem;
    std::unique_ptr<VoiceBarController> m_voiceBar;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<Timer> m_permissionTimer;
    bool m_coreStarted = false;
};
