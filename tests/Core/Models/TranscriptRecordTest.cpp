#include "Core/Models/TranscriptRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using Json::DateEncoding;

const QUuid kId = QUuid::fromString(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));

TranscriptRecord minimalRecord(const QDateTime &date)
{
    TranscriptRecord record;
    record.id = kId;
    record.date = date;
    record.rawText = QStringLiteral("えーと明日の会議");
    record.cleanedText = QStringLiteral("明日の会議");
    record.engineName = QStringLiteral("SFSpeechRecognizer");
    record.localeIdentifier = QStringLiteral("ja-JP");
    record.durationSeconds = 2.75;
    record.inserted = true;
    return record;
}

TranscriptRecord fullRecord()
{
    TranscriptRecord record = minimalRecord(QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC));
    record.appName = QStringLiteral("Mail");
    record.bundleID = QStringLiteral("com.example.mail");
    record.windowTitle = QString(); // present, though empty
    return record;
}

std::vector<std::string> keys(const Json::Object &object)
{
    std::vector<std::string> result;
    for (const auto &item : object.items()) {
        result.push_back(item.key());
    }
    return result;
}

TEST(TranscriptRecord, AbsentOptionalsEncodeToEightKeysInFieldOrderAndRoundTrip)
{
    const struct
    {
        DateEncoding encoding;
        QDateTime date; // a date that form keeps exactly
    } cases[] = {
        {DateEncoding::Iso8601, QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0), Qt::UTC)},
        {DateEncoding::Iso8601Milliseconds,
         QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 123), Qt::UTC)},
    };
    for (const auto &c : cases) {
        const TranscriptRecord record = minimalRecord(c.date);
        const Json::Object json = record.toJson(c.encoding);
        EXPECT_EQ(keys(json),
                  (std::vector<std::string> {"id", "date", "rawText", "cleanedText", "engineName",
                                             "localeIdentifier", "durationSeconds", "inserted"}));
        EXPECT_EQ(TranscriptRecord::fromJson(json, c.encoding), record);
        // Through text as well, as the history file stores it.
        EXPECT_EQ(TranscriptRecord::fromJson(Json::parse(Json::serialize(json)), c.encoding),
                  record);
    }
}

TEST(TranscriptRecord, EncodesEveryFieldInFieldOrder)
{
    EXPECT_EQ(Json::serialize(fullRecord().toJson(DateEncoding::Iso8601)),
              QByteArray(R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                         R"("date":"2024-05-01T09:30:00Z","rawText":"えーと明日の会議",)"
                         R"("cleanedText":"明日の会議","appName":"Mail",)"
                         R"("bundleID":"com.example.mail","windowTitle":"",)"
                         R"("engineName":"SFSpeechRecognizer","localeIdentifier":"ja-JP",)"
                         R"("durationSeconds":2.75,"inserted":true})"));
    const TranscriptRecord record = fullRecord();
    EXPECT_EQ(TranscriptRecord::fromJson(record.toJson(DateEncoding::Iso8601Milliseconds),
                                         DateEncoding::Iso8601Milliseconds),
              record);
}

TEST(TranscriptRecord, WholeSecondDatesDropTheMilliseconds)
{
    const TranscriptRecord record =
        minimalRecord(QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 999), Qt::UTC));
    const Json::Object json = record.toJson(DateEncoding::Iso8601);
    EXPECT_EQ(json["date"], "2024-05-01T09:30:00Z");
    EXPECT_EQ(TranscriptRecord::fromJson(json, DateEncoding::Iso8601).date,
              QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0), Qt::UTC));
}

Json::Object validObject()
{
    return Json::Object::parse(R"({"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f",
        "date": "2024-05-01T18:30:00+09:00", "rawText": "raw", "cleanedText": "",
        "appName": "Mail", "bundleID": "com.example.mail", "windowTitle": "Inbox",
        "engineName": "SpeechAnalyzer", "localeIdentifier": "en-US", "durationSeconds": 3,
        "inserted": false})");
}

TEST(TranscriptRecord, DecodesWhatTheHistoryFileMayHold)
{
    const TranscriptRecord record =
        TranscriptRecord::fromJson(validObject(), DateEncoding::Iso8601);
    EXPECT_EQ(record.id, kId);
    EXPECT_EQ(record.date, QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC));
    EXPECT_EQ(record.rawText, QStringLiteral("raw"));
    EXPECT_EQ(record.cleanedText, QString());
    EXPECT_EQ(record.appName, QStringLiteral("Mail"));
    EXPECT_EQ(record.bundleID, QStringLiteral("com.example.mail"));
    EXPECT_EQ(record.windowTitle, QStringLiteral("Inbox"));
    EXPECT_EQ(record.engineName, QStringLiteral("SpeechAnalyzer"));
    EXPECT_EQ(record.localeIdentifier, QStringLiteral("en-US"));
    EXPECT_EQ(record.durationSeconds, 3.0); // an integer is a number
    EXPECT_FALSE(record.inserted);
}

TEST(TranscriptRecord, DecodingTable)
{
    using Edit = std::function<void(Json::Object &)>;
    const struct
    {
        const char *name;
        Edit edit;
        bool decodes;
    } cases[] = {
        {"no appName", [](Json::Object &o) { o.erase("appName"); }, true},
        {"null appName", [](Json::Object &o) { o["appName"] = nullptr; }, true},
        {"no optionals",
         [](Json::Object &o) {
             o.erase("appName");
             o.erase("bundleID");
             o["windowTitle"] = nullptr;
         },
         true},
        {"extra keys",
         [](Json::Object &o) {
             o["extra"] = 1;
             o["tags"] = Json::Object::array();
         },
         true},
        {"no inserted", [](Json::Object &o) { o.erase("inserted"); }, false},
        {"no id", [](Json::Object &o) { o.erase("id"); }, false},
        {"no date", [](Json::Object &o) { o.erase("date"); }, false},
        {"no rawText", [](Json::Object &o) { o.erase("rawText"); }, false},
        {"no cleanedText", [](Json::Object &o) { o.erase("cleanedText"); }, false},
        {"no engineName", [](Json::Object &o) { o.erase("engineName"); }, false},
        {"no localeIdentifier", [](Json::Object &o) { o.erase("localeIdentifier"); }, false},
        {"no durationSeconds", [](Json::Object &o) { o.erase("durationSeconds"); }, false},
        {"null rawText", [](Json::Object &o) { o["rawText"] = nullptr; }, false},
        {"invalid id", [](Json::Object &o) { o["id"] = "not-a-uuid"; }, false},
        {"id in braces",
         [](Json::Object &o) { o["id"] = "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"; }, false},
        {"numeric id", [](Json::Object &o) { o["id"] = 42; }, false},
        {"garbage date", [](Json::Object &o) { o["date"] = "yesterday"; }, false},
        {"numeric date", [](Json::Object &o) { o["date"] = 736250400.0; }, false},
        {"date with fraction", [](Json::Object &o) { o["date"] = "2024-05-01T09:30:00.5Z"; },
         false},
        {"duration as text", [](Json::Object &o) { o["durationSeconds"] = "3"; }, false},
        {"duration as bool", [](Json::Object &o) { o["durationSeconds"] = true; }, false},
        {"inserted as number", [](Json::Object &o) { o["inserted"] = 1; }, false},
        {"appName as number", [](Json::Object &o) { o["appName"] = 5; }, false},
        {"rawText as array", [](Json::Object &o) { o["rawText"] = Json::Object::array(); }, false},
    };
    for (const auto &c : cases) {
        Json::Object object = validObject();
        c.edit(object);
        if (c.decodes) {
            EXPECT_NO_THROW(TranscriptRecord::fromJson(object, DateEncoding::Iso8601)) << c.name;
        } else {
            EXPECT_THROW(TranscriptRecord::fromJson(object, DateEncoding::Iso8601),
                         Json::DecodeError)
                << c.name;
        }
    }

    Json::Object withoutAppName = validObject();
    withoutAppName.erase("appName");
    EXPECT_EQ(TranscriptRecord::fromJson(withoutAppName, DateEncoding::Iso8601).appName,
              std::nullopt);
    EXPECT_THROW(TranscriptRecord::fromJson(Json::Object::array(), DateEncoding::Iso8601),
                 Json::DecodeError);
}

TEST(TranscriptRecord, EqualityComparesEveryFieldIncludingTheIdentifier)
{
    const TranscriptRecord base = fullRecord();
    EXPECT_EQ(base, fullRecord());
    const std::function<void(TranscriptRecord &)> edits[] = {
        [](TranscriptRecord &r) { r.id = QUuid::createUuid(); },
        [](TranscriptRecord &r) { r.date = r.date.addMSecs(1); },
        [](TranscriptRecord &r) { r.rawText += QLatin1Char(' '); },
        [](TranscriptRecord &r) { r.cleanedText.clear(); },
        [](TranscriptRecord &r) { r.appName.reset(); },
        [](TranscriptRecord &r) { r.bundleID = QStringLiteral("com.example.Mail"); },
        [](TranscriptRecord &r) { r.windowTitle.reset(); }, // absent differs from empty
        [](TranscriptRecord &r) { r.engineName = QStringLiteral("SpeechAnalyzer"); },
        [](TranscriptRecord &r) { r.localeIdentifier = QStringLiteral("ja_JP"); },
        [](TranscriptRecord &r) { r.durationSeconds = std::nextafter(2.75, 3.0); },
        [](TranscriptRecord &r) { r.inserted = false; },
    };
    for (size_t i = 0; i < std::size(edits); ++i) {
        TranscriptRecord changed = base;
        edits[i](changed);
        EXPECT_NE(changed, base) << "edit " << i;
    }
    // New entries get their own identity.
    EXPECT_NE(TranscriptRecord().id, TranscriptRecord().id);
    EXPECT_FALSE(TranscriptRecord().id.isNull());
}

TEST(TranscriptRecord, RefusesToEncodeValuesTheReaderWouldReject)
{
    TranscriptRecord badDate = fullRecord();
    badDate.date = QDateTime();
    EXPECT_THROW(badDate.toJson(DateEncoding::Iso8601), Json::EncodeError);
    TranscriptRecord badDuration = fullRecord();
    badDuration.durationSeconds = std::nan("");
    EXPECT_THROW(badDuration.toJson(DateEncoding::Iso8601), Json::EncodeError);
}

} // namespace
