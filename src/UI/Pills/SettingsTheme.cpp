#include "UI/Pills/SettingsTheme.h"

#include "UI/Pills/PillTheme.h"
#include "UI/Theme.h"

#include <QEvent>
#include <QGuiApplication>

SettingsTheme &SettingsTheme::shared()
{
    static auto *theme = new SettingsTheme();
    return *theme;
}

SettingsTheme::SettingsTheme(QObject *parent)
    : QObject(parent)
{
    follow(QGuiApplication::palette());
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

QColor SettingsTheme::primary(qreal opacity) const
{
    QColor color = foreground();
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QColor SettingsTheme::foreground() const
{
    return m_dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
}

// Secondary and tertiary text stay readable on the card fills (contrast 4.5:1 or better).
QColor SettingsTheme::secondaryText() const
{
    return primary(0.6);
}

QColor SettingsTheme::tertiaryText() const
{
    return primary(0.5);
}

QColor SettingsTheme::background() const
{
    return m_dark ? QColor(30, 30, 32) : QColor(246, 246, 248);
}

QColor SettingsTheme::sidebar() const
{
    return m_dark ? QColor(40, 40, 43) : QColor(232, 232, 236);
}

QColor SettingsTheme::sidebarDivider() const
{
    return primary(0.1);
}

QColor SettingsTheme::cardFill() const
{
    return primary(0.055);
}

QColor SettingsTheme::cardBorder() const
{
    return primary(0.07);
}

QColor SettingsTheme::chipFill() const
{
    return primary(0.045);
}

QColor SettingsTheme::chipBorder() const
{
    return primary(0.14);
}

QColor SettingsTheme::pillFieldFill() const
{
    return primary(0.06);
}

QColor SettingsTheme::pillFieldBorder() const
{
    return primary(0.12);
}

QColor SettingsTheme::divider() const
{
    return primary(0.08);
}

QColor SettingsTheme::field() const
{
    return PillTheme::field(m_dark);
}

QColor SettingsTheme::fieldBorder() const
{
    return PillTheme::fieldBorder(m_dark);
}

QColor SettingsTheme::fieldPressed() const
{
    return primary(0.12);
}

QColor SettingsTheme::segOverlay() const
{
    return PillTheme::segOverlay(m_dark);
}

QColor SettingsTheme::switchTrack() const
{
    return primary(m_dark ? 0.22 : 0.16);
}

QColor SettingsTheme::accent() const
{
    return Theme::accent();
}

QColor SettingsTheme::warn() const
{
    return Theme::warn();
}

QColor SettingsTheme::focusRing() const
{
    QColor ring = Theme::accent();
    ring.setAlphaF(0.6f);
    return ring;
}

QColor SettingsTheme::danger() const
{
    return QColor(255, 59, 48);
}

QColor SettingsTheme::success() const
{
    return QColor(5, 150, 105);
}

QColor SettingsTheme::successFill() const
{
    return QColor::fromRgbF(5 / 255.0f, 150 / 255.0f, 105 / 255.0f, 0.14f);
}

void SettingsTheme::follow(const QPalette &palette)
{
    const bool dark = Theme::isDark(palette);
    if (dark == m_dark) {
        return;
    }
    m_dark = dark;
    Q_EMIT changed();
}

bool SettingsTheme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance()
        && event->type() == QEvent::ApplicationPaletteChange) {
        follow(QGuiApplication::palette());
    }
    return QObject::eventFilter(watched, event);
}
