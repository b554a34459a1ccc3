#include "AppDelegate.h"

#include "Base/Timer.h"
#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Core/DictationController.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "UI/StatusItem/StatusItemController.h"
#include "UI/VoiceBar/VoiceBarController.h"

#include <QCoro/QCoroTask>
#include <QPointer>

AppDelegate::AppDelegate(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Q_ASSERT(m_services.settings && m_services.controller && m_services.clock);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::handleURL(const QUrl &url)
{
    if (!url.isValid()) {
        return;
    }
    const bool accepted = m_services.acceptSignInCallback && m_services.acceptSignInCallback(url);
    DebugLog::log(QStringLiteral("app: callback URL received (host=%1); %2")
                      .arg(url.host(),
                           accepted ? QStringLiteral("signing in")
                                    : QStringLiteral("no sign-in waits for it")));
    if (accepted && m_services.showSettings) {
        m_services.showSettings(SettingsTab::account);
    }
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_services.bootstrapLanguage) {
        m_services.bootstrapLanguage();
    }

    if (m_services.makeStatusItem) {
        m_statusItem = m_services.makeStatusItem();
    }
    if (m_statusItem) {
        QPointer<AppDelegate> self(this);
        m_statusItem->setOnShowOnboarding([self] {
            if (self && self->m_services.showOnboarding) {
                self->m_services.showOnboarding(false);
            }
        });
    }

    if (mayStartCore()) {
        startCore();
    }

    showOnboardingAtLaunch();

    if (m_services.loadKeychain) {
        QCoro::connect(m_services.loadKeychain(), this, [] {});
    }

    if (m_services.startCompanionBridge) {
        m_services.startCompanionBridge();
    }

    if (m_services.startCloudAccount) {
        m_services.startCloudAccount();
    }
    if (m_services.startSettingsSync) {
        m_services.startSettingsSync();
    }
    if (m_services.startSharedVocabulary) {
        m_services.startSharedVocabulary();
    }

    if (m_services.startCrashReporting) {
        m_services.startCrashReporting();
    }
    if (m_services.startUsageEvents) {
        m_services.startUsageEvents();
    }

    if (m_services.startTesterMode) {
        m_services.startTesterMode();
    }

    m_permissionTimer = m_services.clock->makeTimer();
    connect(m_permissionTimer.get(), &Timer::timeout, this, &AppDelegate::permissionTick);
    m_permissionTimer->start(permissionInterval, true, permissionTolerance);
}

bool AppDelegate::mayStartCore() const
{
    return m_services.settings->onboardingCompleted() && m_services.microphoneGranted
        && m_services.microphoneGranted();
}

void AppDelegate::showOnboardingAtLaunch()
{
    if (!m_services.showOnboarding) {
        return;
    }
    const bool forced = m_services.onboardingForced && m_services.onboardingForced();
    if (forced || !m_services.settings->onboardingCompleted()) {
        m_services.showOnboarding(false);
    } else if (!m_services.microphoneGranted || !m_services.microphoneGranted()) {
        // Done before, but dictation still cannot start: straight to what is missing.
        m_services.showOnboarding(true);
    }
}

void AppDelegate::startCore()
{
    if (m_coreStarted) {
        return;
    }
    m_coreStarted = true;

    if (m_services.makeVoiceBar) {
        m_voiceBar = m_services.makeVoiceBar();
    }

    if (m_services.makeHotkeys) {
        m_hotkeys = m_services.makeHotkeys();
    }
    if (m_hotkeys) {
        QPointer<AppDelegate> self(this);
        m_hotkeys->onKeyDown = [self](DictationTask task) {
            if (self) {
                self->m_services.controller->holdKeyDown(task);
            }
        };
        m_hotkeys->onKeyUp = [self](DictationTask task) {
            if (self) {
                self->m_services.controller->holdKeyUp(task);
            }
        };
        m_hotkeys->onEscape = [self] {
            if (!self) {
                return;
            }
            if (self->m_services.controller->state() != DictationState::idle) {
                self->m_services.controller->cancel(false);
            } else if (self->m_services.dismissAnswerCard) {
                self->m_services.dismissAnswerCard();
            }
        };
        // Escape is wanted while no session runs only for the answer card.
        m_hotkeys->escapeAlsoActive = [self] {
            return self && self->m_services.answerCardShown && self->m_services.answerCardShown();
        };
        connect(m_services.controller, &DictationController::stateChanged, m_hotkeys.get(),
                [this] { m_hotkeys->setSessionState(m_services.controller->state()); });
        m_hotkeys->setSessionState(m_services.controller->state());
        m_hotkeys->start();
    }

    if (m_services.pruneHistory) {
        m_services.pruneHistory();
    }

    // Warm-ups: a first dictation that starts before they finish works without them.
    if (m_services.warmUpSpeech) {
        QCoro::connect(m_services.warmUpSpeech(), this, [] {});
    }
    if (m_services.warmUpTagger) {
        m_services.warmUpTagger();
    }
}

void AppDelegate::permissionTick()
{
    if (m_statusItem) {
        m_statusItem->refreshIcon();
    }
    if (!m_coreStarted) {
        if (mayStartCore()) {
            startCore();
        }
        if (!m_coreStarted) {
            return;
        }
    }
    // A second call in the tick that started the core is harmless: it only installs the key
    // listener again when Accessibility trust arrived since.
    if (m_hotkeys) {
        m_hotkeys->start();
    }
}

void AppDelegate::applicationWillTerminate()
{
    if (m_hotkeys) {
        m_hotkeys->cancelSubscription();
        m_hotkeys->tearDownTap();
    }
    // A sign-out just before quitting must reach the keyring.
    if (m_services.finishKeychain) {
        m_services.finishKeychain();
    }
}
