#include "UI/Theme.h"

#include <QGuiApplication>
#include <QStyleHints>

namespace Theme {

const QColor &accent()
{
    static const QColor color = QColor::fromRgbF(10 / 255.0f, 132 / 255.0f, 1.0f, 1.0f);
    return color;
}

const QColor &warn()
{
    static const QColor color = QColor::fromRgbF(1.0f, 149 / 255.0f, 0.0f, 1.0f);
    return color;
}

const QEasingCurve &easeOut()
{
    static const QEasingCurve curve = [] {
        QEasingCurve c(QEasingCurve::BezierSpline);
        c.addCubicBezierSegment(QPointF(0.16, 1.0), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
        return c;
    }();
    return curve;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF()
        < palette.color(QPalette::WindowText).lightnessF();
}

bool isDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    switch (QGuiApplication::styleHints()->colorScheme()) {
    case Qt::ColorScheme::Dark:
        return true;
    case Qt::ColorScheme::Light:
        return false;
    case Qt::ColorScheme::Unknown:
        break;
    }
#endif
    return isDark(QGuiApplication::palette());
}

} // namespace Theme
