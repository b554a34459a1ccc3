#include "UI/Pills/PillTheme.h"

namespace {

// White on a dark appearance, black on a light one, at the given opacity.
QColor grey(bool dark, float alpha)
{
    return QColor::fromRgbF(dark ? 1.0f : 0.0f, dark ? 1.0f : 0.0f, dark ? 1.0f : 0.0f, alpha);
}

} // namespace

QColor PillTheme::field(bool dark)
{
    return grey(dark, dark ? 0.06f : 0.05f);
}

QColor PillTheme::fieldBorder(bool dark)
{
    return grey(dark, 0.12f);
}

QColor PillTheme::segOverlay(bool dark)
{
    return grey(dark, dark ? 0.052f : 0.075f);
}
