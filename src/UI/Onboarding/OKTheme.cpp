#include "UI/Onboarding/OKTheme.h"

#include "Base/Unicode.h"
#include "UI/Pills/SettingsTheme.h"
#include "UI/Theme.h"

#include <QJSEngine>

OKTheme &OKTheme::shared()
{
    static auto *theme = new OKTheme(SettingsTheme::shared());
    return *theme;
}

OKTheme *OKTheme::create(QQmlEngine *, QJSEngine *)
{
    QJSEngine::setObjectOwnership(&shared(), QJSEngine::CppOwnership);
    return &shared();
}

OKTheme::OKTheme(SettingsTheme &settingsTheme, QObject *parent)
    : QObject(parent)
    , m_settingsTheme(settingsTheme)
{
    connect(&m_settingsTheme, &SettingsTheme::changed, this, &OKTheme::changed);
}

QColor OKTheme::accent()
{
    return Theme::accent();
}

QColor OKTheme::green()
{
    return QColor(5, 150, 105);
}

bool OKTheme::dark() const
{
    return m_settingsTheme.dark();
}

QColor OKTheme::primary() const
{
    return m_settingsTheme.foreground();
}

QColor OKTheme::secondary() const
{
    return m_settingsTheme.secondaryText();
}

QColor OKTheme::tertiary() const
{
    return m_settingsTheme.tertiaryText();
}

QColor OKTheme::background() const
{
    return m_settingsTheme.background();
}

QColor OKTheme::rowFill() const
{
    return primaryAt(0.05);
}

QColor OKTheme::rowStroke() const
{
    return primaryAt(0.07);
}

QColor OKTheme::primaryAt(qreal opacity) const
{
    QColor colour = primary();
    colour.setAlphaF(float(opacity));
    return colour;
}

int OKTheme::captionPadding(const QString &caption)
{
    return Unicode::graphemeCount(caption) > 1 ? 8 : 0;
}
