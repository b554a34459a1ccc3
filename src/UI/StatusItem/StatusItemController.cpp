#include "UI/StatusItem/StatusItemController.h"

#include "Base/Timer.h"
#include "Core/AppSettings.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Insertion/TextInserter.h"
#include "Core/Permissions.h"
#include "Platform/MotionPreference.h"
#include "Platform/TrayPanel.h"
#include "Support/L10n.h"
#include "UI/StatusItem/AboutPanel.h"
#include "UI/StatusItem/AlertBadge.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/Theme.h"
#include "UI/StatusItem/TrayMenuStyle.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

#include <utility>

namespace {

StatusMenuModel::Services withDefaults(StatusMenuModel::Services services)
{
    if (!services.showAbout) {
        services.showAbout = [] {
            AboutPanel::show();
        };
    }
    if (!services.quit) {
        services.quit = [] {
            QCoreApplication::quit();
        };
    }
    return services;
}

} // namespace

const QList<int> StatusItemController::trayPixelSizes {16, 22, 24, 32, 48};

StatusItemController::StatusItemController(StatusMenuModel::Services services, Clock &clock,
                                           QObject *parent)
    : StatusItemController(std::move(services), clock, MotionPreference::system(), parent)
{ }

StatusItemController::StatusItemController(StatusMenuModel::Services services, Clock &clock,
                                           MotionPreference &motion, QObject *parent)
    : QObject(parent)
    , m_services(withDefaults(std::move(services)))
    , m_model(m_services)
    , m_clock(clock)
    , m_motion(motion)
    , m_button(std::make_unique<StatusButton>(clock))
    , m_menuStyle(std::make_unique<TrayMenuStyle>())
    , m_menu(std::make_unique<QMenu>())
    , m_tray(std::make_unique<QSystemTrayIcon>())
    , m_trustPoll(clock.makeTimer())
    , m_trustRedraw(clock.makeTimer())
{
    DictationController *controller = m_services.controller;

    connect(m_button.get(), &StatusButton::needsDisplay, this, &StatusItemController::updateTray);
    connect(m_button.get(), &StatusButton::toolTipChanged, this,
            [this] { m_tray->setToolTip(m_button->toolTip()); });

    m_menu->setStyle(m_menuStyle.get());
    connect(m_menu.get(), &QMenu::aboutToShow, this, &StatusItemController::menuNeedsUpdate);
    m_tray->setContextMenu(m_menu.get());
    // Either button opens the menu, as a status item does.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible()) {
                    m_menu->popup(QCursor::pos());
                }
            });

    readTrust();
    applyIcon(controller->state(), controller->isPaused());

    // The signals carry the new value; the other half of the pair is read as it stands.
    connect(controller, &DictationController::stateChanged, this,
            [this, controller](DictationState state) { applyIcon(state, controller->isPaused()); });
    connect(controller, &DictationController::isPausedChanged, this,
            [this, controller](bool paused) { applyIcon(controller->state(), paused); });
    // A new interface language renews the tooltip.
    connect(&L10n::shared(), &L10n::languageChanged, this, &StatusItemController::refreshIcon);

    m_lastNeedsPermissions = m_lastDrawn ? m_lastDrawn->needsPermissions : false;
    connect(m_trustPoll.get(), &Timer::timeout, this, &StatusItemController::readTrust);
    m_trustPoll->start(trustPollInterval, true);
    connect(m_trustRedraw.get(), &Timer::timeout, this, &StatusItemController::refreshIcon);

    // The panel's colours decide the ink of the glyph.
    qApp->installEventFilter(this);

    m_tray->show();
    m_button->setWindowScaleFactor(
        QSystemTrayIcon::isSystemTrayAvailable() && QGuiApplication::primaryScreen()
            ? std::optional<qreal>(QGuiApplication::primaryScreen()->devicePixelRatio())
            : std::nullopt);
}

StatusItemController::~StatusItemController()
{
    if (qApp) {
        qApp->removeEventFilter(this);
    }
    for (const QPointer<QMenu> &submenu : std::as_const(m_submenus)) {
        delete submenu.data();
    }
}

StatusMenuModel::Services StatusItemController::systemServices(DictationController &controller)
{
    StatusMenuModel::Services services;
    services.controller = &controller;
    services.settings = &AppSettings::shared();
    services.history = &HistoryStore::shared();
    services.microphones = &MicrophoneDevices::shared();
    services.pasteboard = &TextInserter::shared().services().pasteboard;
    services.layout = &HotkeyLayout::shared();
    return services;
}

void StatusItemController::setOnShowOnboarding(std::function<void()> hook)
{
    m_model.setOnShowOnboarding(std::move(hook));
}

MenuBarIcon::State StatusItemController::iconState(DictationState state, bool paused,
                                                   bool needsPermissions)
{
    if (paused) {
        return MenuBarIcon::State::paused;
    }
    if (needsPermissions) {
        return MenuBarIcon::State::permissionWarning;
    }
    if (state == DictationState::recording) {
        return MenuBarIcon::State::recording;
    }
    return MenuBarIcon::State::normal;
}

QString StatusItemController::toolTip(bool needsPermissions)
{
    if (needsPermissions) {
        return QStringLiteral("Sonorvelle — ")
            + L10n::shared().string(QStringLiteral("menu.need_permissions"));
    }
    return QStringLiteral("Sonorvelle");
}

void StatusItemController::refreshIcon()
{
    readTrust();
    applyIcon(m_services.controller->state(), m_services.controller->isPaused());
}

void StatusItemController::applyIcon(DictationState state, bool paused)
{
    const bool needsPermissions = StatusMenuModel::needsPermissions();
    const Drawn drawn {iconState(state, paused, needsPermissions), needsPermissions,
                       L10n::shared().language()};
    if (m_lastDrawn == drawn) {
        return;
    }
    m_lastDrawn = drawn;

    m_button->setImage([iconState = drawn.state, needsPermissions](qreal ratio) {
        return MenuBarIcon::image(iconState, needsPermissions, ratio);
    });
    AlertBadge::update(*m_button, needsPermissions, iconSize, m_motion);
    m_button->setToolTip(toolTip(needsPermissions));
}

void StatusItemController::readTrust()
{
    Permissions::readAccessibility(this, [this](bool) { trustAnswered(); });
}

void StatusItemController::trustAnswered()
{
    // The icon is embedded a moment after it is shown, and a panel can change its colours: the
    // ink is checked with the same beat.
    if (trayInk() != m_trayInk) {
        updateTray();
    }
    const bool needsPermissions = StatusMenuModel::needsPermissions();
    if (!std::exchange(m_trustAnswered, true)) {
        m_lastNeedsPermissions = needsPermissions;
        applyIcon(m_services.controller->state(), m_services.controller->isPaused());
        return;
    }
    if (needsPermissions == m_lastNeedsPermissions) {
        return;
    }
    m_lastNeedsPermissions = needsPermissions;
    // A redraw already due covers this change too: it reads the permissions when it runs.
    if (!m_trustRedraw->isActive()) {
        m_trustRedraw->start(accessibilityRedrawDelay, false);
    }
}

QColor StatusItemController::trayInk() const
{
    // The panel decides where it tells; the desktop's colour scheme is only a guess at it.
    return TrayPanel::system().iconInk().value_or(Theme::isDark() ? QColor(Qt::white)
                                                                  : QColor(Qt::black));
}

void StatusItemController::updateTray()
{
    const QColor ink = trayInk();
    m_trayInk = ink;
    if (!m_trayRenderer.render(*m_button, ink)) {
        return;
    }
    QIcon icon;
    for (const QImage &picture : m_trayRenderer.pictures()) {
        icon.addPixmap(QPixmap::fromImage(picture));
    }
    m_tray->setIcon(icon);
}

bool StatusItemController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        updateTray();
    }
    return QObject::eventFilter(watched, event);
}

void StatusItemController::menuNeedsUpdate()
{
    m_menu->clear();
    for (const QPointer<QMenu> &submenu : std::as_const(m_submenus)) {
        delete submenu.data();
    }
    m_submenus.clear();
    refreshIcon();
    populate(*m_menu, m_model.items());
}

void StatusItemController::populate(QMenu &menu, const QList<StatusMenuItem> &items)
{
    for (const StatusMenuItem &item : items) {
        if (item.isSeparator) {
            menu.addSeparator();
            continue;
        }
        if (!item.submenu.isEmpty()) {
            auto *submenu = new QMenu(item.title);
            submenu->setStyle(m_menuStyle.get());
            m_submenus << submenu;
            populate(*submenu, item.submenu);
            QAction *holder = menu.addMenu(submenu);
            holder->setEnabled(item.enabled);
            continue;
        }
        QAction *action = menu.addAction(item.title);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
        if (!item.keyEquivalent.isEmpty()) {
            action->setShortcut(
                QKeySequence(QStringLiteral("Ctrl+") + item.keyEquivalent.toUpper()));
        }
        if (item.action != StatusMenuItem::Action::none) {
            connect(action, &QAction::triggered, this,
                    [this, kind = item.action, object = item.representedObject] {
                        m_model.perform(kind, object);
                    });
        }
    }
}
