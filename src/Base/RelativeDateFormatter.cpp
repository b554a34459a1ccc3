#include "Base/RelativeDateFormatter.h"

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

#include <cmath>

namespace {

std::unique_ptr<icu::RelativeDateTimeFormatter> makeFormatter(const icu::Locale &locale)
{
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::RelativeDateTimeFormatter>(
        locale, nullptr, UDAT_STYLE_SHORT, UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    return formatter;
}

} // namespace

RelativeDateFormatter::RelativeDateFormatter()
    : m_formatter(makeFormatter(icu::Locale::getDefault()))
{ }

RelativeDateFormatter::~RelativeDateFormatter() = default;

void RelativeDateFormatter::setLocale(const QString &code)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(code.toStdString().c_str(), status);
    if (U_FAILURE(status)) {
        return;
    }
    if (auto formatter = makeFormatter(locale)) {
        m_formatter = std::move(formatter);
    }
}

QString RelativeDateFormatter::string(const QDateTime &date, const QDateTime &relativeTo) const
{
    if (!m_formatter || !date.isValid() || !relativeTo.isValid()) {
        return {};
    }
    constexpr double minute = 60;
    constexpr double hour = 60 * minute;
    constexpr double day = 24 * hour;
    constexpr double week = 7 * day;
    constexpr double month = 30 * day;
    constexpr double year = 365 * day;
    const double seconds = double(relativeTo.msecsTo(date)) / 1000.0;
    const double distance = std::fabs(seconds);
    struct Unit
    {
        double length;
        URelativeDateTimeUnit unit;
    };
    static constexpr Unit units[] = {
        {year, UDAT_REL_UNIT_YEAR}, {month, UDAT_REL_UNIT_MONTH}, {week, UDAT_REL_UNIT_WEEK},
        {day, UDAT_REL_UNIT_DAY},   {hour, UDAT_REL_UNIT_HOUR},   {minute, UDAT_REL_UNIT_MINUTE},
        {1, UDAT_REL_UNIT_SECOND},
    };
    Unit chosen = units[std::size(units) - 1];
    for (const Unit &unit : units) {
        if (distance >= unit.length) {
            chosen = unit;
            break;
        }
    }
    const double count = std::trunc(seconds / chosen.length);
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    // Negative zero would read as the past; "now" reads as "in 0 sec." like the platform's.
    m_formatter->formatNumeric(count == 0 ? 0.0 : count, chosen.unit, text, status);
    if (U_FAILURE(status)) {
        return {};
    }
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}
