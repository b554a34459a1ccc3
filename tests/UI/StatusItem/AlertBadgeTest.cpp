#include "UI/StatusItem/AlertBadge.h"
#include "Base/ManualClock.h"
#include "Platform/MotionPreference.h"
#include "UI/KeyframeAnimation.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/StatusItem/StatusButtonLayer.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

class FakeMotionPreference final : public MotionPreference
{
public:
    bool reduceMotion() override
    {
        ++asked;
        return reduce;
    }

    bool reduce = false;
    int asked = 0;
};

struct BadgeFixture : testing::Test
{
    ManualClock clock;
    FakeMotionPreference motion;
    StatusButton button {clock};

    QList<StatusButtonLayer *> badges() const
    {
        QList<StatusButtonLayer *> found;
        for (StatusButtonLayer *layer : button.sublayers()) {
            if (layer->name() == AlertBadge::layerName) {
                found << layer;
            }
        }
        return found;
    }

    StatusButtonLayer *badge() const
    {
        const auto found = badges();
        return found.size() == 1 ? found.first() : nullptr;
    }

    void show() { AlertBadge::update(button, true, 16, motion); }
    void hide() { AlertBadge::update(button, false, 16, motion); }
};

KeyframeAnimation linearRamp(bool repeats)
{
    KeyframeAnimation animation;
    animation.keyPath = QStringLiteral("transform.scale");
    animation.values = {1.0, 0.5, 1.0};
    animation.keyTimes = {0.0, 0.25, 1.0};
    animation.duration = 1s;
    animation.repeatsForever = repeats;
    animation.beginTime = 10s;
    return animation;
}

} // namespace

TEST(KeyframeAnimation, InterpolatesBetweenKeyFramesAtTheShapedTime)
{
    const KeyframeAnimation once = linearRamp(false);
    EXPECT_DOUBLE_EQ(once.value(9s), 1.0) << "before it begins: the first frame";
    EXPECT_DOUBLE_EQ(once.value(10s), 1.0);
    EXPECT_NEAR(once.value(10s + 125ms), 0.75, 1e-9);
    EXPECT_NEAR(once.value(10s + 250ms), 0.5, 1e-9);
    EXPECT_NEAR(once.value(10s + 625ms), 0.75, 1e-9);
    EXPECT_DOUBLE_EQ(once.value(12s), 1.0) << "after a single run: the last frame";

    const KeyframeAnimation repeating = linearRamp(true);
    EXPECT_NEAR(repeating.value(13s + 250ms), 0.5, 1e-9);
    EXPECT_NEAR(repeating.value(13s + 125ms), repeating.value(10s + 125ms), 1e-9);

    KeyframeAnimation shaped = linearRamp(false);
    shaped.timing = QEasingCurve(QEasingCurve::InQuad);
    // Half-way in time is a quarter of the way along the key frames.
    EXPECT_NEAR(shaped.value(10s + 500ms), 0.5, 1e-9);
}

TEST(AlertBadge, HeartbeatIsTwoContractionsAndARestEvery1point6Seconds)
{
    const KeyframeAnimation beat = AlertBadge::heartbeat(100s);
    EXPECT_EQ(beat.keyPath, QStringLiteral("transform.scale"));
    EXPECT_EQ(beat.duration, 1600ms);
    EXPECT_TRUE(beat.repeatsForever);

    qreal smallest = 1.0;
    int contractions = 0;
    bool contracting = false;
    for (auto t = 0ms; t < 1600ms; t += 5ms) {
        const qreal value = beat.value(100s + t);
        smallest = std::min(smallest, value);
        if (value < 0.95 && !contracting) {
            ++contractions;
        }
        contracting = value < 0.95;
        EXPECT_NEAR(beat.value(100s + t + 1600ms), value, 1e-9) << "repeats at " << t.count();
    }
    EXPECT_EQ(contractions, 2);
    EXPECT_NEAR(smallest, 0.74, 0.01);
    // The last 0.4 of the shaped time is a rest at full size.
    for (auto t = 1000ms; t < 1600ms; t += 50ms) {
        EXPECT_DOUBLE_EQ(beat.value(100s + t), 1.0) << t.count();
    }
}

TEST_F(BadgeFixture, AVisibleUpdateAddsOneBeatingRedDiscInTheHole)
{
    show();
    StatusButtonLayer *layer = badge();
    ASSERT_NE(layer, nullptr);
    // 5.8 points for a 16-point icon, round.
    EXPECT_EQ(layer->bounds(), QRectF(0, 0, 5.8, 5.8));
    EXPECT_DOUBLE_EQ(layer->cornerRadius(), 2.9);
    EXPECT_EQ(layer->backgroundColor(), QColor(255, 59, 48));
    // (13, 3.1) of the icon, centred in the 22-point button: 3 points in from each edge.
    EXPECT_NEAR(layer->position().x(), 16.0, 1e-9);
    EXPECT_NEAR(layer->position().y(), 6.1, 1e-9);
    EXPECT_DOUBLE_EQ(layer->contentsScale(), 2.0) << "not shown in a window";
    ASSERT_NE(layer->animation(AlertBadge::animationKey), nullptr);
    EXPECT_EQ(layer->animation(AlertBadge::animationKey)->beginTime, clock.uptime());
    EXPECT_TRUE(button.isAnimating());
}

TEST_F(BadgeFixture, RepeatedVisibleUpdatesKeepOneBadgeAndItsBeat)
{
    show();
    StatusButtonLayer *first = badge();
    ASSERT_NE(first, nullptr);
    const auto began = first->animation(AlertBadge::animationKey)->beginTime;
    clock.advance(700ms);
    show();
    AlertBadge::update(button, true, 32, motion);
    ASSERT_EQ(badges().size(), 1);
    EXPECT_EQ(badge(), first);
    EXPECT_EQ(first->animation(AlertBadge::animationKey)->beginTime, began) << "not restarted";
    // Moved for the bigger icon: (13, 3.1) of 32 points centred in 22.
    EXPECT_NEAR(first->position().x(), 11 - 16 + 26, 1e-9);
    EXPECT_NEAR(first->position().y(), 11 - 16 + 6.2, 1e-9);
    EXPECT_EQ(motion.asked, 1) << "the motion preference is read only when the badge is made";
}

TEST_F(BadgeFixture, HidingRemovesTheBadgeAndShowingAgainBeatsAfresh)
{
    QSignalSpy displays(&button, &StatusButton::needsDisplay);
    hide();
    EXPECT_TRUE(button.sublayers().isEmpty());
    EXPECT_EQ(displays.count(), 0) << "nothing to remove, nothing changes";

    show();
    hide();
    EXPECT_TRUE(badges().isEmpty());
    EXPECT_FALSE(button.isAnimating());
    EXPECT_EQ(clock.activeTimerCount(), 0);

    clock.advance(3s);
    show();
    ASSERT_NE(badge(), nullptr);
    EXPECT_EQ(badge()->animation(AlertBadge::animationKey)->beginTime, clock.uptime());
}

TEST_F(BadgeFixture, ReducedMotionGivesAStillDisc)
{
    motion.reduce = true;
    show();
    ASSERT_NE(badge(), nullptr);
    EXPECT_TRUE(badge()->animationKeys().isEmpty());
    EXPECT_FALSE(button.isAnimating());
    QSignalSpy displays(&button, &StatusButton::needsDisplay);
    clock.advance(5s);
    EXPECT_EQ(displays.count(), 0);
}

TEST_F(BadgeFixture, TheBeatAsksForFramesOnlyWhileItMoves)
{
    show();
    QSignalSpy displays(&button, &StatusButton::needsDisplay);
    clock.advance(600ms);
    EXPECT_GE(displays.count(), 2) << "the two contractions are drawn";
    clock.advance(400ms);
    displays.clear();
    clock.advance(550ms);
    EXPECT_EQ(displays.count(), 0) << "no frames during the rest";
    clock.advance(300ms);
    EXPECT_GT(displays.count(), 0) << "the next beat";
}

// A tray host shows a few frames a second at most: a beating badge asks for no more than that,
// however long a permission stays missing.
TEST_F(BadgeFixture, TheBeatAsksForAFewFramesASecondAtMost)
{
    show();
    QSignalSpy displays(&button, &StatusButton::needsDisplay);
    QList<std::chrono::nanoseconds> times;
    QObject::connect(&button, &StatusButton::needsDisplay, &button,
                     [&] { times << clock.uptime(); });
    constexpr int beats = 100;
    clock.advance(beats * 1600ms);
    EXPECT_LE(displays.count(), beats * 1600 / 200);
    EXPECT_GE(displays.count(), beats * 3) << "each beat still shows its contractions";
    for (qsizetype i = 1; i < times.size(); ++i) {
        ASSERT_GE(times[i] - times[i - 1], StatusButton::frameInterval) << "frame " << i;
    }
}

TEST_F(BadgeFixture, RenderingTintsTheTemplateAndDrawsTheBadgeOverIt)
{
    button.setImage([](qreal ratio) {
        return MenuBarIcon::image(MenuBarIcon::State::permissionWarning, true, ratio);
    });
    motion.reduce = true;
    show();

    // 44 pixels: 2 per point. The stem of the glyph sits at (3 + 8, 3 + 13.3) points.
    const QImage light = button.render(44, Qt::black);
    const QImage dark = button.render(44, Qt::white);
    EXPECT_EQ(light.size(), QSize(44, 44));
    EXPECT_EQ(light.pixelColor(22, 32), QColor(Qt::black));
    EXPECT_EQ(dark.pixelColor(22, 32), QColor(Qt::white));
    EXPECT_EQ(qAlpha(light.pixel(1, 1)), 0);
    // The badge, red in both, at (16, 6.1) points.
    EXPECT_EQ(light.pixelColor(32, 12), QColor(255, 59, 48));
    EXPECT_EQ(dark.pixelColor(32, 12), QColor(255, 59, 48));
}

TEST_F(BadgeFixture, TheBadgeShrinksWithTheBeat)
{
    show();
    const auto redPixels = [this] {
        const QImage image = button.render(88, Qt::black);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 200 && c.green() < 100 && c.alpha() > 200;
            }
        }
        return count;
    };
    const int full = redPixels();
    // The deepest contraction (0.74) comes at 0.12 of the shaped time, 0.386 s in.
    clock.advance(385ms);
    const int contracted = redPixels();
    EXPECT_GT(full, 0);
    EXPECT_LT(contracted, full * 0.7);
}
