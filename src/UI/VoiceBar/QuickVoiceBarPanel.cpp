#include "UI/VoiceBar/QuickVoiceBarPanel.h"

#include "Platform/OverlayWindowing.h"
#include "UI/Theme.h"
#include "UI/VoiceBar/VoiceBarGeometry.h"

#include <QPropertyAnimation>
#include <QQuickItem>
#include <QQuickView>

#include <cmath>

QuickVoiceBarPanel::QuickVoiceBarPanel(QQmlEngine &engine, OverlayWindowing &windowing,
                                       const QUrl &source, QVariantMap properties, QSize size,
                                       Shape shape)
    : m_windowing(windowing)
    , m_view(std::make_unique<QQuickView>(&engine, nullptr))
    , m_shape(shape)
{
    m_windowing.prepare(*m_view, true);
    m_translucent = m_windowing.translucencyAvailable();
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->resize(size);
    properties.insert(QStringLiteral("translucent"), m_translucent);
    m_view->setInitialProperties(properties);
    m_view->setSource(source);
    QQuickItem *item = root();
    if (m_translucent) {
        m_view->setColor(Qt::transparent);
    } else if (item) {
        // Without a compositor transparent pixels show black: the window takes the view's own
        // fill and keeps only the view's shape.
        m_view->setColor(item->property("opaqueFill").value<QColor>());
        // The notch's chips come and go with the transcript: the shape is checked before every
        // frame, and set again only when it changed.
        QObject::connect(m_view.get(), &QQuickWindow::afterAnimating, m_view.get(),
                         [this] { clip(); });
    }
    if (item) {
        item->setOpacity(0);
        // The text of a notice is wrapped once the view is laid out, which may make it taller.
        QObject::connect(item, &QQuickItem::implicitHeightChanged, m_view.get(),
                         [this] { applyFrame(); });
    }
    clip();
}

QuickVoiceBarPanel::~QuickVoiceBarPanel() = default;

QQuickItem *QuickVoiceBarPanel::root() const
{
    return m_view->rootObject();
}

void QuickVoiceBarPanel::setFrame(QRect frame)
{
    m_frame = frame;
    applyFrame();
}

void QuickVoiceBarPanel::applyFrame()
{
    if (!m_frame) {
        return;
    }
    QRect frame = *m_frame;
    if (QQuickItem *item = root()) {
        const int wanted = int(std::ceil(item->implicitHeight()));
        if (wanted > frame.height()) {
            if (m_shape == Shape::classic) {
                frame.setTop(frame.bottom() + 1 - wanted);
            } else {
                frame.setHeight(wanted);
            }
        }
    }
    m_view->setGeometry(frame);
    clip();
}

void QuickVoiceBarPanel::orderFront()
{
    m_windowing.beforeShow(*m_view);
    m_view->show();
    if (QQuickItem *item = root()) {
        // The entrance (the classic bar growing into place, the notch tab sliding down) plays as
        // the window appears.
        item->setProperty("appeared", true);
    }
}

void QuickVoiceBarPanel::fade(qreal opacity, std::chrono::milliseconds duration, bool easeOut)
{
    QQuickItem *item = root();
    if (!item) {
        return;
    }
    if (m_fade) {
        m_fade->stop();
        delete m_fade;
    }
    auto *animation = new QPropertyAnimation(item, "opacity", m_view.get());
    animation->setDuration(int(duration.count()));
    animation->setEndValue(opacity);
    animation->setEasingCurve(easeOut ? Theme::easeOut() : QEasingCurve(QEasingCurve::InOutQuad));
    m_fade = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void QuickVoiceBarPanel::orderOut()
{
    if (m_fade) {
        m_fade->stop();
    }
    m_view->hide();
}

void QuickVoiceBarPanel::clip()
{
    if (m_translucent) {
        return;
    }
    if (m_shape == Shape::classic) {
        // Checked every frame: worked out again only when a notice grew.
        if (m_view->mask().isEmpty() || m_clippedSize != m_view->size()) {
            m_clippedSize = m_view->size();
            m_windowing.clipToRegion(*m_view, VoiceBarGeometry::classicShape(m_clippedSize));
        }
        return;
    }
    QList<QRectF> chips;
    if (QQuickItem *item = root()) {
        for (const QVariant &chip : item->property("chips").toList()) {
            const QRectF rect = chip.toRectF();
            if (!rect.isEmpty()) {
                chips << rect;
            }
        }
    }
    if (m_clipped && chips == m_chips) {
        return;
    }
    m_clipped = true;
    m_chips = chips;
    m_windowing.clipToRegion(*m_view,
                             VoiceBarGeometry::notchShape(m_shape == Shape::notchBar, chips));
}
