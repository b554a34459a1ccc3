#include "UI/StatusItem/StatusButton.h"

#include "Base/Timer.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusButtonLayer.h"

#include <QPainter>

#include <cmath>

StatusButton::StatusButton(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_frameTimer(clock.makeTimer())
{
    connect(m_frameTimer.get(), &Timer::timeout, this, &StatusButton::frame);
}

StatusButton::~StatusButton() = default;

QImage StatusButton::image(qreal devicePixelRatio) const
{
    return m_image ? m_image(devicePixelRatio) : QImage();
}

void StatusButton::setImage(ImageProvider image)
{
    m_image = std::move(image);
    Q_EMIT needsDisplay();
}

void StatusButton::setToolTip(const QString &toolTip)
{
    if (m_toolTip == toolTip) {
        return;
    }
    m_toolTip = toolTip;
    Q_EMIT toolTipChanged();
}

void StatusButton::setWindowScaleFactor(std::optional<qreal> factor)
{
    m_windowScaleFactor = factor;
}

QList<StatusButtonLayer *> StatusButton::sublayers() const
{
    return findChildren<StatusButtonLayer *>(QString(), Qt::FindDirectChildrenOnly);
}

void StatusButton::addSublayer(StatusButtonLayer *layer)
{
    if (!layer || layer->parent() == this) {
        return;
    }
    layer->setParent(this);
    connect(layer, &StatusButtonLayer::changed, this, [this] {
        updateFrameTimer();
        Q_EMIT needsDisplay();
    });
    updateFrameTimer();
    Q_EMIT needsDisplay();
}

void StatusButton::removeSublayer(StatusButtonLayer *layer)
{
    if (!layer || layer->parent() != this) {
        return;
    }
    disconnect(layer, nullptr, this, nullptr);
    layer->setParent(nullptr);
    delete layer;
    updateFrameTimer();
    Q_EMIT needsDisplay();
}

bool StatusButton::isAnimating() const
{
    return m_frameTimer->isActive();
}

void StatusButton::updateFrameTimer()
{
    bool animated = false;
    for (const StatusButtonLayer *layer : sublayers()) {
        animated = animated || layer->hasAnimations();
    }
    if (animated && !m_frameTimer->isActive()) {
        m_lastPresentation = presentation();
        m_frameTimer->start(frameInterval, true);
    } else if (!animated && m_frameTimer->isActive()) {
        m_frameTimer->stop();
    }
}

QList<qreal> StatusButton::presentation() const
{
    const auto now = m_clock.uptime();
    QList<qreal> values;
    for (const StatusButtonLayer *layer : sublayers()) {
        // Steps finer than a 256th of the size do not show.
        values << std::round(layer->presentationScale(now) * 256.0);
    }
    return values;
}

void StatusButton::frame()
{
    QList<qreal> current = presentation();
    if (current != m_lastPresentation) {
        m_lastPresentation = std::move(current);
        Q_EMIT needsDisplay();
    }
}

QImage StatusButton::render(int pixelSide, const QColor &templateInk) const
{
    QImage canvas(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (pixelSide <= 0) {
        return canvas;
    }
    const qreal ratio = qreal(pixelSide) / buttonSide;
    canvas.setDevicePixelRatio(ratio);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    QImage picture = image(ratio);
    if (!picture.isNull()) {
        if (MenuBarIcon::isTemplate(picture)) {
            picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QPainter tint(&picture);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(QRectF(QPointF(), picture.deviceIndependentSize()), templateInk);
        }
        QRectF target(QPointF(), picture.deviceIndependentSize());
        target.moveCenter(bounds().center());
        painter.drawImage(target, picture);
    }
    const auto now = m_clock.uptime();
    for (const StatusButtonLayer *layer : sublayers()) {
        layer->paint(painter, now);
    }
    return canvas;
}
