#include "Core/Models/Replacement.h"

Json::Object Replacement::toJson() const
{
    Json::Object object = Json::Object::object();
    Json::putUuid(object, "id", id);
    Json::putString(object, "phrase", phrase);
    Json::putString(object, "expansion", expansion);
    Json::putBool(object, "isEnabled", isEnabled);
    return object;
}

Replacement Replacement::fromJson(const Json::Object &object)
{
    Json::requireObject(object, "a replacement");
    Replacement replacement;
    replacement.id = Json::requireUuid(object, "id");
    replacement.phrase = Json::requireString(object, "phrase");
    replacement.expansion = Json::requireString(object, "expansion");
    replacement.isEnabled = Json::requireBool(object, "isEnabled");
    return replacement;
}

Json::Object Replacement::toJsonList(const QList<Replacement> &rules)
{
    Json::Object array = Json::Object::array();
    for (const Replacement &rule : rules) {
        array.push_back(rule.toJson());
    }
    return array;
}

QList<Replacement> Replacement::fromJsonList(const Json::Object &array)
{
    if (!array.is_array()) {
        throw Json::DecodeError("a list of replacements must be an array");
    }
    QList<Replacement> rules;
    rules.reserve(qsizetype(array.size()));
    for (const auto &item : array) {
        rules.append(fromJson(item));
    }
    return rules;
}

QList<Replacement> Replacement::decodeList(const QByteArray &data)
{
    try {
        return fromJsonList(Json::parse(data));
    } catch (const std::exception &) {
        return {};
    }
}

void to_json(Json::Object &json, const Replacement &replacement)
{
    json = replacement.toJson();
}

void from_json(const Json::Object &json, Replacement &replacement)
{
    replacement = Replacement::fromJson(json);
}
