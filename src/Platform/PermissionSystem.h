#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

// What the permission checks ask of the desktop session: which display server runs, whether the
// X display offers what global keys and synthetic key events need, the accessibility bus's switch
// (the desktop's "assistive technologies" setting, which applications read to decide whether to
// expose their text fields), whether a speech recogniser model is installed, and the desktop's
// own settings programs.
class PermissionSystem
{
public:
    enum class DisplayServer { x11, wayland, none };
    enum class SettingsPane { microphone, accessibility };

    virtual ~PermissionSystem() = default;

    // Fixed for the life of the process.
    virtual DisplayServer displayServer() = 0;
    // Whether the X display offers XTest and XInput 2, with the reason when it does not. Fixed for
    // the life of the process; only asked on X11.
    virtual bool hasInputExtensions(QString &reason) = 0;
    // org.a11y.Status.IsEnabled on the session bus; absent when the bus does not answer.
    virtual std::optional<bool> accessibilityBusEnabled() = 0;
    // The same read without waiting on the bus: the answer comes from the event loop.
    virtual QCoro::Task<std::optional<bool>> readAccessibilityBusEnabled() = 0;
    // Sets org.a11y.Status.IsEnabled; false when it could not be set.
    virtual bool enableAccessibilityBus() = 0;
    // Whether an on-device speech recogniser model for some locale is installed.
    virtual bool speechModelInstalled() = 0;
    // Starts the desktop's settings program for the pane; false when none was found or started.
    virtual bool openSettings(SettingsPane pane) = 0;
};
