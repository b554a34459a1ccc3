#include "UI/VoiceBar/VoiceBarGeometry.h"

#include <QPainterPath>
#include <QPolygon>

#include <cmath>

QSize VoiceBarGeometry::size(VoiceBarStyle style)
{
    return style == VoiceBarStyle::classic ? classicSize : notchSize;
}

QRect VoiceBarGeometry::frame(VoiceBarStyle style, const OverlayWindowing::ScreenArea &screen,
                              int safeAreaTopInset)
{
    const QSize size = VoiceBarGeometry::size(style);
    // QRect's right and bottom are inclusive: the middle and the far edge come from x + width.
    const auto middle = [](const QRect &rect) {
        return rect.x() + rect.width() / 2.0;
    };
    if (style == VoiceBarStyle::classic) {
        const int x = int(std::round(middle(screen.available) - size.width() / 2.0));
        const int bottom = screen.available.y() + screen.available.height() - classicBottomGap;
        return {x, bottom - size.height(), size.width(), size.height()};
    }
    const QRect &top = safeAreaTopInset > 0 ? screen.available : screen.frame;
    const int x = int(std::round(middle(screen.frame) - size.width() / 2.0));
    return {x, top.y(), size.width(), size.height()};
}

QRegion VoiceBarGeometry::classicShape(QSize size)
{
    return roundedRegion(QRectF(QPointF(0, 0), QSizeF(size)), classicCornerRadius);
}

QRegion VoiceBarGeometry::notchShape(bool withTab, const QList<QRectF> &chips)
{
    QRegion region;
    if (withTab) {
        const QRectF tab((notchSize.width() - notchTabSize.width()) / 2.0, 0, notchTabSize.width(),
                         notchTabSize.height());
        region = roundedRegion(tab, notchCornerRadius, true);
    }
    for (const QRectF &chip : chips) {
        region += roundedRegion(chip, notchCornerRadius);
    }
    return region;
}

QRegion VoiceBarGeometry::roundedRegion(QRectF rect, qreal radius, bool squareTop)
{
    if (rect.isEmpty()) {
        return {};
    }
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    QRegion region(path.toFillPolygon().toPolygon());
    if (squareTop) {
        // Added as a region of its own: one path of both shapes would cut their overlap out.
        const QRectF top(rect.topLeft(), QSizeF(rect.width(), rect.height() / 2));
        region += top.toAlignedRect();
    }
    return region;
}
