#include "SystemServices.h"

#include "Base/AppInfo.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/ConnectionWarmer.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "Core/Insertion/SystemTextInsertion.h"
#include "Core/Insertion/TextInserter.h"
#include "Core/IslandBridge.h"
#include "Core/Keychain.h"
#include "Core/SharedVocabulary.h"
#include "Core/SignInPrompt.h"
#include "Core/TesterMode.h"
#include "Core/TextCleanup/TaggerCleanup.h"
#include "Core/Transcription/EngineLocalePreparer.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/UpdaterController.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/Qt/MessageBoxAlert.h"
#include "Platform/Qt/QtCompanionSocket.h"
#include "Platform/Qt/SynthesizedSoundPlayer.h"
#include "Platform/Xdg/XdgAutostartLoginItem.h"
#include "Support/L10n.h"
#include "UI/SettingsWindowController.h"
#include "UI/StatusItemController.h"
#include "UI/UpdateAlert.h"

#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QThreadPool>

SystemServices::SystemServices(Clock &clock)
    : m_clock(clock)
    , m_loginItem(std::make_unique<XdgAutostartLoginItem>())
    , m_enginePreparer(std::make_unique<EngineLocalePreparer>(TranscriptionEngineFactory::system()))
    , m_sounds(std::make_unique<SynthesizedSoundPlayer>())
    , m_insertion(std::make_unique<SystemTextInsertion>())
    , m_updateAlert(std::make_unique<UpdateAlert>())
    , m_signInAlert(std::make_unique<MessageBoxAlert>())
{
    // The usage reporter arrives with its own subsystem; until then the settings have no queue
    // to clear. The shared vocabulary is made first, as the settings hand it the legacy lists.
    AppSettings::Services settingsServices;
    settingsServices.vocabulary = &SharedVocabulary::shared();
    settingsServices.enginePreparer = m_enginePreparer.get();
    settingsServices.loginItem = m_loginItem.get();
    AppSettings::configureShared(settingsServices);

    DictationController::Services services;
    services.settings = &AppSettings::shared();
    services.keychain = &Keychain::shared();
    services.defaults = &UserDefaults::standard();
    services.clock = &m_clock;
    services.history = &HistoryStore::shared();
    services.insertion = m_insertion.get();
    services.sounds = m_sounds.get();
    services.vocabulary = &SharedVocabulary::shared();

    // Cloud account: warm-up and sign-in prompt for the sessions that use the service.
    m_warmer = std::make_unique<ConnectionWarmer>(CloudSession::shared(), m_clock);
    m_signInPrompt =
        std::make_unique<SignInPrompt>(CloudAccount::shared(), *m_signInAlert, m_clock);
    services.warmer = m_warmer.get();
    services.signIn = m_signInPrompt.get();

    DictationController::configureShared(services, std::make_unique<AudioCapture>());

    // The sign-in alert takes the focus: it waits until the session that asked for it has
    // inserted its text.
    m_signInPrompt->setWaitUntilIdle(
        [controller = QPointer(&DictationController::shared())]() -> QCoro::Task<> {
            while (controller && controller->state() != DictationState::idle) {
                co_await qCoro(controller.data(), &DictationController::stateChanged);
            }
        });

    IslandBridge::Services bridgeServices;
    bridgeServices.clock = &m_clock;
    bridgeServices.socket = std::make_unique<QtCompanionSocket>();
    bridgeServices.history = &HistoryStore::shared();
    // "Copy" of an entry from the companion host, on the clipboard the insertion uses.
    bridgeServices.pasteboard = &TextInserter::shared().services().pasteboard;
    bridgeServices.appID = AppInfo::bundleIdentifier();
    IslandBridge::configureShared(std::move(bridgeServices));
}

SystemServices::~SystemServices() = default;

AppDelegate::Services SystemServices::services()
{
    AppDelegate::Services services;
    services.settings = &AppSettings::shared();
    services.controller = &DictationController::shared();
    services.clock = &m_clock;
    services.bootstrapLanguage = [] {
        L10n::shared().bootstrap();
    };
    services.makeStatusItem = [this] {
        auto statusServices = StatusItemController::systemServices(DictationController::shared());
        statusServices.settingsWindow = &SettingsWindowController::shared();
        if (UpdaterController *updater = UpdaterController::shared()) {
            updater->setAlerts(m_updateAlert.get());
            statusServices.checkForUpdates = [updater] {
                updater->updater().checkForUpdates();
            };
        }
        return std::make_unique<StatusItemController>(statusServices, m_clock);
    };
    services.loadKeychain = []() -> QCoro::Task<> {
        co_await Keychain::shared().load();
    };
    // Cloud account: refreshed in the background when a token is stored, once the keychain has
    // answered.
    services.startCloudAccount = [this] {
        auto refresh = []() -> QCoro::Task<> {
            co_await Keychain::shared().load();
            CloudAccount &account = CloudAccount::shared();
            if (account.storedToken()) {
                account.start();
            }
        };
        QCoro::connect(refresh(), &CloudAccount::shared(), [] {});
    };
    services.startSettingsSync = [] {
        CloudSync::shared().start();
    };
    services.startSharedVocabulary = [] {
        SharedVocabulary::shared().start();
    };
    services.acceptSignInCallback = [](const QUrl &url) {
        return CloudAccount::shared().handleCallback(url);
    };
    services.showSettings = [](SettingsTab tab) {
        SettingsWindowController::shared().show(tab);
    };
    services.startCompanionBridge = [] {
        IslandBridge::shared().start(&DictationController::shared(), &AppSettings::shared());
    };
    services.startTesterMode = [] {
        TesterMode::shared().start();
    };
    services.makeHotkeys = [] {
        return std::make_unique<HotkeyManager>();
    };
    services.pruneHistory = [] {
        HistoryStore::shared().pruneExpired();
    };
    services.warmUpSpeech = [this] {
        return m_enginePreparer->warmUp();
    };
    services.warmUpTagger = [] {
        QThreadPool::globalInstance()->start([] { TaggerCleanup::shared(); });
    };
    services.finishKeychain = [] {
        QCoro::waitFor(Keychain::shared().waitForPendingJobs());
    };
    return services;
}
