#include "UI/Pills/CapsuleSegmentGeometry.h"

#include <algorithm>
#include <cmath>

int CapsuleSegmentGeometry::segmentCount(qsizetype images)
{
    return static_cast<int>(std::max<qsizetype>(images, 1));
}

int CapsuleSegmentGeometry::clampIndex(int requested, int count)
{
    return std::clamp(requested, 0, std::max(count, 1) - 1);
}

int CapsuleSegmentGeometry::indexAt(qreal x, qreal width, int count)
{
    count = std::max(count, 1);
    if (width <= 0) {
        return 0;
    }
    const qreal segment = width / count;
    const qreal index = std::trunc(x / segment);
    // A press beyond either end still lands in the end segment.
    return clampIndex(static_cast<int>(std::clamp<qreal>(index, -1.0, count)), count);
}

qreal CapsuleSegmentGeometry::outlineRadius(qreal height, std::optional<qreal> cornerRadius)
{
    return std::min(height / 2, cornerRadius.value_or(height / 2));
}

qreal CapsuleSegmentGeometry::clipRadius(qreal height, std::optional<qreal> cornerRadius)
{
    return std::max<qreal>(0, outlineRadius(height, cornerRadius) - 1);
}

QRectF CapsuleSegmentGeometry::selectedRect(qreal width, qreal height, int count, int selected)
{
    const qreal segment = width / std::max(count, 1);
    return QRectF(segment * selected, 0, segment, height);
}

QList<QRect> CapsuleSegmentGeometry::dividers(qreal width, qreal height, int count, int selected)
{
    QList<QRect> rects;
    const qreal segment = width / std::max(count, 1);
    // std::round takes halves away from zero.
    const int thickness = static_cast<int>(std::round(height * 0.6));
    for (int k = 1; k < count; ++k) {
        if (k == selected || k == selected + 1) {
            continue;
        }
        const int x = static_cast<int>(std::round(segment * k - 0.5));
        const int y = static_cast<int>(std::round((height - thickness) / 2));
        rects.append(QRect(x, y, 1, thickness));
    }
    return rects;
}

QPointF CapsuleSegmentGeometry::iconOrigin(int index, QSizeF imageSize, qreal width, qreal height,
                                           int count)
{
    const qreal segment = width / std::max(count, 1);
    return QPointF(segment * (index + 0.5) - imageSize.width() / 2,
                   height / 2 - imageSize.height() / 2);
}
