#pragma once

#include <QColor>
#include <QImage>
#include <QList>

class StatusButton;

// Renders a status button at each pixel size a tray is offered and keeps the pictures, so that a
// rendering that came out exactly as the last one is not sent to the tray again: an animation
// step too small to show, or a redraw of an unchanged icon, costs the tray host nothing.
//
// Main thread only.
class TrayIconRenderer
{
public:
    explicit TrayIconRenderer(QList<int> pixelSizes);

    // Renders the button with template images in `ink`; true when the pictures differ from the
    // last rendering (always at the first).
    bool render(const StatusButton &button, const QColor &ink);
    // The last rendering, one picture per pixel size, at a device pixel ratio of 1.
    const QList<QImage> &pictures() const { return m_pictures; }

private:
    QList<int> m_pixelSizes;
    QList<QImage> m_pictures;
};
