#include "Core/TextCleanup/ReplacementEngine.h"

#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

namespace {

Replacement rule(const QString &phrase, const QString &expansion, bool isEnabled = true)
{
    Replacement replacement;
    replacement.phrase = phrase;
    replacement.expansion = expansion;
    replacement.isEnabled = isEnabled;
    return replacement;
}

struct Case
{
    const char *name;
    QList<Replacement> rules;
    QString input;
    QString expected;
};

} // namespace

TEST(ReplacementEngine, Rules)
{
    const Replacement btw = rule(QStringLiteral("btw"), QStringLiteral("by the way"));
    const Case cases[] = {
        {"no rules", {}, QStringLiteral("btw, hi "), QStringLiteral("btw, hi ")},
        {"disabled rule",
         {rule(QStringLiteral("btw"), QStringLiteral("by the way"), false)},
         QStringLiteral("btw"),
         QStringLiteral("btw")},
        {"phrase of blanks only",
         {rule(QStringLiteral(" \t "), QStringLiteral("x"))},
         QStringLiteral("a  \t b"),
         QStringLiteral("a  \t b")},
        {"whole words in any case",
         {btw},
         QStringLiteral("btw and BTW, Btw."),
         QStringLiteral("by the way and by the way, by the way.")},
        {"not inside a word",
         {btw},
         QStringLiteral("btwx abtw 2btw"),
         QStringLiteral("btwx abtw 2btw")},
        {"underscore, apostrophe and non-ASCII letters are boundaries",
         {btw},
         QStringLiteral("btw_x 'btw' ébtwé"),
         QStringLiteral("by the way_x 'by the way' éby the wayé")},
        {"phrase trimmed, expansion kept as stored",
         {rule(QStringLiteral("  btw\t"), QStringLiteral(" by the way "))},
         QStringLiteral("[btw]"),
         QStringLiteral("[ by the way ]")},
        {"a line break in a phrase is not trimmed",
         {rule(QStringLiteral("btw\n"), QStringLiteral("by the way"))},
         QStringLiteral("btw btw\n ok"),
         QStringLiteral("btw by the way ok")},
        {"regular-expression characters in a phrase are literal",
         {rule(QStringLiteral("c++"), QStringLiteral("C plus plus")),
          rule(QStringLiteral("a.b"), QStringLiteral("dot"))},
         QStringLiteral("c++ and axb and a.b"),
         QStringLiteral("C plus plus and axb and dot")},
        {"dollar signs and backslashes in an expansion are literal",
         {rule(QStringLiteral("price"), QStringLiteral("$1 \\0 $0.99"))},
         QStringLiteral("the price"),
         QStringLiteral("the $1 \\0 $0.99")},
        {"the longer phrase first",
         {rule(QStringLiteral("ai"), QStringLiteral("artificial intelligence")),
          rule(QStringLiteral("ai model"), QStringLiteral("LLM"))},
         QStringLiteral("the ai model and ai"),
         QStringLiteral("the LLM and artificial intelligence")},
        {"equal lengths in list order, each seeing the earlier output",
         {rule(QStringLiteral("ab"), QStringLiteral("cd")),
          rule(QStringLiteral("cd"), QStringLiteral("ef"))},
         QStringLiteral("ab cd"),
         QStringLiteral("ef ef")},
        {"equal lengths in the other order",
         {rule(QStringLiteral("cd"), QStringLiteral("ef")),
          rule(QStringLiteral("ab"), QStringLiteral("cd"))},
         QStringLiteral("ab cd"),
         QStringLiteral("cd ef")},
        {"length counted in characters, not code units",
         {rule(QStringLiteral("e\u0301e\u0301"), QStringLiteral("long")),
          rule(QStringLiteral("xyz"), QStringLiteral("e\u0301e\u0301"))},
         QStringLiteral("xyz"),
         QStringLiteral("long")},
        {"Japanese phrase inside a longer run",
         {rule(QStringLiteral("とうきょう"), QStringLiteral("東京"))},
         QStringLiteral("とうきょうとのとうきょう"),
         QStringLiteral("東京との東京")},
        {"non-ASCII phrase only in its exact case, without a word guard",
         {rule(QStringLiteral("Café"), QStringLiteral("coffee shop"))},
         QStringLiteral("café CAFÉ Café MyCafés"),
         QStringLiteral("café CAFÉ coffee shop Mycoffee shops")},
        {"non-ASCII phrase matches a canonically equivalent spelling",
         {rule(QStringLiteral("Caf\u00e9"), QStringLiteral("X"))},
         QStringLiteral("Cafe\u0301 Caf\u00e9 Cafe"),
         QStringLiteral("X X Cafe")},
        {"non-ASCII phrase never matches part of a character",
         {rule(QStringLiteral("Caf\u00e9"), QStringLiteral("X"))},
         QStringLiteral("Caf\u00e9\u0323"),
         QStringLiteral("Caf\u00e9\u0323")},
        {"non-ASCII expansion is inserted literally",
         {rule(QStringLiteral("ですます"), QStringLiteral("$1\\"))},
         QStringLiteral("ですますです"),
         QStringLiteral("$1\\です")},
        {"non-overlapping, left to right",
         {rule(QStringLiteral("ああ"), QStringLiteral("い"))},
         QStringLiteral("あああ"),
         QStringLiteral("いあ")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ReplacementEngine::apply(c.input, c.rules), c.expected) << c.name;
    }
}
