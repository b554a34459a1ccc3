#include "Core/TextCleanup/TwoStageCleanup.h"

#include "Base/ManualClock.h"
#include "Core/TextCleanup/CleanupPrompt.h"
#include "Fakes/FakeCleanupStage.h"
#include "Fakes/ScriptedLanguageModel.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <QCoro/QCoroTask>

#include "TestSupport/QtPrinters.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

using Style = TwoStageCleanup::Style;
using Reply = ScriptedLanguageModel::Reply;

// A two-stage cleanup whose first stage yields `firstText` and whose model follows its script, on
// a clock that moves only when the test says so.
struct Rig
{
    explicit Rig(QString firstText = QStringLiteral("明日の会議は10時からです"))
    {
        first->transform = [firstText](const QString &) {
            return firstText;
        };
        context.localeIdentifier = QStringLiteral("ja-JP");
        context.focus = FocusContext {};
        context.focus->appName = QStringLiteral("Mail");
        context.dictionaryTerms = {QStringLiteral("Sonorvelle")};
    }

    TwoStageCleanup stage(Style style) const { return TwoStageCleanup(first, style, model, clock); }

    QString run(Style style, const QString &text = QStringLiteral("raw transcript"))
    {
        const TwoStageCleanup cleanup = stage(style);
        return QCoro::waitFor(cleanup.cleanup(text, context));
    }

    // Waits (in real time, briefly) until the model has been asked `count` times.
    bool waitForCalls(qsizetype count)
    {
        return QTest::qWaitFor([&] { return model->calls.size() >= count; }, 5000);
    }

    mutable ManualClock clock;
    std::shared_ptr<FakeCleanupStage> first = std::make_shared<FakeCleanupStage>("rules");
    std::shared_ptr<ScriptedLanguageModel> model = std::make_shared<ScriptedLanguageModel>();
    CleanupContext context;
};

const Style bothStyles[] = {Style::guarded, Style::free};

const char *styleName(Style style)
{
    return style == Style::guarded ? "guarded" : "free";
}

} // namespace

TEST(TwoStageCleanup, WithoutAModelTheFirstStageTextIsTheResult)
{
    for (const Style style : bothStyles) {
        Rig rig(QStringLiteral(" first stage text "));
        rig.model->state = SystemLanguageModel::Availability::modelNotReady;
        EXPECT_EQ(rig.run(style), QStringLiteral(" first stage text ")) << styleName(style);
        EXPECT_EQ(rig.model->sessionsMade, 0);

        // This system's own model: Linux has none.
        const TwoStageCleanup onThisSystem(rig.first, style);
        EXPECT_EQ(onThisSystem.name(), QStringLiteral("twoStage"));
        EXPECT_EQ(QCoro::waitFor(onThisSystem.cleanup(QStringLiteral("raw"), rig.context)),
                  QStringLiteral(" first stage text "));
    }
}

TEST(TwoStageCleanup, AFailedOrEchoingModelLeavesTheFirstStageTextAsItIs)
{
    // Quotation marks the user dictated around the whole text are not a model's wrapping.
    const QString first = QStringLiteral("「了解です」");
    struct Case
    {
        const char *name;
        Reply reply;
    };
    const Case cases[] = {
        {"the model fails",
         ScriptedLanguageModel::failure(LanguageModelSession::GenerationError(
             LanguageModelSession::GenerationError::Kind::guardrailViolation))},
        {"the model answers with nothing", ScriptedLanguageModel::answer(QStringLiteral("\n"))},
        {"the model echoes its input", ScriptedLanguageModel::answer(first)},
    };
    for (const Case &c : cases) {
        for (const Style style : bothStyles) {
            Rig rig(first);
            rig.model->script = {c.reply};
            EXPECT_EQ(rig.run(style), first) << c.name << " (" << styleName(style) << ")";
            EXPECT_EQ(rig.model->calls.size(), 1) << c.name << " (" << styleName(style) << ")";
        }
    }
}

TEST(TwoStageCleanup, NothingSaidIsNotHandedToTheModel)
{
    for (const QString &first : {QString(), QStringLiteral(" \n ")}) {
        for (const Style style : bothStyles) {
            Rig rig(first);
            // A model that would invent a sentence within the size bound.
            rig.model->script = {
                ScriptedLanguageModel::answer(QStringLiteral("ありがとうございます"))};
            EXPECT_EQ(rig.run(style), first) << styleName(style);
            EXPECT_EQ(rig.model->sessionsMade, 0) << styleName(style);
        }
    }
}

TEST(TwoStageCleanup, ModelPolishesOrRewritesTheFirstStageText)
{
    struct Case
    {
        Style style;
        QString (*instructions)(const CleanupContext &);
    };
    const Case cases[] = {{Style::guarded, &CleanupPrompt::polishSystem},
                          {Style::free, &CleanupPrompt::rewriteSystem}};
    for (const Case &c : cases) {
        Rig rig;
        rig.model->script = {
            ScriptedLanguageModel::answer(QStringLiteral("明日の会議は、10時からです"))};
        EXPECT_EQ(rig.run(c.style, QStringLiteral("えっと明日の会議は10時からです")),
                  QStringLiteral("明日の会議は、10時からです"))
            << styleName(c.style);

        ASSERT_EQ(rig.first->calls->size(), 1);
        EXPECT_EQ(rig.first->calls->first().text, QStringLiteral("えっと明日の会議は10時からです"));
        EXPECT_EQ(rig.first->calls->first().context.localeIdentifier, QStringLiteral("ja-JP"));
        ASSERT_EQ(rig.model->calls.size(), 1) << styleName(c.style);
        // The model sees the first stage's text, never the raw transcript.
        EXPECT_EQ(rig.model->calls.first().prompt, QStringLiteral("明日の会議は10時からです"));
        EXPECT_EQ(rig.model->calls.first().configuration.instructions, c.instructions(rig.context))
            << styleName(c.style);
    }
}

TEST(TwoStageCleanup, SanitizeDropsAnnouncementsAndWrappingQuotes)
{
    struct Case
    {
        const char *name;
        QString answer;
        QString expected;
    };
    const Case cases[] = {
        {"surrounding white space", QStringLiteral("\n\t 本文です \u3000\n"),
         QStringLiteral("本文です")},
        {"announcing line ending in a full-width colon",
         QStringLiteral("以下が整形結果です：\n明日は晴れ"), QStringLiteral("明日は晴れ")},
        {"announcing line with blanks, then blank lines",
         QStringLiteral(" 以下の通りです。 \n\n  本文\n二行目  "), QStringLiteral("本文\n二行目")},
        {"announcing line ending in an ASCII colon", QStringLiteral("以下に示します:\n本文"),
         QStringLiteral("本文")},
        {"a single announcing line stays", QStringLiteral("以下が整形結果です："),
         QStringLiteral("以下が整形結果です：")},
        {"a first line with another ending stays", QStringLiteral("以下のとおり\n本文"),
         QStringLiteral("以下のとおり\n本文")},
        {"a first line not beginning with 以下 stays", QStringLiteral("結果は以下です：\n本文"),
         QStringLiteral("結果は以下です：\n本文")},
        {"corner brackets", QStringLiteral("「明日は晴れ」"), QStringLiteral("明日は晴れ")},
        {"corner brackets with a closing one inside stay", QStringLiteral("「明日は「晴れ」です」"),
         QStringLiteral("「明日は「晴れ」です」")},
        {"white corner brackets, inner text trimmed", QStringLiteral("『 明日 』"),
         QStringLiteral("明日")},
        {"curly quotation marks", QStringLiteral("\u201C明日\u201D"), QStringLiteral("明日")},
        {"plain quotation marks inside corner brackets: both go", QStringLiteral("「\"明日\"」"),
         QStringLiteral("明日")},
        {"corner brackets inside plain quotation marks: only the outer go",
         QStringLiteral("\"「明日」\""), QStringLiteral("「明日」")},
        {"two plain quotation marks alone stay", QStringLiteral("\"\""), QStringLiteral("\"\"")},
        {"an empty bracket pair stays", QStringLiteral("「」"), QStringLiteral("「」")},
        {"a pair around blanks leaves nothing", QStringLiteral("「 」"), QString()},
        {"announcement, then a quoted text", QStringLiteral("以下です。\n「本文」"),
         QStringLiteral("本文")},
        {"only an opening bracket stays", QStringLiteral("「明日"), QStringLiteral("「明日")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TwoStageCleanup::sanitize(c.answer), c.expected) << c.name;
    }
}

TEST(TwoStageCleanup, AnswerThatSanitisesToNothingKeepsTheFirstStageText)
{
    for (const Style style : bothStyles) {
        Rig rig;
        rig.model->script = {ScriptedLanguageModel::answer(QStringLiteral("「\n」"))};
        EXPECT_EQ(rig.run(style), QStringLiteral("明日の会議は10時からです")) << styleName(style);
        // An empty answer is no reason to ask again.
        EXPECT_EQ(rig.model->calls.size(), 1) << styleName(style);
    }
}

TEST(TwoStageCleanup, CandidateMayBeTwiceTheFirstStageTextPlusSixtyFourCharacters)
{
    // 100 characters of two UTF-16 units each (が written as か and a combining mark), and no key
    // tokens, so only the length decides.
    const QString first = QStringLiteral("か\u3099").repeated(100);
    struct Case
    {
        qsizetype length;
        bool accepted;
    };
    for (const Case c : {Case {264, true}, Case {265, false}}) {
        for (const Style style : bothStyles) {
            Rig rig(first);
            // Guarded accepts only formatting around the same words; free accepts any wording.
            const QString candidate = style == Style::guarded
                ? first + QStringLiteral("、").repeated(c.length - 100)
                : QStringLiteral("い").repeated(c.length);
            rig.model->script = {ScriptedLanguageModel::answer(candidate)};
            EXPECT_EQ(rig.run(style), c.accepted ? candidate : first)
                << c.length << " characters, " << styleName(style);
            // An oversized answer is no reason to ask again.
            EXPECT_EQ(rig.model->calls.size(), 1);
        }
    }
}

TEST(TwoStageCleanup, GuardedKeepsOnlyFormattingChanges)
{
    struct Case
    {
        const char *name;
        QString answer;
        bool accepted;
    };
    const Case cases[] = {
        {"commas and line breaks added", QStringLiteral("明日の会議は、\n10時から、です"), true},
        {"a word changed", QStringLiteral("明日の会議は11時からです"), false},
        {"a word added", QStringLiteral("明日の大事な会議は10時からです"), false},
    };
    for (const Case &c : cases) {
        Rig rig;
        rig.model->script = {ScriptedLanguageModel::answer(c.answer)};
        EXPECT_EQ(rig.run(Style::guarded),
                  c.accepted ? c.answer : QStringLiteral("明日の会議は10時からです"))
            << c.name;
        // Guarded never asks twice.
        EXPECT_EQ(rig.model->calls.size(), 1) << c.name;
    }
}

TEST(TwoStageCleanup, FreeRetriesOnceWhenKeyContentIsLost)
{
    const QString first = QStringLiteral("明日の会議は10時からです");
    const QString keeps = QStringLiteral("会議は明日10時に始まります");
    const QString keepsToo = QStringLiteral("明日は10時から会議です");
    const QString losesNumber = QStringLiteral("会議は明日の朝に始まります");
    struct Case
    {
        const char *name;
        QList<Reply> replies;
        QString expected;
        qsizetype calls;
    };
    const Case cases[] = {
        {"first answer keeps everything", {ScriptedLanguageModel::answer(keeps)}, keeps, 1},
        {"first answer loses the number, the retry keeps it",
         {ScriptedLanguageModel::answer(losesNumber), ScriptedLanguageModel::answer(keepsToo)},
         keepsToo,
         2},
        {"both answers lose the number",
         {ScriptedLanguageModel::answer(losesNumber), ScriptedLanguageModel::answer(losesNumber)},
         first,
         2},
        {"the retry fails",
         {ScriptedLanguageModel::answer(losesNumber),
          ScriptedLanguageModel::failure(std::runtime_error("refused"))},
         first,
         2},
        {"the retry is oversized",
         {ScriptedLanguageModel::answer(losesNumber),
          ScriptedLanguageModel::answer(QStringLiteral("10").repeated(100))},
         first,
         2},
    };
    for (const Case &c : cases) {
        Rig rig(first);
        rig.model->script.assign(c.replies.begin(), c.replies.end());
        // A third answer would be accepted: it must never be asked for.
        rig.model->script.push_back(ScriptedLanguageModel::answer(keeps));
        EXPECT_EQ(rig.run(Style::free), c.expected) << c.name;
        EXPECT_EQ(rig.model->calls.size(), c.calls) << c.name;
        // Each attempt in a session of its own.
        EXPECT_EQ(rig.model->sessionsMade, c.calls) << c.name;
    }
}

TEST(TwoStageCleanup, AnAnswerAfterTenSecondsIsDroppedWithoutWaitingForIt)
{
    for (const Style style : bothStyles) {
        Rig rig;
        auto gate = std::make_shared<ManualGate>();
        rig.model->script = {
            ScriptedLanguageModel::held(gate, QStringLiteral("明日の会議は、10時からです"))};
        const TwoStageCleanup cleanup = rig.stage(style);
        QCoro::Task<QString> task = cleanup.cleanup(QStringLiteral("raw"), rig.context);
        ASSERT_EQ(rig.model->calls.size(), 1);

        rig.clock.advance(9999ms);
        QCoreApplication::processEvents();
        EXPECT_FALSE(task.isReady()) << styleName(style);
        EXPECT_FALSE(rig.model->calls.first().cancellation.isCancelled());

        // The deadline alone ends the call: the model still has not answered.
        rig.clock.advance(1ms);
        EXPECT_TRUE(task.isReady()) << styleName(style);
        EXPECT_FALSE(rig.model->calls.first().answered);
        EXPECT_TRUE(rig.model->calls.first().cancellation.isCancelled());
        EXPECT_EQ(QCoro::waitFor(task), QStringLiteral("明日の会議は10時からです"));

        // The late answer arrives into a call that is over; nothing is asked again.
        gate->open();
        QCoreApplication::processEvents();
        EXPECT_TRUE(rig.model->calls.first().answered);
        EXPECT_EQ(rig.model->calls.size(), 1);
        EXPECT_EQ(rig.clock.activeTimerCount(), 0);
    }
}

TEST(TwoStageCleanup, AnAnswerJustBeforeTheDeadlineCounts)
{
    Rig rig;
    auto gate = std::make_shared<ManualGate>();
    const QString answer = QStringLiteral("明日の会議は、10時からです");
    rig.model->script = {ScriptedLanguageModel::held(gate, answer)};
    const TwoStageCleanup cleanup = rig.stage(Style::guarded);
    QCoro::Task<QString> task = cleanup.cleanup(QStringLiteral("raw"), rig.context);

    rig.clock.advance(9999ms);
    gate->open();
    EXPECT_EQ(QCoro::waitFor(task), answer);
    EXPECT_FALSE(rig.model->calls.first().cancellation.isCancelled());
    // The deadline's timer was stopped, not left to fire into a finished call.
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.clock.activeTimerCount(), 0);
    rig.clock.advance(1s);
}

TEST(TwoStageCleanup, AModelThatAnswersWhenToldToStopIsStillTooLate)
{
    Rig rig;
    auto gate = std::make_shared<ManualGate>();
    Reply reply = ScriptedLanguageModel::held(gate, QStringLiteral("明日の会議は、10時からです"));
    reply.answerWhenCancelled = true;
    rig.model->script = {reply};
    const TwoStageCleanup cleanup = rig.stage(Style::guarded);
    QCoro::Task<QString> task = cleanup.cleanup(QStringLiteral("raw"), rig.context);

    rig.clock.advance(10s);
    EXPECT_TRUE(rig.model->calls.first().answered);
    EXPECT_EQ(QCoro::waitFor(task), QStringLiteral("明日の会議は10時からです"));
}

TEST(TwoStageCleanup, FreeRetryHasItsOwnTenSeconds)
{
    const QString first = QStringLiteral("明日の会議は10時からです");
    struct Case
    {
        const char *name;
        std::chrono::milliseconds retryTakes;
        QString expected;
    };
    const Case cases[] = {
        {"retry answers within its ten seconds", 9999ms, QStringLiteral("明日は10時から会議です")},
        {"retry times out", 10000ms, first},
    };
    for (const Case &c : cases) {
        Rig rig(first);
        auto gate = std::make_shared<ManualGate>();
        rig.model->script = {
            ScriptedLanguageModel::answer(QStringLiteral("会議は明日の朝に始まります")),
            ScriptedLanguageModel::held(gate, QStringLiteral("明日は10時から会議です")),
        };
        const TwoStageCleanup cleanup = rig.stage(Style::free);
        QCoro::Task<QString> task = cleanup.cleanup(QStringLiteral("raw"), rig.context);
        // The first answer is judged off the main thread; the retry starts after that.
        ASSERT_TRUE(rig.waitForCalls(2)) << c.name;

        rig.clock.advance(c.retryTakes);
        gate->open();
        EXPECT_EQ(QCoro::waitFor(task), c.expected) << c.name;
        EXPECT_EQ(rig.model->calls.size(), 2) << c.name;
    }
}
