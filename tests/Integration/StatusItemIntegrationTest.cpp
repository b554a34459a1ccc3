// The status item under a real tray host (trayer, started by scripts/test): the icon is embedded
// and drawn in the panel, a click on it opens the menu built for that opening, and its settings
// entry opens the settings window.

#include "Fakes/FakeUrlOpener.h"
#include "Integration/X11TestSupport.h"
#include "Platform/TrayPanel.h"
#include "Support/L10n.h"
#include "TestSupport/Appearance.h"
#include "UI/Settings/SettingsRouter.h"
#include "UI/Settings/SettingsWindowController.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/StatusItem/StatusItemController.h"
#include "UI/StatusItem/StatusMenuRig.h"

#include "UI/Theme.h"
#include <QQuickView>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>
#include <QtCore/qtestsupport_core.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <optional>

#include <memory>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

constexpr int answerTimeoutMs = 10000;

// Where the tray host shows the icon, in screen coordinates: Qt does not learn where the host puts
// the window it embeds, so ask the X server. Empty when the icon's window is not found.
QRect iconArea()
{
    QWidget *iconWindow = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0
            && widget->isVisible()) {
            iconWindow = widget;
        }
    }
    if (!iconWindow) {
        return {};
    }
    std::unique_ptr<xcb_connection_t, XcbDisconnect> connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get())) {
        return {};
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    const auto cookie = xcb_translate_coordinates(
        connection.get(), xcb_window_t(iconWindow->winId()), screen->root, 0, 0);
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> reply(
        xcb_translate_coordinates_reply(connection.get(), cookie, nullptr), &free);
    if (!reply) {
        return {};
    }
    return QRect(QPoint(reply->dst_x, reply->dst_y), iconWindow->size());
}

// How many pixels of the image are close to the colour.
int pixelsNear(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                < 60;
        }
    }
    return count;
}

} // namespace

TEST(StatusItemIntegration, TheIconShowsInTheTrayAndAClickOpensTheMenu)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
        << "X11 display: scripts/test starts Xvfb and sets DISPLAY";
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, answerTimeoutMs))
        << "tray host: no system tray (trayer not running)";

    StatusMenuRig env;
    env.setTrusted(false);
    // The real settings window, which the menu's "Settings…" opens.
    SettingsRouter router;
    FakeUrlOpener opener;
    SettingsWindowController::Services windowServices;
    windowServices.settings = &env.rig.appSettings();
    windowServices.l10n = &L10n::shared();
    windowServices.router = &router;
    windowServices.clock = &env.rig.clock;
    windowServices.microphones = &env.microphones;
    windowServices.urlOpener = &opener;
    windowServices.shortVersion = QStringLiteral("2.0");
    SettingsWindowController settingsWindow(windowServices);
    StatusMenuModel::Services menuServices = env.services();
    menuServices.settingsWindow = &settingsWindow;
    StatusItemController item(menuServices, env.rig.clock);
    QSystemTrayIcon &tray = item.trayIcon();

    QRect area;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            area = iconArea();
            return tray.isVisible() && !area.isEmpty() && area.topLeft() != QPoint(0, 0);
        },
        answerTimeoutMs))
        << "tray host: the status icon was not embedded in the panel";
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Sonorvelle — Permissions Required"));

    // The panel shows the glyph and the red badge.
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    QImage shown;
    const QColor badgeRed(255, 59, 48);
    const bool drawn = QTest::qWaitFor(
        [&] {
            shown =
                screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
            return pixelsNear(shown, badgeRed) > 0;
        },
        answerTimeoutMs);
    EXPECT_TRUE(drawn) << "the badge is not on screen at " << area.x() << "," << area.y() << " "
                       << area.width() << "x" << area.height();
    const QColor ink = TrayPanel::inkOn(screenPixel(area.bottomLeft()));
    EXPECT_GT(pixelsNear(shown, ink), 0) << "no glyph on screen";

    // A click opens the menu, built for this opening.
    ASSERT_TRUE(clickAt(area.center())) << "XTest: the click could not be sent";
    const bool opened = QTest::qWaitFor([&] { return item.menu().isVisible(); }, answerTimeoutMs);
    EXPECT_TRUE(opened) << "the menu did not open on a click";
    EXPECT_EQ(item.menu().actions().size(), 13);

    // A click on "Settings…" in the open menu opens the settings window.
    QAction *settingsEntry = nullptr;
    for (QAction *action : item.menu().actions()) {
        if (action->text() == QStringLiteral("Settings…")) {
            settingsEntry = action;
        }
    }
    ASSERT_NE(settingsEntry, nullptr);
    const QPoint entry =
        item.menu().mapToGlobal(item.menu().actionGeometry(settingsEntry).center());
    ASSERT_TRUE(clickAt(entry)) << "XTest: the click could not be sent";
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return settingsWindow.window() != nullptr; }, answerTimeoutMs))
        << "the settings window was not made";
    EXPECT_TRUE(QTest::qWaitForWindowExposed(settingsWindow.window()));
    EXPECT_GE(settingsWindow.window()->width(), SettingsWindowController::minimumWidth);
    EXPECT_FALSE(item.menu().isVisible());
    settingsWindow.window()->close();
}

// The glyph is drawn for the panel it sits in, not for the desktop's colour scheme: under the
// scheme that would give the wrong ink (a dark theme over a light panel, or the other way round)
// the icon keeps the ink that stands out from the panel.
TEST(StatusItemIntegration, TheIconsInkStandsOutFromThePanelWhateverTheColourScheme)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, answerTimeoutMs))
        << "tray host: no system tray (trayer not running)";
    const QPalette original = QGuiApplication::palette();
    StatusMenuRig env;
    StatusItemController item(env.services(), env.rig.clock);
    QRect area;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            area = iconArea();
            return item.trayIcon().isVisible() && !area.isEmpty() && area.topLeft() != QPoint(0, 0);
        },
        answerTimeoutMs))
        << "tray host: the status icon was not embedded in the panel";
    // The icon draws nothing in its lower left corner: the panel shows there.
    const QColor panel = screenPixel(area.bottomLeft());
    const QColor ink = TrayPanel::inkOn(panel);
    std::printf("panel %s, ink %s\n", qPrintable(panel.name()), qPrintable(ink.name()));
    EXPECT_EQ(TrayPanel::system().iconInk(), std::optional<QColor>(ink));

    // The scheme that on its own would pick the other ink.
    useAppearance(ink == QColor(Qt::black), original);
    ASSERT_EQ(Theme::isDark(), ink == QColor(Qt::black));
    QScreen *screen = QGuiApplication::primaryScreen();
    QImage shown;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            shown =
                screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
            return pixelsNear(shown, ink) > 8;
        },
        answerTimeoutMs))
        << "the glyph is not drawn in " << ink.name().toStdString() << " on the "
        << panel.name().toStdString() << " panel";
    QGuiApplication::setPalette(original);
}
