#pragma once

#include "Base/Clock.h"
#include "Core/Models/DictationState.h"
#include "Support/AppLanguage.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusMenuModel.h"
#include "UI/StatusItem/TrayIconRenderer.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class DictationController;
class MotionPreference;
class QMenu;
class QSystemTrayIcon;
class StatusButton;
class Timer;
class TrayMenuStyle;

// The application's one status item: a tray icon that tells the dictation state at a glance,
// carries a red pulsing badge while a permission is missing, and opens the application's only
// menu (on either mouse button), which is built anew from StatusMenuModel every time it opens.
//
// The icon follows the dictation controller's state and pause flag as they change, the interface
// language (for the tooltip) and the permissions: the application's permission timer calls
// refreshIcon(), and the Accessibility trust is watched on the clock so that a grant shows
// accessibilityRedrawDelay after it is seen. An application of the icon redraws only when the
// icon state, the permission flag or the interface language changed.
//
// The trust is asked of the session bus without waiting, and the icon and the menu show the last
// answer known: a bus that is slow to answer, or never answers, holds up nothing. The first
// answer shows at once, since the icon drawn before it could only guess.
//
// The picture lives in a StatusButton; the tray shows renderings of it, tinted for a light or a
// dark appearance, and is sent a new icon only when the rendering changed (the badge's beat
// gives a few frames a second, and none while it rests). Main thread only.
class StatusItemController : public QObject
{
    Q_OBJECT

public:
    // The glyph's size in points, centred in the button.
    static constexpr qreal iconSize = 16.0;
    // How often the Accessibility trust is looked at, and how long after a change the icon follows.
    static constexpr std::chrono::seconds trustPollInterval {1};
    static constexpr std::chrono::milliseconds accessibilityRedrawDelay {500};
    // The pixel sizes the tray is offered.
    static const QList<int> trayPixelSizes;

    // What the icon was last drawn for.
    struct Drawn
    {
        MenuBarIcon::State state = MenuBarIcon::State::normal;
        bool needsPermissions = false;
        AppLanguage lang;

        bool operator==(const Drawn &) const = default;
    };

    // Shows the status item at once. Unset showAbout and quit in `services` open the About panel
    // and quit the application.
    explicit StatusItemController(StatusMenuModel::Services services,
                                  Clock &clock = Clock::system(), QObject *parent = nullptr);
    StatusItemController(StatusMenuModel::Services services, Clock &clock, MotionPreference &motion,
                         QObject *parent = nullptr);
    ~StatusItemController() override;

    // The services of the process-wide objects: settings, history, microphones and the clipboard.
    static StatusMenuModel::Services systemServices(DictationController &controller);

    // The icon for the dictation controller's current state and pause flag.
    void refreshIcon();
    // The guide hook: the menu's guide entry calls it.
    void setOnShowOnboarding(std::function<void()> hook);
    // Rebuilds the menu: called each time it is about to open.
    void menuNeedsUpdate();

    // The icon state for a dictation state, the pause flag and the permission flag.
    static MenuBarIcon::State iconState(DictationState state, bool paused, bool needsPermissions);
    // The tooltip for the permission flag, in the current interface language.
    static QString toolTip(bool needsPermissions);

    const std::optional<Drawn> &lastDrawn() const { return m_lastDrawn; }
    StatusButton &button() { return *m_button; }
    StatusMenuModel &model() { return m_model; }
    QMenu &menu() { return *m_menu; }
    QSystemTrayIcon &trayIcon() { return *m_tray; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyIcon(DictationState state, bool paused);
    QColor trayInk() const;
    void updateTray();
    void readTrust();
    void trustAnswered();
    void populate(QMenu &menu, const QList<StatusMenuItem> &items);

    StatusMenuModel::Services m_services;
    StatusMenuModel m_model;
    Clock &m_clock;
    MotionPreference &m_motion;
    std::unique_ptr<StatusButton> m_button;
    // Outlives the menus drawn with it.
    std::unique_ptr<TrayMenuStyle> m_menuStyle;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    TrayIconRenderer m_trayRenderer {trayPixelSizes};
    QList<QPointer<QMenu>> m_submenus;
    std::optional<Drawn> m_lastDrawn;
    std::unique_ptr<Timer> m_trustPoll;
    std::unique_ptr<Timer> m_trustRedraw;
    bool m_lastNeedsPermissions = false;
    QColor m_trayInk;
    bool m_trustAnswered = false;
};
