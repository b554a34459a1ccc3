#include "Core/TextCleanup/ContextComposer.h"

#include "Base/Unicode.h"

#include <gtest/gtest.h>

namespace {

// 1000 scalars, each one told apart by its position; every tenth is an emoji (two code units), so
// an index in code units instead of scalars shows.
QString numberedField()
{
    std::u32string scalars;
    for (int i = 0; i < 1000; ++i) {
        scalars.push_back(i % 10 == 0 ? char32_t(0x1F600 + (i / 10) % 64) : char32_t(0x4E00 + i));
    }
    return Unicode::fromScalars(scalars);
}

QString scalarRange(const QString &text, qsizetype from, qsizetype to)
{
    const std::u32string scalars = Unicode::scalars(text);
    return Unicode::fromScalars(
        std::u32string_view(scalars).substr(size_t(from), size_t(to - from)));
}

FocusContext field(std::optional<QString> text, std::optional<qint64> caret = std::nullopt)
{
    FocusContext focus;
    focus.fieldText = std::move(text);
    focus.caretLocation = caret;
    return focus;
}

} // namespace

TEST(ContextComposerTest, TheCaretWindowTakes600ScalarsBeforeAnd200After)
{
    const QString text = numberedField();
    struct Case
    {
        const char *name;
        std::optional<qint64> caret;
        qsizetype from, to;
    };
    const Case cases[] = {
        {"caret at 700", 700, 100, 900},
        {"caret at 50", 50, 0, 250},
        {"no caret: the end", std::nullopt, 400, 1000},
        {"negative caret counts as 0", -5, 0, 200},
        {"caret past the end counts as the end", 5000, 400, 1000},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ContextComposer::caretWindow(field(text, c.caret)),
                  scalarRange(text, c.from, c.to))
            << c.name;
    }
}

TEST(ContextComposerTest, NothingToSayGivesNoContext)
{
    FocusContext appOnly = field(QString());
    appOnly.appName = QStringLiteral("Mail");
    appOnly.windowTitle = QStringLiteral("Inbox");
    FocusContext blanks = field(QStringLiteral("   \n\t  "));
    FocusContext secure = field(QStringLiteral("hunter2"));
    secure.isSecureField = true;

    EXPECT_EQ(ContextComposer::caretWindow(std::nullopt), std::nullopt);
    EXPECT_EQ(ContextComposer::caretWindow(blanks), std::nullopt);
    EXPECT_EQ(ContextComposer::composed(blanks, {}), std::nullopt) << "blanks only";
    EXPECT_EQ(ContextComposer::composed(appOnly, {}), std::nullopt)
        << "application and window lines are never sent alone";
    EXPECT_EQ(ContextComposer::composed(secure, {QStringLiteral("earlier")}), std::nullopt)
        << "a secure field sends nothing, not even recent dictations";
    EXPECT_EQ(ContextComposer::caretWindow(secure), QStringLiteral("hunter2"))
        << "the window alone does not look at the secure flag; its callers do";
}

TEST(ContextComposerTest, TheComposedTextListsItsSectionsInOrder)
{
    FocusContext focus = field(QStringLiteral("Dear Ann,\n  see you "), 21);
    focus.appName = QStringLiteral("Mail");
    focus.windowTitle = QStringLiteral("Re: lunch");
    const auto text = ContextComposer::composed(
        focus, {QStringLiteral("first line\nsecond line"), QStringLiteral("later")});
    EXPECT_EQ(text,
              QStringLiteral("APP: Mail\nWINDOW_TITLE: Re: lunch\n"
                             "RECENT_DICTATIONS (what the user previously dictated into "
                             "this same window, oldest first):\n"
                             "- first line second line\n- later\n"
                             "TEXT_NEAR_CURSOR:\nDear Ann,\n  see you"));
}

TEST(ContextComposerTest, ALongTextIsCutToCharactersAndCodeUnits)
{
    const QString plain(5000, QLatin1Char('x'));
    const auto cut = ContextComposer::composed(FocusContext(), {plain});
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->size(), 2800);

    // 2800 characters of which many are emoji: cut further to 2800 code units, never inside one.
    QString emoji;
    for (int i = 0; i < 3000; ++i) {
        emoji += QString::fromUcs4(U"😀", 1);
    }
    const auto shortened = ContextComposer::composed(FocusContext(), {emoji});
    ASSERT_TRUE(shortened.has_value());
    EXPECT_LE(shortened->size(), 2800);
    EXPECT_GT(shortened->size(), 2790);
    EXPECT_FALSE(shortened->back().isHighSurrogate());
}
