#include "UI/StatusItem/StatusButtonLayer.h"

#include "UI/StatusItem/StatusButton.h"

#include <QPainter>

StatusButtonLayer::StatusButtonLayer(const QString &name, QObject *parent)
    : QObject(parent)
{
    setObjectName(name);
}

StatusButton *StatusButtonLayer::superlayer() const
{
    return qobject_cast<StatusButton *>(parent());
}

void StatusButtonLayer::removeFromSuperlayer()
{
    if (StatusButton *button = superlayer()) {
        button->removeSublayer(this);
    }
}

void StatusButtonLayer::setBounds(const QRectF &bounds)
{
    m_bounds = bounds;
    Q_EMIT changed();
}

void StatusButtonLayer::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    Q_EMIT changed();
}

void StatusButtonLayer::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    Q_EMIT changed();
}

void StatusButtonLayer::setPosition(const QPointF &position)
{
    m_position = position;
    Q_EMIT changed();
}

void StatusButtonLayer::setContentsScale(qreal scale)
{
    m_contentsScale = scale;
    Q_EMIT changed();
}

void StatusButtonLayer::addAnimation(const KeyframeAnimation &animation, const QString &key)
{
    for (auto &[existingKey, existing] : m_animations) {
        if (existingKey == key) {
            existing = animation;
            Q_EMIT changed();
            return;
        }
    }
    m_animations.append({key, animation});
    Q_EMIT changed();
}

const KeyframeAnimation *StatusButtonLayer::animation(const QString &key) const
{
    for (const auto &[existingKey, existing] : m_animations) {
        if (existingKey == key) {
            return &existing;
        }
    }
    return nullptr;
}

QStringList StatusButtonLayer::animationKeys() const
{
    QStringList keys;
    for (const auto &entry : m_animations) {
        keys << entry.first;
    }
    return keys;
}

qreal StatusButtonLayer::presentationScale(std::chrono::nanoseconds uptime) const
{
    qreal scale = 1.0;
    for (const auto &entry : m_animations) {
        if (entry.second.keyPath == QLatin1String("transform.scale")) {
            scale *= entry.second.value(uptime);
        }
    }
    return scale;
}

void StatusButtonLayer::paint(QPainter &painter, std::chrono::nanoseconds uptime) const
{
    if (m_bounds.isEmpty() || m_backgroundColor.alpha() == 0) {
        return;
    }
    const qreal scale = presentationScale(uptime);
    if (scale <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(m_position);
    painter.scale(scale, scale);
    QRectF rect(QPointF(), m_bounds.size());
    rect.moveCenter(QPointF());
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_backgroundColor);
    painter.drawRoundedRect(rect, m_cornerRadius, m_cornerRadius);
    painter.restore();
}
