#pragma once

#include "UI/KeyframeAnimation.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QStringList>

#include <chrono>
#include <utility>

class QPainter;
class StatusButton;

// A plain layer drawn over a status button's image: a rounded rectangle of one colour, placed by
// its centre, that key-frame animations may scale. Its name is its object name; its superlayer is
// the StatusButton it was added to, which owns it.
class StatusButtonLayer : public QObject
{
    Q_OBJECT

public:
    explicit StatusButtonLayer(const QString &name, QObject *parent = nullptr);

    QString name() const { return objectName(); }
    // The button this layer was added to; absent before.
    StatusButton *superlayer() const;
    // Removes the layer from its button and deletes it.
    void removeFromSuperlayer();

    // Size of the layer at its origin, in points.
    QRectF bounds() const { return m_bounds; }
    void setBounds(const QRectF &bounds);
    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);
    // The layer's centre in the button's coordinates.
    QPointF position() const { return m_position; }
    void setPosition(const QPointF &position);
    // Pixels per point the layer's content is meant for.
    qreal contentsScale() const { return m_contentsScale; }
    void setContentsScale(qreal scale);

    // Adds an animation under `key`, replacing one already there.
    void addAnimation(const KeyframeAnimation &animation, const QString &key);
    // The animation under `key`; absent when there is none.
    const KeyframeAnimation *animation(const QString &key) const;
    QStringList animationKeys() const;
    bool hasAnimations() const { return !m_animations.isEmpty(); }

    // The scale the layer shows at this monotonic time: the product of its "transform.scale"
    // animations, 1 without any.
    qreal presentationScale(std::chrono::nanoseconds uptime) const;
    // Draws the layer as it shows at this time, in the button's coordinates.
    void paint(QPainter &painter, std::chrono::nanoseconds uptime) const;

Q_SIGNALS:
    // A property or an animation changed.
    void changed();

private:
    QRectF m_bounds;
    qreal m_cornerRadius = 0;
    QColor m_backgroundColor = Qt::transparent;
    QPointF m_position;
    qreal m_contentsScale = 1.0;
    QList<std::pair<QString, KeyframeAnimation>> m_animations;
};
