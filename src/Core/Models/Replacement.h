#pragma once

#include "Base/Json.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

// One user replacement rule: occurrences of the spoken phrase are replaced by the expansion; only
// enabled rules are applied. Identified by `id` (lists show, select and delete rules by it);
// equality compares every field, `id` included, so two rules with the same texts but different
// identifiers differ.
//
// JSON: {"id", "phrase", "expansion", "isEnabled"} in this order, the id as its upper-case UUID
// text; all four keys are required when reading, other keys are ignored.
struct Replacement
{
    QUuid id = QUuid::createUuid();
    QString phrase;
    QString expansion;
    bool isEnabled = true;

    friend bool operator==(const Replacement &, const Replacement &) = default;

    Json::Object toJson() const;
    // Throws Json::DecodeError when a key is missing or of the wrong type.
    static Replacement fromJson(const Json::Object &object);

    // A list of rules as a JSON array, and back; fromJsonList throws Json::DecodeError unless
    // `array` is an array whose every element decodes.
    static Json::Object toJsonList(const QList<Replacement> &rules);
    static QList<Replacement> fromJsonList(const Json::Object &array);
    // The rules of stored JSON text; none when it does not decode as a whole list.
    static QList<Replacement> decodeList(const QByteArray &data);
};

// For nlohmann conversions of lists: `json = replacements`, `json.get<std::vector<Replacement>>()`.
void to_json(Json::Object &json, const Replacement &replacement);
void from_json(const Json::Object &json, Replacement &replacement);

Q_DECLARE_METATYPE(Replacement)
