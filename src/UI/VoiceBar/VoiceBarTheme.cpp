#include "UI/VoiceBar/VoiceBarTheme.h"

#include "UI/Pills/SettingsTheme.h"
#include "UI/Theme.h"

#include <QJSEngine>

VoiceBarTheme &VoiceBarTheme::shared()
{
    static auto *theme = new VoiceBarTheme();
    return *theme;
}

VoiceBarTheme *VoiceBarTheme::create(QQmlEngine *, QJSEngine *)
{
    QJSEngine::setObjectOwnership(&shared(), QJSEngine::CppOwnership);
    return &shared();
}

VoiceBarTheme::VoiceBarTheme(QObject *parent)
    : QObject(parent)
{
    // The settings palette already follows the desktop's appearance; the bar follows it too.
    connect(&SettingsTheme::shared(), &SettingsTheme::changed, this, &VoiceBarTheme::update);
    m_dark = SettingsTheme::shared().dark();
}

void VoiceBarTheme::update()
{
    const bool dark = SettingsTheme::shared().dark();
    if (dark != m_dark) {
        m_dark = dark;
        Q_EMIT changed();
    }
}

QColor VoiceBarTheme::hudFill() const
{
    QColor fill = hudOpaqueFill();
    fill.setAlphaF(0.92f);
    return fill;
}

QColor VoiceBarTheme::hudOpaqueFill() const
{
    return m_dark ? QColor(38, 38, 41) : QColor(242, 242, 245);
}

QColor VoiceBarTheme::primaryText() const
{
    return m_dark ? QColor(255, 255, 255, 235) : QColor(0, 0, 0, 222);
}

QColor VoiceBarTheme::secondaryText() const
{
    return m_dark ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 128);
}

QColor VoiceBarTheme::tertiaryText() const
{
    return m_dark ? QColor(255, 255, 255, 64) : QColor(0, 0, 0, 66);
}

QColor VoiceBarTheme::volatileText() const
{
    // The label colour at 60 %.
    return m_dark ? QColor(255, 255, 255, 153) : QColor(0, 0, 0, 153);
}

QColor VoiceBarTheme::accent() const
{
    return Theme::accent();
}

QColor VoiceBarTheme::warn() const
{
    return Theme::warn();
}

QVariantList VoiceBarTheme::easeOut() const
{
    return {0.16, 1.0, 0.3, 1.0, 1.0, 1.0};
}
