#include "Core/TextCleanup/DictionaryCasing.h"

#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

TEST(DictionaryCasing, Terms)
{
    struct Case
    {
        const char *name;
        QStringList terms;
        QString input;
        QString expected;
    };
    const QString iPhone = QStringLiteral("iPhone");
    const Case cases[] = {
        {"no terms", {}, QStringLiteral("iphone "), QStringLiteral("iphone ")},
        {"whole words in any case",
         {iPhone},
         QStringLiteral("iphone and IPHONE, iPhone."),
         QStringLiteral("iPhone and iPhone, iPhone.")},
        {"not inside a longer word",
         {iPhone},
         QStringLiteral("iphones myiphone iphone2"),
         QStringLiteral("iphones myiphone iphone2")},
        {"underscore, apostrophe and non-ASCII letters are boundaries",
         {iPhone},
         QStringLiteral("iphone_x iphone's éiphone"),
         QStringLiteral("iPhone_x iPhone's éiPhone")},
        {"a term without a capital changes nothing",
         {QStringLiteral("iphone")},
         QStringLiteral("IPHONE"),
         QStringLiteral("IPHONE")},
        {"a term with an accented letter changes nothing",
         {QStringLiteral("Café")},
         QStringLiteral("café CAFÉ"),
         QStringLiteral("café CAFÉ")},
        {"blank terms are skipped",
         {QStringLiteral(" \t"), QString()},
         QStringLiteral("a b"),
         QStringLiteral("a b")},
        {"term trimmed",
         {QStringLiteral(" GitHub\t")},
         QStringLiteral("github repo"),
         QStringLiteral("GitHub repo")},
        {"regular-expression characters in a term are literal",
         {QStringLiteral("Node.js")},
         QStringLiteral("node.js, NODE.JS, nodexjs"),
         QStringLiteral("Node.js, Node.js, nodexjs")},
        {"dollar sign and backslash in a term are inserted literally",
         {QStringLiteral("$Cash\\Flow")},
         QStringLiteral("$cash\\flow"),
         QStringLiteral("$Cash\\Flow")},
        {"terms apart apply one after another",
         {QStringLiteral("GitHub"), QStringLiteral("macOS")},
         QStringLiteral("github on MACOS"),
         QStringLiteral("GitHub on macOS")},
        {"the later term wins",
         {QStringLiteral("MacBook"), QStringLiteral("Macbook")},
         QStringLiteral("macbook"),
         QStringLiteral("Macbook")},
        {"Japanese text around a term",
         {QStringLiteral("ChatGPT")},
         QStringLiteral("chatgptで調べる"),
         QStringLiteral("ChatGPTで調べる")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DictionaryCasing::apply(c.input, c.terms), c.expected) << c.name;
    }
}
