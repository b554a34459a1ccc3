#pragma once

#include "Core/Models/VoiceBarStyle.h"
#include "Platform/OverlayWindowing.h"

#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QSize>

// Where the voice bar and its toasts sit, and the shape a window is clipped to where transparent
// pixels would show black. All in the desktop's y-down coordinates.
struct VoiceBarGeometry
{
    // The classic bar and toast: a rounded bar near the bottom of the usable area.
    static constexpr QSize classicSize {380, 44};
    static constexpr int classicCornerRadius = 14;
    // Above the bottom of the usable area, clear of docks and panels.
    static constexpr int classicBottomGap = 80;

    // The notch bar and toast: a window hanging from the top edge of the screen.
    static constexpr QSize notchSize {480, 76};
    // The tab inside it, centred at the top, with round bottom corners.
    static constexpr QSize notchTabSize {190, 27};
    static constexpr int notchCornerRadius = 13;

    static QSize size(VoiceBarStyle style);

    // The window's frame on `screen`. `safeAreaTopInset` is the height of a camera housing; with
    // one the notch window hangs below the usable area's top edge instead of the screen's. Linux
    // screens report none. Halves round away from zero.
    static QRect frame(VoiceBarStyle style, const OverlayWindowing::ScreenArea &screen,
                       int safeAreaTopInset = 0);

    // The pixels an opaque window keeps, in window coordinates: the classic bar's rounded
    // rectangle (of a notice's own `size` when its text made it taller); the notch window's tab
    // (`withTab`, the bar; a toast has none) and the rounded chips its content shows (the
    // transcript chip, a toast's message).
    static QRegion classicShape(QSize size = classicSize);
    static QRegion notchShape(bool withTab, const QList<QRectF> &chips = {});
    // The pixels whose centres lie inside a rounded rectangle; `squareTop` keeps the top corners
    // square (the tab hanging from the screen's edge).
    static QRegion roundedRegion(QRectF rect, qreal radius, bool squareTop = false);
};
