#pragma once

#include <QList>
#include <QRect>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where the parts of a capsule segmented control lie: a capsule of `width` × `height` divided into
// `count` equal segments, one of them selected. Pure functions, shared by the painting, the hit
// test and the icon layout of the control.
struct CapsuleSegmentGeometry
{
    // The number of segments for this many images: at least one.
    static int segmentCount(qsizetype images);
    // A requested selection moved into 0 … count − 1.
    static int clampIndex(int requested, int count);
    // The segment under a press at `x`: x over the segment width, truncated toward zero, clamped.
    static int indexAt(qreal x, qreal width, int count);

    // The outline's corner radius: the requested one, at most half the height (half the height
    // when none is requested).
    static qreal outlineRadius(qreal height, std::optional<qreal> cornerRadius);
    // The radius of the clip inside the outline, one point in: never negative.
    static qreal clipRadius(qreal height, std::optional<qreal> cornerRadius);

    // The selected segment's fill, before the clip rounds its outer corners.
    static QRectF selectedRect(qreal width, qreal height, int count, int selected);
    // The one-point dividers between segments; none touches the selected segment. Each is 60 % of
    // the height, centred, at a whole-point position.
    static QList<QRect> dividers(qreal width, qreal height, int count, int selected);
    // The top-left corner of icon `index` of `imageSize`, centred in its segment.
    static QPointF iconOrigin(int index, QSizeF imageSize, qreal width, qreal height, int count);
};
