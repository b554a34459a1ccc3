#include "Core/Models/Replacement.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

Replacement sample()
{
    Replacement r;
    r.id = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
    r.phrase = QStringLiteral("ゆーえすびー");
    r.expansion = QStringLiteral("USB");
    r.isEnabled = false;
    return r;
}

TEST(Replacement, EncodesFourKeysInOrderAndRoundTrips)
{
    const Replacement r = sample();
    EXPECT_EQ(Json::serialize(r.toJson()),
              QByteArray(R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E",)"
                         R"("phrase":"ゆーえすびー","expansion":"USB","isEnabled":false})"));
    EXPECT_EQ(Replacement::fromJson(Json::parse(Json::serialize(r.toJson()))), r);
}

TEST(Replacement, ListsConvertThroughNlohmann)
{
    Replacement second;
    second.phrase = QStringLiteral("btw");
    second.expansion = QStringLiteral("by the way");
    const std::vector<Replacement> list {sample(), second};
    const Json::Object json = list;
    ASSERT_TRUE(json.is_array());
    EXPECT_EQ(json.get<std::vector<Replacement>>(), list);
}

TEST(Replacement, DecodingRequiresAllFourKeysAndIgnoresOthers)
{
    const Json::Object valid = Json::Object::parse(R"({"isEnabled": true, "expansion": "USB",
        "phrase": "usb", "id": "0f8fad5b-d9cb-469f-a165-70867728950e", "note": "x"})");
    const Replacement decoded = Replacement::fromJson(valid);
    EXPECT_EQ(decoded.phrase, QStringLiteral("usb"));
    EXPECT_TRUE(decoded.isEnabled);

    using Edit = std::function<void(Json::Object &)>;
    const std::pair<const char *, Edit> failures[] = {
        {"no id",
         [](Json::Object &o) {
             o.erase("id");
         }},
        {"no phrase",
         [](Json::Object &o) {
             o.erase("phrase");
         }},
        {"no expansion",
         [](Json::Object &o) {
             o.erase("expansion");
         }},
        {"no isEnabled",
         [](Json::Object &o) {
             o.erase("isEnabled");
         }},
        {"null phrase",
         [](Json::Object &o) {
             o["phrase"] = nullptr;
         }},
        {"invalid id",
         [](Json::Object &o) {
             o["id"] = "0f8fad5b";
         }},
        {"isEnabled as number",
         [](Json::Object &o) {
             o["isEnabled"] = 1;
         }},
        {"expansion as number",
         [](Json::Object &o) {
             o["expansion"] = 1;
         }},
    };
    for (const auto &[name, edit] : failures) {
        Json::Object object = valid;
        edit(object);
        EXPECT_THROW(Replacement::fromJson(object), Json::DecodeError) << name;
    }
    // One bad element fails the whole list.
    Json::Object list = Json::Object::array({valid, Json::Object::object()});
    EXPECT_THROW(list.get<std::vector<Replacement>>(), Json::DecodeError);
}

TEST(Replacement, EqualityCoversEveryFieldWhileIdentityIsTheId)
{
    const Replacement base = sample();
    Replacement toggled = base;
    toggled.isEnabled = !base.isEnabled;
    EXPECT_NE(toggled, base);
    EXPECT_EQ(toggled.id, base.id);

    Replacement sameTexts = base;
    sameTexts.id = QUuid::createUuid();
    EXPECT_NE(sameTexts, base);

    Replacement otherPhrase = base;
    otherPhrase.phrase = QStringLiteral("USB");
    EXPECT_NE(otherPhrase, base);
    EXPECT_EQ(Replacement(base), base);

    EXPECT_NE(Replacement().id, Replacement().id);
}

} // namespace
