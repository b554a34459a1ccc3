#include "UI/StatusItem/TrayIconRenderer.h"

#include "Base/ManualClock.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusButton.h"

#include <gtest/gtest.h>

TEST(TrayIconRenderer, OnlyAChangedPictureCountsAsNew)
{
    ManualClock clock;
    StatusButton button(clock);
    TrayIconRenderer renderer({16, 22, 48});
    const auto glyph = [](MenuBarIcon::State state) {
        return [state](qreal ratio) {
            return MenuBarIcon::image(state, false, ratio);
        };
    };
    button.setImage(glyph(MenuBarIcon::State::normal));
    ASSERT_TRUE(renderer.render(button, Qt::black)) << "the first rendering is always new";
    ASSERT_EQ(renderer.pictures().size(), 3);
    EXPECT_EQ(renderer.pictures()[1].size(), QSize(22, 22));
    EXPECT_EQ(renderer.pictures()[1].devicePixelRatio(), 1.0);

    EXPECT_FALSE(renderer.render(button, Qt::black));
    // The same picture drawn anew is still the same picture.
    button.setImage(glyph(MenuBarIcon::State::permissionWarning));
    EXPECT_FALSE(renderer.render(button, Qt::black));

    EXPECT_TRUE(renderer.render(button, Qt::white)) << "another ink";
    button.setImage(glyph(MenuBarIcon::State::recording));
    EXPECT_TRUE(renderer.render(button, Qt::white));
    EXPECT_FALSE(renderer.render(button, Qt::white));
}
