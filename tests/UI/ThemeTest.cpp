#include "UI/Theme.h"

#include <QPalette>
#include <gtest/gtest.h>

namespace {

QPalette palette(const QColor &window, const QColor &text)
{
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    return p;
}

} // namespace

TEST(Theme, ColoursAreTheSharedSrgbValues)
{
    // Plain sRGB values: equal to their own RGB conversion.
    EXPECT_EQ(Theme::accent(), Theme::accent().toRgb());
    EXPECT_EQ(Theme::accent().rgba(), qRgba(10, 132, 255, 255));
    EXPECT_EQ(Theme::warn().rgba(), qRgba(255, 149, 0, 255));
}

TEST(Theme, EaseOutRisesFastAndSettles)
{
    const QEasingCurve &curve = Theme::easeOut();
    EXPECT_DOUBLE_EQ(curve.valueForProgress(0.0), 0.0);
    EXPECT_NEAR(curve.valueForProgress(1.0), 1.0, 1e-9);
    // Control points (0.16, 1) and (0.3, 1): three quarters of the way after a fifth of the time
    // (values of the exact curve), and never overshooting.
    EXPECT_NEAR(curve.valueForProgress(0.1), 0.4944, 0.01);
    EXPECT_NEAR(curve.valueForProgress(0.2), 0.7521, 0.01);
    EXPECT_NEAR(curve.valueForProgress(0.5), 0.9718, 0.01);
    qreal previous = 0;
    for (int i = 1; i <= 100; ++i) {
        const qreal value = curve.valueForProgress(i / 100.0);
        EXPECT_GE(value, previous - 1e-9) << "at " << i;
        EXPECT_LE(value, 1.0 + 1e-6) << "at " << i;
        previous = value;
    }
}

TEST(Theme, DarkMeansTheWindowIsDarkerThanItsText)
{
    struct Case
    {
        const char *name;
        QColor window;
        QColor text;
        bool dark;
    };
    const Case cases[] = {
        {"light palette", QColor(239, 239, 239), QColor(0, 0, 0), false},
        {"dark palette", QColor(45, 45, 45), QColor(230, 230, 230), true},
        {"dim but darker than its text", QColor(90, 90, 120), QColor(200, 200, 200), true},
        {"neither: equally light", QColor(128, 128, 128), QColor(128, 128, 128), false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Theme::isDark(palette(c.window, c.text)), c.dark) << c.name;
    }
}
