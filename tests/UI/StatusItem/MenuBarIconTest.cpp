#include "UI/StatusItem/MenuBarIcon.h"

#include <QImage>
#include <QMetaEnum>
#include <QPainter>
#include <QPointF>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using State = MenuBarIcon::State;

// Rendered at 4 pixels per point so that geometry can be checked away from the antialiased edges.
constexpr qreal ratio = 4.0;

QImage render(State state, bool badged)
{
    return MenuBarIcon::image(state, badged, ratio);
}

// Alpha of the pixel that covers this point of the 16 × 16 icon.
int alphaAt(const QImage &image, QPointF point)
{
    return qAlpha(image.pixel(int(point.x() * ratio), int(point.y() * ratio)));
}

QPointF pixelCentre(int x, int y)
{
    return {(x + 0.5) / ratio, (y + 0.5) / ratio};
}

qreal distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// Every pixel for which `where` holds, as "x,y" of the first difference; empty when all are equal.
std::string firstDifference(const QImage &a, const QImage &b,
                            const std::function<bool(QPointF)> &where)
{
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (where(pixelCentre(x, y)) && a.pixel(x, y) != b.pixel(x, y)) {
                return std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return {};
}

int maxAlpha(const QImage &image)
{
    int result = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            result = std::max(result, qAlpha(image.pixel(x, y)));
        }
    }
    return result;
}

const QPointF dotCentre(13.4, 2.6);
const QPointF holeCentre(13.0, 3.1);
// On the stem, between the holder and the base.
const QPointF stem(8.0, 13.3);
// On the head's left side.
const QPointF headSide(5.6, 5.0);

} // namespace

TEST(MenuBarIcon, ImageIsASixteenPointTemplateAtAnyRatio)
{
    for (qreal r : {1.0, 2.0, 3.0}) {
        const QImage image = MenuBarIcon::image(State::normal, false, r);
        EXPECT_EQ(image.size(), QSize(int(16 * r), int(16 * r))) << r;
        EXPECT_EQ(image.devicePixelRatio(), r);
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(16, 16));
        EXPECT_TRUE(MenuBarIcon::isTemplate(image));
    }
    EXPECT_FALSE(MenuBarIcon::isTemplate(QImage(16, 16, QImage::Format_ARGB32)));
}

TEST(MenuBarIcon, GlyphIsBlackInkOnTransparency)
{
    const QImage image = render(State::normal, false);
    EXPECT_EQ(qAlpha(image.pixel(0, image.height() - 1)), 0) << "corner is transparent";
    EXPECT_EQ(alphaAt(image, stem), 255);
    EXPECT_EQ(alphaAt(image, headSide), 255);
    EXPECT_EQ(alphaAt(image, QPointF(8.0, 5.0)), 0) << "the head is an outline";
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            ASSERT_EQ(qRed(p) | qGreen(p) | qBlue(p), 0) << x << "," << y;
        }
    }
}

TEST(MenuBarIcon, StatesDifferOnlyWhereTheySay)
{
    const QImage normal = render(State::normal, false);
    const QImage warning = render(State::permissionWarning, false);
    const QImage paused = render(State::paused, false);
    const QImage recording = render(State::recording, false);

    EXPECT_EQ(normal, warning) << "the warning is told by the badge, not the glyph";

    // Paused: the same glyph at 0.45 alpha.
    EXPECT_NEAR(maxAlpha(paused), 0.45 * 255, 1.5);
    EXPECT_NEAR(alphaAt(paused, stem), 0.45 * 255, 1.5);
    EXPECT_EQ(alphaAt(paused, QPointF(8.0, 5.0)), 0);

    // Recording: a solid dot of diameter 4.4 around (13.4, 2.6) in a transparent ring 1.1 wide;
    // everything beyond the ring is the normal glyph.
    EXPECT_EQ(alphaAt(recording, dotCentre), 255);
    EXPECT_EQ(alphaAt(recording, dotCentre + QPointF(1.8, 0)), 255);
    EXPECT_EQ(alphaAt(normal, dotCentre), 0);
    EXPECT_EQ(firstDifference(normal, recording,
                              [](QPointF p) { return distance(p, dotCentre) > 3.3 + 0.5; }),
              "");
    // The ring cuts into the head's top right corner, which the normal glyph inks.
    const QPointF ringOnHead(10.32, 3.4);
    ASSERT_NEAR(distance(ringOnHead, dotCentre), 2.2 + 0.55, 0.5);
    EXPECT_GT(alphaAt(normal, ringOnHead), 100);
    EXPECT_EQ(alphaAt(recording, ringOnHead), 0);
}

TEST(MenuBarIcon, BadgedIconsLeaveAHoleAndNoDot)
{
    for (State state : {State::normal, State::recording, State::paused, State::permissionWarning}) {
        const QImage badged = render(state, true);
        const QImage plain = render(state == State::recording ? State::normal : state, false);
        SCOPED_TRACE(QMetaEnum::fromType<State>().valueToKey(int(state)));
        // Inside the hole of radius 4 around (13, 3.1): nothing, not even the dot.
        for (int y = 0; y < badged.height(); ++y) {
            for (int x = 0; x < badged.width(); ++x) {
                if (distance(pixelCentre(x, y), holeCentre) < 4.0 - 0.4) {
                    ASSERT_EQ(qAlpha(badged.pixel(x, y)), 0) << x << "," << y;
                }
            }
        }
        // Outside it, the glyph of the state without the dot.
        EXPECT_EQ(firstDifference(badged, plain,
                                  [](QPointF p) { return distance(p, holeCentre) > 4.0 + 0.4; }),
                  "");
    }
    EXPECT_NEAR(alphaAt(render(State::paused, true), stem), 0.45 * 255, 1.5) << "still faded";
}

TEST(MenuBarIcon, DrawingNeedsAnActivePainter)
{
    EXPECT_FALSE(MenuBarIcon::draw(nullptr, State::normal, false));
    QPainter idle;
    EXPECT_FALSE(MenuBarIcon::draw(&idle, State::normal, false));

    QImage canvas(16, 16, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    EXPECT_TRUE(MenuBarIcon::draw(&painter, State::normal, false));
    painter.end();
    EXPECT_GT(maxAlpha(canvas), 200);
}
