#include "Core/History/TitleSimilarity.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QStringList sorted(const QSet<QString> &set)
{
    QStringList list(set.begin(), set.end());
    std::sort(list.begin(), list.end());
    return list;
}

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

TEST(TitleSimilarity, Tokens)
{
    const struct
    {
        QString title;
        QStringList tokens;
    } cases[] = {
        // The documented examples.
        {QStringLiteral("Re: Budget 2025 (2) — Mail"), {"re", "budget", "2025", "mail"}},
        {QStringLiteral("zsh — ssh server01"), {"server01"}},
        {QStringLiteral("議事録メモ"), {"議事", "事録", "録メ", "メモ"}},
        {QStringLiteral("● notes.txt"), {"notes", "txt"}},
        // Single letters and digits are dropped; other bullets and the asterisk separate.
        {QStringLiteral("a b 7 ab"), {"ab"}},
        {QStringLiteral("draft*final◦v2•x"), {"draft", "final", "v2"}},
        // A number in parentheses goes, other parentheses only separate.
        {QStringLiteral("(12) inbox (draft)"), {"inbox", "draft"}},
        // Ideographic runs: one character stays whole, two give one bigram; a run ends at a
        // letter of another script and a word ends at an ideograph.
        {QStringLiteral("表 会議 メモabc"), {"表", "会議", "メモ", "abc"}},
        {QStringLiteral("abc東京"), {"abc", "東京"}},
        {QStringLiteral("회의록 정리"), {"회의", "의록", "정리"}},
        {QStringLiteral("互換：﨑"), {"互換", "﨑"}},
        // Generic words, in any letter case, never count.
        {QStringLiteral("Untitled — Edited New Tab Window"), {}},
        {QStringLiteral("無題 - TextEdit"), {"textedit"}},
        {QStringLiteral("Terminal — tmux — bash — fish — sh — shell"), {}},
        // Letters with marks are one character each; digits of other scripts are numbers.
        {QStringLiteral("Cafe\u0301 Ünïcode ٣٤"), {QStringLiteral("cafe\u0301"), "ünïcode", "٣٤"}},
        {QString(), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        EXPECT_EQ(sorted(TitleSimilarity::tokens(c.title)), sorted(c.tokens));
    }
}

TEST(TitleSimilarity, GenericTokensAreTheFifteen)
{
    EXPECT_EQ(TitleSimilarity::genericTokens().size(), 15);
    EXPECT_TRUE(TitleSimilarity::genericTokens().contains(QStringLiteral("編集済み")));
}

TEST(TitleSimilarity, ScoreIsTheOverlapCoefficientWithoutTheApplicationName)
{
    const struct
    {
        QString a;
        QString b;
        std::optional<QString> appName;
        double score;
    } cases[] = {
        {QStringLiteral("Budget review — Mail"), QStringLiteral("Budget review plan — Mail"),
         QStringLiteral("Mail"), 1.0},
        {QStringLiteral("Budget review — Mail"), QStringLiteral("Budget review plan — Mail"),
         std::nullopt, 1.0}, // {budget, review, mail} within {budget, review, plan, mail}
        {QStringLiteral("alpha beta"), QStringLiteral("alpha gamma"), std::nullopt, 0.5},
        {QStringLiteral("alpha beta"), QStringLiteral("gamma delta"), std::nullopt, 0.0},
        {QStringLiteral("alpha beta gamma"), QStringLiteral("alpha"), std::nullopt, 1.0},
        // Nothing left after the application's own name: 0, not a division by zero.
        {QStringLiteral("Mail"), QStringLiteral("Mail"), QStringLiteral("Mail"), 0.0},
        {QStringLiteral("Terminal — zsh"), QStringLiteral("server01"), QStringLiteral("Terminal"),
         0.0},
        {QStringLiteral("議事録メモ"), QStringLiteral("議事録"), std::nullopt, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.a.toStdString() + " | " + c.b.toStdString());
        EXPECT_DOUBLE_EQ(TitleSimilarity::score(c.a, c.b, c.appName), c.score);
    }
}

} // namespace
