#include "UI/Pills/CapsuleSegmentedControl.h"

#include "UI/Pills/CapsuleSegmentGeometry.h"
#include "UI/Pills/SettingsTheme.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QQuickWindow>

namespace {

QString filePath(const QString &source)
{
    return source.startsWith(QLatin1String("qrc:")) ? source.mid(3) : source;
}

} // namespace

CapsuleSegmentedControl::CapsuleSegmentedControl(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setAntialiasing(true);
    connect(&SettingsTheme::shared(), &SettingsTheme::changed, this, [this] { update(); });
}

void CapsuleSegmentedControl::setImages(const QStringList &images)
{
    if (images == m_images) {
        return;
    }
    m_images = images;
    m_loaded.clear();
    for (const QString &source : images) {
        // Icons are kept at twice their size, sharp on high-density screens too.
        QImageReader reader(filePath(source));
        if (reader.size().isValid()) {
            reader.setScaledSize(reader.size() * 2);
        }
        QImage image = reader.read();
        image.setDevicePixelRatio(2);
        m_loaded.append(image);
    }
    const int clamped = CapsuleSegmentGeometry::clampIndex(m_selectedIndex, segmentCount());
    Q_EMIT imagesChanged();
    if (clamped != m_selectedIndex) {
        m_selectedIndex = clamped;
        Q_EMIT selectedIndexChanged();
    }
    update();
}

void CapsuleSegmentedControl::setCornerRadius(qreal radius)
{
    const std::optional<qreal> value = radius < 0 ? std::nullopt : std::optional<qreal>(radius);
    if (value == m_cornerRadius) {
        return;
    }
    m_cornerRadius = value;
    Q_EMIT cornerRadiusChanged();
    update();
}

int CapsuleSegmentedControl::segmentCount() const
{
    return CapsuleSegmentGeometry::segmentCount(m_images.size());
}

void CapsuleSegmentedControl::setSelectedIndex(int index)
{
    const int clamped = CapsuleSegmentGeometry::clampIndex(index, segmentCount());
    if (clamped == m_selectedIndex) {
        return;
    }
    m_selectedIndex = clamped;
    Q_EMIT selectedIndexChanged();
    update();
}

void CapsuleSegmentedControl::choose(int index)
{
    const int clamped = CapsuleSegmentGeometry::clampIndex(index, segmentCount());
    if (clamped == m_selectedIndex) {
        return;
    }
    setSelectedIndex(clamped);
    Q_EMIT select(clamped);
}

void CapsuleSegmentedControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    choose(CapsuleSegmentGeometry::indexAt(event->position().x(), width(), segmentCount()));
    event->accept();
}

QImage CapsuleSegmentedControl::tinted(int index, const QColor &color) const
{
    QImage image = m_loaded.value(index);
    if (image.isNull()) {
        return image;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The icon is a template: only its shape counts, drawn in the state's colour.
    QPainter tint(&image);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(image.rect(), color);
    return image;
}

void CapsuleSegmentedControl::paint(QPainter *painter)
{
    const SettingsTheme &theme = SettingsTheme::shared();
    const qreal w = width();
    const qreal h = height();
    const int count = segmentCount();
    const QColor overlay = theme.segOverlay();
    const QRectF bounds(0, 0, w, h);
    const qreal r = CapsuleSegmentGeometry::outlineRadius(h, m_cornerRadius);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), r, r);
    painter->setPen(QPen(overlay, 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(outline);

    painter->save();
    QPainterPath clip;
    const qreal clipR = CapsuleSegmentGeometry::clipRadius(h, m_cornerRadius);
    clip.addRoundedRect(bounds.adjusted(1, 1, -1, -1), clipR, clipR);
    painter->setClipPath(clip);
    painter->fillRect(CapsuleSegmentGeometry::selectedRect(w, h, count, m_selectedIndex), overlay);
    for (const QRect &divider : CapsuleSegmentGeometry::dividers(w, h, count, m_selectedIndex)) {
        painter->fillRect(divider, overlay);
    }
    painter->restore();

    for (int i = 0; i < m_loaded.size(); ++i) {
        const QImage icon =
            tinted(i, i == m_selectedIndex ? theme.primary(0.85) : theme.secondaryText());
        if (icon.isNull()) {
            continue;
        }
        const QSizeF size = icon.deviceIndependentSize();
        painter->drawImage(CapsuleSegmentGeometry::iconOrigin(i, size, w, h, count), icon);
    }
    painter->restore();
}
