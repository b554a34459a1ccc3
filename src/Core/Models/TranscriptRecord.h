#pragma once

#include "Base/Json.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

// One entry of the dictation history. Identified by `id` (lists show, select and delete entries by
// it); equality compares every field, `id` included, `date` and `durationSeconds` exactly.
//
// JSON: one object with keys equal to the field names, written in field order; the three optional
// fields are left out when absent. Reading requires the eight other keys with values of the right
// type ("id" a valid UUID text, "date" in the caller's date form), accepts a missing or null
// optional key as absent, and ignores unknown keys.
struct TranscriptRecord
{
    QUuid id = QUuid::createUuid();
    QDateTime date = QDateTime::currentDateTimeUtc();
    QString rawText; // the transcript as recognised
    QString cleanedText; // the final text after cleanup
    std::optional<QString> appName; // the target application
    std::optional<QString> bundleID;
    std::optional<QString> windowTitle;
    QString engineName; // the recogniser that produced the transcript
    QString localeIdentifier; // the recognition locale
    double durationSeconds = 0; // length of the recording
    bool inserted = false; // whether the text reached the target field

    friend bool operator==(const TranscriptRecord &, const TranscriptRecord &) = default;

    // Throws Json::EncodeError when the date has no ISO 8601 form or durationSeconds is not finite:
    // such an entry would make the whole file unreadable.
    Json::Object toJson(Json::DateEncoding dates) const;
    // Throws Json::DecodeError when a required key is missing or of the wrong type.
    static TranscriptRecord fromJson(const Json::Object &object, Json::DateEncoding dates);
};

Q_DECLARE_METATYPE(TranscriptRecord)
