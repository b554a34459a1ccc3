#pragma once

#include <QColor>

// The three colours of the pill controls, for a light or a dark appearance: the fill and 1-point
// border of a dropdown pill and of an outlined pill button, and the outline, selected-segment fill
// and dividers of the segmented control. A filled pill button uses the accent colour instead.
struct PillTheme
{
    static QColor field(bool dark);
    static QColor fieldBorder(bool dark);
    static QColor segOverlay(bool dark);
};
