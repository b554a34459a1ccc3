#include "AppDelegate.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/DebugLog.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "Core/Insertion/SystemTextInsertion.h"
#include "Core/Keychain.h"
#include "Core/Permissions.h"
#include "Core/TesterMode.h"
#include "Core/TextCleanup/TaggerCleanup.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/UpdaterController.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/Qt/SynthesizedSoundPlayer.h"
#include "Platform/Xdg/XdgAutostartLoginItem.h"
#include "Support/L10n.h"
#include "UI/SettingsWindowController.h"
#include "UI/StatusItemController.h"

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
    DictationController::configureShared(services, std::make_unique<AudioCapture>());
    m_controller = &DictationController::shared();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::handleURL(const QUrl &url)
{
    if (!url.isValid()) {
        return;
    }
    // The cloud account that accepts the sign-in callback is not part of this build yet.
    DebugLog::log(
        QStringLiteral("app: callback URL received (host=%1); no cloud account to take it")
            .arg(url.host()));
}

void AppDelegate::applicationDidFinishLaunching()
{
    L10n::shared().bootstrap();

    auto statusServices = StatusItemController::systemServices(*m_controller);
    statusServices.settingsWindow = &SettingsWindowController::shared();
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
