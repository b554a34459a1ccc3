// The permission checks against the desktop session of the test run: an X11 display with XTest
// and XInput 2, the accessibility bus switched on, the en-US recogniser model installed.

#include "Core/Permissions.h"
#include "Platform/Linux/LinuxPermissionSystem.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

bool setAccessibilityBus(bool enabled)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    call.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                       QVariant::fromValue(QDBusVariant(enabled))});
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000).type()
        == QDBusMessage::ReplyMessage;
}

} // namespace

TEST(PermissionsIntegration, TheTestSessionIsTrusted)
{
    LinuxPermissionSystem system;
    ASSERT_EQ(system.displayServer(), PermissionSystem::DisplayServer::x11)
        << "X11 display: scripts/test sets DISPLAY and XDG_SESSION_TYPE=x11";
    QString reason;
    EXPECT_TRUE(system.hasInputExtensions(reason)) << "X11 display: " << reason.toStdString();
    EXPECT_EQ(system.accessibilityBusEnabled(), true)
        << "AT-SPI bus: scripts/test switches org.a11y.Status.IsEnabled on";
    EXPECT_TRUE(system.speechModelInstalled()) << "pocketsphinx-en-us: no recogniser model found";

    EXPECT_TRUE(Permissions::accessibilityGranted());
    EXPECT_TRUE(Permissions::speechGranted());
}

TEST(PermissionsIntegration, EnablingTheAccessibilityBusTurnsTheSwitchOn)
{
    LinuxPermissionSystem system;
    // Whatever happens here, the other suites find the bus switched on again.
    const auto restore = qScopeGuard([] { setAccessibilityBus(true); });
    ASSERT_TRUE(setAccessibilityBus(false)) << "AT-SPI bus: org.a11y.Status.IsEnabled not settable";
    EXPECT_EQ(system.accessibilityBusEnabled(), false);
    EXPECT_TRUE(system.enableAccessibilityBus());
    EXPECT_EQ(system.accessibilityBusEnabled(), true);
}
