#pragma once

#include "Platform/OverlayWindowing.h"
#include "UI/VoiceBar/VoiceBarPanelFactory.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>

class AppSettings;
class Clock;
class DictationController;
class IslandBridge;
class L10n;
class QuotaNotice;
class SpeechLocaleNotifications;
class Timer;
class VoiceBarModel;
class VoiceBarPanel;

// Shows a running dictation session in the voice bar, and short notices (toasts) in the same
// place: errors of a session, an automatic switch of the recognition language and the cloud
// quota notice. It only observes the dictation controller, the settings and the companion bridge;
// it never changes a session.
//
// The bar shows while the settings want it, a session runs and the companion host does not show
// the session itself. While it shows, a meter timer pushes one level per 1/30 s into the model:
// the oldest of the levels that arrived since the last tick (the newest 12 kept), or the current
// level when none arrived. A toast replaces whatever is up and holds for three seconds; when it
// ends while a session still runs, the bar comes back.
//
// One instance per process, made when the dictation core starts. Main thread only; every timer
// (meter, toast hold, fades) runs on the given clock.
class VoiceBarController : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::nanoseconds meterInterval {1'000'000'000 / 30};
    static constexpr std::size_t levelQueueLimit = 12;
    static constexpr std::chrono::milliseconds fadeInDuration {140};
    static constexpr std::chrono::milliseconds fadeOutDuration {90};
    static constexpr std::chrono::seconds toastHold {3};

    struct Services
    {
        DictationController *controller = nullptr;
        AppSettings *settings = nullptr;
        Clock *clock = nullptr;
        L10n *l10n = nullptr;
        VoiceBarPanelFactory *panels = nullptr;
        // The companion bridge; without it the session is never handed over.
        IslandBridge *bridge = nullptr;
        // The two notices a toast announces; either may be absent.
        SpeechLocaleNotifications *localeNotices = nullptr;
        QuotaNotice *quotaNotice = nullptr;
        // The screen under the pointer, else the main screen; absent when there is no screen.
        std::function<std::optional<OverlayWindowing::ScreenArea>()> screenUnderPointer;
        std::function<std::optional<OverlayWindowing::ScreenArea>()> mainScreen;
    };

    explicit VoiceBarController(Services services, QObject *parent = nullptr);
    ~VoiceBarController() override;

    VoiceBarModel &model() const { return *m_model; }
    // The window on screen (bar or toast); null when nothing is shown or it is fading out.
    VoiceBarPanel *panel() const { return m_panel.get(); }
    bool isShown() const { return m_isShown; }
    bool isShowingError() const { return m_isShowingError; }

    // The real voice bar: Qt Quick panels over the overlay windowing of the desktop, on the
    // shared settings, companion bridge and notices.
    static std::unique_ptr<VoiceBarController> makeSystem(DictationController &controller,
                                                          Clock &clock);

private:
    void evaluateVisibility();
    bool visibilityRule() const;
    void levelArrived(float level);
    void show();
    void hide();
    void dismissErrorToast();
    void startMeterTimer();
    void stopMeterTimer();
    void meterTick();
    void position(VoiceBarPanel &panel);
    void fadeIn(VoiceBarPanel &panel);
    void fadeOut(std::unique_ptr<VoiceBarPanel> panel);
    void showTransientToast(const VoiceBarPanelFactory::Toast &toast);
    void toastHoldEnded();

    struct Fading
    {
        std::unique_ptr<VoiceBarPanel> panel;
        std::unique_ptr<Timer> timer;
    };

    // The real windows' maker when this controller made it; it outlives every window.
    std::unique_ptr<VoiceBarPanelFactory> m_ownedPanels;
    Services m_services;
    QPointer<DictationController> m_controller;
    std::unique_ptr<VoiceBarModel> m_model;
    std::unique_ptr<VoiceBarPanel> m_panel;
    std::unique_ptr<Timer> m_meterTimer;
    std::deque<float> m_levelQueue;
    bool m_isShown = false;
    bool m_isShowingError = false;
    std::unique_ptr<Timer> m_toastHold;
    // Windows on their way out, each dropped when its fade has run.
    std::list<Fading> m_fading;
};
