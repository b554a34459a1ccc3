#include "SystemServices.h"

#include "Base/AppInfo.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/CloudAccount.h"
#include "Core/CloudDictate.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/ConnectionWarmer.h"
#include "Core/CrashReporter.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "Core/ImproveReporter.h"
#include "Core/Insertion/SystemTextInsertion.h"
#include "Core/Insertion/TextInserter.h"
#include "Core/IslandBridge.h"
#include "Core/Keychain.h"
#include "Core/Learning/CorrectionLearner.h"
#include "Core/QuotaNotice.h"
#include "Core/SharedVocabulary.h"
#include "Core/SignInPrompt.h"
#include "Core/TesterMode.h"
#include "Core/TextCleanup/CleanupFactory.h"
#include "Core/TextCleanup/ContextComposer.h"
#include "Core/TextCleanup/TaggerCleanup.h"
#include "Core/Transcription/EngineLocalePreparer.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/UpdaterController.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/LanguageRecognizer.h"
#include "Platform/Linux/LinuxLowDelayConnections.h"
#include "Platform/Linux/SignalCrashDiagnosticSource.h"
#include "Platform/OverlayWindowing.h"
#include "Platform/Qt/MessageBoxAlert.h"
#include "Platform/Qt/QtCompanionSocket.h"
#include "Platform/Qt/QtSpeechSynthesizer.h"
#include "Platform/Qt/SynthesizedSoundPlayer.h"
#include "Platform/Xdg/XdgAutostartLoginItem.h"
#include "Support/L10n.h"
#include "UI/AnswerCard/AnswerCardController.h"
#include "UI/AnswerCard/AnswerSpeaker.h"
#include "UI/Onboarding/OnboardingWindowController.h"
#include "UI/Settings/SettingsWindowController.h"
#include "UI/StatusItem/StatusItemController.h"
#include "UI/UpdateAlert.h"
#include "UI/VoiceBar/VoiceBarController.h"

#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

SystemServices::SystemServices(Clock &clock)
    : m_clock(clock)
    , m_loginItem(std::make_unique<XdgAutostartLoginItem>())
    , m_enginePreparer(std::make_unique<EngineLocalePreparer>(TranscriptionEngineFactory::system()))
    , m_sounds(std::make_unique<SynthesizedSoundPlayer>())
    , m_insertion(std::make_unique<SystemTextInsertion>())
    , m_updateAlert(std::make_unique<UpdateAlert>())
    , m_signInAlert(std::make_unique<MessageBoxAlert>())
{
    // The shared vocabulary is made first: the settings hand it the legacy lists.
    AppSettings::Services settingsServices;
    settingsServices.vocabulary = &SharedVocabulary::shared();
    settingsServices.enginePreparer = m_enginePreparer.get();
    settingsServices.loginItem = m_loginItem.get();
    settingsServices.usageQueue = &ImproveReporter::shared();
    AppSettings::configureShared(settingsServices);
    // A changed dictionary is worked into an idle recogniser at once, not when the next dictation
    // opens.
    m_hintPreparation =
        QObject::connect(&SharedVocabulary::shared(), &SharedVocabulary::termsChanged,
                         &SharedVocabulary::shared(), [preparer = m_enginePreparer.get()] {
                             preparer->prepareHints(AppSettings::shared().speechLocaleID(),
                                                    SharedVocabulary::shared().terms());
                         });

    DictationController::Services services;
    services.settings = &AppSettings::shared();
    services.keychain = &Keychain::shared();
    services.defaults = &UserDefaults::standard();
    services.clock = &m_clock;
    services.history = &HistoryStore::shared();
    services.insertion = m_insertion.get();
    services.sounds = m_sounds.get();
    services.reporter = &ImproveReporter::shared();
    services.vocabulary = &SharedVocabulary::shared();

    // Cloud account: warm-up and sign-in prompt for the sessions that use the service.
    static LinuxLowDelayConnections lowDelay; // lives as long as the shared session
    CloudSession::shared().setLowDelay(&lowDelay);
    m_warmer = std::make_unique<ConnectionWarmer>(CloudSession::shared(), m_clock);
    m_signInPrompt =
        std::make_unique<SignInPrompt>(CloudAccount::shared(), *m_signInAlert, m_clock);
    services.warmer = m_warmer.get();
    services.signIn = m_signInPrompt.get();

    // A signed-in user's recording goes to the service, which transcribes and cleans it.
    m_composer = std::make_unique<ContextComposer>();
    services.composer = m_composer.get();
    CloudDictate::Services dictateServices;
    dictateServices.session = &CloudSession::shared();
    dictateServices.quota = &QuotaNotice::shared();
    dictateServices.token = [] {
        return CloudAccount::token();
    };
    dictateServices.clock = &m_clock;
    m_cloudDictate = std::make_unique<CloudDictate>(std::move(dictateServices));
    services.cloud = m_cloudDictate.get();
    // Every session's cleanup stage: the cloud stages share the request layer and the account.
    CleanupFactory::Services cleanupServices;
    cleanupServices.cloud = CloudCleanup::systemServices(m_clock);
    cleanupServices.tagger = []() -> std::shared_ptr<const TextCleanupService> {
        return TaggerCleanup::shared();
    };
    m_cleanup = std::make_unique<CleanupFactory>(std::move(cleanupServices));
    services.cleanup = m_cleanup.get();
    // Correction learning: the user's edits of inserted text go to the cloud cleanup, with their
    // usage event through the session's reporter (none yet in a build without one).
    m_learner = std::make_unique<CorrectionLearner>(CorrectionLearner::Services {
        &AppSettings::shared(), &CloudAccount::shared(), &CloudSession::shared(),
        &UserDefaults::standard(), &m_clock, services.reporter});
    services.learner = m_learner.get();

    // Answer card: ask sessions end on it; its speaker's engine is made in the background once
    // the application runs, never on a click.
    m_synthesizer = std::make_unique<QtSpeechSynthesizer>();
    AnswerSpeaker::Services speakerServices;
    speakerServices.synthesizer = m_synthesizer.get();
    speakerServices.recognizer = &LanguageRecognizer::system();
    speakerServices.settings = &AppSettings::shared();
    speakerServices.clock = &m_clock;
    AnswerCardController::Services cardServices;
    cardServices.settings = &AppSettings::shared();
    cardServices.l10n = &L10n::shared();
    cardServices.clock = &m_clock;
    cardServices.windowing = &OverlayWindowing::system();
    cardServices.pasteboard = &TextInserter::shared().services().pasteboard;
    cardServices.signIn = [] {
        return CloudAccount::shared().signIn();
    };
    m_answerCard = std::make_unique<AnswerCardController>(
        cardServices, std::make_unique<AnswerSpeaker>(speakerServices));
    services.answerCard = m_answerCard.get();
    QTimer::singleShot(0, m_synthesizer.get(),
                       [synthesizer = m_synthesizer.get()] { synthesizer->warmUp(); });
    QTimer::singleShot(0, m_answerCard.get(),
                       [card = m_answerCard.get()] { card->prepareFirstFrame(); });

    DictationController::configureShared(services, std::make_unique<AudioCapture>());
    m_answerCard->attach(DictationController::shared());

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

SystemServices::~SystemServices()
{
    QObject::disconnect(m_hintPreparation);
}

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
    // The first-run guide: made when first shown, kept for the process.
    services.showOnboarding = [this](bool startAtPermissions) {
        if (!m_onboarding) {
            OnboardingWindowController::Services onboarding;
            onboarding.settings = &AppSettings::shared();
            onboarding.defaults = &UserDefaults::standard();
            onboarding.clock = &m_clock;
            onboarding.layout = &HotkeyLayout::shared();
            m_onboarding = std::make_unique<OnboardingWindowController>(onboarding);
        }
        m_onboarding->show(startAtPermissions);
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
    services.startCrashReporting = [] {
        static SignalCrashDiagnosticSource source(SignalCrashDiagnosticSource::defaultFolder());
        CrashReporter::shared().start(source);
    };
    services.startUsageEvents = [] {
        ImproveReporter &reporter = ImproveReporter::shared();
        reporter.setTokenProvider(
            [] { return Keychain::shared().get(QStringLiteral("cloudToken")); });
        reporter.start();
        QCoro::connect(DictationController::recordEnvironment(reporter, AppSettings::shared(),
                                                              Keychain::shared(),
                                                              SharedVocabulary::shared()),
                       &Keychain::shared(), [] {});
    };
    services.startTesterMode = [] {
        TesterMode::shared().start();
    };
    services.makeVoiceBar = [this] {
        return VoiceBarController::makeSystem(DictationController::shared(), m_clock);
    };
    services.makeHotkeys = [this] {
        auto hotkeys = std::make_unique<HotkeyManager>();
        // Escape is taken while no session runs exactly while the card is up.
        QObject::connect(m_answerCard.get(), &AnswerCardController::isShowingChanged, hotkeys.get(),
                         &HotkeyManager::refreshEscape);
        return hotkeys;
    };
    services.answerCardShown = [this] {
        return m_answerCard->isShowing();
    };
    services.dismissAnswerCard = [this] {
        m_answerCard->dismiss();
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
