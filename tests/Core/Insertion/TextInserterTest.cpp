#include "Core/Insertion/TextInserter.h"

#include "Base/ManualClock.h"
#include "Core/DictationTrace.h"
#include "Core/Insertion/UnicodeTyper.h"
#include "Fakes/FakePasteboard.h"
#include "Fakes/FakeSyntheticKeyboard.h"
#include "TestSupport/QtPrinters.h"

#include <QCoreApplication>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

// Sixty different characters without keys of their own: typed in batches of spare keys, with a
// settling pause before each new batch, so the run lasts long enough to be cancelled.
QString longRun()
{
    QString text;
    for (char32_t c = U'一'; c < U'一' + 60; ++c) {
        text += QString::fromUcs4(&c, 1);
    }
    return text + QStringLiteral("\nnext line");
}

class TextInserterTest : public testing::Test
{
protected:
    TextInserterTest()
    {
        keyboard.settle = UnicodeTyper::settle;
        keyboard.spareKeys = 5;
        keyboard.onPaste = [this] {
            pasteboard.fetchContent();
        };
    }

    static SessionContext session(quint64 number)
    {
        SessionContext result;
        result.session = number;
        return result;
    }

    // Moves the clock on in small steps until `done` holds; false when it never does.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds limit = 20s)
    {
        for (auto left = limit; left > 0ms && !done(); left -= 1ms) {
            clock.advance(1ms);
            QCoreApplication::processEvents();
        }
        return done();
    }

    qsizetype indexOf(const QString &event) const { return keyboard.events.indexOf(event); }

    ManualClock clock;
    FakePasteboard pasteboard;
    FakeSyntheticKeyboard keyboard {clock};
    TextInserter inserter {pasteboard, keyboard, clock};
};

// The user cancels a long typing run and dictates again at once: the first run stops before its
// next character, gives its spare keys back, and only then does the second one start. The field
// gets the first run's prefix and then exactly the second text.
TEST_F(TextInserterTest, ACancelledTypingRunStopsAndTheNextTextFollowsItsPrefix)
{
    const QString first = longRun();
    const QString second = QStringLiteral("second 日本語 text");
    SessionContext one = session(1);
    auto typingOne = inserter.type(first, one);
    ASSERT_TRUE(runUntil([&] { return keyboard.typed.size() >= 12; }));
    one.cancellation.cancel();
    const QString prefix = keyboard.typed;
    const auto cancelledAt = clock.uptime();
    auto typingTwo = inserter.type(second, session(2));

    ASSERT_TRUE(runUntil([&] { return typingOne.isReady() && typingTwo.isReady(); }));
    EXPECT_FALSE(QCoro::waitFor(std::move(typingOne)));
    EXPECT_TRUE(QCoro::waitFor(std::move(typingTwo)));
    EXPECT_EQ(keyboard.typed, prefix + second);
    EXPECT_TRUE(first.startsWith(prefix));
    EXPECT_TRUE(keyboard.violations.isEmpty()) << keyboard.violations.join(u'\n').toStdString();
    EXPECT_TRUE(keyboard.held.isEmpty());
    // The first run ended within its settling pause, and the second began after that.
    ASSERT_EQ(keyboard.events.count(QStringLiteral("end")), 2);
    const qsizetype firstEnd = indexOf(QStringLiteral("end"));
    EXPECT_LE(keyboard.times.at(firstEnd) - cancelledAt, UnicodeTyper::settle + 2ms);
    EXPECT_EQ(keyboard.events.lastIndexOf(QStringLiteral("begin")), firstEnd + 1);
}

// A paste asked for during a typing run waits for it; a session cancelled while it waits inserts
// nothing at all.
TEST_F(TextInserterTest, APasteWaitsForTheTypingRunAndACancelledWaiterInsertsNothing)
{
    auto typing = inserter.type(longRun(), session(1));
    ASSERT_TRUE(runUntil([&] { return keyboard.typed.size() >= 3; }));
    SessionContext cancelled = session(2);
    auto dropped = inserter.paste(QStringLiteral("unwanted"), false, 0, std::nullopt, cancelled);
    auto pasting = inserter.paste(QStringLiteral("pasted"), false, 0, std::nullopt, session(3));
    clock.advance(5ms);
    QCoreApplication::processEvents();
    cancelled.cancellation.cancel();
    ASSERT_TRUE(runUntil([&] { return dropped.isReady(); }, 50ms));
    EXPECT_FALSE(QCoro::waitFor(std::move(dropped)));

    ASSERT_TRUE(runUntil([&] { return typing.isReady() && pasting.isReady(); }));
    EXPECT_TRUE(QCoro::waitFor(std::move(typing)));
    EXPECT_TRUE(QCoro::waitFor(std::move(pasting)));
    EXPECT_EQ(keyboard.typed, longRun());
    EXPECT_TRUE(keyboard.violations.isEmpty()) << keyboard.violations.join(u'\n').toStdString();
    EXPECT_GT(indexOf(QStringLiteral("Control down")), indexOf(QStringLiteral("end")));
    EXPECT_EQ(pasteboard.writes.size(), 1);
    EXPECT_EQ(pasteboard.writtenText(), QStringLiteral("pasted"));
}

// Whatever failed, the insertion ends with every key up that went down.
TEST_F(TextInserterTest, EveryKeyThatWentDownIsReleasedAfterAFailure)
{
    struct Case
    {
        const char *name;
        bool paste;
        int failPost;
        QString release;
    };
    const QList<Case> cases {
        {"Return cannot be released in a typing run", false, 2, QStringLiteral("release Return")},
        {"V cannot be released", true, 3, QStringLiteral("release V")},
        {"Control cannot be released", true, 4, QStringLiteral("release Control")},
        {"nothing fails", true, 0, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSyntheticKeyboard failing(clock);
        failing.failPostNumber = c.failPost;
        FakePasteboard board;
        TextInserter failingInserter(board, failing, clock);
        auto task = c.paste
            ? failingInserter.paste(QStringLiteral("text"), false, 0, std::nullopt, session(1))
            : failingInserter.type(QStringLiteral("one\ntwo"), session(1));
        ASSERT_TRUE(runUntil([&] { return task.isReady(); }));
        EXPECT_TRUE(failing.held.isEmpty()) << failing.events.join(u'\n').toStdString();
        if (c.release.isEmpty()) {
            EXPECT_TRUE(failing.events.filter(QStringLiteral("release")).isEmpty());
        } else {
            EXPECT_EQ(failing.events.last(), c.release);
        }
    }
}

} // namespace
