#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>

// Helpers for the JSON form of the application's records (nlohmann::ordered_json, which keeps
// the order in which keys were written).
//
// Conventions of every record: keys equal the field names, written in field order; an absent
// optional field is left out, never written as null; when reading, a missing or null optional key
// is an absent value, while a present value of the wrong JSON type fails. Identifiers are UUIDs in
// their 36-character upper-case form.
//
// Numbers: a JSON integer is accepted where a floating-point value is required; a boolean is never
// a number and a number is never a boolean.
namespace Json {

using Object = nlohmann::ordered_json;

// A value that cannot be read as the record it should hold. The message names the key.
class DecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A value that has no JSON form (an invalid date, a number that is not finite): writing it would
// give a file the reader refuses.
class EncodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// How dates are written and read.
enum class DateEncoding {
    // ISO 8601 internet date-time in whole seconds, "2024-05-01T09:30:00Z"; reads the "Z" form and
    // numeric offsets such as "+09:00", no fractional seconds.
    Iso8601,
    // The same with milliseconds, "2024-05-01T09:30:00.123Z"; reads only forms with a fraction.
    Iso8601Milliseconds,
};

// --- Text ---

std::string toStd(const QString &text); // UTF-8
QString fromStd(const std::string &text); // from UTF-8

// --- UUIDs ---

// Canonical 36-character upper-case form without braces, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
QString uuidString(const QUuid &uuid);
// The 36-character hyphenated form in any letter case; braces, the 32-digit form or any other text
// give nothing.
std::optional<QUuid> parseUuid(const QString &text);

// --- Dates ---

// Whole seconds in UTC, "2024-05-01T09:30:00Z" (milliseconds are dropped). Empty for an invalid
// date or a year outside 1...9999.
QString iso8601(const QDateTime &date);
// Milliseconds in UTC, "2024-05-01T09:30:00.123Z". Empty like above.
QString iso8601WithMilliseconds(const QDateTime &date);
// "yyyy-MM-ddTHH:mm:ss" followed by "Z" or an offset "+hh:mm"/"-hh:mm"; no fraction. The result is
// in UTC.
std::optional<QDateTime> parseIso8601(const QString &text);
// The same with a fraction of one to nine digits after the seconds (read to the millisecond,
// further digits are dropped); a fraction is required.
std::optional<QDateTime> parseIso8601WithFractionalSeconds(const QString &text);

QString formatDate(const QDateTime &date, DateEncoding encoding);
std::optional<QDateTime> parseDate(const QString &text, DateEncoding encoding);

// --- Whole documents ---

// The deepest nesting of arrays and objects a document may have ({"a": [1]} is 2 deep). Every
// record and stored value of the application is a few levels deep; code that walks, copies or
// writes a document recurses once per level, so a file or a reply nested thousands of levels deep
// would exhaust the stack. Such a document is not taken as JSON at all.
inline constexpr int maxNestingDepth = 128;

// Whether the arrays and objects of the text nest no deeper than `limit`. For a valid document
// this is exactly its nesting depth; any text is scanned without recursion, in one pass.
bool withinNestingDepth(const char *begin, const char *end, int limit = maxNestingDepth);

// Compact UTF-8 text.
QByteArray serialize(const Object &value);
// Throws DecodeError when the bytes are not one JSON document, hold a number out of range, or
// nest deeper than maxNestingDepth.
Object parse(const QByteArray &bytes);

// --- Writing fields ---

void putString(Object &object, const char *key, const QString &value);
void putBool(Object &object, const char *key, bool value);
void putInt64(Object &object, const char *key, qint64 value);
// Throws EncodeError for a value that is not finite.
void putDouble(Object &object, const char *key, double value);
void putUuid(Object &object, const char *key, const QUuid &value);
// Throws EncodeError for an invalid date or a year outside 1...9999.
void putDate(Object &object, const char *key, const QDateTime &value, DateEncoding encoding);

// Write the key only when the value is present (a double as putDouble does).
void putOptional(Object &object, const char *key, const std::optional<QString> &value);
void putOptional(Object &object, const char *key, const std::optional<bool> &value);
void putOptional(Object &object, const char *key, const std::optional<qint64> &value);
void putOptional(Object &object, const char *key, const std::optional<double> &value);

// --- Reading fields ---

// Throws DecodeError when the value is not an object; `what` names it in the message.
void requireObject(const Object &value, const char *what);

// Throw DecodeError when the key is missing, null or of the wrong type.
QString requireString(const Object &object, const char *key);
bool requireBool(const Object &object, const char *key);
// Any JSON number.
double requireDouble(const Object &object, const char *key);
// A JSON integer in range, or a floating-point number with a whole value in range.
qint64 requireInt64(const Object &object, const char *key);
// A string holding a UUID as parseUuid reads it.
QUuid requireUuid(const Object &object, const char *key);
// A string holding a date in the given form.
QDateTime requireDate(const Object &object, const char *key, DateEncoding encoding);

// Missing or null give nothing; a present value of the wrong type throws DecodeError.
std::optional<QString> optionalString(const Object &object, const char *key);
std::optional<bool> optionalBool(const Object &object, const char *key);
std::optional<double> optionalDouble(const Object &object, const char *key);
std::optional<qint64> optionalInt64(const Object &object, const char *key);

} // namespace Json
