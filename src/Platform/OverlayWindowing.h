#pragma once

#include <QRect>
#include <QRectF>
#include <QRegion>

#include <optional>

class QWindow;

// Floating panels (the voice bar, the answer card) that never take the keyboard focus away from
// the field the user is dictating into, shown on every workspace on the screen under the pointer.
// Main thread only.
class OverlayWindowing
{
public:
    // The screen a panel places itself on, in the desktop's y-down coordinates.
    struct ScreenArea
    {
        // The whole screen.
        QRect frame;
        // The part not covered by panels and docks.
        QRect available;

        bool operator==(const ScreenArea &) const = default;
    };

    virtual ~OverlayWindowing() = default;

    // Turns `window` into a panel before it is first shown. A panel that `ignoresMouse` lets
    // every click through to the window below; the others take clicks on their controls without
    // taking the focus.
    virtual void prepare(QWindow &window, bool ignoresMouse) = 0;
    // To be called before every show: a hide drops the window's place on every workspace.
    virtual void beforeShow(QWindow &window) = 0;
    // Whether transparent pixels show the desktop behind them. Without a compositor they show
    // black, so a panel draws an opaque fill and clips its rounded shape instead.
    virtual bool translucencyAvailable() = 0;
    // Clips `window` to the rounded rectangle `shape` (in window coordinates) when translucency
    // is missing; with translucency the window keeps its full rectangle.
    virtual void clipToRoundedShape(QWindow &window, QRectF shape, qreal radius) = 0;
    // Clips `window` to `shape` (window coordinates), the pixels it draws. A panel that ignores
    // the mouse keeps letting every click through, inside the shape as well.
    virtual void clipToRegion(QWindow &window, const QRegion &shape) = 0;
    // The screen under the mouse pointer; absent when no screen contains it.
    virtual std::optional<ScreenArea> screenUnderPointer() = 0;
    // The main screen; absent when there is no screen at all.
    virtual std::optional<ScreenArea> mainScreen() = 0;

    // The desktop's own panels.
    static OverlayWindowing &system();
};
