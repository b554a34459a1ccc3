#pragma once

#include <QRect>

#include <chrono>

// One window of the voice bar: the bar itself or a toast. It never takes the keyboard focus and
// lets every click through to the window below; it shows on every workspace. Made hidden and
// transparent by a VoiceBarPanelFactory. Main thread.
class VoiceBarPanel
{
public:
    virtual ~VoiceBarPanel() = default;

    virtual void setFrame(QRect frame) = 0;
    // Puts the window on screen, in front, without activating anything; still transparent.
    virtual void orderFront() = 0;
    // Animates the window's opacity to `opacity` over `duration`; `easeOut` uses the theme's
    // ease-out curve, else a plain ease-in-out.
    virtual void fade(qreal opacity, std::chrono::milliseconds duration, bool easeOut) = 0;
    // Takes the window off screen at once.
    virtual void orderOut() = 0;
};
