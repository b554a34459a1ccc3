#pragma once

#include <QProxyStyle>

// The tray menu's look: the application's style, but with the check box of a checkable entry
// (Pause, the microphone and history choices) drawn in the entry's own text colour. The stock
// box takes its frame from the window colour, which under a dark desktop palette leaves an
// unticked box next to invisible on the dark menu. Main thread only.
class TrayMenuStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};
