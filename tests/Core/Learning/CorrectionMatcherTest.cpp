#include "Core/Learning/CorrectionMatcher.h"

#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

#include <optional>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

using Match = CorrectionMatcher::Match;

// Found by argument-dependent lookup from inside GoogleTest.
static void PrintTo(const Match &match, std::ostream *os)
{
    switch (match.kind) {
    case Match::Kind::edited:
        *os << "edited(\"" << match.original.toStdString() << "\" -> \""
            << match.corrected.toStdString() << "\")";
        break;
    case Match::Kind::unchanged:
        *os << "unchanged";
        break;
    case Match::Kind::notFound:
        *os << "notFound";
        break;
    }
}

namespace {

Match inField(const QString &inserted, const QString &field)
{
    return CorrectionMatcher::match(inserted, field, std::nullopt);
}

} // namespace

TEST(CorrectionMatcher, FindsEditsWithinTheThreshold)
{
    struct Case
    {
        const char *name;
        QString inserted;
        QString field;
        Match expected;
    };
    const Case cases[] = {
        {"three characters never match", QStringLiteral("abc"), QStringLiteral("abc"),
         Match::notFound()},
        {"four characters may", QStringLiteral("abcd"), QStringLiteral("abcd"), Match::unchanged()},
        {"still there verbatim, with text added around it", QStringLiteral("hello there"),
         QStringLiteral("Well, hello there, friend"), Match::unchanged()},
        {"an empty field", QStringLiteral("hello there"), QString(), Match::notFound()},

        // Ten characters tolerate ceil(3.0) = 3 edits.
        {"10 characters, 3 edits", QStringLiteral("abcdefghij"), QStringLiteral("abXdeYghZj"),
         Match::edited(QStringLiteral("abcdefghij"), QStringLiteral("abXdeYghZj"))},
        {"10 characters, 4 edits", QStringLiteral("abcdefghij"), QStringLiteral("aWXdeYghZj"),
         Match::notFound()},
        // Five characters tolerate ceil(1.5) = 2 edits.
        {"5 characters, 2 edits", QStringLiteral("abcde"), QStringLiteral("aXcYe"),
         Match::edited(QStringLiteral("abcde"), QStringLiteral("aXcYe"))},
        {"5 characters, 3 edits", QStringLiteral("abcde"), QStringLiteral("XbYdZ"),
         Match::notFound()},
        // Four characters: ceil(1.2) = 2, and at least 2 anyway.
        {"4 characters, 2 edits", QStringLiteral("abcd"), QStringLiteral("aXcY"),
         Match::edited(QStringLiteral("abcd"), QStringLiteral("aXcY"))},
        {"4 characters, 3 edits", QStringLiteral("abcd"), QStringLiteral("XbYZ"),
         Match::notFound()},

        // The located span must be 0.7 to 1.3 times the inserted length, both ends included.
        {"10 characters grown by 3", QStringLiteral("abcdefghij"), QStringLiteral("abcdeXYZfghij"),
         Match::edited(QStringLiteral("abcdefghij"), QStringLiteral("abcdeXYZfghij"))},
        {"11 characters grown by 4", QStringLiteral("abcdefghijk"),
         QStringLiteral("abcdeWXYZfghijk"), Match::notFound()},
        {"4 characters shrunk by 2", QStringLiteral("abcd"), QStringLiteral("ad"),
         Match::notFound()},
        {"10 characters shrunk by 3", QStringLiteral("abcdefghij"), QStringLiteral("abcghij"),
         Match::edited(QStringLiteral("abcdefghij"), QStringLiteral("abcghij"))},

        // Changes that only touch punctuation or blanks are not worth reporting.
        {"a comma added", QStringLiteral("hello world"), QStringLiteral("hello, world"),
         Match::notFound()},
        {"a blank removed and a full stop added", QStringLiteral("今日は 晴れ"),
         QStringLiteral("今日は晴れ。"), Match::notFound()},
        {"a word and a comma", QStringLiteral("hello world"), QStringLiteral("hello, word"),
         Match::edited(QStringLiteral("hello world"), QStringLiteral("hello, word"))},

        // Characters, not code units: an emoji and a flag count as one each.
        {"emoji count as one character", QStringLiteral("\U0001F1EF\U0001F1F5 ok go"),
         QStringLiteral("\U0001F1EF\U0001F1F5 ok no"),
         Match::edited(QStringLiteral("\U0001F1EF\U0001F1F5 ok go"),
                       QStringLiteral("\U0001F1EF\U0001F1F5 ok no"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inField(c.inserted, c.field), c.expected);
    }
}

TEST(CorrectionMatcher, WindowsAroundTheChange)
{
    // Twenty characters of context on each side, the same start in both windows.
    const QString inserted = QStringLiteral(
        "The meeting is scheduled for Tuesday afternoon at the main office downtown.");
    const QString field = QStringLiteral("Notes: The meeting is scheduled for Thursday afternoon "
                                         "at the main office downtown. See you.");
    // The change: "ue" became "hur" inside the day's name.
    EXPECT_EQ(inField(inserted, field),
              Match::edited(QStringLiteral("g is scheduled for Tuesday afternoon at th"),
                            QStringLiteral("g is scheduled for Thursday afternoon at th")));

    // Near the ends the windows stop at the text's edges.
    EXPECT_EQ(inField(QStringLiteral("Send it on Monday please"),
                      QStringLiteral("Send it on Friday please")),
              Match::edited(QStringLiteral("Send it on Monday please"),
                            QStringLiteral("Send it on Friday please")));
}

TEST(CorrectionMatcher, AmbiguousPlacesAreNotReported)
{
    const QString inserted = QStringLiteral("the quick brown fox jumps");
    const QString filler = QStringLiteral(" Lorem ipsum dolor sit amet, consectetur adipiscing. ");
    struct Case
    {
        const char *name;
        QString field;
        Match expected;
    };
    const Case cases[] = {
        {"the other copy within 2 edits of the best",
         QStringLiteral("the quick brown cat jumps") + filler
             + QStringLiteral("the quick brown dog jumps"),
         Match::notFound()},
        {"the other copy further away",
         QStringLiteral("the quick brown fox hops") + filler
             + QStringLiteral("a quick green dog jumped"),
         Match::edited(QStringLiteral("the quick brown fox jumps"),
                       QStringLiteral("the quick brown fox hops"))},
        {"an unedited copy anywhere",
         QStringLiteral("the quick brown cat jumps") + filler + inserted, Match::unchanged()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inField(inserted, c.field), c.expected);
    }
}

TEST(CorrectionMatcher, NormalisesLineBreaksSpacesAndComposition)
{
    struct Case
    {
        const char *name;
        QString inserted;
        QString field;
        Match expected;
    };
    const Case cases[] = {
        {"CR LF for a line feed", QStringLiteral("first line\nsecond line"),
         QStringLiteral("first line\r\nsecond line"), Match::unchanged()},
        {"a lone CR for a line feed", QStringLiteral("first line\nsecond line"),
         QStringLiteral("first line\rsecond line"), Match::unchanged()},
        {"line and paragraph separators", QStringLiteral("one\ntwo\nthree"),
         QStringLiteral("one\u2028two\u2029three"), Match::unchanged()},
        {"a no-break space for a blank", QStringLiteral("see you soon"),
         QStringLiteral("see\u00A0you\u00A0soon"), Match::unchanged()},
        {"canonically equivalent characters", QStringLiteral("caf\u00E9 au lait"),
         QStringLiteral("cafe\u0301 au lait"), Match::unchanged()},
        {"an edit next to a CR LF comes back with a line feed",
         QStringLiteral("first line\nsecond line"), QStringLiteral("first line\r\nsecond lime"),
         Match::edited(QStringLiteral("first line\nsecond line"),
                       QStringLiteral("first line\nsecond lime"))},
        {"a combining mark added changes the character", QStringLiteral("resume later"),
         QStringLiteral("re\u0301sume\u0301 later"),
         Match::edited(QStringLiteral("resume later"), QStringLiteral("r\u00E9sum\u00E9 later"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inField(c.inserted, c.field), c.expected);
    }
}

TEST(CorrectionMatcher, TextBeforeTheCaretFirst)
{
    const QString inserted = QStringLiteral("please review the draft");
    const QString edited = QStringLiteral("please revise the draft");
    struct Case
    {
        const char *name;
        std::optional<QString> field;
        std::optional<QString> tail;
        Match expected;
    };
    const Case cases[] = {
        {"found in the tail", QStringLiteral("unrelated text entirely"), edited,
         Match::edited(QStringLiteral("please review the draft"),
                       QStringLiteral("please revise the draft"))},
        {"not in the tail, found in the field", edited, QStringLiteral("nothing like it here"),
         Match::edited(QStringLiteral("please review the draft"),
                       QStringLiteral("please revise the draft"))},
        {"an empty tail is skipped", inserted, QString(), Match::unchanged()},
        {"no tail", inserted, std::nullopt, Match::unchanged()},
        {"neither", std::nullopt, std::nullopt, Match::notFound()},
        {"an empty field", QString(), std::nullopt, Match::notFound()},
        {"the tail's answer wins over the field's", inserted, edited,
         Match::edited(QStringLiteral("please review the draft"),
                       QStringLiteral("please revise the draft"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CorrectionMatcher::match(inserted, c.field, c.tail), c.expected);
    }
}

TEST(CorrectionMatcher, WindowSizeLimits)
{
    // Changing the first and the last word makes the window the whole text: 300 characters may be
    // reported, 304 may not.
    for (const auto &[words, expectEdited] :
         std::vector<std::pair<int, bool>> {{75, true}, {76, false}}) {
        SCOPED_TRACE(words);
        QString inserted;
        for (int i = 0; i < words; ++i) {
            inserted += QStringLiteral("w%1 ").arg(i, 2, 10, QLatin1Char('0'));
        }
        QString field = inserted;
        field[0] = QLatin1Char('W');
        field[field.size() - 4] = QLatin1Char('W');
        EXPECT_EQ(inField(inserted, field),
                  expectEdited ? Match::edited(inserted, field) : Match::notFound());
    }
}

// Random edits of random texts, with line breaks, no-break spaces, combining marks, emoji and
// stray surrogates: every answer is well-formed, and an edit is always reported with two
// different, bounded, non-empty windows.
TEST(CorrectionMatcher, RandomTextsGiveWellFormedAnswers)
{
    std::mt19937 random(11);
    const QStringList pieces = {
        QStringLiteral("a"),      QStringLiteral("b"),
        QStringLiteral(" "),      QStringLiteral("\r\n"),
        QStringLiteral("\r"),     QStringLiteral("\n"),
        QStringLiteral("\u00A0"), QStringLiteral("e\u0301"),
        QStringLiteral("\u00E9"), QStringLiteral("、"),
        QStringLiteral("今日"),   QStringLiteral("\U0001F44D\U0001F3FD"),
        QStringLiteral("."),      QString(QChar(char16_t(0xD800))),
        QStringLiteral("\u2028"),
    };
    auto randomText = [&](int maxPieces) {
        QString text;
        const int count = int(random() % quint32(maxPieces + 1));
        for (int i = 0; i < count; ++i) {
            text += pieces[qsizetype(random() % quint32(pieces.size()))];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString inserted = randomText(30);
        QString edited = inserted;
        const int edits = int(random() % 5);
        for (int e = 0; e < edits && !edited.isEmpty(); ++e) {
            const qsizetype at = qsizetype(random() % quint32(edited.size()));
            edited.replace(at, qsizetype(random() % 3), randomText(2));
        }
        const QString field = randomText(10) + edited + randomText(10);
        const std::optional<QString> tail =
            random() % 2 ? std::optional(field.left(field.size() / 2)) : std::nullopt;
        const Match match = CorrectionMatcher::match(inserted, field, tail);
        if (match.kind == Match::Kind::edited) {
            EXPECT_FALSE(match.original.isEmpty());
            EXPECT_FALSE(match.corrected.isEmpty());
            EXPECT_NE(match.original, match.corrected);
            EXPECT_LE(match.original.size(), 300 * 4);
        } else {
            EXPECT_TRUE(match.original.isEmpty() && match.corrected.isEmpty());
        }
    }
}
