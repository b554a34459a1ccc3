// The status item under a real tray host (trayer, started by scripts/test): the icon is embedded
// and drawn in the panel, and a click on it opens the menu built for that opening.

#include "Integration/X11TestSupport.h"
#include "UI/StatusButton.h"
#include "UI/StatusItemController.h"
#include "UI/StatusMenuRig.h"
#include "UI/Theme.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

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
    StatusItemController item(env.services(), env.rig.clock);
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
    const QColor ink = Theme::isDark() ? QColor(Qt::white) : QColor(Qt::black);
    EXPECT_GT(pixelsNear(shown, ink), 0) << "no glyph on screen";

    // A click opens the menu, built for this opening.
    ASSERT_TRUE(clickAt(area.center())) << "XTest: the click could not be sent";
    const bool opened = QTest::qWaitFor([&] { return item.menu().isVisible(); }, answerTimeoutMs);
    EXPECT_TRUE(opened) << "the menu did not open on a click";
    EXPECT_EQ(item.menu().actions().size(), 13);
    item.menu().hide();
}
