#include "AppDelegate.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/ConnectionWarmer.h"
#include "Core/DebugLog.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "Core/Insertion/SystemTextInsertion.h"
#include "Core/Keychain.h"
#include "Core/Permissions.h"
#include "Core/SignInPrompt.h"
#include "Core/TesterMode.h"
#include "Core/TextCleanup/TaggerCleanup.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/UpdaterController.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/Qt/MessageBoxAlert.h"
#include "Platform/Qt/SynthesizedSoundPlayer.h"
#include "Platform/Xdg/XdgAutostartLoginItem.h"
#include "Support/L10n.h"
#include "UI/SettingsWindowShowing.h"
#include "UI/StatusItemController.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTask>
#include <QPointer>
#include <QThreadPool>

using namespace std::chrono_literals;

namespace {

constexpr auto permissionInterval = 2s;
constexpr auto permissionTolerance = 500ms;

} // namespace

AppDelegate::AppDelegate(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_loginItem(std::make_unique<XdgAutostartLoginItem>())
    , m_enginePreparer(std::make_unique<EngineLocalePreparer>(TranscriptionEngineFactory::system()))
{
    // The settings are made here, before launching has finished: they register the login item on
    // the very first launch. The shared vocabulary and the usage reporter arrive with their own
    // subsystems; until then the settings have nothing to hand over or clear.
    AppSettings::Services settingsServices;
    settingsServices.enginePreparer = m_enginePreparer.get();
    settingsServices.loginItem = m_loginItem.get();
    AppSettings::configureShared(settingsServices);
    m_settings = &AppSettings::shared();

    m_sounds = std::make_unique<SynthesizedSoundPlayer>();
    m_insertion = std::make_unique<SystemTextInsertion>();
    DictationController::Services services;
    services.settings = m_settings;
    services.keychain = &Keychain::shared();
    services.defaults = &UserDefaults::standard();
    services.clock = &m_clock;
    services.history = &HistoryStore::shared();
    services.insertion = m_insertion.get();
    services.sounds = m_sounds.get();

    // Cloud account: warm-up and sign-in prompt for the sessions that use the service.
    m_signInAlert = std::make_unique<MessageBoxAlert>();
    m_warmer = std::make_unique<ConnectionWarmer>(CloudSession::shared(), m_clock);
    m_signInPrompt =
        std::make_unique<SignInPrompt>(CloudAccount::shared(), *m_signInAlert, m_clock);
    services.warmer = m_warmer.get();
    services.signIn = m_signInPrompt.get();

    DictationController::configureShared(services, std::make_unique<AudioCapture>());
    m_controller = &DictationController::shared();

    // Cloud account: the sign-in alert waits until the session that asked for it has inserted.
    m_signInPrompt->setWaitUntilIdle([controller = QPointer(m_controller)]() -> QCoro::Task<> {
        while (controller && controller->state() != DictationState::idle) {
            co_await qCoro(controller.data(), &DictationController::stateChanged);
        }
    });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::handleURL(const QUrl &url)
{
    if (!url.isValid()) {
        return;
    }
    const bool accepted = CloudAccount::shared().handleCallback(url);
    DebugLog::log(QStringLiteral("app: callback URL received (host=%1); %2")
                      .arg(url.host(),
                           accepted ? QStringLiteral("signing in")
                                    : QStringLiteral("no sign-in waits for it")));
    if (accepted && m_settingsWindow) {
        m_settingsWindow->show(SettingsTab::account);
    }
}

void AppDelegate::applicationDidFinishLaunching()
{
    L10n::shared().bootstrap();

    auto statusServices = StatusItemController::systemServices(*m_controller);
    if (UpdaterController *updater = UpdaterController::shared()) {
        statusServices.checkForUpdates = [updater] {
            updater->updater().checkForUpdates();
        };
    }
    m_statusItem = std::make_unique<StatusItemController>(statusServices, m_clock);

    if (m_settings->onboardingCompleted() && Permissions::microphoneGranted()) {
        startCore();
    }

    // Keychain items are read once into the cache that the dictation path reads synchronously.
    auto loadKeychain = []() -> QCoro::Task<> {
        co_await Keychain::shared().load();
    };
    QCoro::connect(loadKeychain(), this, [] {});

    // Cloud account: refreshed in the background when a token is stored, once the keychain has
    // answered.
    auto startAccount = []() -> QCoro::Task<> {
        co_await Keychain::shared().load();
        CloudAccount &account = CloudAccount::shared();
        if (account.storedToken()) {
            account.start();
        }
    };
    QCoro::connect(startAccount(), this, [] {});

    TesterMode::shared().start();

    m_permissionTimer = m_clock.makeTimer();
    connect(m_permissionTimer.get(), &Timer::timeout, this, &AppDelegate::permissionTick);
    m_permissionTimer->start(permissionInterval, true, permissionTolerance);
}

void AppDelegate::startCore()
{
    if (m_coreStarted) {
        return;
    }
    m_coreStarted = true;

    m_hotkeys = std::make_unique<HotkeyManager>();
    QPointer<AppDelegate> self(this);
    m_hotkeys->onKeyDown = [self](DictationTask task) {
        if (self) {
            self->m_controller->holdKeyDown(task);
        }
    };
    m_hotkeys->onKeyUp = [self](DictationTask task) {
        if (self) {
            self->m_controller->holdKeyUp(task);
        }
    };
    m_hotkeys->onEscape = [self] {
        if (self && self->m_controller->state() != DictationState::idle) {
            self->m_controller->cancel(false);
        }
    };
    // Without an answer card, Escape is only wanted while a session runs.
    m_hotkeys->escapeAlsoActive = [] {
        return false;
    };
    connect(m_controller, &DictationController::stateChanged, m_hotkeys.get(),
            [this] { m_hotkeys->setSessionState(m_controller->state()); });
    m_hotkeys->start();

    HistoryStore::shared().pruneExpired();

    // Warm-ups: a first dictation that starts before they finish works without them.
    QCoro::connect(m_enginePreparer->warmUp(), this, [] {});
    QThreadPool::globalInstance()->start([] { TaggerCleanup::shared(); });
}

void AppDelegate::permissionTick()
{
    if (m_statusItem) {
        m_statusItem->refreshIcon();
    }
    if (!m_coreStarted) {
        if (m_settings->onboardingCompleted() && Permissions::microphoneGranted()) {
            startCore();
        }
        if (!m_coreStarted) {
            return;
        }
    }
    m_hotkeys->start();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_hotkeys) {
        m_hotkeys->cancelSubscription();
        m_hotkeys->tearDownTap();
    }
    // A sign-out just before quitting must reach the keyring.
    QCoro::waitFor(Keychain::shared().waitForPendingJobs());
}
