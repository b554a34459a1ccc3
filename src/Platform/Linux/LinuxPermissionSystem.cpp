#include "Platform/Linux/LinuxPermissionSystem.h"

#include "Platform/Pocketsphinx/PocketsphinxModel.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLibrary>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

const QString kA11yService = QStringLiteral("org.a11y.Bus");
const QString kA11yPath = QStringLiteral("/org/a11y/bus");
const QString kA11yStatus = QStringLiteral("org.a11y.Status");
const QString kIsEnabled = QStringLiteral("IsEnabled");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// The switch is read while views refresh; a bus that hangs must not freeze them for long.
constexpr int kBusTimeoutMs = 500;

QDBusMessage isEnabledCall()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kA11yService, kA11yPath, kProperties, QStringLiteral("Get"));
    call.setArguments({kA11yStatus, kIsEnabled});
    return call;
}

std::optional<bool> enabledFromReply(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    if (value.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    return value.toBool();
}

// libxcb and its input extension are loaded when the probe runs, once per process: without them
// the application still starts and reports the missing trust instead.
struct XcbFunctions
{
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
    decltype(&xcb_query_extension) queryExtension = nullptr;
    decltype(&xcb_query_extension_reply) queryExtensionReply = nullptr;
    decltype(&xcb_input_xi_query_version) xiQueryVersion = nullptr;
    decltype(&xcb_input_xi_query_version_reply) xiQueryVersionReply = nullptr;
};

template<typename F>
bool resolve(QLibrary &library, const char *name, F &function)
{
    function = reinterpret_cast<F>(library.resolve(name));
    return function != nullptr;
}

bool extensionPresent(const XcbFunctions &xcb, xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb.queryExtension(connection, uint16_t(std::strlen(name)), name);
    std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> reply(
        xcb.queryExtensionReply(connection, cookie, nullptr), &std::free);
    return reply && reply->present;
}

} // namespace

LinuxPermissionSystem::LinuxPermissionSystem(QDBusConnection bus)
    : m_bus(std::move(bus))
{ }

PermissionSystem::DisplayServer
LinuxPermissionSystem::displayServerOf(const QString &sessionType, const QString &waylandDisplay,
                                       const QString &x11Display)
{
    if (sessionType.compare(QStringLiteral("wayland"), Qt::CaseInsensitive) == 0
        || !waylandDisplay.isEmpty()) {
        return DisplayServer::wayland;
    }
    if (!x11Display.isEmpty()) {
        return DisplayServer::x11;
    }
    return DisplayServer::none;
}

PermissionSystem::DisplayServer LinuxPermissionSystem::displayServer()
{
    return displayServerOf(qEnvironmentVariable("XDG_SESSION_TYPE"),
                           qEnvironmentVariable("WAYLAND_DISPLAY"),
                           qEnvironmentVariable("DISPLAY"));
}

bool LinuxPermissionSystem::hasInputExtensions(QString &reason)
{
    QLibrary core(QStringLiteral("xcb"), 1);
    QLibrary input(QStringLiteral("xcb-xinput"), 0);
    XcbFunctions xcb;
    if (!core.load() || !resolve(core, "xcb_connect", xcb.connect)
        || !resolve(core, "xcb_connection_has_error", xcb.hasError)
        || !resolve(core, "xcb_disconnect", xcb.disconnect)
        || !resolve(core, "xcb_query_extension", xcb.queryExtension)
        || !resolve(core, "xcb_query_extension_reply", xcb.queryExtensionReply)) {
        reason = QStringLiteral("libxcb cannot be loaded");
        return false;
    }
    if (!input.load() || !resolve(input, "xcb_input_xi_query_version", xcb.xiQueryVersion)
        || !resolve(input, "xcb_input_xi_query_version_reply", xcb.xiQueryVersionReply)) {
        reason = QStringLiteral("libxcb-xinput cannot be loaded");
        return false;
    }
    // A connection of our own: the toolkit's may not exist (no GUI platform) and must not see
    // our requests.
    xcb_connection_t *connection = xcb.connect(nullptr, nullptr);
    const auto closeConnection = qScopeGuard([&] { xcb.disconnect(connection); });
    if (xcb.hasError(connection)) {
        reason = QStringLiteral("the X display cannot be reached");
        return false;
    }
    if (!extensionPresent(xcb, connection, "XTEST")) {
        reason = QStringLiteral("the X display has no XTEST extension");
        return false;
    }
    if (!extensionPresent(xcb, connection, "XInputExtension")) {
        reason = QStringLiteral("the X display has no XInput extension");
        return false;
    }
    const auto cookie = xcb.xiQueryVersion(connection, 2, 0);
    std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> version(
        xcb.xiQueryVersionReply(connection, cookie, nullptr), &std::free);
    if (!version || version->major_version < 2) {
        reason = QStringLiteral("the X display's XInput extension is older than version 2");
        return false;
    }
    return true;
}

std::optional<bool> LinuxPermissionSystem::accessibilityBusEnabled()
{
    QDBusConnection &bus = m_bus;
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    return enabledFromReply(bus.call(isEnabledCall(), QDBus::Block, kBusTimeoutMs));
}

QCoro::Task<std::optional<bool>> LinuxPermissionSystem::readAccessibilityBusEnabled()
{
    QDBusConnection bus = m_bus;
    if (!bus.isConnected()) {
        co_return std::nullopt;
    }
    const QDBusMessage reply = co_await bus.asyncCall(isEnabledCall(), kBusTimeoutMs);
    co_return enabledFromReply(reply);
}

bool LinuxPermissionSystem::enableAccessibilityBus()
{
    QDBusConnection &bus = m_bus;
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kA11yService, kA11yPath, kProperties, QStringLiteral("Set"));
    call.setArguments({kA11yStatus, kIsEnabled, QVariant::fromValue(QDBusVariant(true))});
    return bus.call(call, QDBus::Block, kBusTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool LinuxPermissionSystem::speechModelInstalled()
{
    return !PocketsphinxModel::installed().isEmpty();
}

QList<LinuxPermissionSystem::Command>
LinuxPermissionSystem::settingsCommands(SettingsPane pane, const QStringList &currentDesktops)
{
    const bool microphone = pane == SettingsPane::microphone;
    const auto is = [&currentDesktops](const char *name) {
        return currentDesktops.contains(QLatin1StringView(name), Qt::CaseInsensitive);
    };
    QList<Command> commands;
    if (is("KDE")) {
        const QString module =
            microphone ? QStringLiteral("kcm_pulseaudio") : QStringLiteral("kcm_access");
        commands += {{QStringLiteral("systemsettings"), {module}},
                     {QStringLiteral("kcmshell6"), {module}},
                     {QStringLiteral("kcmshell5"), {module}}};
    }
    if (is("X-Cinnamon")) {
        commands += {QStringLiteral("cinnamon-settings"),
                     {microphone ? QStringLiteral("sound") : QStringLiteral("universal-access")}};
    }
    if (is("MATE")) {
        commands += {microphone ? QStringLiteral("mate-volume-control")
                                : QStringLiteral("mate-at-properties"),
                     {}};
    }
    if (is("XFCE") && !microphone) {
        commands += {QStringLiteral("xfce4-accessibility-settings"), {}};
    }
    // GNOME and the desktops built on its settings, and any desktop that has them installed.
    commands += {QStringLiteral("gnome-control-center"),
                 {microphone ? QStringLiteral("sound") : QStringLiteral("universal-access")}};
    if (microphone) {
        // The sound server's own mixer, on its input devices tab.
        commands += {QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}};
    }
    return commands;
}

bool LinuxPermissionSystem::openSettings(SettingsPane pane)
{
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    for (const Command &command : settingsCommands(pane, desktops)) {
        const QString path = QStandardPaths::findExecutable(command.program);
        if (!path.isEmpty() && QProcess::startDetached(path, command.arguments)) {
            return true;
        }
    }
    return false;
}
