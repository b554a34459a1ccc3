#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The answer card's colours. The card is always dark, whatever the desktop's appearance: light
// text on a dark backdrop, with a translucent fill and a hairline border on top.
class AnswerCardPalette : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(CardTheme)
    QML_SINGLETON
    // Stands in for the desktop's blurred dark material behind the card: translucent where a
    // compositor runs, opaque where none does.
    Q_PROPERTY(QColor backdrop READ backdrop CONSTANT)
    Q_PROPERTY(QColor opaqueBackdrop READ opaqueBackdrop CONSTANT)
    Q_PROPERTY(QColor fill READ fill CONSTANT)
    Q_PROPERTY(QColor border READ border CONSTANT)
    Q_PROPERTY(QColor hairline READ hairline CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)

public:
    static AnswerCardPalette &shared();
    // The instance of every QML engine; C++ keeps owning it.
    static AnswerCardPalette *create(QQmlEngine *, QJSEngine *);

    static QColor backdrop() { return QColor(24, 24, 26, 224); }
    static QColor opaqueBackdrop() { return QColor(40, 40, 43); }
    static QColor fill() { return QColor::fromRgbF(28 / 255.0f, 28 / 255.0f, 31 / 255.0f, 0.55f); }
    static QColor border() { return white(0.12); }
    static QColor hairline() { return white(0.1); }
    static QColor accent();

    // White at an opacity, as most of the card's texts are drawn.
    Q_INVOKABLE static QColor white(qreal opacity) { return QColor::fromRgbF(1, 1, 1, opacity); }

private:
    AnswerCardPalette() = default;
};
