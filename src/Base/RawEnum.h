#pragma once

#include "Base/Json.h"

#include <QList>
#include <QMetaEnum>
#include <QString>
#include <QStringView>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// Enumerations whose text form, the raw value, is exactly the case name: stored settings, JSON
// and wire messages hold that text, and reading a text back is exact and case-sensitive.
//
// The case names are declared once, by the enum itself: declare it with Q_ENUM_NS inside a
// Q_NAMESPACE (the meta-object keeps the names in declaration order), bring it to global scope with
// `using`, then opt in at global scope:
//
//     namespace CleanupModeNS {
//     Q_NAMESPACE
//     enum class CleanupMode { off, rules, cloud };
//     Q_ENUM_NS(CleanupMode)
//     }
//     using CleanupModeNS::CleanupMode;
//     SONORVELLE_RAW_ENUM(CleanupMode)
//
// The enum then has RawEnum::rawValue, RawEnum::fromRawValue, RawEnum::allCases and a JSON form:
// a single string holding the raw value (decoding any other string or JSON type throws
// Json::DecodeError).
namespace RawEnum {

template<typename E>
inline constexpr bool isRawEnum = false;

template<typename E>
concept Enabled = isRawEnum<E>;

template<Enabled E>
QString typeName()
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().enumName());
}

// The case name.
template<Enabled E>
QString rawValue(E value)
{
    const char *key = QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value));
    return key ? QString::fromLatin1(key) : QString();
}

// The case whose name is exactly the text; nothing for any other text (other letter case, empty).
template<Enabled E>
std::optional<E> fromRawValue(QStringView text)
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    for (int i = 0; i < meta.keyCount(); ++i) {
        if (text == QLatin1StringView(meta.key(i))) {
            return static_cast<E>(meta.value(i));
        }
    }
    return std::nullopt;
}

// Every case, in declaration order.
template<Enabled E>
QList<E> allCases()
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    QList<E> cases;
    cases.reserve(meta.keyCount());
    for (int i = 0; i < meta.keyCount(); ++i) {
        cases.append(static_cast<E>(meta.value(i)));
    }
    return cases;
}

// The case held by a JSON string; throws Json::DecodeError otherwise. `what` names the value in
// the message.
template<Enabled E, typename BasicJson>
E fromJsonValue(const BasicJson &value, const std::string &what)
{
    if (!value.is_string()) {
        throw Json::DecodeError(what + " must be a string holding a case of "
                                + Json::toStd(typeName<E>()));
    }
    const std::string &text = value.template get_ref<const std::string &>();
    const auto result = fromRawValue<E>(Json::fromStd(text));
    if (!result) {
        throw Json::DecodeError(what + ": \"" + text + "\" is not a case of "
                                + Json::toStd(typeName<E>()));
    }
    return *result;
}

template<Enabled E>
void put(Json::Object &object, const char *key, E value)
{
    object[key] = Json::toStd(rawValue(value));
}

template<Enabled E>
void putOptional(Json::Object &object, const char *key, const std::optional<E> &value)
{
    if (value) {
        put(object, key, *value);
    }
}

// Throws Json::DecodeError when the key is missing, null, not a string or not a case name.
template<Enabled E>
E require(const Json::Object &object, const char *key)
{
    Json::requireObject(object, "the value holding a case");
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        throw Json::DecodeError(std::string("key \"") + key + "\" is missing");
    }
    return fromJsonValue<E>(*it, std::string("key \"") + key + "\"");
}

// Missing or null give nothing; any other value must be a case name.
template<Enabled E>
std::optional<E> optional(const Json::Object &object, const char *key)
{
    Json::requireObject(object, "the value holding a case");
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    return fromJsonValue<E>(*it, std::string("key \"") + key + "\"");
}

} // namespace RawEnum

#define SONORVELLE_RAW_ENUM(Type)                 \
    namespace RawEnum {                           \
    template<>                                    \
    inline constexpr bool isRawEnum<Type> = true; \
    }

// nlohmann conversions, so that `json = mode`, `json.get<CleanupMode>()` and containers of these
// enums work.
NLOHMANN_JSON_NAMESPACE_BEGIN
template<typename E>
struct adl_serializer<E, std::enable_if_t<RawEnum::isRawEnum<E>>>
{
    template<typename BasicJson>
    static void to_json(BasicJson &json, E value)
    {
        json = Json::toStd(RawEnum::rawValue(value));
    }

    template<typename BasicJson>
    static void from_json(const BasicJson &json, E &value)
    {
        value = RawEnum::fromJsonValue<E>(json, "value");
    }
};
NLOHMANN_JSON_NAMESPACE_END
