#pragma once

#include <QHashFunctions>
#include <QImage>
#include <QObject>
#include <QSizeF>

class QPainter;

// The status item's microphone glyph, drawn for each icon state as a 16 × 16 point template
// image: only its alpha counts, and whoever shows it tints it for a light or a dark panel.
//
//  - normal and permissionWarning: the plain glyph;
//  - paused: the same glyph faded;
//  - recording: a solid dot at the top right, parted from the glyph by a transparent ring;
//  - badged (any state): a transparent round hole at the top right instead of the dot, where the
//    alert badge sits.
namespace MenuBarIcon {
Q_NAMESPACE

enum class State { normal, recording, paused, permissionWarning };
Q_ENUM_NS(State)

inline size_t qHash(State value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

// The image's size in points.
inline constexpr QSizeF size {16.0, 16.0};
// The text key that marks an image as a template image (its value is "true").
inline const QString templateTextKey = QStringLiteral("template");

// Draws the glyph with `painter` in a coordinate system of 16 × 16 points whose y grows downwards
// from the top-left corner. False, with nothing drawn, when the painter is absent or not active.
bool draw(QPainter *painter, State state, bool badged);

// A new template image of 16 × 16 points at the given device pixel ratio.
QImage image(State state, bool badged, qreal devicePixelRatio = 1.0);

// Whether the image is marked as a template image.
bool isTemplate(const QImage &image);

} // namespace MenuBarIcon
