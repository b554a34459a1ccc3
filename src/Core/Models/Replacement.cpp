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

void to_json(Json::Object &json, const Replacement &replacement)
{
    json = replacement.toJson();
}

void from_json(const Json::Object &json, Replacement &replacement)
{
    replacement = Replacement::fromJson(json);
}
