#include "UI/Pills/CapsuleSegmentGeometry.h"
#include "UI/Pills/PillTheme.h"

#include <gtest/gtest.h>

using G = CapsuleSegmentGeometry;

TEST(CapsuleSegmentGeometry, APressSelectsTheSegmentUnderItTruncatedAndClamped)
{
    struct Case
    {
        const char *name;
        qreal x;
        qreal width;
        int count;
        int index;
    };
    const Case cases[] = {
        {"just inside the first of three 30-wide segments", 29.9, 90, 3, 0},
        {"the second segment's leading edge", 30, 90, 3, 1},
        {"the last point of the third segment", 89.9, 90, 3, 2},
        {"the trailing edge itself", 90, 90, 3, 2},
        {"beyond the trailing edge", 500, 90, 3, 2},
        {"left of the leading edge", -12, 90, 3, 0},
        {"a control of one segment", 70, 90, 1, 0},
        {"a control without width", 10, 0, 3, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(G::indexAt(c.x, c.width, c.count), c.index) << c.name;
    }
    EXPECT_EQ(G::segmentCount(0), 1);
    EXPECT_EQ(G::segmentCount(3), 3);
    EXPECT_EQ(G::clampIndex(7, 3), 2);
    EXPECT_EQ(G::clampIndex(-1, 3), 0);
    EXPECT_EQ(G::clampIndex(4, 1), 0);
}

TEST(CapsuleSegmentGeometry, RadiiFollowTheHeightAndTheRequestedCorner)
{
    EXPECT_EQ(G::outlineRadius(24, std::nullopt), 12);
    EXPECT_EQ(G::clipRadius(24, std::nullopt), 11);
    EXPECT_EQ(G::outlineRadius(24, 6), 6);
    EXPECT_EQ(G::clipRadius(24, 6), 5);
    EXPECT_EQ(G::outlineRadius(24, 0.5), 0.5);
    EXPECT_EQ(G::clipRadius(24, 0.5), 0);
    // A corner larger than half the height still gives a capsule.
    EXPECT_EQ(G::outlineRadius(24, 40), 12);
}

TEST(CapsuleSegmentGeometry, DividersSkipTheBoundariesOfTheSelectedSegment)
{
    // Three segments of 30 in a 90 × 24 control: a divider is 14 high (24 × 0.6 rounded), 5 down.
    EXPECT_EQ(G::dividers(90, 24, 3, 0), QList<QRect>({QRect(60, 5, 1, 14)}));
    EXPECT_TRUE(G::dividers(90, 24, 3, 1).isEmpty());
    EXPECT_EQ(G::dividers(90, 24, 3, 2), QList<QRect>({QRect(30, 5, 1, 14)}));
    // Boundaries at fractional positions round halves away from zero: 100 / 3 − 0.5 = 32.83 → 33.
    EXPECT_EQ(G::dividers(100, 25, 3, 2), QList<QRect>({QRect(33, 5, 1, 15)}));
    EXPECT_TRUE(G::dividers(90, 24, 1, 0).isEmpty());

    EXPECT_EQ(G::selectedRect(90, 24, 3, 2), QRectF(60, 0, 30, 24));
    // Icons are centred in their segment and not rounded.
    EXPECT_EQ(G::iconOrigin(1, QSizeF(13, 11), 90, 24, 3), QPointF(38.5, 6.5));
}

TEST(PillTheme, GreysOfBothAppearances)
{
    struct Case
    {
        const char *name;
        QColor color;
        int grey;
        float alpha;
    };
    const Case cases[] = {
        {"field, dark", PillTheme::field(true), 255, 0.06f},
        {"field, light", PillTheme::field(false), 0, 0.05f},
        {"field border, dark", PillTheme::fieldBorder(true), 255, 0.12f},
        {"field border, light", PillTheme::fieldBorder(false), 0, 0.12f},
        {"segment overlay, dark", PillTheme::segOverlay(true), 255, 0.052f},
        {"segment overlay, light", PillTheme::segOverlay(false), 0, 0.075f},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.color.red(), c.grey) << c.name;
        EXPECT_EQ(c.color.green(), c.grey) << c.name;
        EXPECT_EQ(c.color.blue(), c.grey) << c.name;
        EXPECT_NEAR(c.color.alphaF(), c.alpha, 0.002) << c.name;
    }
}
