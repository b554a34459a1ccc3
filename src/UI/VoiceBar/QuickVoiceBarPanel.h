#pragma once

#include "UI/VoiceBar/VoiceBarPanel.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

class OverlayWindowing;
class QPropertyAnimation;
class QQmlEngine;
class QQuickItem;
class QQuickView;

// A voice bar window drawn by Qt Quick: one of the bar or toast views, on a panel of the overlay
// windowing that ignores the mouse. Where a compositor runs the window is transparent around the
// view's shape; where none does it is filled with the view's opaque colour and clipped to the
// shape the view reports (the notch's transcript chip changes it while the window is up). A notice
// whose whole text needs more height than the frame it is given grows: the classic one upwards,
// the notch one downwards.
class QuickVoiceBarPanel : public VoiceBarPanel
{
public:
    // The view's outline when it is drawn opaque.
    enum class Shape { classic, notchBar, notchToast };

    // `source` is the view's file; `properties` its required properties besides `translucent`.
    QuickVoiceBarPanel(QQmlEngine &engine, OverlayWindowing &windowing, const QUrl &source,
                       QVariantMap properties, QSize size, Shape shape);
    ~QuickVoiceBarPanel() override;

    void setFrame(QRect frame) override;
    void orderFront() override;
    void fade(qreal opacity, std::chrono::milliseconds duration, bool easeOut) override;
    void orderOut() override;

    QQuickView &window() const { return *m_view; }
    QQuickItem *root() const;

private:
    void clip();
    void applyFrame();

    OverlayWindowing &m_windowing;
    std::unique_ptr<QQuickView> m_view;
    Shape m_shape;
    bool m_translucent = false;
    bool m_clipped = false;
    QList<QRectF> m_chips;
    std::optional<QRect> m_frame;
    QSize m_clippedSize;
    QPointer<QPropertyAnimation> m_fade;
};
