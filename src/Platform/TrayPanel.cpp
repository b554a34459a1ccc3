#include "Platform/TrayPanel.h"

QColor TrayPanel::inkOn(const QColor &background)
{
    // Relative luminance (sRGB weights): a saturated blue panel is dark, a yellow one light.
    const double luminance =
        0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    return luminance < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
}
