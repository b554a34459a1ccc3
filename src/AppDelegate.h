#pragma once

#include "Core/Transcription/EngineLocalePreparer.h"

#include <QObject>
#include <QUrl>

#include <memory>

class AppSettings;
class Clock;
class ConnectionWarmer;
class ModalAlert;
class SettingsWindowShowing;
class SignInPrompt;
class DictationController;
class HotkeyManager;
class SoundPlayer;
class StatusItemController;
class SystemTextInsertion;
class Timer;
class XdgAutostartLoginItem;

// Wires the long-lived services together at launch, starts the dictation core once onboarding is
// done and the microphone may be used, re-checks permissions every two seconds, and releases the
// global keys at the end. It holds no logic of its own beyond that wiring.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(Clock &clock, QObject *parent = nullptr);
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

private:
    void permissionTick();

    Clock &m_clock;
    std::unique_ptr<XdgAutostartLoginItem> m_loginItem;
    std::unique_ptr<EngineLocalePreparer> m_enginePreparer;
    std::unique_ptr<SoundPlayer> m_sounds;
    std::unique_ptr<SystemTextInsertion> m_insertion;
    AppSettings *m_settings = nullptr;
    DictationController *m_controller = nullptr;
    std::unique_ptr<StatusItemController> m_statusItem;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<Timer> m_permissionTimer;
    bool m_coreStarted = false;

    // Cloud account: the connection warmer and the sign-in prompt the dictation controller uses,
    // and the settings window a completed sign-in opens (absent until that window exists).
    std::unique_ptr<ModalAlert> m_signInAlert;
    std::unique_ptr<ConnectionWarmer> m_warmer;
    std::unique_ptr<SignInPrompt> m_signInPrompt;
    SettingsWindowShowing *m_settingsWindow = nullptr;
};
