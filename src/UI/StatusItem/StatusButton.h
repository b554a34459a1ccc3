#pragma once

#include "Base/Clock.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class StatusButtonLayer;
class Timer;

// The status item's button: a square of buttonSide points holding an image, centred, with its
// layers (the alert badge) drawn over it, and a tooltip. What the tray shows is render()ed from it.
//
// The image is given as a function that draws it at a device pixel ratio, so it stays sharp at
// every size a tray asks for. A template image (MenuBarIcon::isTemplate) counts only by its
// alpha: render() paints it in the ink it is given, the colour that reads on the panel.
//
// While a layer is animated, a frame timer on the clock asks for a new rendering each time the
// animated picture changes (not during a rest), at most once per frameInterval; needsDisplay()
// says when to render again.
//
// Main thread only.
class StatusButton : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip NOTIFY toolTipChanged)

public:
    using ImageProvider = std::function<QImage(qreal devicePixelRatio)>;

    // The side of the square button, in points.
    static constexpr qreal buttonSide = 22.0;
    // How often an animated layer is looked at: five frames a second. Every new picture is a new
    // icon sent to the tray host, which shows a few frames a second at most; 200 ms also divides
    // the alert badge's 1.6-second beat, so each beat is sampled at the same moments.
    static constexpr std::chrono::nanoseconds frameInterval {std::chrono::milliseconds(200)};

    explicit StatusButton(Clock &clock = Clock::system(), QObject *parent = nullptr);
    ~StatusButton() override;

    Clock &clock() const { return m_clock; }

    bool hasImage() const { return bool(m_image); }
    // The image at this device pixel ratio; a null image when there is none.
    QImage image(qreal devicePixelRatio = 1.0) const;
    void setImage(ImageProvider image);

    QString toolTip() const { return m_toolTip; }
    void setToolTip(const QString &toolTip);

    QRectF bounds() const { return {0, 0, buttonSide, buttonSide}; }
    // Qt's coordinates grow downwards.
    bool isFlipped() const { return true; }
    // Pixels per point of the window the button is shown in; absent while it is not shown.
    std::optional<qreal> windowScaleFactor() const { return m_windowScaleFactor; }
    void setWindowScaleFactor(std::optional<qreal> factor);

    // The layers over the image, in the order they were added.
    QList<StatusButtonLayer *> sublayers() const;
    // Takes ownership of the layer and draws it from now on.
    void addSublayer(StatusButtonLayer *layer);
    // Deletes the layer, which must be one of this button's.
    void removeSublayer(StatusButtonLayer *layer);

    // The button as it shows now, on a square of `pixelSide` device pixels, template images in
    // `templateInk`.
    QImage render(int pixelSide, const QColor &templateInk) const;

    bool isAnimating() const;

Q_SIGNALS:
    // The picture changed: the image, a layer, or an animation frame.
    void needsDisplay();
    void toolTipChanged();

private:
    void updateFrameTimer();
    void frame();
    QList<qreal> presentation() const;

    Clock &m_clock;
    ImageProvider m_image;
    QString m_toolTip;
    std::optional<qreal> m_windowScaleFactor;
    std::unique_ptr<Timer> m_frameTimer;
    QList<qreal> m_lastPresentation;
};
