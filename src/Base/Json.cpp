#include "Base/Json.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace Json {

namespace {

[[noreturn]] void fail(const char *key, const char *problem)
{
    throw DecodeError(std::string("key \"") + key + "\" " + problem);
}

// The value under key, or nullptr when the key is missing or holds null.
const Object *presentValue(const Object &object, const char *key)
{
    if (!object.is_object()) {
        throw DecodeError(std::string("expected an object holding key \"") + key + "\"");
    }
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

const Object &requiredValue(const Object &object, const char *key)
{
    const Object *value = presentValue(object, key);
    if (!value) {
        fail(key, "is missing");
    }
    return *value;
}

QString stringValue(const Object &value, const char *key)
{
    if (!value.is_string()) {
        fail(key, "must be a string");
    }
    return fromStd(value.get_ref<const std::string &>());
}

bool boolValue(const Object &value, const char *key)
{
    if (!value.is_boolean()) {
        fail(key, "must be true or false");
    }
    return value.get<bool>();
}

double doubleValue(const Object &value, const char *key)
{
    if (!value.is_number()) {
        fail(key, "must be a number");
    }
    return value.get<double>();
}

qint64 int64Value(const Object &value, const char *key)
{
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
            fail(key, "is out of the range of a 64-bit integer");
        }
        return static_cast<qint64>(unsignedValue);
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // 2^63 is exactly representable; every double below it converts without overflow.
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0
            || d >= 9223372036854775808.0) {
            fail(key, "must be a whole number in the range of a 64-bit integer");
        }
        return static_cast<qint64>(d);
    }
    fail(key, "must be an integer");
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads `count` decimal digits at `pos`; -1 when any is not a digit or the text is too short.
int digits(const QString &text, qsizetype pos, int count)
{
    if (pos + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(pos + i);
        if (!isAsciiDigit(c)) {
            return -1;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

bool hasChar(const QString &text, qsizetype pos, char c)
{
    return pos < text.size() && text.at(pos) == QLatin1Char(c);
}

enum class Fraction { Forbidden, Required };

std::optional<QDateTime> parseInternetDateTime(const QString &text, Fraction fraction)
{
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0
        || !hasChar(text, 4, '-') || !hasChar(text, 7, '-') || !hasChar(text, 10, 'T')
        || !hasChar(text, 13, ':') || !hasChar(text, 16, ':')) {
        return std::nullopt;
    }
    qsizetype pos = 19;
    int millisecond = 0;
    if (hasChar(text, pos, '.')) {
        if (fraction == Fraction::Forbidden) {
            return std::nullopt;
        }
        ++pos;
        int count = 0;
        while (pos < text.size() && isAsciiDigit(text.at(pos))) {
            if (count < 3) {
                millisecond = millisecond * 10 + (text.at(pos).unicode() - '0');
            }
            ++count;
            ++pos;
        }
        if (count == 0 || count > 9) {
            return std::nullopt;
        }
        for (int i = count; i < 3; ++i) {
            millisecond *= 10;
        }
    } else if (fraction == Fraction::Required) {
        return std::nullopt;
    }

    int offsetSeconds = 0;
    if (hasChar(text, pos, 'Z')) {
        ++pos;
    } else if (hasChar(text, pos, '+') || hasChar(text, pos, '-')) {
        const int sign = hasChar(text, pos, '-') ? -1 : 1;
        const int offsetHours = digits(text, pos + 1, 2);
        const int offsetMinutes = digits(text, pos + 4, 2);
        if (offsetHours < 0 || offsetHours > 23 || !hasChar(text, pos + 3, ':') || offsetMinutes < 0
            || offsetMinutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }

    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
}

QString formatInternetDateTime(const QDateTime &date, bool withMilliseconds)
{
    if (!date.isValid()) {
        return {};
    }
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    if (d.year() < 1 || d.year() > 9999) {
        return {};
    }
    char buffer[32];
    if (withMilliseconds) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(),
                      d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(),
                      d.day(), t.hour(), t.minute(), t.second());
    }
    return QString::fromLatin1(buffer);
}

} // namespace

std::string toStd(const QString &text)
{
    return text.toStdString();
}

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

QString uuidString(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(const QString &text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != QLatin1Char('-')) {
                return std::nullopt;
            }
        } else if (!isAsciiDigit(c) && !(c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                   && !(c >= QLatin1Char('A') && c <= QLatin1Char('F'))) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

QString iso8601(const QDateTime &date)
{
    return formatInternetDateTime(date, false);
}

QString iso8601WithMilliseconds(const QDateTime &date)
{
    return formatInternetDateTime(date, true);
}

std::optional<QDateTime> parseIso8601(const QString &text)
{
    return parseInternetDateTime(text, Fraction::Forbidden);
}

std::optional<QDateTime> parseIso8601WithFractionalSeconds(const QString &text)
{
    return parseInternetDateTime(text, Fraction::Required);
}

QString formatDate(const QDateTime &date, DateEncoding encoding)
{
    switch (encoding) {
    case DateEncoding::Iso8601:
        return iso8601(date);
    case DateEncoding::Iso8601Milliseconds:
        return iso8601WithMilliseconds(date);
    }
    return {};
}

std::optional<QDateTime> parseDate(const QString &text, DateEncoding encoding)
{
    switch (encoding) {
    case DateEncoding::Iso8601:
        return parseIso8601(text);
    case DateEncoding::Iso8601Milliseconds:
        return parseIso8601WithFractionalSeconds(text);
    }
    return std::nullopt;
}

QByteArray serialize(const Object &value)
{
    // Strings come from QString and are valid UTF-8; replacing keeps dump() from throwing anyway.
    const std::string text = value.dump(-1, ' ', false, Object::error_handler_t::replace);
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool withinNestingDepth(const char *begin, const char *end, int limit)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char *p = begin; p != end; ++p) {
        const char c = *p;
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > limit) {
                return false;
            }
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

Object parse(const QByteArray &bytes)
{
    if (!withinNestingDepth(bytes.constBegin(), bytes.constEnd())) {
        throw DecodeError("not a JSON document: nested deeper than "
                          + std::to_string(maxNestingDepth) + " levels");
    }
    try {
        return Object::parse(bytes.constBegin(), bytes.constEnd());
    } catch (const Object::exception &error) {
        // Besides syntax errors, a number too large for a double ("1e400") is refused here.
        throw DecodeError(std::string("not a JSON document: ") + error.what());
    }
}

void putString(Object &object, const char *key, const QString &value)
{
    object[key] = toStd(value);
}

void putBool(Object &object, const char *key, bool value)
{
    object[key] = value;
}

void putInt64(Object &object, const char *key, qint64 value)
{
    object[key] = static_cast<std::int64_t>(value);
}

void putDouble(Object &object, const char *key, double value)
{
    if (!std::isfinite(value)) {
        // nlohmann would write null, which no reader accepts as a number.
        throw EncodeError(std::string("key \"") + key + "\" holds a number that is not finite");
    }
    object[key] = value;
}

void putUuid(Object &object, const char *key, const QUuid &value)
{
    object[key] = toStd(uuidString(value));
}

void putDate(Object &object, const char *key, const QDateTime &value, DateEncoding encoding)
{
    const QString text = formatDate(value, encoding);
    if (text.isEmpty()) {
        throw EncodeError(std::string("key \"") + key
                          + "\" holds a date that has no ISO 8601 form");
    }
    object[key] = toStd(text);
}

void putOptional(Object &object, const char *key, const std::optional<QString> &value)
{
    if (value) {
        putString(object, key, *value);
    }
}

void putOptional(Object &object, const char *key, const std::optional<bool> &value)
{
    if (value) {
        putBool(object, key, *value);
    }
}

void putOptional(Object &object, const char *key, const std::optional<qint64> &value)
{
    if (value) {
        putInt64(object, key, *value);
    }
}

void putOptional(Object &object, const char *key, const std::optional<double> &value)
{
    if (value) {
        putDouble(object, key, *value);
    }
}

void requireObject(const Object &value, const char *what)
{
    if (!value.is_object()) {
        throw DecodeError(std::string(what) + " must be a JSON object");
    }
}

QString requireString(const Object &object, const char *key)
{
    return stringValue(requiredValue(object, key), key);
}

bool requireBool(const Object &object, const char *key)
{
    return boolValue(requiredValue(object, key), key);
}

double requireDouble(const Object &object, const char *key)
{
    return doubleValue(requiredValue(object, key), key);
}

qint64 requireInt64(const Object &object, const char *key)
{
    return int64Value(requiredValue(object, key), key);
}

QUuid requireUuid(const Object &object, const char *key)
{
    const auto uuid = parseUuid(requireString(object, key));
    if (!uuid) {
        fail(key, "does not hold a valid UUID");
    }
    return *uuid;
}

QDateTime requireDate(const Object &object, const char *key, DateEncoding encoding)
{
    const auto date = parseDate(requireString(object, key), encoding);
    if (!date) {
        fail(key, "does not hold a date in the expected ISO 8601 form");
    }
    return *date;
}

std::optional<QString> optionalString(const Object &object, const char *key)
{
    const Object *value = presentValue(object, key);
    return value ? std::optional(stringValue(*value, key)) : std::nullopt;
}

std::optional<bool> optionalBool(const Object &object, const char *key)
{
    const Object *value = presentValue(object, key);
    return value ? std::optional(boolValue(*value, key)) : std::nullopt;
}

std::optional<double> optionalDouble(const Object &object, const char *key)
{
    const Object *value = presentValue(object, key);
    return value ? std::optional(doubleValue(*value, key)) : std::nullopt;
}

std::optional<qint64> optionalInt64(const Object &object, const char *key)
{
    const Object *value = presentValue(object, key);
    return value ? std::optional(int64Value(*value, key)) : std::nullopt;
}

} // namespace Json
