#include "UI/AnswerCard/AnswerCardLayout.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace Layout = AnswerCardLayout;

TEST(AnswerCardLayout, WidthHeightCapAndPlaceOnScreensOfDifferentSizes)
{
    struct Case
    {
        const char *name;
        QRect available;
        int cardWidth;
        int topGap;
        int cap;
    };
    const Case cases[] = {
        // 437.5 rounds up to a cap of 438.
        {"laptop", {0, 0, 1440, 875}, 460, 105, 438},
        {"short screen", {0, 0, 1440, 500}, 460, 76, 250},
        {"tall screen", {0, 0, 1440, 1400}, 460, 168, 520},
        {"narrow screen", {0, 0, 400, 875}, 352, 105, 438},
        {"no screen", Layout::defaultArea, 460, 96, 400},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Layout::cardWidth(c.available), c.cardWidth);
        EXPECT_EQ(Layout::topGap(c.available.height()), c.topGap);
        // Text just under the cap fits; one point more scrolls at the cap.
        EXPECT_EQ(Layout::textArea(c.cap - 4, c.available.height()),
                  (Layout::TextArea {c.cap, false}));
        EXPECT_EQ(Layout::textArea(c.cap - 4 + 0.5, c.available.height()),
                  (Layout::TextArea {c.cap, true}));
    }
}

TEST(AnswerCardLayout, ALongAnswerIsCutBetweenCharactersWithAMark)
{
    const qsizetype cap = Layout::maxShownCharacters;
    const QString mark(Layout::cutMark);
    // A family emoji is one character of eleven code units.
    const QString family =
        QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    struct Case
    {
        const char *name;
        QString answer;
        QString shown;
    };
    const Case cases[] = {
        {"short", QStringLiteral("Nine."), QStringLiteral("Nine.")},
        {"exactly the cap", QString(cap, u'a'), QString(cap, u'a')},
        {"one more", QString(cap + 1, u'a'), QString(cap, u'a') + mark},
        {"more code units than the cap, as many characters", family.repeated(cap / 4),
         family.repeated(cap / 4)},
        {"a character across the cut stays whole", QString(cap - 1, u'a') + family.repeated(2),
         QString(cap - 1, u'a') + family + mark},
        {"blanks before the cut are dropped", QString(cap - 2, u'a') + QStringLiteral("  bc"),
         QString(cap - 2, u'a') + mark},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Layout::shownAnswer(c.answer), c.shown) << c.name;
    }
}

TEST(AnswerCardLayout, TheCardRestsBelowTheTopOfTheAvailableAreaCentredOnIt)
{
    // An answer 200 high on a 875-high screen needs 204 and does not scroll.
    EXPECT_EQ(Layout::textArea(200, 875), (Layout::TextArea {204, false}));
    // 437 high needs 441, more than the cap of 438.
    EXPECT_EQ(Layout::textArea(437, 875), (Layout::TextArea {438, true}));
    // A fractional height is rounded up before the padding.
    EXPECT_EQ(Layout::textArea(200.2, 875), (Layout::TextArea {205, false}));

    EXPECT_EQ(Layout::finalFrame({0, 0, 1440, 875}, 460, 300), QRect(490, 105, 460, 300));
    // A second screen to the right, below a top panel of 25.
    EXPECT_EQ(Layout::finalFrame({1440, 25, 1920, 1055}, 460, 200), QRect(2170, 152, 460, 200));
    // An odd width puts the half pixel on the left, as rounding the left edge does.
    EXPECT_EQ(Layout::finalFrame({0, 0, 1001, 800}, 460, 100).x(), 271);
}

TEST(AnswerCardLayout, AnswersOfAnyLengthAndScriptAreMeasuredAtTheTextWidth)
{
    const QRect laptop(0, 0, 1440, 875);
    const qreal oneLine = Layout::measureAnswer(QStringLiteral("Yes."), 420);
    ASSERT_GT(oneLine, 10);
    ASSERT_LT(oneLine, 40);

    struct Case
    {
        const char *name;
        QString answer;
        bool scrolls;
        int minLines;
        int maxLines;
    };
    const QString paragraph = QStringLiteral(
        "The tide comes in twice a day because the moon pulls on the oceans, and the earth "
        "turning beneath that pull makes two bulges of water. ");
    const Case cases[] = {
        {"empty", QString(), false, 1, 1},
        {"one line", QStringLiteral("Twelve minutes past nine."), false, 1, 1},
        {"paragraph", paragraph.repeated(2), false, 3, 8},
        {"right to left",
         QStringLiteral("זהו משפט בעברית שנכתב מימין לשמאל ויש בו די מילים כדי "
                        "שיתפרס על פני יותר משורה אחת בכרטיס התשובה."),
         false, 2, 4},
        {"CJK without spaces",
         QString(QStringLiteral("東京の天気は晴れで、最高気温は二十三度です。")).repeated(4), false,
         2, 8},
        {"one unbreakable word", QString(QLatin1Char('x')).repeated(300), false, 2, 8},
        {"100,000 characters", paragraph.repeated(100000 / paragraph.size() + 1).left(100000), true,
         100, 100000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer timer;
        timer.start();
        const qreal height = Layout::measureAnswer(c.answer, 420);
        EXPECT_LT(timer.elapsed(), 5000) << "measuring froze";
        EXPECT_GE(height, oneLine * c.minLines - 1);
        EXPECT_LE(height, oneLine * c.maxLines + 1);
        const auto area = Layout::textAreaFor(c.answer, laptop);
        EXPECT_EQ(area.scrolls, c.scrolls);
        EXPECT_LE(area.scrollHeight, 438);
        if (!c.scrolls) {
            EXPECT_GE(area.scrollHeight, height + 4);
        }
    }
}

TEST(AnswerCardLayout, EachParagraphRunsInTheDirectionOfItsOwnScript)
{
    QTextDocument document;
    document.setPlainText(
        QStringLiteral("Sunrise is at seven.\nהשקיעה היום בשעה שבע.\n東京は晴れ。"));
    Layout::styleAnswerDocument(document);
    QList<Qt::LayoutDirection> directions;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        directions << block.textDirection();
    }
    EXPECT_EQ(directions,
              QList<Qt::LayoutDirection>({Qt::LeftToRight, Qt::RightToLeft, Qt::LeftToRight}));
}
