#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;
class SettingsTheme;

// The onboarding kit's colours: the accent and green of its pages, and the appearance-dependent
// primary colour (dark on light, light on dark) from which the rows' fill and border are made.
// The appearance is the settings window's, so both windows always agree on light or dark.
class OKTheme : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor primary READ primary NOTIFY changed)
    Q_PROPERTY(QColor secondary READ secondary NOTIFY changed)
    Q_PROPERTY(QColor tertiary READ tertiary NOTIFY changed)
    Q_PROPERTY(QColor background READ background NOTIFY changed)
    Q_PROPERTY(QColor rowFill READ rowFill NOTIFY changed)
    Q_PROPERTY(QColor rowStroke READ rowStroke NOTIFY changed)

public:
    static OKTheme &shared();
    // The instance of every QML engine; C++ keeps owning it.
    static OKTheme *create(QQmlEngine *, QJSEngine *);

    explicit OKTheme(SettingsTheme &settingsTheme, QObject *parent = nullptr);

    // sRGB 10, 132, 255.
    static QColor accent();
    // sRGB 5, 150, 105.
    static QColor green();
    bool dark() const;
    QColor primary() const;
    // The hierarchical secondary and tertiary text styles.
    QColor secondary() const;
    QColor tertiary() const;
    QColor background() const;
    // The primary colour at 0.05 and 0.07.
    QColor rowFill() const;
    QColor rowStroke() const;

    // The room a key cap leaves on either side of its caption: none for a single user-perceived
    // character, 8 for a longer caption.
    static int captionPadding(const QString &caption);
    Q_INVOKABLE int keycapPadding(const QString &caption) const { return captionPadding(caption); }

Q_SIGNALS:
    void changed();

private:
    QColor primaryAt(qreal opacity) const;

    SettingsTheme &m_settingsTheme;
};
