#pragma once

#include "Platform/PermissionSystem.h"

#include <QDBusConnection>
#include <QList>
#include <QStringList>

// The permission checks on a Linux desktop: the session type from the environment, the X
// extensions from the display, the accessibility switch through the org.a11y.Bus service on the
// session bus, the recogniser models on disk, and the desktop's settings programs.
class LinuxPermissionSystem final : public PermissionSystem
{
public:
    // One settings program with its arguments.
    struct Command
    {
        QString program;
        QStringList arguments;
        friend bool operator==(const Command &, const Command &) = default;
    };

    // The accessibility switch is asked of `bus`.
    explicit LinuxPermissionSystem(QDBusConnection bus = QDBusConnection::sessionBus());

    DisplayServer displayServer() override;
    bool hasInputExtensions(QString &reason) override;
    std::optional<bool> accessibilityBusEnabled() override;
    QCoro::Task<std::optional<bool>> readAccessibilityBusEnabled() override;
    bool enableAccessibilityBus() override;
    bool speechModelInstalled() override;
    bool openSettings(SettingsPane pane) override;

    // The display server named by the environment: a Wayland session (XDG_SESSION_TYPE "wayland"
    // or WAYLAND_DISPLAY set) even when X11 clients run on it through Xwayland, else X11 when
    // DISPLAY is set.
    static DisplayServer displayServerOf(const QString &sessionType, const QString &waylandDisplay,
                                         const QString &x11Display);
    // The settings programs to try for the pane, in order: those of the desktops named in
    // XDG_CURRENT_DESKTOP first, then ones that work on any desktop.
    static QList<Command> settingsCommands(SettingsPane pane, const QStringList &currentDesktops);

private:
    QDBusConnection m_bus;
};
