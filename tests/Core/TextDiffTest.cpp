#include "Core/TextDiff.h"

#include "Base/Unicode.h"

#include <gtest/gtest.h>

namespace {

qsizetype distance(const QString &a, const QString &b)
{
    return TextDiff::distance(Unicode::graphemes(a), Unicode::graphemes(b));
}

TEST(TextDiffTest, Distances)
{
    struct Case
    {
        QString a;
        QString b;
        qsizetype expected;
    };
    const Case cases[] = {
        {QStringLiteral("book"), QStringLiteral("back"), 2},
        {QStringLiteral("flaw"), QStringLiteral("lawn"), 2},
        {QString(), QStringLiteral("abc"), 3},
        {QStringLiteral("abc"), QString(), 3},
        {QString(), QString(), 0},
        {QStringLiteral("kitten"), QStringLiteral("sitting"), 3},
        {QStringLiteral("same"), QStringLiteral("same"), 0},
        // One character each, however many code units: a flag, a family, a combining accent.
        {QStringLiteral("🇯🇵"), QStringLiteral("🇫🇷"), 1},
        {QStringLiteral("a👨‍👩‍👧b"), QStringLiteral("ab"), 1},
        {QStringLiteral("caf\u00e9"), QStringLiteral("cafe\u0301"), 0},
        {QStringLiteral("caf\u00e9"), QStringLiteral("cafe"), 1},
        {QStringLiteral("今日は晴れ"), QStringLiteral("今日は雨"), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.a.toStdString() + " / " + c.b.toStdString());
        EXPECT_EQ(distance(c.a, c.b), c.expected);
        EXPECT_EQ(distance(c.b, c.a), c.expected);
    }
}

} // namespace
