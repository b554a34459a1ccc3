#include "UI/SettingsPalette.h"

#include "UI/Theme.h"

#include <QEvent>
#include <QGuiApplication>

SettingsPalette &SettingsPalette::shared()
{
    static auto *palette = new SettingsPalette();
    return *palette;
}

SettingsPalette::SettingsPalette(QObject *parent)
    : QObject(parent)
{
    follow(QGuiApplication::palette());
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

QColor SettingsPalette::foreground() const
{
    return m_dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
}

QColor SettingsPalette::background() const
{
    return m_dark ? QColor(30, 30, 32) : QColor(246, 246, 248);
}

QColor SettingsPalette::sidebar() const
{
    return m_dark ? QColor(40, 40, 43) : QColor(232, 232, 236);
}

QColor SettingsPalette::accent() const
{
    return Theme::accent();
}

QColor SettingsPalette::danger() const
{
    return QColor(255, 59, 48);
}

void SettingsPalette::follow(const QPalette &palette)
{
    const bool dark = Theme::isDark(palette);
    if (dark == m_dark) {
        return;
    }
    m_dark = dark;
    Q_EMIT changed();
}

bool SettingsPalette::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance()
        && event->type() == QEvent::ApplicationPaletteChange) {
        follow(QGuiApplication::palette());
    }
    return QObject::eventFilter(watched, event);
}
