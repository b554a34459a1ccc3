#include "Core/Insertion/UnicodeTyper.h"

#include "Base/ManualClock.h"
#include "Fakes/FakeSyntheticKeyboard.h"
#include "TestSupport/QtPrinters.h"

#include <QCoreApplication>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(UnicodeTyperLines, EveryNewlineEndsALine)
{
    struct Case
    {
        QString text;
        QStringList lines;
    };
    const QList<Case> cases {
        {QString(), {QString()}},
        {QStringLiteral("one line"), {QStringLiteral("one line")}},
        {QStringLiteral("a\n\nb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        {QStringLiteral("ends\n"), {QStringLiteral("ends"), QString()}},
        {QStringLiteral("a\r\nb"), {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("a\n\rb"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        {QStringLiteral("a\vb\fc\rd"),
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}},
        {QStringLiteral("a\u0085b\u2028c\u2029d"),
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}},
        {QStringLiteral("tab\tstays"), {QStringLiteral("tab\tstays")}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(UnicodeTyper::lines(c.text), c.lines) << c.text.toStdString();
    }
}

TEST(UnicodeTyperChunks, RunsOfTwentyUnitsNeverSplitAPair)
{
    const QString emoji = QStringLiteral("🎤");
    const auto sizes = [](const QString &line) {
        QList<qsizetype> result;
        for (const QString &chunk : UnicodeTyper::chunks(line)) {
            result.append(chunk.size());
        }
        return result;
    };
    EXPECT_EQ(sizes(QString()), QList<qsizetype> {});
    EXPECT_EQ(sizes(QString(20, u'x')), QList<qsizetype> {20});
    EXPECT_EQ(sizes(QString(21, u'x')), (QList<qsizetype> {20, 1}));
    EXPECT_EQ(sizes(emoji.repeated(21)), (QList<qsizetype> {20, 20, 2}));
    // The 20th unit is the first half of a pair and more text follows: 19 units go first.
    const QString shifted = QString(19, u'x') + emoji + QStringLiteral("y");
    EXPECT_EQ(sizes(shifted), (QList<qsizetype> {19, 3}));
    EXPECT_EQ(UnicodeTyper::chunks(shifted).join(QString()), shifted);
    // ... but not when the pair would end the line exactly at 21 units: then nothing follows it.
    EXPECT_EQ(sizes(QString(19, u'x') + emoji), (QList<qsizetype> {19, 2}));
}

class UnicodeTyperTest : public testing::Test
{
protected:
    UnicodeTyperTest() { keyboard.settle = UnicodeTyper::settle; }

    // Types the text, moving the clock on until the typing is done.
    bool typeAll(const QString &text) { return typeAll(keyboard, text); }

    bool typeAll(FakeSyntheticKeyboard &target, const QString &text)
    {
        auto task = UnicodeTyper::type(target, clock, text);
        for (int i = 0; i < 100000 && !task.isReady(); ++i) {
            clock.advance(1ms);
            QCoreApplication::processEvents();
        }
        EXPECT_TRUE(task.isReady());
        return QCoro::waitFor(std::move(task));
    }

    ManualClock clock;
    const std::chrono::nanoseconds start = clock.uptime();
    FakeSyntheticKeyboard keyboard {clock};
};

TEST_F(UnicodeTyperTest, TypesTextWithReturnBetweenLines)
{
    const QString text = QStringLiteral("héllo — 日本語 🎤\nsecond line\r\n\nlast\tend\n");
    EXPECT_TRUE(typeAll(text));
    EXPECT_EQ(keyboard.typed, QStringLiteral("héllo — 日本語 🎤\nsecond line\n\nlast\tend\n"));
    EXPECT_EQ(keyboard.keyEvents().count(QStringLiteral("Return down")), 4);
    EXPECT_TRUE(keyboard.violations.isEmpty()) << keyboard.violations.join(u'\n').toStdString();
    // The characters without keys of their own are bound once, before the first of them.
    EXPECT_EQ(keyboard.binds, (QList<QList<char32_t>> {{U'é', U'—', U'日', U'本', U'語', U'🎤'}}));
    EXPECT_EQ(keyboard.events.first(), QStringLiteral("begin"));
    EXPECT_EQ(keyboard.events.last(), QStringLiteral("end"));
    // The keymap goes back only after the last bound key had time to be read.
    const qsizetype lastBound = keyboard.events.lastIndexOf(QStringLiteral("type 🎤"));
    EXPECT_GE(keyboard.times.last() - keyboard.times.at(lastBound), UnicodeTyper::settle);
}

TEST_F(UnicodeTyperTest, PlainTextNeedsNoSpareKeysAndNoSettling)
{
    const QString text = QString(45, u'a') + QStringLiteral("\nb");
    EXPECT_TRUE(typeAll(text));
    EXPECT_EQ(keyboard.typed, text);
    EXPECT_TRUE(keyboard.binds.isEmpty());
    // Three runs of the first line and one of the second, each followed by a pause, plus the
    // Return's.
    EXPECT_EQ(keyboard.times.last() - start, 5 * UnicodeTyper::pause);
}

TEST_F(UnicodeTyperTest, MoreCharactersThanSpareKeysAreBoundInSettledBatches)
{
    keyboard.spareKeys = 3;
    const QString text = QStringLiteral("日本語中文字日本\n語");
    EXPECT_TRUE(typeAll(text));
    EXPECT_EQ(keyboard.typed, text);
    EXPECT_EQ(keyboard.binds,
              (QList<QList<char32_t>> {
                  {U'日', U'本', U'語'}, {U'中', U'文', U'字'}, {U'日', U'本', U'語'}}));
    EXPECT_TRUE(keyboard.violations.isEmpty()) << keyboard.violations.join(u'\n').toStdString();
}

TEST_F(UnicodeTyperTest, NothingIsTypedWhenKeysCannotBeSent)
{
    struct Case
    {
        const char *name;
        std::function<void(FakeSyntheticKeyboard &)> setUp;
        QStringList events;
    };
    const QList<Case> cases {
        {"not trusted", [](FakeSyntheticKeyboard &k) { k.trusted = false; }, {}},
        {"modifier held",
         [](FakeSyntheticKeyboard &k) {
             k.modifierHeld = [] {
                 return true;
             };
         },
         {}},
        {"layout unreadable",
         [](FakeSyntheticKeyboard &k) { k.layoutReadable = false; },
         {QStringLiteral("begin")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSyntheticKeyboard failing(clock);
        c.setUp(failing);
        EXPECT_FALSE(typeAll(failing, QStringLiteral("text")));
        EXPECT_EQ(failing.events, c.events);
        EXPECT_TRUE(failing.typed.isEmpty());
    }
}

TEST_F(UnicodeTyperTest, WaitsForHeldModifiersToComeUp)
{
    keyboard.modifierHeld = [this] {
        return clock.uptime() - start < 250ms;
    };
    EXPECT_TRUE(typeAll(QStringLiteral("ok")));
    EXPECT_EQ(keyboard.typed, QStringLiteral("ok"));
    EXPECT_GE(keyboard.times.first() - start, 250ms);
}

TEST_F(UnicodeTyperTest, EmptyTextIsDoneAtOnce)
{
    EXPECT_TRUE(typeAll(QString()));
    EXPECT_TRUE(keyboard.events.isEmpty());
    EXPECT_EQ(keyboard.modifierQueries, 0);
}

// A cancel arrives while the typer waits (for a modifier, in a pause, before a new batch): it
// stops before the next character, and a keymap it changed goes back after the settling pause.
TEST_F(UnicodeTyperTest, ACancellationStopsBeforeTheNextCharacter)
{
    struct Case
    {
        const char *name;
        bool modifierHeld;
        // Cancel once this much has been typed.
        qsizetype after;
        QString typed;
    };
    const QString text = QStringLiteral("日本語中文字\nplain ascii text that runs on for a while");
    const QList<Case> cases {
        {"while a modifier is held", true, 0, QString()},
        {"between two batches of spare keys", false, 3, QStringLiteral("日本語")},
        {"in the pause after a run", false, 6, QStringLiteral("日本語中文字")},
        {"after a line", false, 27, text.left(27)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSyntheticKeyboard target(clock);
        target.settle = UnicodeTyper::settle;
        target.spareKeys = 3;
        if (c.modifierHeld) {
            target.modifierHeld = [] {
                return true;
            };
        }
        CancellationToken cancellation;
        auto task = UnicodeTyper::type(target, clock, text, cancellation);
        for (int i = 0; i < 5000 && target.typed.size() < c.after; ++i) {
            clock.advance(1ms);
            QCoreApplication::processEvents();
        }
        clock.advance(1ms);
        QCoreApplication::processEvents();
        cancellation.cancel();
        const auto cancelledAt = clock.uptime();
        for (int i = 0; i < 1000 && !task.isReady(); ++i) {
            clock.advance(1ms);
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(task.isReady());
        EXPECT_FALSE(QCoro::waitFor(std::move(task)));
        EXPECT_EQ(target.typed, c.typed);
        EXPECT_TRUE(target.violations.isEmpty()) << target.violations.join(u'\n').toStdString();
        if (!c.modifierHeld) {
            EXPECT_EQ(target.events.last(), QStringLiteral("end"));
            EXPECT_LE(target.times.last() - cancelledAt, UnicodeTyper::settle);
        } else {
            EXPECT_TRUE(target.events.isEmpty());
        }
    }
}

TEST_F(UnicodeTyperTest, CharactersWithoutAnyKeyLeaveAGap)
{
    keyboard.spareKeys = 0;
    EXPECT_TRUE(typeAll(QStringLiteral("a日b")));
    EXPECT_EQ(keyboard.typed, QStringLiteral("ab"));
    EXPECT_TRUE(keyboard.events.contains(QStringLiteral("no key for 日")));
    EXPECT_EQ(keyboard.events.last(), QStringLiteral("end"));
}

} // namespace
