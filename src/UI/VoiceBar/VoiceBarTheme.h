#pragma once

#include <QColor>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The voice bar's colours and curve for its views: the fixed colours of the bar and the notch, and
// the classic bar's background and texts, which follow the desktop's light or dark appearance.
class VoiceBarTheme : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor hudFill READ hudFill NOTIFY changed)
    Q_PROPERTY(QColor hudOpaqueFill READ hudOpaqueFill NOTIFY changed)
    Q_PROPERTY(QColor primaryText READ primaryText NOTIFY changed)
    Q_PROPERTY(QColor secondaryText READ secondaryText NOTIFY changed)
    Q_PROPERTY(QColor tertiaryText READ tertiaryText NOTIFY changed)
    Q_PROPERTY(QColor volatileText READ volatileText NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor warn READ warn CONSTANT)
    Q_PROPERTY(QColor recordingRed READ recordingRed CONSTANT)
    Q_PROPERTY(QColor nearBlack READ nearBlack CONSTANT)
    Q_PROPERTY(QColor notchDot READ notchDot CONSTANT)
    Q_PROPERTY(QColor notchCountdown READ notchCountdown CONSTANT)
    // The theme's ease-out curve as QML's Easing.BezierSpline wants it.
    Q_PROPERTY(QVariantList easeOut READ easeOut CONSTANT)

public:
    static VoiceBarTheme &shared();
    // The instance of every QML engine; C++ keeps owning it.
    static VoiceBarTheme *create(QQmlEngine *, QJSEngine *);

    bool dark() const { return m_dark; }
    // The HUD background where a compositor shows what lies behind, and where none does.
    QColor hudFill() const;
    QColor hudOpaqueFill() const;
    QColor primaryText() const;
    QColor secondaryText() const;
    QColor tertiaryText() const;
    QColor volatileText() const;
    QColor accent() const;
    QColor warn() const;
    QColor recordingRed() const { return QColor(255, 59, 48); }
    QColor nearBlack() const { return QColor(5, 5, 7); }
    QColor notchDot() const { return QColor(74, 163, 255); }
    QColor notchCountdown() const { return QColor(255, 179, 64); }
    QVariantList easeOut() const;

Q_SIGNALS:
    void changed();

private:
    explicit VoiceBarTheme(QObject *parent = nullptr);

    void update();

    bool m_dark = false;
};
