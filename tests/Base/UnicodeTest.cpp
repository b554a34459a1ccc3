#include "Base/Unicode.h"

#include <QtConcurrent/QtConcurrent>
#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

#include <ostream>


namespace {

// U+1F468 U+200D U+1F469 U+200D U+1F467 U+200D U+1F466: one family, seven scalars, eleven units.
const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
const QString japan = QStringLiteral("\U0001F1EF\U0001F1F5");
const QString usa = QStringLiteral("\U0001F1FA\U0001F1F8");
const QString regionalJ = QStringLiteral("\U0001F1EF");

struct ClusterCase
{
    const char *name;
    QString text;
    QStringList clusters;
};

QList<ClusterCase> clusterCases()
{
    return {
        {"empty", QString(), {}},
        {"ascii", QStringLiteral("abc"), {"a", "b", "c"}},
        {"crlf is one character", QStringLiteral("a\r\nb\n\r"), {"a", "\r\n", "b", "\n", "\r"}},
        {"combining accent", QStringLiteral("ae\u0301\u0323b"), {"a", "e\u0301\u0323", "b"}},
        {"combining accent after crlf", QStringLiteral("\r\n\u0301"), {"\r\n", "\u0301"}},
        {"zwj family", QStringLiteral("x") + family + QStringLiteral("y"), {"x", family, "y"}},
        {"skin tone", QStringLiteral("\U0001F44D\U0001F3FD!"), {"\U0001F44D\U0001F3FD", "!"}},
        {"flags pair up", japan + usa, {japan, usa}},
        {"odd regional indicators",
         regionalJ + regionalJ + regionalJ,
         {regionalJ + regionalJ, regionalJ}},
        {"hangul jamo",
         QStringLiteral("\u1100\u1161\u11A8\u1100\u1161"),
         {"\u1100\u1161\u11A8", "\u1100\u1161"}},
        {"hangul syllables", QStringLiteral("한국어"), {"한", "국", "어"}},
        {"cjk",
         QStringLiteral("日本語、テスト。"),
         {"日", "本", "語", "、", "テ", "ス", "ト", "。"}},
        {"astral cjk", QStringLiteral("\U00020BB7野家"), {"\U00020BB7", "野", "家"}},
        {"lone surrogates stand alone",
         QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00),
         {"a", QString(QChar(0xD800)), "b", QString(QChar(0xDC00))}},
    };
}

} // namespace

TEST(UnicodeGraphemes, SplitCountAndBoundariesAgree)
{
    for (const ClusterCase &c : clusterCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Unicode::graphemes(c.text), c.clusters);
        EXPECT_EQ(Unicode::graphemeCount(c.text), c.clusters.size());

        QList<qsizetype> expectedBoundaries {0};
        for (const QString &cluster : c.clusters) {
            expectedBoundaries.append(expectedBoundaries.last() + cluster.size());
        }
        EXPECT_EQ(Unicode::graphemeBoundaries(c.text), expectedBoundaries);
    }
}

TEST(UnicodeGraphemes, PrefixAndSuffixTakeWholeCharacters)
{
    for (const ClusterCase &c : clusterCases()) {
        const qsizetype count = c.clusters.size();
        for (const qsizetype n : {qsizetype(-1), qsizetype(0), qsizetype(1), count - 1, count,
                                  count + 1, qsizetype(1000)}) {
            SCOPED_TRACE(std::string(c.name) + ", n = " + std::to_string(n));
            const qsizetype taken = qBound(qsizetype(0), n, count);
            EXPECT_EQ(Unicode::graphemePrefix(c.text, n), c.clusters.mid(0, taken).join(QString()));
            EXPECT_EQ(Unicode::graphemeSuffix(c.text, n),
                      c.clusters.mid(count - taken).join(QString()));
        }
    }
}

TEST(UnicodeGraphemes, SuffixOfLongTextMatchesForwardSplit)
{
    // Walking backwards must agree with the forward split, including where the pairing of
    // regional indicators depends on text far before the cut.
    QString text;
    for (int i = 0; i < 400; ++i) {
        text += QStringLiteral("log line %1 \u65E5\u672C e\u0301 ").arg(i) + family;
        text += (i % 3 == 0) ? regionalJ : japan;
        text += QStringLiteral("\r\n");
    }
    text += regionalJ.repeated(7);
    const QStringList clusters = Unicode::graphemes(text);
    ASSERT_EQ(Unicode::graphemeCount(text), clusters.size());
    EXPECT_EQ(clusters.last(), regionalJ);
    for (const qsizetype n : {1, 2, 3, 4, 5, 100, 5000, 9999}) {
        SCOPED_TRACE(n);
        const qsizetype taken = qMin(n, clusters.size());
        EXPECT_EQ(Unicode::graphemeSuffix(text, n),
                  clusters.mid(clusters.size() - taken).join(QString()));
        EXPECT_EQ(Unicode::graphemePrefix(text, n), clusters.mid(0, taken).join(QString()));
    }
}

TEST(UnicodeGraphemes, ConcurrentCallsAgree)
{
    QList<QString> texts;
    for (int i = 0; i < 64; ++i) {
        texts.append((QStringLiteral("e\u0301") + family + japan).repeated(i + 1));
    }
    const QList<qsizetype> counts = QtConcurrent::blockingMapped(texts, [](const QString &text) {
        qsizetype count = 0;
        for (int round = 0; round < 20; ++round) {
            count = Unicode::graphemeCount(Unicode::graphemeSuffix(text, 1000));
        }
        return count;
    });
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(counts[i], 3 * (i + 1));
    }
}

TEST(UnicodeScalars, LoneSurrogatesReadAsReplacementCharacter)
{
    const QString text =
        QStringLiteral("a\U0001F600") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00);
    EXPECT_EQ(Unicode::scalars(text), std::u32string(U"a\U0001F600\uFFFDb\uFFFD"));
    EXPECT_EQ(Unicode::scalarCount(text), 5);
    EXPECT_EQ(Unicode::scalarCount(QString()), 0);

    EXPECT_EQ(Unicode::fromScalars(U"a\U0001F600\u3042"), QStringLiteral("a\U0001F600\u3042"));
    const char32_t invalid[] = {U'x', 0xD800, 0x110000, U'y'};
    EXPECT_EQ(Unicode::fromScalars(std::u32string_view(invalid, 4)),
              QStringLiteral("x\uFFFD\uFFFDy"));
}

TEST(UnicodeScalars, OffsetConversions)
{
    // Code units: a=0, pair=1..2, lone high surrogate=3, b=4; end=5.
    const QString text = QStringLiteral("a\U0001F600") + QChar(0xD800) + QStringLiteral("b");
    struct Case
    {
        qsizetype scalar;
        qsizetype utf16;
    };
    const Case exact[] = {{0, 0}, {1, 1}, {2, 3}, {3, 4}, {4, 5}};
    for (const Case &c : exact) {
        SCOPED_TRACE(c.scalar);
        EXPECT_EQ(Unicode::utf16OffsetForScalarOffset(text, c.scalar), c.utf16);
        EXPECT_EQ(Unicode::scalarOffsetForUtf16Offset(text, c.utf16), c.scalar);
    }
    // Between the halves of a pair: the offset belongs to the pair.
    EXPECT_EQ(Unicode::scalarOffsetForUtf16Offset(text, 2), 1);
    // Out of range offsets are clamped.
    EXPECT_EQ(Unicode::utf16OffsetForScalarOffset(text, -3), 0);
    EXPECT_EQ(Unicode::utf16OffsetForScalarOffset(text, 99), 5);
    EXPECT_EQ(Unicode::scalarOffsetForUtf16Offset(text, -3), 0);
    EXPECT_EQ(Unicode::scalarOffsetForUtf16Offset(text, 99), 4);
    EXPECT_EQ(Unicode::scalarOffsetForUtf16Offset(QString(), 1), 0);
}

TEST(UnicodeNormalization, Forms)
{
    EXPECT_EQ(Unicode::nfc(QStringLiteral("e\u0301")), QStringLiteral("\u00E9"));
    EXPECT_EQ(Unicode::nfc(QStringLiteral("xe\u0301y")), QStringLiteral("x\u00E9y"));
    EXPECT_EQ(Unicode::nfc(QStringLiteral("\u1100\u1161\u11A8")), QStringLiteral("\uAC01"));
    EXPECT_EQ(Unicode::nfc(QStringLiteral("\uFB01")), QStringLiteral("\uFB01"));
    EXPECT_EQ(Unicode::nfc(QStringLiteral("already normal")), QStringLiteral("already normal"));
    EXPECT_EQ(Unicode::nfd(QStringLiteral("\u00E9!")), QStringLiteral("e\u0301!"));
    EXPECT_EQ(Unicode::nfd(QStringLiteral("\uAC01")), QStringLiteral("\u1100\u1161\u11A8"));
    EXPECT_EQ(Unicode::nfkc(QStringLiteral("\uFB01\uFF11\uFF21e\u0301")),
              QStringLiteral("fi1A\u00E9"));
    EXPECT_EQ(Unicode::nfc(QString()), QString());
}

TEST(UnicodeNormalization, CanonicalEquivalence)
{
    struct Case
    {
        QString a;
        QString b;
        bool equivalent;
    };
    const Case cases[] = {
        {QStringLiteral("caf\u00E9"), QStringLiteral("cafe\u0301"), true},
        {QStringLiteral("\u212B"), QStringLiteral("\u00C5"), true}, // Angstrom sign, A with ring
        {QStringLiteral("a\u0323\u0301"), QStringLiteral("a\u0301\u0323"), true}, // mark order
        {QStringLiteral("\uAC00"), QStringLiteral("\u1100\u1161"), true},
        {QString(), QStringLiteral(""), true},
        {QStringLiteral("e"), QStringLiteral("\u00E9"), false},
        {QStringLiteral("\uFB01"), QStringLiteral("fi"), false}, // compatibility only
        {QStringLiteral("a"), QStringLiteral("A"), false},
        {QStringLiteral("\u00E9"), QStringLiteral("e\u0300"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.a.toStdString() + " / " + c.b.toStdString());
        EXPECT_EQ(Unicode::canonicallyEquivalent(c.a, c.b), c.equivalent);
        EXPECT_EQ(Unicode::canonicallyEquivalent(c.b, c.a), c.equivalent);
    }
}

TEST(UnicodeWhitespace, Sets)
{
    struct Case
    {
        char32_t c;
        bool blank;
        bool newline;
    };
    const Case cases[] = {
        {U' ', true, false},       {U'\t', true, false},      {U'\u3000', true, false},
        {U'\u00A0', true, false},  {U'\u1680', true, false},  {U'\u2009', true, false},
        {U'\n', false, true},      {U'\r', false, true},      {U'\v', false, true},
        {U'\f', false, true},      {U'\u0085', false, true},  {U'\u2028', false, true},
        {U'\u2029', false, true},  {U'\u200B', false, false}, {U'\uFEFF', false, false},
        {U'\u001C', false, false}, {U'a', false, false},      {U'\U0001F600', false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(uint(c.c));
        EXPECT_EQ(Unicode::isBlank(c.c), c.blank);
        EXPECT_EQ(Unicode::isNewline(c.c), c.newline);
        EXPECT_EQ(Unicode::isWhitespaceOrNewline(c.c), c.blank || c.newline);
    }
}

TEST(UnicodeWhitespace, Trimming)
{
    struct Case
    {
        QString text;
        QString whitespaceAndNewlines;
        QString blanks;
    };
    const Case cases[] = {
        {QStringLiteral("\u3000\t\n hello  world \u0085\u2028\u2029\r\n"),
         QStringLiteral("hello  world"), QStringLiteral("\n hello  world \u0085\u2028\u2029\r\n")},
        {QStringLiteral(" \u3000\nx\n\t "), QStringLiteral("x"), QStringLiteral("\nx\n")},
        {QStringLiteral("\u200Bx\u200B"), QStringLiteral("\u200Bx\u200B"),
         QStringLiteral("\u200Bx\u200B")},
        {QStringLiteral(" \U0001F600 "), QStringLiteral("\U0001F600"),
         QStringLiteral("\U0001F600")},
        {QStringLiteral(" \t\u3000 "), QString(), QString()},
        {QString(), QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(Unicode::trimmedWhitespaceAndNewlines(c.text), c.whitespaceAndNewlines);
        EXPECT_EQ(Unicode::trimmedBlanks(c.text), c.blanks);
    }
}

TEST(UnicodeCase, FullMappings)
{
    EXPECT_EQ(Unicode::uppercased(QStringLiteral("stra\u00DFe")), QStringLiteral("STRASSE"));
    EXPECT_EQ(Unicode::uppercased(QStringLiteral("\uFB01 caf\u00E9")),
              QStringLiteral("FI CAF\u00C9"));
    EXPECT_EQ(Unicode::uppercased(QStringLiteral("Hello")), QStringLiteral("HELLO"));
    // Root locale, not Turkish: dotted capital I keeps its dot as a combining mark.
    EXPECT_EQ(Unicode::lowercased(QStringLiteral("\u0130I")), QStringLiteral("i\u0307i"));
    EXPECT_EQ(Unicode::lowercased(QStringLiteral("\u00C0\u00C9\u00CE Hello")),
              QStringLiteral("\u00E0\u00E9\u00EE hello"));
    EXPECT_EQ(Unicode::lowercased(QStringLiteral("\u65E5\u672C")), QStringLiteral("\u65E5\u672C"));
    EXPECT_EQ(Unicode::caseFolded(QStringLiteral("Stra\u00DFe")),
              Unicode::caseFolded(QStringLiteral("STRASSE")));
    EXPECT_EQ(Unicode::caseFolded(QStringLiteral("\u03A3\u0391\u03A3")),
              Unicode::caseFolded(QStringLiteral("\u03C3\u03B1\u03C2")));
    EXPECT_EQ(Unicode::caseFolded(QStringLiteral("ABC")), QStringLiteral("abc"));
}

TEST(UnicodeClasses, GeneralCategories)
{
    struct Case
    {
        char32_t c;
        bool letter;
        bool digit;
        bool punctuation;
        bool symbol;
    };
    const Case cases[] = {
        {U'a', true, false, false, false},       {U'\u65E5', true, false, false, false},
        {U'\u3042', true, false, false, false},  {U'\u02B0', true, false, false, false},
        {U'7', false, true, false, false},       {U'\u0663', false, true, false, false},
        {U'\uFF13', false, true, false, false},  {U'\u00B2', false, false, false, false},
        {U'\u216B', false, false, false, false}, {U'!', false, false, true, false},
        {U'_', false, false, true, false},       {U'\u3001', false, false, true, false},
        {U'\u3002', false, false, true, false},  {U'\u300C', false, false, true, false},
        {U'+', false, false, false, true},       {U'$', false, false, false, true},
        {U'\u00A9', false, false, false, true},  {U'\U0001F600', false, false, false, true},
        {U' ', false, false, false, false},      {U'\u0301', false, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(uint(c.c));
        EXPECT_EQ(Unicode::isLetter(c.c), c.letter);
        EXPECT_EQ(Unicode::isDigit(c.c), c.digit);
        EXPECT_EQ(Unicode::isPunctuation(c.c), c.punctuation);
        EXPECT_EQ(Unicode::isSymbol(c.c), c.symbol);
    }
}
