#pragma once

#include "UI/KeyframeAnimation.h"

#include <QString>

#include <chrono>

class MotionPreference;
class StatusButton;

// The small red pulsing dot at the top right of the status icon, in the hole the badged icon
// leaves for it: a layer named layerName on the status button, at most one per button.
namespace AlertBadge {

inline const QString layerName = QStringLiteral("tarvoss.alertBadge");
// The key of the badge's beating animation.
inline const QString animationKey = QStringLiteral("heartbeat");

// Shows, moves or removes the badge on the button for an icon of `iconSize` points centred in it.
// A badge that is already shown is only moved: its beat goes on undisturbed. A new badge beats
// unless the desktop asks for reduced motion (asked only then); it is a still red disc otherwise.
void update(StatusButton &button, bool visible, qreal iconSize);
void update(StatusButton &button, bool visible, qreal iconSize, MotionPreference &motion);

// The beat: the scale goes 1.0, 0.74, 1.0, 0.82, 1.0, 1.0 at 0, 0.12, 0.28, 0.42, 0.6 and 1.0 of
// 1.6 seconds, eased in and out, without end: two quick contractions, then a rest at full size.
KeyframeAnimation heartbeat(std::chrono::nanoseconds beginTime);

} // namespace AlertBadge
