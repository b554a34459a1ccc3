#include "Core/Models/TranscriptRecord.h"

Json::Object TranscriptRecord::toJson(Json::DateEncoding dates) const
{
    Json::Object object = Json::Object::object();
    Json::putUuid(object, "id", id);
    Json::putDate(object, "date", date, dates);
    Json::putString(object, "rawText", rawText);
    Json::putString(object, "cleanedText", cleanedText);
    Json::putOptional(object, "appName", appName);
    Json::putOptional(object, "bundleID", bundleID);
    Json::putOptional(object, "windowTitle", windowTitle);
    Json::putString(object, "engineName", engineName);
    Json::putString(object, "localeIdentifier", localeIdentifier);
    Json::putDouble(object, "durationSeconds", durationSeconds);
    Json::putBool(object, "inserted", inserted);
    return object;
}

TranscriptRecord TranscriptRecord::fromJson(const Json::Object &object, Json::DateEncoding dates)
{
    Json::requireObject(object, "a history entry");
    TranscriptRecord record;
    record.id = Json::requireUuid(object, "id");
    record.date = Json::requireDate(object, "date", dates);
    record.rawText = Json::requireString(object, "rawText");
    record.cleanedText = Json::requireString(object, "cleanedText");
    record.appName = Json::optionalString(object, "appName");
    record.bundleID = Json::optionalString(object, "bundleID");
    record.windowTitle = Json::optionalString(object, "windowTitle");
    record.engineName = Json::requireString(object, "engineName");
    record.localeIdentifier = Json::requireString(object, "localeIdentifier");
    record.durationSeconds = Json::requireDouble(object, "durationSeconds");
    record.inserted = Json::requireBool(object, "inserted");
    return record;
}
