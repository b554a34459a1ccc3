#include "UI/Settings/CleanupUsage.h"

#include "Base/Json.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const Json::Object *member(const Json::Object &object, const char *key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<QString> text(const Json::Object &object, const char *key)
{
    const Json::Object *value = member(object, key);
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return Json::fromStd(value->get<std::string>());
}

// Only a JSON integer: a number written with a fraction or an exponent is not one, even when its
// value is whole.
std::optional<qint64> integer(const Json::Object &object, const char *key)
{
    const Json::Object *value = member(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return static_cast<qint64>(number);
    }
    if (value->is_number_integer()) {
        return value->get<std::int64_t>();
    }
    return std::nullopt;
}

std::optional<CleanupUsage::Pair> pair(const Json::Object &object, const char *key)
{
    const Json::Object *value = member(object, key);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    const auto used = integer(*value, "used");
    const auto limit = integer(*value, "limit");
    if (!used || !limit) {
        return std::nullopt;
    }
    return CleanupUsage::Pair {*used, *limit};
}

QString shortTime(const QDateTime &local, const QLocale &locale)
{
    return locale.toString(local.time(), QLocale::ShortFormat);
}

} // namespace

std::optional<CleanupUsage> CleanupUsage::decode(const QByteArray &body)
{
    Json::Object root;
    try {
        root = Json::parse(body);
    } catch (const Json::DecodeError &) {
        return std::nullopt;
    }
    if (!root.is_object()) {
        return std::nullopt;
    }
    auto tier = text(root, "tier");
    const auto requests = pair(root, "requests");
    const auto costMicros = pair(root, "costMicros");
    auto resetAt = text(root, "resetAt");
    if (!tier || !requests || !costMicros || !resetAt) {
        return std::nullopt;
    }
    return CleanupUsage {std::move(*tier), *requests, *costMicros, std::move(*resetAt)};
}

double CleanupUsage::fraction(const Pair &pair)
{
    if (pair.limit < 1) {
        return 0;
    }
    return static_cast<double>(pair.used) / static_cast<double>(pair.limit);
}

qint64 CleanupUsage::percentage(double fraction)
{
    const double rounded = std::round(fraction * 100);
    // 2^63 is exactly representable; everything from it on (and from -2^63 down) is held at the
    // ends, since converting it to an integer would be undefined.
    constexpr double top = 9223372036854775808.0;
    if (std::isnan(rounded)) {
        return 0;
    }
    if (rounded >= top) {
        return std::numeric_limits<qint64>::max();
    }
    if (rounded <= -top) {
        return std::numeric_limits<qint64>::min();
    }
    return static_cast<qint64>(rounded);
}

QString CleanupUsage::requestsDetail(const Pair &pair)
{
    return QString::number(pair.used) + QStringLiteral(" / ") + QString::number(pair.limit);
}

QString CleanupUsage::percentageDetail(qint64 percentage)
{
    return QString::number(percentage) + QLatin1Char('%');
}

double CleanupUsage::fillWidth(double fraction, double barWidth)
{
    const double least = fraction > 0 ? 4.0 : 0.0;
    return std::max(least, std::min(fraction, 1.0) * barWidth);
}

std::optional<QString> CleanupUsage::localResetTime() const
{
    const auto instant = Json::parseIso8601(resetAt);
    if (!instant) {
        return std::nullopt;
    }
    return shortTime(instant->toLocalTime(), QLocale());
}

std::optional<QString> CleanupUsage::localResetTime(const QLocale &locale,
                                                    const QTimeZone &zone) const
{
    const auto instant = Json::parseIso8601(resetAt);
    if (!instant) {
        return std::nullopt;
    }
    return shortTime(instant->toTimeZone(zone), locale);
}
