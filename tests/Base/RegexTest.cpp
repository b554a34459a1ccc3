#include "Base/Regex.h"

#include <QtConcurrent/QtConcurrent>
#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

#include <ostream>

namespace {

QStringList matchedTexts(const Regex &regex, const QString &text)
{
    QStringList result;
    for (const RegexMatch &match : regex.allMatches(text)) {
        result.append(match.captured());
    }
    return result;
}

} // namespace

TEST(RegexMatching, UnicodeAwareClassesAndOptions)
{
    struct Case
    {
        const char *name;
        QString pattern;
        RegexOptions options;
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {"\\w and \\b know accented letters",
         QStringLiteral("\\b\\w+\\b"),
         {},
         QStringLiteral("caf\u00E9 na\u00EFve e\u0301t\u00E9"),
         {"caf\u00E9", "na\u00EFve", "e\u0301t\u00E9"}},
        {"\\w spans Japanese scripts",
         QStringLiteral("\\w+"),
         {},
         QStringLiteral("\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3002OK"),
         {"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8", "OK"}},
        {"\\d is any decimal digit",
         QStringLiteral("\\d+"),
         {},
         QStringLiteral("\u0661\u0662 \uFF13 42"),
         {"\u0661\u0662", "\uFF13", "42"}},
        {"\\s knows ideographic and no-break spaces, not zero width space",
         QStringLiteral("\\s+"),
         {},
         QStringLiteral("a\u3000b\u00A0c\u200Bd\u0085e"),
         {"\u3000", "\u00A0", "\u0085"}},
        {"simple \\b splits at an apostrophe",
         QStringLiteral("\\bcan\\b"),
         {},
         QStringLiteral("can't"),
         {"can"}},
        {"Unicode word boundaries keep can't whole",
         QStringLiteral("\\bcan\\b"),
         RegexOption::UseUnicodeWordBoundaries,
         QStringLiteral("can't can"),
         {"can"}},
        {"case-insensitive accented",
         QStringLiteral("\u00E9mile"),
         RegexOption::CaseInsensitive,
         QStringLiteral("\u00C9MILE \u00E9mile"),
         {"\u00C9MILE", "\u00E9mile"}},
        {"case-insensitive Greek",
         QStringLiteral("\u03C3\u03BF\u03C6\u03B9\u03B1"),
         RegexOption::CaseInsensitive,
         QStringLiteral("\u03A3\u039F\u03A6\u0399\u0391"),
         {"\u03A3\u039F\u03A6\u0399\u0391"}},
        {"case-insensitive full folding",
         QStringLiteral("stra\u00DFe"),
         RegexOption::CaseInsensitive,
         QStringLiteral("STRASSE"),
         {"STRASSE"}},
        {"case-sensitive by default", QStringLiteral("\u00E9"), {}, QStringLiteral("\u00C9"), {}},
        {"anchors match the whole text by default",
         QStringLiteral("^\\w+$"),
         {},
         QStringLiteral("one\ntwo"),
         {}},
        {"anchors match lines",
         QStringLiteral("^\\w+$"),
         RegexOption::AnchorsMatchLines,
         QStringLiteral("one\ntwo\r\nthree"),
         {"one", "two", "three"}},
        {"dot stops at line ends", QStringLiteral("a.b"), {}, QStringLiteral("a\nb a\u2028b"), {}},
        {"dot matches line separators",
         QStringLiteral("a.b"),
         RegexOption::DotMatchesLineSeparators,
         QStringLiteral("a\nb a\u2028b"),
         {"a\nb", "a\u2028b"}},
        {"comments and white space",
         QStringLiteral("a b  # a comment\n c"),
         RegexOption::AllowCommentsAndWhitespace,
         QStringLiteral("abc a b c"),
         {"abc"}},
        {"dot takes a whole surrogate pair",
         QStringLiteral("."),
         {},
         QStringLiteral("\U0001F600x"),
         {"\U0001F600", "x"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Regex regex(c.pattern, c.options);
        EXPECT_EQ(matchedTexts(regex, c.text), c.expected);
        EXPECT_EQ(regex.countMatches(c.text), c.expected.size());
        EXPECT_EQ(regex.hasMatch(c.text), !c.expected.isEmpty());
    }
}

TEST(RegexMatching, OffsetsAreUtf16CodeUnits)
{
    const Regex regex(QStringLiteral("(\U0001F600)(b)"));
    const QString text = QStringLiteral("\U0001F600a\U0001F600b");
    const auto match = regex.firstMatch(text);
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->start, 3);
    EXPECT_EQ(match->length, 3);
    EXPECT_EQ(match->end(), 6);
    const QList<std::pair<qsizetype, qsizetype>> groups {{3, 3}, {3, 2}, {5, 1}};
    EXPECT_EQ(match->groups, groups);
    EXPECT_EQ(match->captured(1), QStringLiteral("\U0001F600"));

    // Empty matches move on by whole scalars, never between the halves of a pair.
    QList<qsizetype> starts;
    for (const RegexMatch &m :
         Regex(QStringLiteral("x*")).allMatches(QStringLiteral("a\U0001F600b"))) {
        starts.append(m.start);
    }
    EXPECT_EQ(starts, (QList<qsizetype> {0, 1, 3, 4}));
}

TEST(RegexMatching, GroupsThatDidNotTakePart)
{
    const Regex regex(QStringLiteral("(a)(b)?(c)"));
    EXPECT_EQ(regex.captureGroupCount(), 3);
    const auto match = regex.firstMatch(QStringLiteral("xac"));
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->groupCount(), 3);
    const QList<std::pair<qsizetype, qsizetype>> groups {{1, 2}, {1, 1}, {-1, 0}, {2, 1}};
    EXPECT_EQ(match->groups, groups);
    EXPECT_TRUE(match->participated(1));
    EXPECT_FALSE(match->participated(2));
    EXPECT_TRUE(match->captured(2).isNull());
    EXPECT_EQ(match->captured(3), QStringLiteral("c"));
    EXPECT_TRUE(match->captured(4).isNull());
    EXPECT_TRUE(match->captured(-1).isNull());

    // A group that took part but matched nothing is empty, not absent.
    const auto empty = Regex(QStringLiteral("x(b*)")).firstMatch(QStringLiteral("x"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->participated(1));
    EXPECT_FALSE(empty->captured(1).isNull());
    EXPECT_TRUE(empty->captured(1).isEmpty());
}

TEST(RegexMatching, FirstMatchFromAnOffset)
{
    const Regex regex(QStringLiteral("(?<=X)a|^a"));
    const QString text = QStringLiteral("aXa");
    EXPECT_EQ(regex.firstMatch(text, 0)->start, 0);
    // The text before the offset still counts for look-behind and anchors.
    EXPECT_EQ(regex.firstMatch(text, 1)->start, 2);
    EXPECT_FALSE(regex.firstMatch(text, 3).has_value());
    EXPECT_FALSE(regex.firstMatch(text, 4).has_value());
    EXPECT_FALSE(regex.firstMatch(text, -1).has_value());
    EXPECT_TRUE(Regex(QStringLiteral("$")).firstMatch(text, 3).has_value());
}

TEST(RegexReplacing, Templates)
{
    struct Case
    {
        const char *name;
        QString pattern;
        RegexOptions options;
        QString text;
        QString replacementTemplate;
        QString expected;
    };
    const Case cases[] = {
        {"groups swap",
         QStringLiteral("(\\w+)@(\\w+)"),
         {},
         QStringLiteral("me@host, you@there"),
         QStringLiteral("$2 at $1"),
         QStringLiteral("host at me, there at you")},
        {"group used twice",
         QStringLiteral("(\u3042)"),
         {},
         QStringLiteral("\u3042\u3044"),
         QStringLiteral("$1$1"),
         QStringLiteral("\u3042\u3042\u3044")},
        {"whole match",
         QStringLiteral("\\d+"),
         {},
         QStringLiteral("a1b22"),
         QStringLiteral("<$0>"),
         QStringLiteral("a<1>b<22>")},
        {"group that did not take part is empty",
         QStringLiteral("(a)(b)?(c)"),
         {},
         QStringLiteral("ac"),
         QStringLiteral("[$2]"),
         QStringLiteral("[]")},
        {"digits after a group that does not exist are literal",
         QStringLiteral("(x)"),
         {},
         QStringLiteral("x"),
         QStringLiteral("$12"),
         QStringLiteral("x2")},
        {"escaped dollar and backslash",
         QStringLiteral("x"),
         {},
         QStringLiteral("axb"),
         QStringLiteral("\\$1\\\\"),
         QStringLiteral("a$1\\b")},
        {"real line feed in template",
         QStringLiteral("\\n{3,}"),
         {},
         QStringLiteral("a\n\n\n\nb"),
         QStringLiteral("\n\n"),
         QStringLiteral("a\n\nb")},
        {"case-insensitive", QStringLiteral("\u00E9"), RegexOption::CaseInsensitive,
         QStringLiteral("\u00C9\u00E9E"), QStringLiteral("e"), QStringLiteral("eeE")},
        {"line anchors", QStringLiteral("^\\s+"), RegexOption::AnchorsMatchLines,
         QStringLiteral(" a\n \u3000b"), QString(), QStringLiteral("a\nb")},
        {"empty matches",
         QStringLiteral(""),
         {},
         QStringLiteral("ab"),
         QStringLiteral("-"),
         QStringLiteral("-a-b-")},
        {"no match leaves the text",
         QStringLiteral("z"),
         {},
         QStringLiteral("abc"),
         QStringLiteral("y"),
         QStringLiteral("abc")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Regex(c.pattern, c.options).replaceAll(c.text, c.replacementTemplate),
                  c.expected);
    }

    EXPECT_EQ(
        Regex(QStringLiteral("a(.)")).replaceFirst(QStringLiteral("abacad"), QStringLiteral("$1")),
        QStringLiteral("bacad"));
    EXPECT_EQ(Regex(QStringLiteral("z")).replaceFirst(QStringLiteral("abc"), QStringLiteral("$1")),
              QStringLiteral("abc"));
}

TEST(RegexReplacing, InvalidTemplateKeepsTheText)
{
    const Regex regex(QStringLiteral("(a)"));
    for (const QString &bad :
         {QStringLiteral("$9"), QStringLiteral("$x"), QStringLiteral("cost $")}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_EQ(regex.replaceAll(QStringLiteral("banana"), bad), QStringLiteral("banana"));
    }
}

TEST(RegexReplacing, EscapedTemplateInsertsLiteralText)
{
    const QString literal = QStringLiteral("$1 costs \\ $ and ${name}");
    EXPECT_EQ(Regex::escapedTemplate(QStringLiteral("a$b\\c")), QStringLiteral("a\\$b\\\\c"));
    EXPECT_EQ(Regex(QStringLiteral("(x)"))
                  .replaceAll(QStringLiteral("AxB"), Regex::escapedTemplate(literal)),
              QStringLiteral("A") + literal + QStringLiteral("B"));
}

TEST(RegexReplacing, ComputedReplacement)
{
    const Regex regex(QStringLiteral("(\\d+)(%)?"));
    const auto doubled = [](const RegexMatch &match) {
        QString result = QString::number(match.captured(1).toInt() * 2);
        // The returned text is inserted as is, "$" included.
        return match.participated(2) ? result + QStringLiteral("$") : result;
    };
    EXPECT_EQ(regex.replaceAll(QStringLiteral("\U0001F600 3 and 21% and 4"), doubled),
              QStringLiteral("\U0001F600 6 and 42$ and 8"));
    EXPECT_EQ(regex.replaceAll(QStringLiteral("none"), doubled), QStringLiteral("none"));
    EXPECT_EQ(Regex(QStringLiteral("x*"))
                  .replaceAll(QStringLiteral("ab"),
                              [](const RegexMatch &) { return QStringLiteral("-"); }),
              QStringLiteral("-a-b-"));
}

TEST(RegexEscaping, EscapedPatternMatchesTheLiteralOnly)
{
    EXPECT_EQ(Regex::escapedPattern(QStringLiteral("(N/A)")), QStringLiteral("\\(N\\/A\\)"));

    const QString literals[] = {
        QStringLiteral("a.b*c+d?"),
        QStringLiteral("$1 \\ ^[x]{2,}|(y)"),
        QStringLiteral("# not a comment"),
        QStringLiteral("\\Q\\E\\b\\d"),
        QStringLiteral("tab\tline\nsep\u2028next\u0085cr\r"),
        QStringLiteral("\u65E5\u672C\u8A9E \U0001F600 e\u0301"),
        QStringLiteral("a-b]&&[c"),
    };
    const RegexOptions optionSets[] = {{},
                                       RegexOption::AllowCommentsAndWhitespace,
                                       RegexOption::AllowCommentsAndWhitespace
                                           | RegexOption::CaseInsensitive
                                           | RegexOption::DotMatchesLineSeparators};
    for (const QString &literal : literals) {
        for (const RegexOptions options : optionSets) {
            SCOPED_TRACE(literal.toStdString() + ", options " + std::to_string(options.toInt()));
            QString error;
            const auto regex = Regex::compile(Regex::escapedPattern(literal), options, &error);
            ASSERT_TRUE(regex.has_value()) << error.toStdString();
            const QString text = QStringLiteral("<") + literal + QStringLiteral(">") + literal;
            const QList<RegexMatch> matches = regex->allMatches(text);
            ASSERT_EQ(matches.size(), 2);
            EXPECT_EQ(matches[0].start, 1);
            EXPECT_EQ(matches[1].start, literal.size() + 2);
            EXPECT_EQ(matches[1].length, literal.size());
        }
    }
    EXPECT_FALSE(
        Regex(Regex::escapedPattern(QStringLiteral("a.b"))).hasMatch(QStringLiteral("axb")));
}

TEST(RegexCompiling, InvalidPatternsAreReported)
{
    struct Case
    {
        QString pattern;
        const char *description;
    };
    const Case cases[] = {
        {QStringLiteral("a(b"), "unbalanced parentheses"},
        {QStringLiteral("[a-"), "invalid range"},
        {QStringLiteral("(?<=a+)b"), "look-behind"},
        {QStringLiteral("a{3,1}"), "interval maximum below its minimum"},
        {QStringLiteral("*a"), "syntax error"},
        {QStringLiteral("\\p{NoSuchProperty}"), "Unicode property"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        QString error = QStringLiteral("stale");
        EXPECT_FALSE(Regex::compile(c.pattern, {}, &error).has_value());
        EXPECT_TRUE(error.contains(c.pattern)) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.description))) << error.toStdString();
        EXPECT_FALSE(Regex::compile(c.pattern).has_value());
    }

    QString error = QStringLiteral("stale");
    const auto valid =
        Regex::compile(QStringLiteral("(a)|b"), RegexOption::CaseInsensitive, &error);
    ASSERT_TRUE(valid.has_value());
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(valid->pattern(), QStringLiteral("(a)|b"));
    EXPECT_EQ(valid->options(), RegexOptions(RegexOption::CaseInsensitive));
    EXPECT_EQ(valid->captureGroupCount(), 1);
}

TEST(RegexCompilingDeathTest, InvalidLiteralPatternStopsWithAMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Regex(QStringLiteral("(unclosed")),
                 "Invalid regular expression.*unclosed.*unbalanced");
}

TEST(RegexThreads, ConcurrentUseOfOneRegex)
{
    static const Regex regex(QStringLiteral("(\\d+)\\s*(\u5186|yen)"),
                             RegexOption::CaseInsensitive);
    QList<int> inputs;
    for (int i = 0; i < 400; ++i) {
        inputs.append(i);
    }
    const QList<bool> correct = QtConcurrent::blockingMapped(inputs, [](int i) {
        const QString text = QStringLiteral("\U0001F600 %1 YEN \u3068 %2\u5186").arg(i).arg(i * 7);
        const QString expected = QStringLiteral("\U0001F600 [%1] \u3068 [%2]").arg(i).arg(i * 7);
        bool ok = true;
        for (int round = 0; round < 25; ++round) {
            ok = ok && regex.replaceAll(text, QStringLiteral("[$1]")) == expected;
            const QList<RegexMatch> matches = regex.allMatches(text);
            ok = ok && matches.size() == 2 && matches[0].start == 3
                && matches[1].captured(1) == QString::number(i * 7);
        }
        return ok;
    });
    EXPECT_EQ(correct.count(false), 0);
}

TEST(RegexLimits, QuadraticSearchIsAbandoned)
{
    // Without a bound each of these backtracks over the rest of the run from every start
    // position: seconds for 20,000 code units.
    const QString blanks =
        QStringLiteral("a") + QString(20000, QLatin1Char(' ')) + QStringLiteral("b");
    const Regex blankBeforePunctuation(QStringLiteral("[ \\t]+([,.!?;:])"));

    bool complete = true;
    EXPECT_FALSE(blankBeforePunctuation.hasMatch(blanks, &complete));
    EXPECT_FALSE(complete);
    complete = true;
    EXPECT_FALSE(blankBeforePunctuation.firstMatch(blanks, 0, &complete));
    EXPECT_FALSE(complete);
    complete = true;
    EXPECT_EQ(blankBeforePunctuation.countMatches(blanks, &complete), 0);
    EXPECT_FALSE(complete);

    // Replacements give up whole: the text comes back unchanged, never half replaced.
    const QString text = QStringLiteral("x ,y ") + blanks + QStringLiteral(" ,z");
    complete = true;
    EXPECT_EQ(blankBeforePunctuation.replaceAll(text, QStringLiteral("$1"), &complete), text);
    EXPECT_FALSE(complete);
    complete = true;
    EXPECT_EQ(blankBeforePunctuation.replaceAll(
                  text, [](const RegexMatch &match) { return match.captured(1); }, &complete),
              text);
    EXPECT_FALSE(complete);

    // A search reports what it found before it stopped.
    complete = true;
    const QList<RegexMatch> found = blankBeforePunctuation.allMatches(text, &complete);
    EXPECT_FALSE(complete);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].start, 1);

    // The e-mail pattern on a long run of letters and digits without "@".
    const Regex email(QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}"));
    complete = true;
    EXPECT_TRUE(email.allMatches(QStringLiteral("user42").repeated(3334), &complete).isEmpty());
    EXPECT_FALSE(complete);
}

TEST(RegexLimits, OrdinaryTextRunsToTheEndWhateverItsLength)
{
    // The limit grows with the text: half a million code units of ordinary sentences, with words,
    // repeated blanks, addresses and punctuation, are searched to the end by patterns that look
    // at every word.
    QString text;
    for (int i = 0; text.size() < 512 * 1024; ++i) {
        text += QStringLiteral("Mail john.doe%1@example.com  about the the report , please. "
                               "\u4eca\u65e5\u306f\u3001\u307e\u3042\u3001\u6674\u308c\u3002 ")
                    .arg(i);
    }
    struct Case
    {
        QString pattern;
        RegexOptions options;
        qsizetype expectedMatches;
    };
    const qsizetype sentences = text.count(QStringLiteral("Mail "));
    const Case cases[] = {
        {QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}"), {}, sentences},
        {QStringLiteral("\\b(?!(?:had|that|very|really)\\b)([A-Za-z']+)(?:\\s+\\1\\b)+"),
         RegexOption::CaseInsensitive, sentences},
        {QStringLiteral("[ \\t]+([,.!?;:\u3001\u3002])"), {}, sentences},
        {QStringLiteral("[ \\t]{2,}"), {}, sentences},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        bool complete = false;
        EXPECT_EQ(Regex(c.pattern, c.options).countMatches(text, &complete), c.expectedMatches);
        EXPECT_TRUE(complete);
        complete = false;
        Regex(c.pattern, c.options).replaceAll(text, QStringLiteral("$0"), &complete);
        EXPECT_TRUE(complete);
    }
}
