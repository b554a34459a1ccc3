#include "UI/VoiceBar/VoiceBarController.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/AppSettings.h"
#include "Core/DictationController.h"
#include "Core/IslandBridge.h"
#include "Core/QuotaNotice.h"
#include "Core/Transcription/SpeechLocaleNotifications.h"
#include "Support/L10n.h"
#include "UI/VoiceBar/QuickVoiceBarPanelFactory.h"
#include "UI/VoiceBar/VoiceBarGeometry.h"
#include "UI/VoiceBar/VoiceBarModel.h"
#include "UI/VoiceBar/VoiceBarPanel.h"

#include <QTimer>

VoiceBarController::VoiceBarController(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_controller(m_services.controller)
    , m_model(std::make_unique<VoiceBarModel>())
{
    Q_ASSERT(m_services.controller && m_services.settings && m_services.clock && m_services.l10n
             && m_services.panels);

    // Visibility follows the latest of the session state, the setting and the hand-over.
    connect(m_services.controller, &DictationController::stateChanged, this,
            &VoiceBarController::evaluateVisibility);
    connect(m_services.settings, &AppSettings::showVoiceBarChanged, this,
            &VoiceBarController::evaluateVisibility);
    if (m_services.bridge) {
        connect(m_services.bridge, &IslandBridge::handedOverChanged, this,
                &VoiceBarController::evaluateVisibility);
    }
    evaluateVisibility();

    connect(m_services.controller, &DictationController::levelChanged, this,
            &VoiceBarController::levelArrived);

    // An error toast shows whatever the setting says: the user must learn that the session failed.
    connect(m_services.controller, &DictationController::lastErrorChanged, this, [this] {
        if (!m_controller) {
            return;
        }
        if (const std::optional<QString> error = m_controller->lastError()) {
            showTransientToast(
                {*error, VoiceBarPanelFactory::Symbol::warning, VoiceBarPanelFactory::Tint::warn});
        }
    });
    connect(m_services.controller, &DictationController::signInNeeded, this,
            [this](DictationTask task) {
                if (task == DictationTask::translate && m_services.settings->showVoiceBar()) {
                    showTransientToast(
                        {m_services.l10n->string(QStringLiteral("translate.signInNeeded")),
                         VoiceBarPanelFactory::Symbol::info,
                         VoiceBarPanelFactory::Tint::secondary});
                }
            });
    if (m_services.localeNotices) {
        connect(m_services.localeNotices, &SpeechLocaleNotifications::speechLocaleSwitched, this,
                [this](const QString &name) {
                    if (!m_services.settings->showVoiceBar()) {
                        return;
                    }
                    const QString text =
                        m_services.l10n->string(QStringLiteral("locale.switched"), name);
                    showTransientToast({text, VoiceBarPanelFactory::Symbol::info,
                                        VoiceBarPanelFactory::Tint::secondary});
                });
    }
    if (m_services.quotaNotice) {
        connect(m_services.quotaNotice, &QuotaNotice::didReach, this, [this] {
            if (!m_services.settings->showVoiceBar()) {
                return;
            }
            showTransientToast({m_services.l10n->string(QStringLiteral("cloud.quotaBody")),
                                VoiceBarPanelFactory::Symbol::info,
                                VoiceBarPanelFactory::Tint::secondary});
        });
    }
}

VoiceBarController::~VoiceBarController() = default;

std::unique_ptr<VoiceBarController> VoiceBarController::makeSystem(DictationController &controller,
                                                                   Clock &clock)
{
    auto panels =
        std::make_unique<QuickVoiceBarPanelFactory>(controller, OverlayWindowing::system());
    Services services;
    services.controller = &controller;
    services.settings = &AppSettings::shared();
    services.clock = &clock;
    services.l10n = &L10n::shared();
    services.panels = panels.get();
    services.bridge = &IslandBridge::shared();
    services.localeNotices = &SpeechLocaleNotifications::shared();
    services.quotaNotice = &QuotaNotice::shared();
    services.screenUnderPointer = [] {
        return OverlayWindowing::system().screenUnderPointer();
    };
    services.mainScreen = [] {
        return OverlayWindowing::system().mainScreen();
    };
    auto bar = std::make_unique<VoiceBarController>(std::move(services));
    // The views compile and the first frame is drawn off-screen once the start-up has run, ahead
    // of the first key press.
    QTimer::singleShot(0, bar.get(), [factory = panels.get()] {
        factory->warmUp();
        factory->prepareFirstFrame(AppSettings::shared().voiceBarStyle());
    });
    bar->m_ownedPanels = std::move(panels);
    return bar;
}

bool VoiceBarController::visibilityRule() const
{
    const bool handedOver = m_services.bridge && m_services.bridge->handedOver();
    return m_controller && m_services.settings->showVoiceBar()
        && m_controller->state() != DictationState::idle && !handedOver;
}

void VoiceBarController::evaluateVisibility()
{
    if (visibilityRule()) {
        show();
    } else {
        hide();
    }
}

void VoiceBarController::levelArrived(float level)
{
    if (!m_isShown) {
        return;
    }
    m_levelQueue.push_back(level);
    while (m_levelQueue.size() > levelQueueLimit) {
        m_levelQueue.pop_front();
    }
}

void VoiceBarController::show()
{
    // A new session replaces a toast at once.
    if (m_isShowingError) {
        dismissErrorToast();
    }
    if (m_isShown) {
        return;
    }
    m_isShown = true;
    if (m_panel) {
        m_panel->orderOut();
        m_panel.reset();
    }
    m_model->reset();
    m_levelQueue.clear();
    startMeterTimer();

    m_panel = m_services.panels->makeBar(m_services.settings->voiceBarStyle(), *m_model);
    position(*m_panel);
    m_panel->orderFront();
    fadeIn(*m_panel);
}

void VoiceBarController::hide()
{
    // A toast stays up until its own hold ends.
    if (m_isShowingError || !m_isShown || !m_panel) {
        return;
    }
    m_isShown = false;
    stopMeterTimer();
    fadeOut(std::move(m_panel));
}

void VoiceBarController::dismissErrorToast()
{
    m_toastHold.reset();
    m_isShowingError = false;
    if (m_panel) {
        m_panel->orderOut();
        m_panel.reset();
    }
    m_isShown = false;
    stopMeterTimer();
}

void VoiceBarController::startMeterTimer()
{
    m_meterTimer = m_services.clock->makeTimer();
    connect(m_meterTimer.get(), &Timer::timeout, this, &VoiceBarController::meterTick);
    m_meterTimer->start(meterInterval, true);
}

void VoiceBarController::stopMeterTimer()
{
    m_meterTimer.reset();
}

void VoiceBarController::meterTick()
{
    if (!m_isShown || !m_controller) {
        return;
    }
    float level = 0;
    if (!m_levelQueue.empty()) {
        level = m_levelQueue.front();
        m_levelQueue.pop_front();
    } else {
        level = m_controller->level();
    }
    m_model->push(level);
}

void VoiceBarController::position(VoiceBarPanel &panel)
{
    std::optional<OverlayWindowing::ScreenArea> screen;
    if (m_services.screenUnderPointer) {
        screen = m_services.screenUnderPointer();
    }
    if (!screen && m_services.mainScreen) {
        screen = m_services.mainScreen();
    }
    // Without any screen the window keeps the frame it was made with.
    if (!screen) {
        return;
    }
    panel.setFrame(VoiceBarGeometry::frame(m_services.settings->voiceBarStyle(), *screen));
}

void VoiceBarController::fadeIn(VoiceBarPanel &panel)
{
    panel.fade(1.0, fadeInDuration, true);
}

void VoiceBarController::fadeOut(std::unique_ptr<VoiceBarPanel> panel)
{
    panel->fade(0.0, fadeOutDuration, false);
    auto timer = m_services.clock->makeTimer();
    Timer *raw = timer.get();
    VoiceBarPanel *fading = panel.get();
    m_fading.push_back({std::move(panel), std::move(timer)});
    connect(raw, &Timer::timeout, this, [this, fading] {
        for (auto it = m_fading.begin(); it != m_fading.end(); ++it) {
            if (it->panel.get() == fading) {
                it->panel->orderOut();
                // The timer that is firing goes with the entry: drop it after this turn.
                it->timer.release()->deleteLater();
                m_fading.erase(it);
                return;
            }
        }
    });
    raw->start(fadeOutDuration, false);
}

void VoiceBarController::showTransientToast(const VoiceBarPanelFactory::Toast &toast)
{
    m_toastHold.reset();
    m_isShowingError = true;
    // The meter keeps running under a toast that covers a bar.
    if (m_panel) {
        m_panel->orderOut();
        m_panel.reset();
    }
    m_panel = m_services.panels->makeToast(m_services.settings->voiceBarStyle(), toast);
    m_isShown = true;
    position(*m_panel);
    m_panel->orderFront();
    fadeIn(*m_panel);

    m_toastHold = m_services.clock->makeTimer();
    connect(m_toastHold.get(), &Timer::timeout, this, &VoiceBarController::toastHoldEnded);
    m_toastHold->start(toastHold, false);
}

void VoiceBarController::toastHoldEnded()
{
    m_isShowingError = false;
    if (m_toastHold) {
        m_toastHold.release()->deleteLater();
    }
    hide();
    // A toast that ends while the session still runs gives the place back to the bar: a notice at
    // the start of a recording must not hide the bar for the rest of it.
    if (visibilityRule()) {
        show();
    }
}
