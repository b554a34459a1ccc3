#include "Base/RawEnum.h"
#include "Core/Models/CleanupMode.h"
#include "Core/Models/DictationHoldKey.h"
#include "Core/Models/DictationState.h"
#include "Core/Models/DictationTask.h"
#include "Core/Models/DictationTrigger.h"
#include "Core/Models/InsertionMethod.h"
#include "Core/Models/VoiceBarStyle.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QSet>
#include <QVariant>

#include <unordered_set>

namespace {

template<typename E>
QStringList rawValues()
{
    QStringList names;
    for (E value : RawEnum::allCases<E>()) {
        names << RawEnum::rawValue(value);
    }
    return names;
}

TEST(RawEnum, AllCasesInDeclarationOrderWithRawValueEqualToTheCaseName)
{
    EXPECT_EQ(
        rawValues<DictationHoldKey>(),
        QStringList({"fn", "rightCommand", "rightOption", "rightControl", "rightShift", "none"}));
    EXPECT_EQ(
        RawEnum::allCases<DictationHoldKey>(),
        QList<DictationHoldKey>({DictationHoldKey::fn, DictationHoldKey::rightCommand,
                                 DictationHoldKey::rightOption, DictationHoldKey::rightControl,
                                 DictationHoldKey::rightShift, DictationHoldKey::none}));
    EXPECT_EQ(rawValues<CleanupMode>(),
              QStringList(
                  {"off", "rules", "cloud", "cloudRewrite", "localModel", "appleLLM", "rewrite"}));
    EXPECT_EQ(RawEnum::allCases<CleanupMode>(),
              QList<CleanupMode>({CleanupMode::off, CleanupMode::rules, CleanupMode::cloud,
                                  CleanupMode::cloudRewrite, CleanupMode::localModel,
                                  CleanupMode::appleLLM, CleanupMode::rewrite}));
    EXPECT_EQ(rawValues<InsertionMethod>(), QStringList({"paste", "type"}));
    EXPECT_EQ(RawEnum::allCases<InsertionMethod>().first(), InsertionMethod::paste);
    EXPECT_EQ(rawValues<VoiceBarStyle>(), QStringList({"notch", "classic"}));
    EXPECT_EQ(RawEnum::allCases<VoiceBarStyle>().last(), VoiceBarStyle::classic);
}

template<typename E>
void expectEveryRawValueReadsBack()
{
    for (E value : RawEnum::allCases<E>()) {
        EXPECT_EQ(RawEnum::fromRawValue<E>(RawEnum::rawValue(value)), value)
            << qPrintable(RawEnum::rawValue(value));
    }
}

TEST(RawEnum, FromRawValueIsExact)
{
    expectEveryRawValueReadsBack<DictationHoldKey>();
    expectEveryRawValueReadsBack<CleanupMode>();
    expectEveryRawValueReadsBack<InsertionMethod>();
    expectEveryRawValueReadsBack<VoiceBarStyle>();

    EXPECT_EQ(RawEnum::fromRawValue<DictationHoldKey>(u"rightCommand"),
              DictationHoldKey::rightCommand);
    EXPECT_EQ(RawEnum::fromRawValue<CleanupMode>(u"cloudRewrite"), CleanupMode::cloudRewrite);
    for (const char16_t *text :
         {u"RightCommand", u"right_command", u"rightcommand", u"", u" rightCommand",
          u"rightCommand ", u"DictationHoldKey::fn", u"cloudRewrite"}) {
        EXPECT_EQ(RawEnum::fromRawValue<DictationHoldKey>(text), std::nullopt)
            << QString::fromUtf16(text).toStdString();
    }
    for (const char16_t *text :
         {u"cloudrewrite", u"Cloud", u"OFF", u"", u"apple_llm", u"fn", u"CleanupMode::off", u"0"}) {
        EXPECT_EQ(RawEnum::fromRawValue<CleanupMode>(text), std::nullopt)
            << QString::fromUtf16(text).toStdString();
    }
    EXPECT_EQ(RawEnum::fromRawValue<InsertionMethod>(u"Paste"), std::nullopt);
    EXPECT_EQ(RawEnum::fromRawValue<VoiceBarStyle>(u"notch\n"), std::nullopt);
}

TEST(RawEnum, JsonIsTheRawValueString)
{
    Json::Object object = Json::Object::object();
    RawEnum::put(object, "mode", CleanupMode::appleLLM);
    RawEnum::putOptional(object, "absent", std::optional<InsertionMethod>());
    RawEnum::putOptional(object, "style", std::optional(VoiceBarStyle::notch));
    object["keys"] = std::vector {DictationHoldKey::rightShift, DictationHoldKey::none};
    EXPECT_EQ(Json::serialize(object),
              QByteArray(R"({"mode":"appleLLM","style":"notch","keys":["rightShift","none"]})"));

    EXPECT_EQ(RawEnum::require<CleanupMode>(object, "mode"), CleanupMode::appleLLM);
    EXPECT_EQ(RawEnum::optional<InsertionMethod>(object, "absent"), std::nullopt);
    EXPECT_EQ(RawEnum::optional<VoiceBarStyle>(object, "style"), VoiceBarStyle::notch);
    EXPECT_EQ(object["keys"].get<std::vector<DictationHoldKey>>(),
              (std::vector {DictationHoldKey::rightShift, DictationHoldKey::none}));
    // Plain nlohmann::json works as well.
    EXPECT_EQ(nlohmann::json("type").get<InsertionMethod>(), InsertionMethod::type);
}

TEST(RawEnum, JsonDecodingRefusesAnythingButACaseName)
{
    const Json::Object object = Json::Object::parse(
        R"({"lower": "cloudrewrite", "number": 2, "bool": true, "null": null, "empty": ""})");
    for (const char *key : {"lower", "number", "bool", "empty", "missing", "null"}) {
        try {
            RawEnum::require<CleanupMode>(object, key);
            ADD_FAILURE() << key;
        } catch (const Json::DecodeError &error) {
            EXPECT_NE(std::string(error.what()).find(key), std::string::npos) << error.what();
        }
    }
    EXPECT_THROW(RawEnum::optional<CleanupMode>(object, "lower"), Json::DecodeError);
    EXPECT_THROW(RawEnum::optional<CleanupMode>(object, "number"), Json::DecodeError);
    EXPECT_EQ(RawEnum::optional<CleanupMode>(object, "null"), std::nullopt);
    EXPECT_THROW(Json::Object("cloudrewrite").get<CleanupMode>(), Json::DecodeError);
    EXPECT_THROW(Json::Object(1).get<CleanupMode>(), Json::DecodeError);
}

TEST(RawEnum, EnumerationsServeAsHashKeysAndQtValues)
{
    QSet<CleanupMode> modes {CleanupMode::cloud, CleanupMode::cloud, CleanupMode::off};
    EXPECT_EQ(modes.size(), 2);
    QHash<DictationState, int> states {{DictationState::idle, 1}, {DictationState::processing, 2}};
    EXPECT_EQ(states.value(DictationState::processing), 2);
    std::unordered_set<DictationTask> tasks {DictationTask::ask, DictationTask::translate,
                                             DictationTask::ask};
    EXPECT_EQ(tasks.size(), 2u);
    QSet<DictationTrigger> triggers {DictationTrigger::hold, DictationTrigger::menu};
    EXPECT_TRUE(triggers.contains(DictationTrigger::menu));

    // Stored settings and Qt properties see the case name.
    EXPECT_EQ(QVariant::fromValue(CleanupMode::localModel).toString(),
              QStringLiteral("localModel"));
    EXPECT_EQ(QVariant::fromValue(DictationState::recording).toString(),
              QStringLiteral("recording"));
    EXPECT_EQ(QVariant(QStringLiteral("type")).value<InsertionMethod>(), InsertionMethod::type);
}

} // namespace
