#include "UI/StatusItem/AlertBadge.h"

#include "Platform/MotionPreference.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/StatusItem/StatusButtonLayer.h"

namespace AlertBadge {

namespace {

// The icon is drawn on a 16-point design; the hole's centre is at (13, 3.1) of it.
constexpr qreal designSide = 16.0;
constexpr qreal holeX = 13.0;
constexpr qreal holeY = 3.1;
constexpr qreal diameterUnits = 5.8;

// The centre of the hole of an icon of this size centred in the button.
QPointF position(const StatusButton &button, qreal iconSize)
{
    const qreal unit = iconSize / designSide;
    const QRectF bounds = button.bounds();
    const qreal x = bounds.center().x() - iconSize / 2 + holeX * unit;
    const qreal y = button.isFlipped() ? bounds.center().y() - iconSize / 2 + holeY * unit
                                       : bounds.center().y() + iconSize / 2 - holeY * unit;
    return {x, y};
}

StatusButtonLayer *findBadge(const StatusButton &button)
{
    for (StatusButtonLayer *layer : button.sublayers()) {
        if (layer->name() == layerName) {
            return layer;
        }
    }
    return nullptr;
}

QColor systemRed()
{
    return QColor::fromRgb(255, 59, 48);
}

} // namespace

void update(StatusButton &button, bool visible, qreal iconSize)
{
    update(button, visible, iconSize, MotionPreference::system());
}

void update(StatusButton &button, bool visible, qreal iconSize, MotionPreference &motion)
{
    StatusButtonLayer *badge = findBadge(button);
    if (!visible) {
        if (badge) {
            badge->removeFromSuperlayer();
        }
        return;
    }
    if (badge) {
        badge->setPosition(position(button, iconSize));
        return;
    }
    const qreal diameter = iconSize / designSide * diameterUnits;
    badge = new StatusButtonLayer(layerName);
    badge->setBounds(QRectF(0, 0, diameter, diameter));
    badge->setCornerRadius(diameter / 2);
    badge->setBackgroundColor(systemRed());
    badge->setPosition(position(button, iconSize));
    badge->setContentsScale(button.windowScaleFactor().value_or(2.0));
    if (!motion.reduceMotion()) {
        badge->addAnimation(heartbeat(button.clock().uptime()), animationKey);
    }
    button.addSublayer(badge);
}

KeyframeAnimation heartbeat(std::chrono::nanoseconds beginTime)
{
    KeyframeAnimation animation;
    animation.keyPath = QStringLiteral("transform.scale");
    animation.values = {1.0, 0.74, 1.0, 0.82, 1.0, 1.0};
    animation.keyTimes = {0.0, 0.12, 0.28, 0.42, 0.6, 1.0};
    animation.duration = std::chrono::milliseconds(1600);
    animation.repeatsForever = true;
    QEasingCurve easeInOut(QEasingCurve::BezierSpline);
    easeInOut.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    animation.timing = easeInOut;
    animation.beginTime = beginTime;
    return animation;
}

} // namespace AlertBadge
