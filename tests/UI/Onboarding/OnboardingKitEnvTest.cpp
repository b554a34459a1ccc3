#include "UI/Onboarding/OnboardingKitEnv.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char *, const char *>> values)
{
    QProcessEnvironment env;
    for (const auto &[name, value] : values) {
        env.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    }
    return env;
}

const QStringList legacy = {QStringLiteral("OLD_ONBOARDING"), QStringLiteral("OLDER_ONBOARDING")};

} // namespace

TEST(OnboardingKitEnv, OnlyAnExactOneForces_TheKitsNameFirstThenTheLegacyNames)
{
    struct Case
    {
        const char *name;
        QProcessEnvironment env;
        bool forced;
    };
    const Case cases[] = {
        {"unset", environment({}), false},
        {"one", environment({{"TARVOSS_ONBOARDING", "1"}}), true},
        {"zero", environment({{"TARVOSS_ONBOARDING", "0"}}), false},
        {"true", environment({{"TARVOSS_ONBOARDING", "true"}}), false},
        {"zero one", environment({{"TARVOSS_ONBOARDING", "01"}}), false},
        {"blank before", environment({{"TARVOSS_ONBOARDING", " 1"}}), false},
        {"empty", environment({{"TARVOSS_ONBOARDING", ""}}), false},
        {"legacy one after a kit zero",
         environment({{"TARVOSS_ONBOARDING", "0"}, {"OLDER_ONBOARDING", "1"}}), true},
        {"legacy true", environment({{"OLD_ONBOARDING", "true"}}), false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OnboardingKitEnv::forced(legacy, c.env), c.forced) << c.name;
    }
    // The start-up asks with no legacy names: another name never counts then.
    EXPECT_FALSE(OnboardingKitEnv::forced({}, environment({{"OLD_ONBOARDING", "1"}})));
}

TEST(OnboardingKitEnv, APinnedPageIsAWholeSignedNumberWithNothingAroundIt)
{
    struct Case
    {
        const char *value;
        std::optional<qint64> page;
    };
    const Case cases[] = {
        {"+2", 2},
        {"-3", -3},
        {"99", 99},
        {"0", 0},
        {"007", 7},
        {"2.0", std::nullopt},
        {" 2", std::nullopt},
        {"2 ", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-2", std::nullopt},
        {"++2", std::nullopt},
        {"0x10", std::nullopt},
        {"２", std::nullopt}, // a full-width digit is not ASCII
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"9223372036854775808", std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OnboardingKitEnv::parsePage(QString::fromUtf8(c.value)), c.page)
            << "\"" << c.value << "\"";
        EXPECT_EQ(
            OnboardingKitEnv::pinnedPage({}, environment({{"TARVOSS_ONBOARDING_PAGE", c.value}})),
            c.page)
            << "\"" << c.value << "\"";
    }
}

TEST(OnboardingKitEnv, AnUnreadablePinPassesOnToTheNextName)
{
    struct Case
    {
        const char *name;
        QProcessEnvironment env;
        std::optional<qint64> page;
    };
    const Case cases[] = {
        {"none set", environment({}), std::nullopt},
        {"kit's unreadable, legacy valid",
         environment({{"TARVOSS_ONBOARDING_PAGE", "2.0"}, {"OLDER_ONBOARDING", "1"}}), 1},
        {"kit's empty, first legacy blank, second valid",
         environment({{"TARVOSS_ONBOARDING_PAGE", ""},
                      {"OLD_ONBOARDING", " 2"},
                      {"OLDER_ONBOARDING", "-1"}}),
         -1},
        {"kit's wins over legacy",
         environment({{"TARVOSS_ONBOARDING_PAGE", "3"}, {"OLD_ONBOARDING", "1"}}), 3},
        {"all unreadable",
         environment({{"TARVOSS_ONBOARDING_PAGE", "x"}, {"OLD_ONBOARDING", "1.5"}}), std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OnboardingKitEnv::pinnedPage(legacy, c.env), c.page) << c.name;
    }
}
