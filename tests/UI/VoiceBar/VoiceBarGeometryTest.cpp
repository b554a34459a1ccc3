#include "UI/VoiceBar/VoiceBarGeometry.h"

#include <gtest/gtest.h>

// The placements of the voice bar, in the desktop's y-down coordinates: a screen's frame, its
// usable area, and the bar's frame.
TEST(VoiceBarGeometry, FramesOnScreens)
{
    struct Case
    {
        const char *name;
        VoiceBarStyle style;
        QRect frame;
        QRect available;
        int cameraHousing;
        QRect expected;
    };
    using enum VoiceBarStyle;
    const QList<Case> cases = {
        // The bar sits 80 above the usable area's bottom, above a 25-high dock.
        {"classic above a dock",
         classic,
         {0, 0, 1440, 900},
         {0, 0, 1440, 875},
         0,
         {530, 751, 380, 44}},
        {"classic under a top panel, above a bottom one",
         classic,
         {0, 0, 1280, 800},
         {0, 24, 1280, 736},
         0,
         {450, 636, 380, 44}},
        {"classic, odd width rounds the half up",
         classic,
         {0, 0, 1441, 800},
         {0, 0, 1441, 800},
         0,
         {531, 676, 380, 44}},
        {"classic left of the primary, the half rounds away from zero",
         classic,
         {-1281, 0, 1281, 800},
         {-1281, 0, 1281, 800},
         0,
         {-831, 676, 380, 44}},
        // A camera housing: the tab hangs below the menu bar, from the usable area's top.
        {"notch below a camera housing",
         notch,
         {0, 0, 1512, 982},
         {0, 32, 1512, 950},
         32,
         {516, 32, 480, 76}},
        // Any other screen: from the screen's top edge, over a top panel.
        {"notch on a plain screen",
         notch,
         {0, 0, 1920, 1080},
         {0, 0, 1920, 1040},
         0,
         {720, 0, 480, 76}},
        {"notch over a top panel",
         notch,
         {0, 0, 1280, 800},
         {0, 24, 1280, 776},
         0,
         {400, 0, 480, 76}},
        {"notch on a second screen",
         notch,
         {1920, 0, 1280, 800},
         {1920, 0, 1280, 800},
         0,
         {2320, 0, 480, 76}},
        {"notch on a screen below the first",
         notch,
         {0, 1080, 1920, 1080},
         {0, 1080, 1920, 1080},
         0,
         {720, 1080, 480, 76}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(VoiceBarGeometry::frame(c.style, {c.frame, c.available}, c.cameraHousing),
                  c.expected)
            << c.name;
    }
}

TEST(VoiceBarGeometry, OpaqueShapesKeepRoundCornersAndTheTabsSquareTop)
{
    const QRegion classic = VoiceBarGeometry::classicShape();
    EXPECT_EQ(classic.boundingRect(), QRect(0, 0, 380, 44));
    EXPECT_TRUE(classic.contains(QPoint(190, 22)));
    for (const QPoint corner : {QPoint(0, 0), QPoint(379, 0), QPoint(0, 43), QPoint(379, 43)}) {
        EXPECT_FALSE(classic.contains(corner)) << corner.x() << "," << corner.y();
    }

    const QRegion tab = VoiceBarGeometry::notchShape(true);
    EXPECT_EQ(tab.boundingRect(), QRect(145, 0, 190, 27));
    EXPECT_TRUE(tab.contains(QPoint(145, 0))) << "the tab's top corners are square";
    EXPECT_TRUE(tab.contains(QPoint(334, 0)));
    for (const QPoint inside : {QPoint(240, 2), QPoint(240, 13), QPoint(240, 25), QPoint(150, 8)}) {
        EXPECT_TRUE(tab.contains(inside)) << inside.x() << "," << inside.y();
    }
    EXPECT_FALSE(tab.contains(QPoint(145, 26))) << "its bottom corners are round";
    EXPECT_FALSE(tab.contains(QPoint(40, 50))) << "the window around the tab is cut away";

    const QRegion withChip = VoiceBarGeometry::notchShape(true, {QRectF(100, 35, 280, 28)});
    EXPECT_TRUE(withChip.contains(QPoint(240, 49)));
    EXPECT_FALSE(withChip.contains(QPoint(240, 31))) << "the gap between tab and chip";

    const QRegion toast = VoiceBarGeometry::notchShape(false, {QRectF(90, 8, 300, 30)});
    EXPECT_FALSE(toast.contains(QPoint(240, 2))) << "a toast has no tab";
    EXPECT_TRUE(toast.contains(QPoint(240, 20)));
}
