#include "Base/Json.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// --- UUIDs ---

TEST(JsonUuid, WritesCanonicalUpperCaseWithoutBraces)
{
    const QUuid uuid = QUuid::fromString(QStringLiteral("{e621e1f8-c36c-495a-93fc-0c247a3e6e5f}"));
    EXPECT_EQ(Json::uuidString(uuid), QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
    EXPECT_EQ(Json::uuidString(QUuid()), QStringLiteral("00000000-0000-0000-0000-000000000000"));
}

TEST(JsonUuid, ParsesOnlyThe36CharacterForm)
{
    const QUuid expected =
        QUuid::fromString(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));
    for (const char *text :
         {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f",
          "E621e1f8-C36c-495A-93fC-0c247A3E6e5F"}) {
        const auto parsed = Json::parseUuid(QString::fromLatin1(text));
        ASSERT_TRUE(parsed.has_value()) << text;
        EXPECT_EQ(*parsed, expected) << text;
    }
    for (const char *text :
         {"", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", "E621E1F8C36C495A93FC0C247A3E6E5F",
          "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",
          "E621E1F8-C36C-495A-93FC-0C247A3E6E5G", "E621E1F8C-36C-495A-93FC-0C247A3E6E5F",
          " E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8_C36C_495A_93FC_0C247A3E6E5F",
          "not a uuid"}) {
        EXPECT_FALSE(Json::parseUuid(QString::fromLatin1(text)).has_value()) << text;
    }
}

TEST(JsonUuid, NonAsciiDigitsAreNotHex)
{
    // Arabic-Indic digit zero in the first position.
    QString text = QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    text[0] = QChar(0x0660);
    EXPECT_FALSE(Json::parseUuid(text).has_value());
}

// --- Dates ---

TEST(JsonDate, FormatsInUtc)
{
    const QDateTime date = utc(2024, 5, 1, 9, 30, 0, 123);
    EXPECT_EQ(Json::iso8601(date), QStringLiteral("2024-05-01T09:30:00Z"));
    EXPECT_EQ(Json::iso8601WithMilliseconds(date), QStringLiteral("2024-05-01T09:30:00.123Z"));
    EXPECT_EQ(Json::iso8601WithMilliseconds(utc(2024, 5, 1, 9, 30, 0, 5)),
              QStringLiteral("2024-05-01T09:30:00.005Z"));

    // A date in another zone is written as the same instant in UTC.
    const QDateTime tokyo(QDate(2024, 5, 1), QTime(18, 30, 0), QTimeZone(9 * 3600));
    EXPECT_EQ(Json::iso8601(tokyo), QStringLiteral("2024-05-01T09:30:00Z"));
    EXPECT_EQ(Json::iso8601(utc(9, 1, 2, 3, 4, 5)), QStringLiteral("0009-01-02T03:04:05Z"));
}

TEST(JsonDate, DatesWithoutAFormFormatEmpty)
{
    EXPECT_TRUE(Json::iso8601(QDateTime()).isEmpty());
    EXPECT_TRUE(Json::iso8601WithMilliseconds(QDateTime()).isEmpty());
    EXPECT_TRUE(Json::iso8601(utc(10000, 1, 1, 0, 0, 0)).isEmpty());
    EXPECT_TRUE(Json::iso8601(utc(-1, 1, 1, 0, 0, 0)).isEmpty());
}

TEST(JsonDate, ParsesWholeSecondForms)
{
    const struct
    {
        const char *text;
        QDateTime expected;
    } cases[] = {
        {"2024-05-01T09:30:00Z", utc(2024, 5, 1, 9, 30, 0)},
        {"2024-05-01T18:30:00+09:00", utc(2024, 5, 1, 9, 30, 0)},
        {"2024-05-01T04:00:00-05:30", utc(2024, 5, 1, 9, 30, 0)},
        {"2024-01-01T01:00:00+02:00", utc(2023, 12, 31, 23, 0, 0)},
        {"2024-02-29T23:59:59Z", utc(2024, 2, 29, 23, 59, 59)},
    };
    for (const auto &c : cases) {
        const auto parsed = Json::parseIso8601(QString::fromLatin1(c.text));
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, c.expected) << c.text;
        EXPECT_EQ(parsed->timeSpec(), Qt::UTC) << c.text;
    }
}

TEST(JsonDate, RejectsMalformedWholeSecondForms)
{
    for (const char *text : {"",
                             "garbage",
                             "2024-05-01",
                             "2024-05-01T09:30:00",
                             "2024-05-01T09:30Z",
                             "2024-05-01 09:30:00Z",
                             "2024-05-01t09:30:00Z",
                             "2024-05-01T09:30:00z",
                             "2024-05-01T09:30:00.123Z",
                             "2024-05-01T09:30:00ZZ",
                             "2024-05-01T09:30:00Z ",
                             " 2024-05-01T09:30:00Z",
                             "2024-5-01T09:30:00Z",
                             "24-05-01T09:30:00Z",
                             "2024-02-30T00:00:00Z",
                             "2023-02-29T00:00:00Z",
                             "2024-13-01T00:00:00Z",
                             "2024-05-01T24:00:00Z",
                             "2024-05-01T09:60:00Z",
                             "2024-05-01T09:30:60Z",
                             "0000-01-01T00:00:00Z",
                             "2024-05-01T09:30:00+0900",
                             "2024-05-01T09:30:00+09",
                             "2024-05-01T09:30:00+24:00",
                             "2024-05-01T09:30:00+09:60",
                             "2024-05-01T09:30:00+9:00",
                             "+2024-05-01T09:30:00Z",
                             "2024-05-01T09:30:0aZ"}) {
        EXPECT_FALSE(Json::parseIso8601(QString::fromLatin1(text)).has_value()) << text;
    }
}

TEST(JsonDate, ParsesFractionalForms)
{
    const struct
    {
        const char *text;
        QDateTime expected;
    } cases[] = {
        {"2024-05-01T09:30:00.123Z", utc(2024, 5, 1, 9, 30, 0, 123)},
        {"2024-05-01T09:30:00.000Z", utc(2024, 5, 1, 9, 30, 0, 0)},
        {"2024-05-01T09:30:00.1Z", utc(2024, 5, 1, 9, 30, 0, 100)},
        {"2024-05-01T09:30:00.12Z", utc(2024, 5, 1, 9, 30, 0, 120)},
        // Further digits are below the millisecond and dropped.
        {"2024-05-01T09:30:00.123999999Z", utc(2024, 5, 1, 9, 30, 0, 123)},
        {"2024-05-01T18:30:00.250+09:00", utc(2024, 5, 1, 9, 30, 0, 250)},
    };
    for (const auto &c : cases) {
        const auto parsed = Json::parseIso8601WithFractionalSeconds(QString::fromLatin1(c.text));
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, c.expected) << c.text;
    }
    for (const char *text :
         {"2024-05-01T09:30:00Z", "2024-05-01T09:30:00.Z", "2024-05-01T09:30:00.1234567890Z",
          "2024-05-01T09:30:00.12a3Z", "2024-05-01T09:30:00.123", "2024-05-01T09:30:00,123Z"}) {
        EXPECT_FALSE(Json::parseIso8601WithFractionalSeconds(QString::fromLatin1(text)).has_value())
            << text;
    }
}

TEST(JsonDate, FormattedDatesParseBack)
{
    const QDateTime date = utc(1999, 12, 31, 23, 59, 58, 7);
    EXPECT_EQ(Json::parseDate(Json::formatDate(date, Json::DateEncoding::Iso8601Milliseconds),
                              Json::DateEncoding::Iso8601Milliseconds),
              date);
    EXPECT_EQ(Json::parseDate(Json::formatDate(date, Json::DateEncoding::Iso8601),
                              Json::DateEncoding::Iso8601),
              utc(1999, 12, 31, 23, 59, 58));
}

// --- Fields ---

Json::Object sample()
{
    return Json::Object::parse(R"({"text": "héllo", "int": 3, "float": 2.5, "whole": 4.0,
        "big": 18446744073709551615, "neg": -7, "yes": true, "nothing": null, "list": [1],
        "uuid": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "date": "2024-05-01T09:30:00Z"})");
}

TEST(JsonFields, RequiredReadersReadTheirType)
{
    const Json::Object o = sample();
    EXPECT_EQ(Json::requireString(o, "text"), QStringLiteral("héllo"));
    EXPECT_EQ(Json::requireDouble(o, "float"), 2.5);
    EXPECT_EQ(Json::requireDouble(o, "int"), 3.0); // an integer is a number
    EXPECT_EQ(Json::requireInt64(o, "int"), 3);
    EXPECT_EQ(Json::requireInt64(o, "neg"), -7);
    EXPECT_EQ(Json::requireInt64(o, "whole"), 4); // a whole floating-point value
    EXPECT_TRUE(Json::requireBool(o, "yes"));
    EXPECT_EQ(Json::requireUuid(o, "uuid"),
              QUuid::fromString(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
    EXPECT_EQ(Json::requireDate(o, "date", Json::DateEncoding::Iso8601), utc(2024, 5, 1, 9, 30, 0));
}

TEST(JsonFields, RequiredReadersRejectMissingNullAndMistypedValuesNamingTheKey)
{
    const Json::Object o = sample();
    const auto expectFailure = [](const auto &read, const char *key) {
        try {
            read();
            ADD_FAILURE() << "no error for key " << key;
        } catch (const Json::DecodeError &error) {
            EXPECT_NE(std::string(error.what()).find(std::string("\"") + key + "\""),
                      std::string::npos)
                << error.what();
        }
    };
    expectFailure([&] { Json::requireString(o, "absent"); }, "absent");
    expectFailure([&] { Json::requireString(o, "nothing"); }, "nothing");
    expectFailure([&] { Json::requireString(o, "int"); }, "int");
    expectFailure([&] { Json::requireString(o, "list"); }, "list");
    expectFailure([&] { Json::requireDouble(o, "yes"); }, "yes"); // a bool is not a number
    expectFailure([&] { Json::requireDouble(o, "text"); }, "text");
    expectFailure([&] { Json::requireBool(o, "int"); }, "int"); // a number is not a bool
    expectFailure([&] { Json::requireBool(o, "text"); }, "text");
    expectFailure([&] { Json::requireInt64(o, "float"); }, "float");
    expectFailure([&] { Json::requireInt64(o, "big"); }, "big");
    expectFailure([&] { Json::requireInt64(o, "yes"); }, "yes");
    expectFailure([&] { Json::requireUuid(o, "text"); }, "text");
    expectFailure([&] { Json::requireDate(o, "text", Json::DateEncoding::Iso8601); }, "text");
    expectFailure([&] { Json::requireDate(o, "date", Json::DateEncoding::Iso8601Milliseconds); },
                  "date");
    // Not an object at all.
    expectFailure([&] { Json::requireString(Json::Object::array(), "text"); }, "text");
}

TEST(JsonFields, OptionalReadersTreatMissingAndNullAsAbsent)
{
    const Json::Object o = sample();
    EXPECT_EQ(Json::optionalString(o, "absent"), std::nullopt);
    EXPECT_EQ(Json::optionalString(o, "nothing"), std::nullopt);
    EXPECT_EQ(Json::optionalBool(o, "nothing"), std::nullopt);
    EXPECT_EQ(Json::optionalDouble(o, "absent"), std::nullopt);
    EXPECT_EQ(Json::optionalInt64(o, "nothing"), std::nullopt);
    EXPECT_EQ(Json::optionalString(o, "text"), QStringLiteral("héllo"));
    EXPECT_EQ(Json::optionalDouble(o, "int"), 3.0);
    EXPECT_EQ(Json::optionalBool(o, "yes"), true);
    EXPECT_EQ(Json::optionalInt64(o, "neg"), -7);
    // Present but of the wrong type is an error, not an absent value.
    EXPECT_THROW(Json::optionalString(o, "int"), Json::DecodeError);
    EXPECT_THROW(Json::optionalBool(o, "int"), Json::DecodeError);
    EXPECT_THROW(Json::optionalDouble(o, "yes"), Json::DecodeError);
    EXPECT_THROW(Json::optionalInt64(o, "float"), Json::DecodeError);
}

TEST(JsonFields, WritersKeepOrderAndLeaveOutAbsentValues)
{
    Json::Object o = Json::Object::object();
    Json::putString(o, "z", QStringLiteral("ü"));
    Json::putOptional(o, "absent", std::optional<QString>());
    Json::putOptional(o, "absentBool", std::optional<bool>());
    Json::putOptional(o, "absentInt", std::optional<qint64>());
    Json::putOptional(o, "absentDouble", std::optional<double>());
    Json::putBool(o, "a", false);
    Json::putInt64(o, "m", std::numeric_limits<qint64>::min());
    Json::putDouble(o, "d", 1.5);
    Json::putOptional(o, "o", std::optional<QString>(QString()));
    Json::putUuid(o, "id",
                  QUuid::fromString(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")));
    Json::putDate(o, "t", utc(2024, 5, 1, 9, 30, 0, 123), Json::DateEncoding::Iso8601Milliseconds);
    EXPECT_EQ(Json::serialize(o),
              QByteArray(R"({"z":"ü","a":false,"m":-9223372036854775808,"d":1.5,"o":"",)"
                         R"("id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                         R"("t":"2024-05-01T09:30:00.123Z"})"));
}

TEST(JsonFields, ValuesWithoutAJsonFormAreRefused)
{
    Json::Object o = Json::Object::object();
    EXPECT_THROW(Json::putDouble(o, "d", std::nan("")), Json::EncodeError);
    EXPECT_THROW(Json::putDouble(o, "d", std::numeric_limits<double>::infinity()),
                 Json::EncodeError);
    EXPECT_THROW(Json::putOptional(o, "d", std::optional<double>(-HUGE_VAL)), Json::EncodeError);
    EXPECT_THROW(Json::putDate(o, "t", QDateTime(), Json::DateEncoding::Iso8601),
                 Json::EncodeError);
    EXPECT_TRUE(o.empty());
}

TEST(JsonDocument, ParseRejectsWhatIsNotOneDocument)
{
    EXPECT_EQ(Json::parse(QByteArray(R"({"a":[1,2]})")), Json::Object::parse(R"({"a":[1,2]})"));
    for (const char *bytes : {"", "{", "{\"a\":1} x", "nope", "{'a':1}"}) {
        EXPECT_THROW(Json::parse(QByteArray(bytes)), Json::DecodeError) << bytes;
    }
    EXPECT_THROW(Json::parse(QByteArray("\"\xff\"")), Json::DecodeError); // invalid UTF-8
    // Out of the range of a double: a decoding failure like any other, not a library exception.
    EXPECT_THROW(Json::parse(QByteArray(R"({"n": 1e400})")), Json::DecodeError);
    EXPECT_THROW(Json::parse(QByteArray("[-1e400]")), Json::DecodeError);
}

TEST(JsonDocument, ParseRefusesDocumentsNestedBeyondTheLimit)
{
    const auto arrays = [](int depth) {
        return QByteArray(depth, '[') + QByteArray(depth, ']');
    };
    const auto objects = [](int depth) {
        QByteArray text = "1";
        for (int level = 0; level < depth; ++level) {
            text = "{\"k\":" + text + "}";
        }
        return text;
    };
    const int limit = Json::maxNestingDepth;
    EXPECT_NO_THROW(Json::parse(arrays(limit)));
    EXPECT_NO_THROW(Json::parse(objects(limit)));
    EXPECT_THROW(Json::parse(arrays(limit + 1)), Json::DecodeError);
    EXPECT_THROW(Json::parse(objects(limit + 1)), Json::DecodeError);
    // Far deeper than any stack: refused without being walked.
    EXPECT_THROW(Json::parse(arrays(1'000'000)), Json::DecodeError);
    EXPECT_THROW(Json::parse(QByteArray(1'000'000, '{')), Json::DecodeError);

    // Brackets inside strings, also after escaped quotes and backslashes, are text.
    const QByteArray inStrings =
        "[\"" + QByteArray(500, '[') + "\", \"\\\"{{{{\", \"\\\\\", " + arrays(limit - 1) + "]";
    const Json::Object parsed = Json::parse(inStrings);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[1], "\"{{{{");
    EXPECT_EQ(parsed[2], "\\");
    EXPECT_FALSE(Json::withinNestingDepth(inStrings.constBegin(), inStrings.constEnd(), limit - 1));
    EXPECT_TRUE(Json::withinNestingDepth(inStrings.constBegin(), inStrings.constEnd(), limit));
}

TEST(JsonText, ConvertsUtf8BothWays)
{
    const QString text = QStringLiteral("日本語 é 👍");
    EXPECT_EQ(Json::toStd(text), std::string("日本語 é 👍"));
    EXPECT_EQ(Json::fromStd(Json::toStd(text)), text);
}

} // namespace
