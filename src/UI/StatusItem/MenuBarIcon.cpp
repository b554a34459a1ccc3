#include "UI/StatusItem/MenuBarIcon.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace MenuBarIcon {

namespace {

// The glyph is designed on a 20 × 20 grid and drawn at 0.8 of it.
constexpr qreal gridScale = 0.8;
constexpr qreal lineWidth = 1.5;
constexpr qreal pausedAlpha = 0.45;

// The microphone head: a capsule 6 wide and 10 tall with round ends of radius 3.
QPainterPath headPath()
{
    QPainterPath path;
    path.moveTo(10, 2);
    path.lineTo(10, 2);
    path.cubicTo(11.6569, 2, 13, 3.3431, 13, 5);
    path.lineTo(13, 9);
    path.cubicTo(13, 10.6569, 11.6569, 12, 10, 12);
    path.lineTo(10, 12);
    path.cubicTo(8.3431, 12, 7, 10.6569, 7, 9);
    path.lineTo(7, 5);
    path.cubicTo(7, 3.3431, 8.3431, 2, 10, 2);
    path.closeSubpath();
    return path;
}

// The holder (the lower half of a circle of radius 5.25 around (10, 10)), the stem and the base.
QPainterPath standPath()
{
    QPainterPath path;
    path.moveTo(4.75, 9.5);
    path.lineTo(4.75, 10);
    path.cubicTo(4.75, 12.8801, 7.1199, 15.25, 10, 15.25);
    path.cubicTo(12.8801, 15.25, 15.25, 12.8801, 15.25, 10);
    path.lineTo(15.25, 9.5);
    path.moveTo(10, 15.25);
    path.lineTo(10, 18);
    path.moveTo(7.25, 18);
    path.lineTo(12.75, 18);
    return path;
}

void punchOval(QPainter &painter, const QRectF &rect)
{
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(rect);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

} // namespace

bool draw(QPainter *painter, State state, bool badged)
{
    if (!painter || !painter->isActive()) {
        return false;
    }
    QColor ink(Qt::black);
    ink.setAlphaF(state == State::paused ? pausedAlpha : 1.0);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->save();
    painter->scale(gridScale, gridScale);
    QPen pen(ink, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(headPath());
    painter->drawPath(standPath());
    painter->restore();

    if (badged) {
        // Room for the alert badge: a hole of radius 4 around (13, 3.1), partly outside the image.
        punchOval(*painter, QRectF(9, -0.9, 8, 8));
    } else if (state == State::recording) {
        const QRectF dot(11.2, 0.4, 4.4, 4.4);
        punchOval(*painter, dot.adjusted(-1.1, -1.1, 1.1, 1.1));
        painter->setPen(Qt::NoPen);
        painter->setBrush(ink);
        painter->drawEllipse(dot);
    }
    painter->restore();
    return true;
}

QImage image(State state, bool badged, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize pixels(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
    QImage result(pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    result.setDevicePixelRatio(ratio);
    QPainter painter(&result);
    draw(&painter, state, badged);
    painter.end();
    result.setText(templateTextKey, QStringLiteral("true"));
    return result;
}

bool isTemplate(const QImage &image)
{
    return image.text(templateTextKey) == QStringLiteral("true");
}

} // namespace MenuBarIcon
