#pragma once

#include "Platform/OverlayWindowing.h"

#include <QStringList>
#include <QWindow>

// Panels without a desktop: records the calls ("prepare clicks", "prepare ignores mouse",
// "beforeShow", "clip WxH r=R" or "clip none") and answers with the screen and the compositor
// the test sets.
class FakeOverlayWindowing final : public OverlayWindowing
{
public:
    std::optional<ScreenArea> screen = ScreenArea {{0, 0, 1440, 900}, {0, 25, 1440, 875}};
    // The main screen, asked for when the pointer is on none; none by default.
    std::optional<ScreenArea> main;
    bool translucent = false;
    QStringList calls;

    void prepare(QWindow &window, bool ignoresMouse) override
    {
        window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        calls << (ignoresMouse ? QStringLiteral("prepare ignores mouse")
                               : QStringLiteral("prepare clicks"));
    }
    void beforeShow(QWindow &) override { calls << QStringLiteral("beforeShow"); }
    bool translucencyAvailable() override { return translucent; }
    void clipToRoundedShape(QWindow &, QRectF shape, qreal radius) override
    {
        calls << (translucent ? QStringLiteral("clip none")
                              : QStringLiteral("clip %1x%2 r=%3")
                                    .arg(shape.width())
                                    .arg(shape.height())
                                    .arg(radius));
    }
    void clipToRegion(QWindow &window, const QRegion &shape) override { window.setMask(shape); }
    std::optional<ScreenArea> screenUnderPointer() override { return screen; }
    std::optional<ScreenArea> mainScreen() override { return main; }
};
