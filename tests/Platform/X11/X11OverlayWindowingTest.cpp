#include "Platform/X11/X11OverlayWindowing.h"

#include <QWindow>

#include <gtest/gtest.h>

// The clip that stands in for translucency must cut the corners away, or an opaque panel shows
// square corners on a desktop without a compositor.
TEST(X11OverlayWindowingTest, TheRoundedClipCutsTheCornersAndKeepsTheRest)
{
    const QRegion region = X11OverlayWindowing::roundedRegion(QRectF(0, 0, 200, 60), 20);
    struct Case
    {
        const char *name;
        QPoint point;
        bool inside;
    };
    const Case cases[] = {
        {"centre", {100, 30}, true},
        {"top edge between the corners", {100, 1}, true},
        {"left edge at mid height", {1, 30}, true},
        {"top-left corner", {1, 1}, false},
        {"top-right corner", {198, 1}, false},
        {"bottom-left corner", {1, 58}, false},
        {"bottom-right corner", {198, 58}, false},
        {"outside the shape", {250, 30}, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(region.contains(c.point), c.inside) << c.name;
    }
}

TEST(X11OverlayWindowingTest, AnEmptyShapeClipsNothing)
{
    EXPECT_TRUE(X11OverlayWindowing::roundedRegion(QRectF(), 10).isEmpty());
}

// Outside an X11 session (the offscreen platform) the panel still gets its Qt flags, and the X11
// calls are skipped instead of crashing.
TEST(X11OverlayWindowingTest, OutsideX11TheFlagsStillApply)
{
    X11OverlayWindowing windowing;
    QWindow window;
    windowing.prepare(window, true);
    EXPECT_TRUE(window.flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window.flags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(window.property("_q_showWithoutActivating").toBool());
    windowing.beforeShow(window);
    EXPECT_FALSE(windowing.translucencyAvailable());
}
