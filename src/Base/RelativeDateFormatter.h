#pragma once

#include <QDateTime>
#include <QString>

#include <unicode/uversion.h>

#include <memory>

U_NAMESPACE_BEGIN
class RelativeDateTimeFormatter;
U_NAMESPACE_END

// A date as an abbreviated phrase relative to another ("5 min. ago", "in 2 days"), in the
// largest whole unit that fits the distance: seconds, minutes, hours, days, weeks, months or
// years. The phrase is in the formatter's locale, the user's locale until another is set.
class RelativeDateFormatter
{
public:
    RelativeDateFormatter();
    ~RelativeDateFormatter();

    RelativeDateFormatter(const RelativeDateFormatter &) = delete;
    RelativeDateFormatter &operator=(const RelativeDateFormatter &) = delete;

    // A locale by its code ("ja", "pt-BR", "zh-Hans"); an unknown code falls back the way ICU's
    // locale data does, to the root locale at worst.
    void setLocale(const QString &code);

    QString string(const QDateTime &date, const QDateTime &relativeTo) const;

private:
    std::unique_ptr<icu::RelativeDateTimeFormatter> m_formatter;
};
