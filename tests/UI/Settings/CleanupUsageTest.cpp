#include "UI/Settings/CleanupUsage.h"

#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

const char *const kGood =
    R"({"tier":"pro","requests":{"used":12,"limit":200},)"
    R"("costMicros":{"used":125,"limit":1000},"resetAt":"2026-12-10T00:00:00Z"})";

std::optional<CleanupUsage> decode(const std::string &body)
{
    return CleanupUsage::decode(QByteArray::fromStdString(body));
}

// The good body with one piece of text replaced.
std::string edited(const std::string &from, const std::string &to)
{
    std::string body = kGood;
    const auto at = body.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return body.replace(at, from.size(), to);
}

CleanupUsage withReset(const char *resetAt)
{
    CleanupUsage usage;
    usage.resetAt = QString::fromUtf8(resetAt);
    return usage;
}

} // namespace

TEST(CleanupUsage, DecodesTheWholeRecordAndIgnoresKeysItDoesNotKnow)
{
    const auto usage = decode(kGood);
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->tier, QStringLiteral("pro"));
    EXPECT_EQ(usage->requests, (CleanupUsage::Pair {12, 200}));
    EXPECT_EQ(usage->costMicros, (CleanupUsage::Pair {125, 1000}));
    EXPECT_EQ(usage->resetAt, QStringLiteral("2026-12-10T00:00:00Z"));

    const auto extra =
        decode(edited(R"("tier":"pro",)", R"("tier":"pro","plan":{"x":[1,null]},"note":null,)"));
    ASSERT_TRUE(extra);
    EXPECT_EQ(*extra, *usage);
    const auto extraInPair = decode(edited(R"("used":12,)", R"("used":12,"extra":"yes",)"));
    ASSERT_TRUE(extraInPair);
    EXPECT_EQ(extraInPair->requests, (CleanupUsage::Pair {12, 200}));

    // Both ends of the signed 64-bit range are whole integers.
    const auto ends = decode(edited(R"("used":125,"limit":1000)",
                                    R"("used":9223372036854775807,"limit":-9223372036854775808)"));
    ASSERT_TRUE(ends);
    EXPECT_EQ(ends->costMicros, (CleanupUsage::Pair {kMax, kMin}));
}

TEST(CleanupUsage, AnyMissingKeyNullOrWrongTypeFailsTheWholeBody)
{
    struct Case
    {
        const char *name;
        std::string body;
    };
    const Case cases[] = {
        {"no tier", edited(R"("tier":"pro",)", "")},
        {"no requests", edited(R"("requests":{"used":12,"limit":200},)", "")},
        {"no costMicros", edited(R"(,"costMicros":{"used":125,"limit":1000})", "")},
        {"no resetAt", edited(R"(,"resetAt":"2026-12-10T00:00:00Z")", "")},
        {"no used", edited(R"("used":12,)", "")},
        {"no limit", edited(R"(,"limit":1000)", "")},
        {"tier null", edited(R"("tier":"pro")", R"("tier":null)")},
        {"tier a number", edited(R"("tier":"pro")", R"("tier":1)")},
        {"requests null", edited(R"("requests":{"used":12,"limit":200})", R"("requests":null)")},
        {"requests an array", edited(R"({"used":12,"limit":200})", "[12,200]")},
        {"used a text", edited(R"("used":12)", R"("used":"12")")},
        {"used a float", edited(R"("used":12)", R"("used":12.5)")},
        {"used a whole float", edited(R"("used":12)", R"("used":12.0)")},
        {"used an exponent", edited(R"("used":12)", R"("used":1e1)")},
        {"used a boolean", edited(R"("used":12)", R"("used":true)")},
        {"used null", edited(R"("used":12)", R"("used":null)")},
        {"limit over the range", edited(R"("limit":1000)", R"("limit":9223372036854775808)")},
        {"limit under the range", edited(R"("limit":1000)", R"("limit":-9223372036854775809)")},
        {"resetAt a number", edited(R"("2026-12-10T00:00:00Z")", "1765324800")},
        {"resetAt null", edited(R"("2026-12-10T00:00:00Z")", "null")},
        {"an array", std::string("[") + kGood + "]"},
        {"not JSON", "usage"},
        {"empty", ""},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(decode(c.body)) << c.name;
    }
}

TEST(CleanupUsage, FractionsWarnFromEightyPercentAndZeroWithoutALimit)
{
    struct Case
    {
        CleanupUsage::Pair pair;
        double fraction;
        bool warns;
    };
    const Case cases[] = {
        {{80, 100}, 0.8, true},    {{79, 100}, 0.79, false}, {{250, 200}, 1.25, true},
        {{5, 0}, 0, false},        {{5, -3}, 0, false},      {{0, 200}, 0, false},
        {{-20, 100}, -0.2, false}, {{12, 200}, 0.06, false},
    };
    for (const Case &c : cases) {
        const double f = CleanupUsage::fraction(c.pair);
        EXPECT_DOUBLE_EQ(f, c.fraction) << c.pair.used << "/" << c.pair.limit;
        EXPECT_EQ(CleanupUsage::warns(f), c.warns) << c.pair.used << "/" << c.pair.limit;
    }
}

TEST(CleanupUsage, TheFillIsAtLeastFourWhenAnythingIsUsedAndNeverLongerThanTheBar)
{
    struct Case
    {
        double fraction;
        double width;
        double fill;
    };
    const Case cases[] = {
        {0.001, 300, 4}, {0, 300, 0},    {-0.5, 300, 0}, {1.25, 300, 300}, {0.5, 300, 150},
        {0.01, 300, 4},  {0.02, 300, 6}, {1, 300, 300},  {1e18, 300, 300},
    };
    for (const Case &c : cases) {
        EXPECT_DOUBLE_EQ(CleanupUsage::fillWidth(c.fraction, c.width), c.fill) << c.fraction;
    }
}

TEST(CleanupUsage, PercentageRoundsHalvesAwayFromZeroAndIsHeldAtTheRangeEnds)
{
    struct Case
    {
        CleanupUsage::Pair cost;
        qint64 percentage;
        const char *detail;
    };
    const Case cases[] = {
        {{125, 1000}, 13, "13%"},
        {{1249, 10000}, 12, "12%"},
        {{5, 0}, 0, "0%"},
        {{-125, 1000}, -13, "-13%"},
        {{3, 2}, 150, "150%"},
        // So far over the limit that the percentage does not fit: held, never overflowing.
        {{kMax, 1}, kMax, "9223372036854775807%"},
        {{kMin, 1}, kMin, "-9223372036854775808%"},
    };
    for (const Case &c : cases) {
        const qint64 p = CleanupUsage::percentage(CleanupUsage::fraction(c.cost));
        EXPECT_EQ(p, c.percentage) << c.cost.used << "/" << c.cost.limit;
        EXPECT_EQ(CleanupUsage::percentageDetail(p), QString::fromLatin1(c.detail));
    }

    // Just inside the range the figure is kept, as near as a double holds it.
    const qint64 inside = CleanupUsage::percentage(CleanupUsage::fraction({kMax / 200, 1}));
    EXPECT_NEAR(static_cast<double>(inside), static_cast<double>(kMax / 200) * 100, 1e4);
    EXPECT_LT(inside, kMax);
}

TEST(CleanupUsage, RequestDetailsArePlainDecimal)
{
    struct Case
    {
        CleanupUsage::Pair pair;
        const char *detail;
    };
    const Case cases[] = {
        {{12, 200}, "12 / 200"},
        {{5, 0}, "5 / 0"},
        {{250, 200}, "250 / 200"},
        {{-3, -40}, "-3 / -40"},
        {{1234567, 10000000}, "1234567 / 10000000"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CleanupUsage::requestsDetail(c.pair), QString::fromLatin1(c.detail));
    }
}

TEST(CleanupUsage, TheResetTimeIsAShortLocalTimeOfAnInternetDateTimeInWholeSeconds)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QTimeZone utc(0);
    const QTimeZone plusOne(3600);
    struct Case
    {
        const char *resetAt;
        QLocale locale;
        QTimeZone zone;
        std::optional<QString> line;
    };
    const Case cases[] = {
        {"2026-12-10T00:00:00Z", us, utc, QStringLiteral("12:00 AM")},
        {"2026-12-10T09:00:00+09:00", us, utc, QStringLiteral("12:00 AM")},
        {"2026-12-10T00:00:00Z", us, plusOne, QStringLiteral("1:00 AM")},
        {"2026-12-10T13:30:00-02:00", german, plusOne, QStringLiteral("16:30")},
        {"2026-12-10T00:00:00.000Z", us, utc, std::nullopt},
        {"2026-12-10T00:00Z", us, utc, std::nullopt},
        {"2026-12-10 00:00:00Z", us, utc, std::nullopt},
        {"2026-12-10T00:00:00", us, utc, std::nullopt},
        {"2026-12-10", us, utc, std::nullopt},
        {"", us, utc, std::nullopt},
    };
    for (const Case &c : cases) {
        const auto line = withReset(c.resetAt).localResetTime(c.locale, c.zone);
        // Some locale data separates the time from its AM/PM with a narrow no-break space.
        const auto plain = line
            ? std::optional<QString>(QString(*line).replace(QChar(0x202F), QLatin1Char(' ')))
            : std::nullopt;
        EXPECT_EQ(plain, c.line) << c.resetAt;
    }

    // Without a locale and zone given: the process's own, and still no date part.
    const auto local = withReset("2026-12-10T00:00:00Z").localResetTime();
    ASSERT_TRUE(local);
    EXPECT_FALSE(local->contains(QStringLiteral("2026")));
    EXPECT_FALSE(withReset("2026-12-10T00:00:00.5Z").localResetTime());
}
