#include "UI/Onboarding/OKTheme.h"

#include "Base/Unicode.h"
#include "UI/SettingsPalette.h"
#include "UI/Theme.h"

OKTheme &OKTheme::shared()
{
    static auto *theme = new OKTheme(SettingsPalette::shared());
    return *theme;
}

OKTheme::OKTheme(SettingsPalette &palette, QObject *parent)
    : QObject(parent)
    , m_palette(palette)
{
    connect(&m_palette, &SettingsPalette::changed, this, &OKTheme::changed);
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
    return m_palette.dark();
}

QColor OKTheme::primary() const
{
    return m_palette.foreground();
}

QColor OKTheme::secondary() const
{
    return primaryAt(dark() ? 0.55 : 0.5);
}

QColor OKTheme::tertiary() const
{
    return primaryAt(dark() ? 0.35 : 0.3);
}

QColor OKTheme::background() const
{
    return m_palette.background();
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
