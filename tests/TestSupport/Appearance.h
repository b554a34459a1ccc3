#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

// Puts the application in the light or dark appearance the way a desktop theme does: by the
// window colours of its palette, which the views follow.
inline void useAppearance(bool dark, const QPalette &original)
{
    QPalette palette = original;
    palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(240, 240, 240));
    palette.setColor(QPalette::WindowText, dark ? QColor(255, 255, 255) : QColor(0, 0, 0));
    QGuiApplication::setPalette(palette);
}
