#pragma once

#include "Platform/OverlayWindowing.h"

#include <QRegion>

// Panels on X11. Both focus hints are needed (the window flag and showing without activating):
// under openbox either alone lets a show or a click move the focus. A panel that ignores the
// mouse bypasses the window manager, whose frame would otherwise still catch the click. Outside
// an X11 session (the offscreen platform of the tests) the X11 properties are skipped and the Qt
// flags alone apply.
class X11OverlayWindowing : public OverlayWindowing
{
public:
    void prepare(QWindow &window, bool ignoresMouse) override;
    void beforeShow(QWindow &window) override;
    bool translucencyAvailable() override;
    void clipToRoundedShape(QWindow &window, QRectF shape, qreal radius) override;
    void clipToRegion(QWindow &window, const QRegion &shape) override;
    std::optional<ScreenArea> screenUnderPointer() override;
    std::optional<ScreenArea> mainScreen() override;

    // The clip region of a rounded rectangle: the pixels whose centres lie inside it.
    static QRegion roundedRegion(QRectF shape, qreal radius);
};
