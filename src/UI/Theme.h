#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QPalette>

// The application's shared colours and timing curve, and the test for a dark appearance. Used by
// the status icon, the floating overlays and the settings window.
namespace Theme {

// sRGB 10, 132, 255.
const QColor &accent();
// sRGB 255, 149, 0.
const QColor &warn();
// A cubic Bézier timing curve through the control points (0.16, 1.0) and (0.3, 1.0): a fast start
// that settles gently.
const QEasingCurve &easeOut();

// Whether the palette is a dark one: its window background is darker than the text drawn on it.
// A palette whose two colours are equally light (neither light nor dark) is not dark.
bool isDark(const QPalette &palette);
// Whether the application currently has a dark appearance: the desktop's colour scheme where Qt
// reports one, else the application palette.
bool isDark();

} // namespace Theme
