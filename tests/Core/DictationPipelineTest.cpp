#include "Core/DictationPipeline.h"

#include "Core/CloudDictate.h"
#include "Core/CloudSession.h"
#include "Core/DictationRig.h"
#include "Core/QuotaNotice.h"
#include "Core/TextCleanup/CloudCleanup.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Core/Transcription/TranscriptionError.h"
#include "TestSupport/FakeCloudService.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using State = DictationState;
using Task = DictationTask;
using Outcome = CloudDictation::Outcome;

namespace {

EngineUpdate finalized(const QString &text)
{
    return EngineUpdate::makeFinalized(text);
}

// The marks of the trace whose names are in `names`, in timeline order.
QStringList marksAmong(const DictationTrace &trace, const QStringList &names)
{
    QStringList result;
    for (const QString &name : DictationRig::markNames(trace)) {
        if (names.contains(name)) {
            result << name;
        }
    }
    return result;
}

// The pipeline's own marks, in the order the stages make them.
const QStringList pipelineMarks = {"startup.await",
                                   "engine.finalize",
                                   "stream.drain",
                                   "dictate.done",
                                   "localFinalize.detached",
                                   "cleanup.fallback",
                                   "cleanup.begin",
                                   "cleanup.done",
                                   "postprocess",
                                   "answer.show",
                                   "insert.begin",
                                   "insert.cmdV",
                                   "insert.done",
                                   "history.add",
                                   "aborted",
                                   "empty",
                                   "cancelled",
                                   "done"};

// A held session of `task` that recognises `text`, released after a second.
std::shared_ptr<DictationTrace> dictate(DictationRig &rig, const QString &text,
                                        Task task = Task::cleanup)
{
    rig.startHeld(task);
    if (!text.isEmpty()) {
        rig.say(finalized(text));
    }
    auto trace = rig.c().trace();
    rig.releaseAfter(1s);
    return trace;
}

// Signed in with cloud transcription on.
void armCloud(DictationRig &rig)
{
    rig.signIn();
    rig.appSettings().setCloudSTT(true);
}

// A second of captured audio, enough for a WAV.
void recordSecond(DictationRig &rig)
{
    for (int i = 0; i < 10; ++i) {
        rig.deliver(4800);
    }
}

// A cloud session that recognises `text` on the device, released after a second; the cloud
// answers `delay` after the release.
std::shared_ptr<DictationTrace> dictateWithCloud(DictationRig &rig, const QString &text,
                                                 std::chrono::nanoseconds delay)
{
    armCloud(rig);
    rig.cloud.delay = delay;
    rig.startHeld();
    recordSecond(rig);
    if (!text.isEmpty()) {
        rig.say(finalized(text));
    }
    auto trace = rig.c().trace();
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    rig.pump();
    rig.advance(delay);
    rig.waitIdle();
    return trace;
}

QString taskName(Task task)
{
    return QString::fromLatin1(QMetaEnum::fromType<Task>().valueToKey(static_cast<int>(task)));
}

class DictationPipelineTest : public testing::Test
{
protected:
    DictationRig rig;
};

} // namespace

TEST_F(DictationPipelineTest, LocalSessionIsCleanedInsertedRecordedAndReported)
{
    rig.vocabulary.termList = {QStringLiteral("iPhone")};
    rig.vocabulary.replacementList = {Replacement {QUuid::createUuid(), QStringLiteral("brb"),
                                                   QStringLiteral("be right back"), true}};
    const auto trace = dictate(rig, QStringLiteral("  my iphone brb "));

    const QString final = QStringLiteral("rules:my iPhone be right back");
    EXPECT_EQ(
        rig.insertion.calls,
        QStringList({"snapshot", "paste " + final + " restore=true delay=800 snapshot=true"}));
    ASSERT_TRUE(rig.insertion.lastSession);
    EXPECT_EQ(rig.insertion.lastSession->trace, trace);
    EXPECT_EQ(rig.insertion.lastSession->session, 1u);

    EXPECT_EQ(marksAmong(*trace, pipelineMarks),
              QStringList({"startup.await", "engine.finalize", "stream.drain", "cleanup.begin",
                           "cleanup.done", "postprocess", "insert.begin", "insert.done",
                           "history.add", "done"}));
    EXPECT_EQ(DictationRig::detail(*trace, "startup.await"), QStringLiteral("セッション確立待ち"));
    EXPECT_EQ(DictationRig::detail(*trace, "stream.drain"), QStringLiteral("local=16ch"));
    EXPECT_EQ(DictationRig::detail(*trace, "cleanup.begin"),
              QStringLiteral("backend=rules in=13ch"));
    EXPECT_EQ(DictationRig::detail(*trace, "cleanup.done"), QStringLiteral("out=19ch"));
    EXPECT_EQ(DictationRig::detail(*trace, "postprocess"),
              QStringLiteral("辞書ケーシング+置換 → 29ch"));
    EXPECT_EQ(DictationRig::detail(*trace, "insert.begin"),
              QStringLiteral("method=paste restore=true"));
    EXPECT_EQ(DictationRig::detail(*trace, "insert.done"), QStringLiteral("inserted=true"));
    EXPECT_TRUE(trace->isFlushed());

    EXPECT_EQ(rig.logLines("dictation: #1"),
              QStringList({"dictation: #1 recognized dur=1.0s rawLen=13",
                           "dictation: #1 inserted=true method=paste app=Editor finalLen=29"}));

    EXPECT_EQ(rig.reporter.eventNames(), QStringList({"dictation.result"}));
    EXPECT_EQ(rig.reporter.last("dictation.result"),
              QVariantMap({{"ok", true},
                           {"path", "cleanup:rules"},
                           {"task", "cleanup"},
                           {"mode", "rules"},
                           {"intensity", 2},
                           {"cloudSTT", false},
                           {"durationSec", 1},
                           {"totalMs", 0},
                           {"insertMethod", "paste"},
                           {"app", "org.example.editor"},
                           {"engine", "Scripted"},
                           {"rawLen", 13},
                           {"outLen", 29},
                           {"locale", "en-US"}}));
    EXPECT_TRUE(rig.reporter.samples.isEmpty()); // signed out
    EXPECT_TRUE(rig.learner.remembered.isEmpty()); // not a cloud mode

    ASSERT_EQ(rig.history.records().size(), 1);
    const TranscriptRecord &record = rig.history.records().first();
    EXPECT_EQ(record.rawText, QStringLiteral("my iphone brb"));
    EXPECT_EQ(record.cleanedText, final);
    EXPECT_EQ(record.appName, QStringLiteral("Editor"));
    EXPECT_EQ(record.bundleID, QStringLiteral("org.example.editor"));
    EXPECT_EQ(record.windowTitle, QStringLiteral("notes.txt"));
    EXPECT_EQ(record.engineName, QStringLiteral("Scripted"));
    EXPECT_EQ(record.localeIdentifier, QStringLiteral("en-US"));
    EXPECT_EQ(record.durationSeconds, 1.0);
    EXPECT_TRUE(record.inserted);
    EXPECT_EQ(record.date, rig.clock.now());

    // The session's objects are let go.
    EXPECT_EQ(rig.c().state(), State::idle);
    EXPECT_EQ(rig.c().trace(), nullptr);
    EXPECT_EQ(rig.c().finalizedText(), QString());
}

TEST_F(DictationPipelineTest, EachTaskCleansThroughItsOwnStage)
{
    struct Case
    {
        Task task;
        CleanupMode mode;
        QString request;
        bool prompts;
    };
    const QList<Case> cases = {
        {Task::cleanup, CleanupMode::rules, "make rules 3", false},
        {Task::cleanup, CleanupMode::cloudRewrite, "make cloudRewrite 3", true},
        // The ask and translate stages ignore the mode and the intensity. Answers need an
        // account: the ask session is signed in.
        {Task::ask, CleanupMode::off, "cloud polish ask  2", false},
        {Task::translate, CleanupMode::off, "cloud faithful translate German 2", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        DictationRig rig;
        if (c.task == Task::ask) {
            rig.signIn();
        }
        rig.appSettings().setCleanupMode(c.mode);
        rig.appSettings().setCleanupIntensity(3);
        rig.appSettings().setTranslateTargetLang(QStringLiteral("German"));
        rig.startHeld(c.task);
        rig.say(finalized(QStringLiteral("what time is it")));
        rig.releaseAfter(1s);
        rig.pump();

        EXPECT_EQ(rig.cleanup.requests, QStringList({c.request}));
        EXPECT_EQ(rig.signInPrompt.prompts, c.prompts ? QList<bool>({false}) : QList<bool>());
        const QString stage = c.request.startsWith("cloud") || isCloud(c.mode)
            ? QStringLiteral("cloud")
            : RawEnum::rawValue(c.mode);
        const QString final = stage + QStringLiteral(":what time is it");
        const QVariantMap result = rig.reporter.last("dictation.result");
        EXPECT_EQ(result.value("path"), QStringLiteral("cleanup:") + stage);
        ASSERT_EQ(rig.history.records().size(), 1);
        if (c.task == Task::ask) {
            EXPECT_EQ(rig.answerCard.calls, QStringList({"show what time is it | " + final}));
            EXPECT_TRUE(rig.insertion.calls.isEmpty()); // not even a clipboard snapshot
            EXPECT_EQ(result.value("ok"), true);
            EXPECT_EQ(result.value("insertMethod"), QStringLiteral("answerCard"));
            EXPECT_FALSE(rig.history.records().first().inserted);
        } else {
            EXPECT_TRUE(rig.answerCard.calls.isEmpty());
            EXPECT_EQ(rig.insertion.calls.filter("paste"),
                      QStringList({"paste " + final + " restore=true delay=800 snapshot=true"}));
            EXPECT_TRUE(rig.history.records().first().inserted);
        }
        EXPECT_EQ(result.value("task"), taskName(c.task));
    }
}

// Signed out, the cloud tasks say so. Ask shows the card's sign-in state instead of the user's
// own words cleaned by the rules, sends nothing to a stage and inserts nothing; translate inserts
// the words untranslated and tells the voice bar why. Signed in, neither happens.
TEST_F(DictationPipelineTest, SignedOutAskAndTranslateSaySoInsteadOfPretending)
{
    struct Case
    {
        const char *name;
        Task task;
        bool signedIn;
        QStringList cards;
        QStringList requests;
        QStringList pastes;
        QList<Task> notices;
    };
    const QString paste = QStringLiteral("paste cloud:what time is it restore=true delay=800 "
                                         "snapshot=true");
    const QList<Case> cases = {
        {"ask signed out", Task::ask, false, {"signIn"}, {}, {}, {}},
        {"ask signed in",
         Task::ask,
         true,
         {"show what time is it | cloud:what time is it"},
         {"cloud polish ask  2"},
         {},
         {}},
        {"translate signed out",
         Task::translate,
         false,
         {},
         {"cloud faithful translate German 2"},
         {paste},
         {Task::translate}},
        {"translate signed in",
         Task::translate,
         true,
         {},
         {"cloud faithful translate German 2"},
         {paste},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        if (c.signedIn) {
            rig.signIn();
        }
        rig.appSettings().setTranslateTargetLang(QStringLiteral("German"));
        QList<Task> notices;
        QObject::connect(&rig.c(), &DictationController::signInNeeded, &rig.c(),
                         [&notices](Task task) { notices << task; });
        dictate(rig, QStringLiteral("what time is it"), c.task);
        rig.pump();

        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(rig.answerCard.calls, c.cards);
        EXPECT_EQ(rig.cleanup.requests, c.requests);
        EXPECT_EQ(rig.insertion.calls.filter("paste"), c.pastes);
        EXPECT_EQ(notices, c.notices);
        if (c.task == Task::ask) {
            EXPECT_TRUE(rig.insertion.calls.isEmpty());
            // The card offers the sign-in itself: no alert on top of it.
            EXPECT_TRUE(rig.signInPrompt.prompts.isEmpty());
            EXPECT_EQ(rig.history.records().size(), c.signedIn ? 1 : 0);
        }
    }
}

TEST_F(DictationPipelineTest, StageGetsTheSessionsContext)
{
    rig.appSettings().setCleanupMode(CleanupMode::cloudRewrite);
    rig.appSettings().setUseFocusContext(true);
    rig.appSettings().setCustomInstructions(QStringLiteral("be brief"));
    rig.appSettings().setCloudLearning(false);
    rig.vocabulary.termList = {QStringLiteral("Qt")};
    rig.composer.composed = QStringLiteral("composed");
    const auto trace = dictate(rig, QStringLiteral("text"));

    ASSERT_EQ(rig.composer.calls.size(), 1);
    EXPECT_EQ(rig.composer.calls[0].focus->appName, QStringLiteral("Editor"));
    EXPECT_EQ(rig.composer.calls[0].recentDictations, QStringList());
    EXPECT_EQ(DictationRig::detail(*trace, "context.compose"),
              QStringLiteral("recent=0 composed=8ch"));
    ASSERT_EQ(rig.cleanup.calls->size(), 1);
    const CleanupContext &context = rig.cleanup.calls->first().context;
    ASSERT_TRUE(context.focus);
    EXPECT_EQ(context.focus->bundleID, QStringLiteral("org.example.editor"));
    EXPECT_EQ(context.localeIdentifier, QStringLiteral("en-US"));
    EXPECT_EQ(context.customInstructions, QStringLiteral("be brief"));
    EXPECT_EQ(context.dictionaryTerms, QStringList({"Qt"}));
    EXPECT_FALSE(context.personalize);
    EXPECT_EQ(context.composedContext, QStringLiteral("composed"));

    // Without the focus-context setting the stage sees no field and no composed context.
    DictationRig other;
    other.appSettings().setCleanupMode(CleanupMode::cloudRewrite);
    other.startHeld();
    other.say(finalized(QStringLiteral("text")));
    other.releaseAfter(1s);
    ASSERT_EQ(other.cleanup.calls->size(), 1);
    EXPECT_FALSE(other.cleanup.calls->first().context.focus);
    EXPECT_FALSE(other.cleanup.calls->first().context.composedContext);
    EXPECT_TRUE(other.composer.calls.isEmpty());
    EXPECT_TRUE(other.cleanup.calls->first().context.personalize);
}

TEST_F(DictationPipelineTest, VocabularyIsReadAfterCleanupNotAtKeyRelease)
{
    rig.cleanup.gate = std::make_shared<TestGate>();
    rig.startHeld();
    rig.say(finalized(QStringLiteral("say qcoro")));
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    ASSERT_TRUE(rig.waitUntil([&] { return !rig.cleanup.calls->isEmpty(); }));
    rig.vocabulary.termList = {QStringLiteral("QCoro")};
    rig.cleanup.gate->open();
    rig.waitIdle();
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste rules:say QCoro restore=true delay=800 snapshot=true"}));
}

TEST_F(DictationPipelineTest, InsertionFollowsTheMethodAndReportsTypingFailure)
{
    struct Case
    {
        InsertionMethod method;
        bool restore;
        bool succeeds;
        QStringList calls;
        QStringList marks;
    };
    const QString text = QStringLiteral("rules:hello");
    const QList<Case> cases = {
        {InsertionMethod::paste,
         false,
         true,
         {"paste " + text + " restore=false delay=800 snapshot=false"},
         {"insert.begin", "insert.done"}},
        {InsertionMethod::paste,
         true,
         false,
         {"snapshot", "paste " + text + " restore=true delay=800 snapshot=true"},
         {"insert.begin", "insert.done"}},
        {InsertionMethod::type,
         true,
         true,
         {"type " + text},
         {"insert.begin", "insert.cmdV", "insert.done"}},
        // Nothing typed: the text waits on the clipboard instead.
        {InsertionMethod::type,
         true,
         false,
         {"type " + text, "clipboard " + text},
         {"insert.begin", "insert.done"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.calls.join(" / ").toStdString());
        DictationRig rig;
        rig.appSettings().setInsertionMethod(c.method);
        rig.appSettings().setRestoreClipboard(c.restore);
        rig.insertion.pasteResult = c.succeeds;
        rig.insertion.typeResult = c.succeeds;
        rig.startHeld();
        rig.say(finalized(QStringLiteral("hello")));
        const auto trace = rig.c().trace();
        rig.releaseAfter(1s);

        EXPECT_EQ(rig.insertion.calls, c.calls);
        EXPECT_EQ(marksAmong(*trace, {"insert.begin", "insert.cmdV", "insert.done"}), c.marks);
        const QString method = c.method == InsertionMethod::type ? "type" : "paste";
        EXPECT_EQ(DictationRig::detail(*trace, "insert.begin"),
                  "method=" + method + " restore=" + (c.restore ? "true" : "false"));
        EXPECT_EQ(DictationRig::detail(*trace, "insert.done"),
                  QStringLiteral("inserted=") + (c.succeeds ? "true" : "false"));
        if (c.method == InsertionMethod::type && c.succeeds) {
            EXPECT_EQ(DictationRig::detail(*trace, "insert.cmdV"), QStringLiteral("typed 11ch"));
        }
        const QVariantMap result = rig.reporter.last("dictation.result");
        EXPECT_EQ(result.value("ok"), c.succeeds);
        EXPECT_EQ(result.value("insertMethod"), method);
        ASSERT_EQ(rig.history.records().size(), 1);
        EXPECT_EQ(rig.history.records().first().inserted, c.succeeds);
        EXPECT_EQ(rig.logLines("dictation: #1 inserted="),
                  QStringList({"dictation: #1 inserted=" + QString(c.succeeds ? "true" : "false")
                               + " method=" + method + " app=Editor finalLen=11"}));
    }
}

TEST_F(DictationPipelineTest, EmptyCleanupResultIsNotInsertedButStillRecorded)
{
    rig.cleanup.transform = [](const QString &) {
        return QString();
    };
    const auto trace = dictate(rig, QStringLiteral("um"));
    EXPECT_TRUE(rig.insertion.calls.filter("paste").isEmpty());
    EXPECT_EQ(marksAmong(*trace, {"insert.begin", "insert.done"}), QStringList({"insert.done"}));
    EXPECT_EQ(DictationRig::detail(*trace, "insert.done"), QStringLiteral("inserted=false"));
    EXPECT_EQ(rig.reporter.last("dictation.result").value("ok"), false);
    ASSERT_EQ(rig.history.records().size(), 1);
    EXPECT_FALSE(rig.history.records().first().inserted);
    EXPECT_EQ(rig.history.records().first().cleanedText, QString());
}

TEST_F(DictationPipelineTest, NothingRecognisedEndsQuietly)
{
    for (const Task task : {Task::cleanup, Task::ask}) {
        DictationRig rig;
        rig.startHeld(task);
        rig.say(finalized(QStringLiteral("  \n")));
        const auto trace = rig.c().trace();
        rig.releaseAfter(1s);

        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(marksAmong(*trace, pipelineMarks),
                  QStringList({"startup.await", "engine.finalize", "stream.drain", "empty"}));
        EXPECT_EQ(
            rig.logLines("dictation: #1"),
            QStringList({"dictation: #1 finished dur=1.0s → raw empty (nothing recognized)"}));
        EXPECT_EQ(rig.reporter.eventNames(), QStringList({"dictation.empty"}));
        EXPECT_EQ(rig.reporter.last("dictation.empty"),
                  QVariantMap({{"durationSec", 1},
                               {"path", "local"},
                               {"cloudSTT", false},
                               {"task", task == Task::ask ? "ask" : "cleanup"},
                               {"app", "org.example.editor"}}));
        EXPECT_EQ(rig.answerCard.calls, task == Task::ask ? QStringList({"error"}) : QStringList());
        EXPECT_TRUE(rig.history.records().isEmpty());
        EXPECT_TRUE(rig.cleanup.requests.isEmpty());
        EXPECT_FALSE(rig.c().lastError());
        EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow"}));
    }
}

TEST(DictationPipelineCloud, FailureFallsBackToTheOnDeviceText)
{
    struct Case
    {
        std::chrono::seconds after;
        QString text;
        QString path;
        QStringList marks;
    };
    const QList<Case> cases = {
        {10s,
         "local words",
         "cleanup:rules",
         {"dictate.done", "cleanup.begin", "cleanup.done", "done"}},
        {20s,
         "local words",
         "cleanup:rules",
         {"dictate.done", "cleanup.begin", "cleanup.done", "done"}},
        // Later than 20 s: rules only, and no further cloud request.
        {25s,
         "local words",
         "rules-timeout",
         {"dictate.done", "cleanup.fallback", "cleanup.done", "done"}},
        {25s, "", "dictateFailed", {"dictate.done", "empty"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.path + " " + QString::number(c.after.count())).toStdString());
        DictationRig rig;
        rig.appSettings().setCleanupMode(CleanupMode::rules);
        const auto trace = dictateWithCloud(rig, c.text, c.after);

        ASSERT_EQ(rig.cloud.runs.size(), 1);
        EXPECT_GT(rig.cloud.runs[0].wav.size(), 30000);
        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(marksAmong(*trace,
                             {"dictate.done", "localFinalize.detached", "cleanup.fallback",
                              "cleanup.begin", "cleanup.done", "done", "empty"}),
                  c.marks);
        EXPECT_EQ(DictationRig::detail(*trace, "dictate.done"), QStringLiteral("失敗"));
        const QString lengthText = QString::number(c.text.size());
        EXPECT_EQ(rig.logLines("dictation: #1 dictate FAILED"),
                  QStringList({"dictation: #1 dictate FAILED after "
                               + QString::asprintf("%.1f", double(c.after.count()))
                               + "s → local fallback (len=" + lengthText + ")"}));
        if (c.text.isEmpty()) {
            EXPECT_EQ(rig.reporter.last("dictation.empty").value("path"), c.path);
            EXPECT_EQ(rig.reporter.last("dictation.empty").value("cloudSTT"), true);
            continue;
        }
        EXPECT_EQ(rig.reporter.last("dictation.result").value("path"), c.path);
        EXPECT_EQ(rig.reporter.last("dictation.result").value("cloudSTT"), true);
        if (c.path == "rules-timeout") {
            EXPECT_EQ(DictationRig::detail(*trace, "cleanup.fallback"),
                      QStringLiteral("reason=dictateTimeout → rules(再試行なし)"));
            EXPECT_EQ(DictationRig::detail(*trace, "cleanup.done"),
                      QStringLiteral("out=11ch (dictate)"));
            EXPECT_TRUE(rig.cleanup.requests.isEmpty());
            EXPECT_EQ(rig.insertion.calls.filter("paste"),
                      QStringList({"paste " + RuleBasedCleanup::clean(c.text, "en-US")
                                   + " restore=true delay=800 snapshot=true"}));
        } else {
            EXPECT_EQ(rig.cleanup.requests, QStringList({"make rules 2"}));
        }
    }
}

TEST_F(DictationPipelineTest, CloudResultWinsWithoutWaitingForTheEngine)
{
    // The engine never finishes by itself: only the watchdog ends it.
    rig.engines.script.keepOpenAfterFinish = true;
    rig.cloud.outcome =
        Outcome {QStringLiteral("cloud words"), QStringLiteral("Cloud words."), false};
    rig.cloud.finalTextResult = QStringLiteral("Cloud words.");
    const auto trace = dictateWithCloud(rig, QStringLiteral("local word"), 2s);

    EXPECT_EQ(rig.c().state(), State::idle);
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste Cloud words. restore=true delay=800 snapshot=true"}));
    EXPECT_EQ(marksAmong(*trace, pipelineMarks),
              QStringList({"startup.await", "engine.finalize", "dictate.done",
                           "localFinalize.detached", "cleanup.done", "postprocess", "insert.begin",
                           "insert.done", "history.add", "done"}));
    EXPECT_EQ(DictationRig::detail(*trace, "dictate.done"),
              QStringLiteral("raw=11ch cleaned=12ch"));
    EXPECT_EQ(DictationRig::detail(*trace, "cleanup.done"), QStringLiteral("out=12ch (dictate)"));
    EXPECT_TRUE(DictationRig::markNames(*trace).contains("cleanup.guard"));
    EXPECT_EQ(rig.logLines("dictation: #1 dictate ok"),
              QStringList({"dictation: #1 dictate ok raw=11 cleaned=12 (local=10 未確定)"}));
    EXPECT_EQ(rig.cloud.finalTextCalls.size(), 1);
    EXPECT_TRUE(rig.cleanup.requests.isEmpty());
    EXPECT_EQ(rig.reporter.last("dictation.result").value("path"), QStringLiteral("dictate"));
    EXPECT_EQ(rig.history.records().first().rawText, QStringLiteral("cloud words"));
    EXPECT_TRUE(rig.logLines("stt compare").isEmpty());

    // The engine's late words and a late failure no longer reach the screen or the user.
    auto engine = rig.engines.made.last();
    engine->say(finalized(QStringLiteral(" and more")));
    rig.pump();
    EXPECT_EQ(rig.c().finalizedText(), QString());
    EXPECT_EQ(rig.c().volatileText(), QString());

    // The comparison follows once the on-device side is done: 8 s after the engine session was
    // known to be open, the watchdog ends it.
    rig.advance(8s);
    ASSERT_TRUE(rig.waitUntil([&] { return !rig.logLines("stt compare").isEmpty(); }));
    EXPECT_TRUE(engine->calls.contains("cancelSession"));
    const double similarity = 1.0 - 13.0 / 19.0; // "local word and more" against "cloud words"
    EXPECT_EQ(rig.logLines("stt compare"),
              QStringList({QString::asprintf("stt compare: #1 dur=1.0s localLen=19 cloudLen=11 "
                                             "same=false sim=%.3f",
                                             similarity)}));
    EXPECT_FALSE(rig.c().lastError());
    EXPECT_FALSE(rig.sounds.played.contains("Basso"));
}

TEST_F(DictationPipelineTest, LateEngineFailureAfterACloudResultIsNotAFailure)
{
    rig.engines.script.keepOpenAfterFinish = true;
    rig.cloud.outcome = Outcome {QStringLiteral("cloud words"), std::nullopt, false};
    dictateWithCloud(rig, QStringLiteral("local"), 1s);
    ASSERT_EQ(rig.c().state(), State::idle);
    rig.engines.made.last()->end(std::make_exception_ptr(TranscriptionError::sessionFailed()));
    rig.pump();
    EXPECT_FALSE(rig.c().lastError());
    EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow"}));
    EXPECT_FALSE(rig.reporter.eventNames().contains("session.failed"));
    EXPECT_EQ(rig.c().sessionID(), 1);
}

TEST_F(DictationPipelineTest, ComparisonIsDroppedWhenANewSessionStarted)
{
    rig.engines.script.keepOpenAfterFinish = true;
    rig.cloud.outcome = Outcome {QStringLiteral("cloud"), std::nullopt, false};
    dictateWithCloud(rig, QStringLiteral("local"), 1s);
    auto first = rig.engines.made.last();
    rig.engines.script.keepOpenAfterFinish = false;
    rig.startHeld();
    rig.advance(8s);
    first->end();
    rig.pump();
    EXPECT_TRUE(first->calls.contains("cancelSession"));
    EXPECT_TRUE(rig.logLines("stt compare").isEmpty());
}

TEST_F(DictationPipelineTest, TesterModeLogsTheFullTexts)
{
    rig.defaults.setValue(QStringLiteral("testerModeEnabled"), true);
    rig.engines.script.keepOpenAfterFinish = true;
    rig.cloud.outcome = Outcome {QStringLiteral("cloud"), std::nullopt, false};
    dictateWithCloud(rig, QStringLiteral("local"), 1s);
    rig.advance(8s);
    rig.waitUntil([&] { return rig.logLines("stt compare").size() == 2; });
    EXPECT_EQ(rig.logLines("dictation: #1 raw="), QStringList({"dictation: #1 raw=「cloud」"}));
    EXPECT_EQ(rig.logLines("dictation: #1 cleaned"),
              QStringList({"dictation: #1 cleaned(task=cleanup mode=rules)=「final:cloud」"}));
    EXPECT_EQ(rig.logLines("stt compare: #1 local"),
              QStringList({"stt compare: #1 local=「local」 cloud=「cloud」"}));
}

TEST_F(DictationPipelineTest, CloudSttWithoutAWavSaysWhy)
{
    // Signed out: no recorder ran.
    rig.appSettings().setCloudSTT(true);
    dictate(rig, QStringLiteral("words"));
    EXPECT_EQ(rig.logLines("dictation: #1 cloud stt"),
              QStringList({"dictation: #1 cloud stt: recorder not started (signedIn=false)"}));
    EXPECT_TRUE(rig.cloud.runs.isEmpty());
    EXPECT_EQ(rig.reporter.last("dictation.result").value("path"), QStringLiteral("cleanup:rules"));
    EXPECT_EQ(rig.reporter.last("dictation.result").value("cloudSTT"), false);

    // Signed in, but too little audio for a WAV.
    rig.signIn();
    dictate(rig, QStringLiteral("words"));
    EXPECT_EQ(rig.logLines("dictation: #2 cloud stt"),
              QStringList({"dictation: #2 cloud stt: no wav (recording too short or convert "
                           "failed)"}));
    EXPECT_TRUE(rig.cloud.runs.isEmpty());
}

TEST_F(DictationPipelineTest, SecureFieldKeepsTheDictationOnTheMachine)
{
    FocusContext secure;
    secure.appName = QStringLiteral("Login");
    secure.bundleID = QStringLiteral("org.example.login");
    secure.isSecureField = true;
    rig.setFocus(secure);
    rig.appSettings().setCleanupMode(CleanupMode::cloud);
    rig.cloud.outcome = Outcome {QStringLiteral("cloud"), std::nullopt, false};
    const auto trace = dictateWithCloud(rig, QStringLiteral("um my password"), 0s);

    EXPECT_TRUE(rig.cloud.runs.isEmpty());
    EXPECT_TRUE(rig.cleanup.requests.isEmpty());
    const QString cleaned = RuleBasedCleanup::clean(QStringLiteral("um my password"), "en-US");
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste " + cleaned + " restore=true delay=800 snapshot=true"}));
    EXPECT_EQ(DictationRig::detail(*trace, "cleanup.done"),
              "out=" + QString::number(cleaned.size()) + "ch (secure→rules)");
    // A withheld WAV is not explained in the log.
    EXPECT_TRUE(rig.logLines("dictation: #1 cloud stt").isEmpty());
    const QVariantMap result = rig.reporter.last("dictation.result");
    EXPECT_EQ(result.value("path"), QStringLiteral("rules-secure"));
    EXPECT_EQ(result.value("app"), QStringLiteral("secure"));
    EXPECT_EQ(result.value("cloudSTT"), false);
    EXPECT_TRUE(rig.history.records().isEmpty());
    EXPECT_TRUE(rig.reporter.samples.isEmpty());
    EXPECT_TRUE(rig.learner.remembered.isEmpty());
}

TEST_F(DictationPipelineTest, ShortDictationWaitsForTheFocusReadBeforeTheCloud)
{
    FocusContext secure;
    secure.isSecureField = true;
    rig.setFocus(secure);
    rig.holdFocusRead(true);
    armCloud(rig);
    rig.cloud.outcome = Outcome {QStringLiteral("cloud"), std::nullopt, false};
    rig.c().holdKeyDown(Task::cleanup);
    rig.pump();
    recordSecond(rig);
    rig.say(finalized(QStringLiteral("hunter two")));
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    rig.pump();
    // The read of the field is still out: nothing has left the machine.
    EXPECT_EQ(rig.c().state(), State::processing);
    EXPECT_TRUE(rig.cloud.runs.isEmpty());

    rig.focusGate.release();
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_TRUE(rig.cloud.runs.isEmpty());
    EXPECT_EQ(rig.reporter.last("dictation.result").value("path"), QStringLiteral("rules-secure"));
    EXPECT_TRUE(rig.history.records().isEmpty());
}

TEST_F(DictationPipelineTest, FocusReadThatNeverEndsHoldsTheSessionOnlyBriefly)
{
    rig.holdFocusRead(true);
    armCloud(rig);
    rig.c().holdKeyDown(Task::cleanup);
    rig.pump();
    recordSecond(rig);
    rig.say(finalized(QStringLiteral("words")));
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    rig.pump();
    rig.advance(DictationPipeline::focusReadWait - 1ns);
    EXPECT_EQ(rig.c().state(), State::processing);
    rig.advance(1ns);
    ASSERT_TRUE(rig.waitIdle());
    // The on-device text still reaches the field.
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
}

// A read that has not said whether the field is a password field when the gate decides may be
// stuck on one: the session stays on the machine to its end, also when the read comes back while
// the session is still being processed and says an ordinary field.
TEST_F(DictationPipelineTest, FocusReadStillOutAtTheGateKeepsTheSessionOnTheMachine)
{
    for (const bool readComesBackLater : {false, true}) {
        SCOPED_TRACE(readComesBackLater ? "read back after the gate" : "read never back");
        DictationRig rig;
        FocusContext field;
        field.appName = QStringLiteral("Editor");
        field.bundleID = QStringLiteral("org.example.editor");
        field.fieldText = QStringLiteral("Dear Ann");
        rig.setFocus(field);
        rig.holdFocusRead(true);
        armCloud(rig);
        rig.appSettings().setCleanupMode(CleanupMode::cloud);
        rig.appSettings().setUseFocusContext(true);
        rig.appSettings().setCloudLearning(true);
        rig.cloud.outcome = Outcome {QStringLiteral("cloud"), std::nullopt, false};
        // The engine's stream stays open until the watchdog: time for the read to come back.
        rig.engines.script.keepOpenAfterFinish = true;
        rig.c().holdKeyDown(Task::cleanup);
        rig.pump();
        recordSecond(rig);
        rig.say(finalized(QStringLiteral("um my secret")));
        rig.advance(1s);
        rig.c().holdKeyUp(Task::cleanup);
        rig.pump();
        rig.advance(DictationPipeline::focusReadWait);
        EXPECT_EQ(rig.c().state(), State::processing);
        if (readComesBackLater) {
            rig.focusGate.release();
            ASSERT_TRUE(rig.waitUntil([&] { return rig.c().focusContext().has_value(); }));
            EXPECT_EQ(rig.c().state(), State::processing);
        }
        rig.advance(DictationPipeline::finishWatchdog);
        ASSERT_TRUE(rig.waitIdle());

        EXPECT_TRUE(rig.cloud.runs.isEmpty());
        EXPECT_TRUE(rig.cleanup.requests.isEmpty());
        // The on-device text still reaches the field.
        const QString cleaned = RuleBasedCleanup::clean(QStringLiteral("um my secret"), "en-US");
        EXPECT_EQ(rig.insertion.calls.filter("paste"),
                  QStringList({"paste " + cleaned + " restore=true delay=800 snapshot=true"}));
        const QVariantMap result = rig.reporter.last("dictation.result");
        EXPECT_EQ(result.value("path"), QStringLiteral("rules-secure"));
        EXPECT_EQ(result.value("app"), QStringLiteral("secure"));
        EXPECT_EQ(result.value("cloudSTT"), false);
        EXPECT_TRUE(rig.history.records().isEmpty());
        EXPECT_TRUE(rig.reporter.samples.isEmpty());
        EXPECT_TRUE(rig.learner.remembered.isEmpty());
    }
}

TEST_F(DictationPipelineTest, WatchdogCancelsAnEngineThatKeepsItsStreamOpen)
{
    rig.engines.script.keepOpenAfterFinish = true;
    rig.startHeld();
    rig.say(finalized(QStringLiteral("slow engine")));
    const auto trace = rig.c().trace();
    auto engine = rig.engines.made.last();
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    rig.pump();
    EXPECT_EQ(rig.c().state(), State::processing);
    rig.advance(8s - 1ns);
    EXPECT_FALSE(engine->calls.contains("cancelSession"));
    EXPECT_EQ(rig.c().state(), State::processing);
    rig.advance(1ns);
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(engine->calls.filter("Session"),
              QStringList({"startSession en-US []", "finishSession", "cancelSession"}));

    quint64 awaited = 0;
    quint64 drained = 0;
    for (const DictationTrace::Mark &mark : trace->marks()) {
        if (mark.name == "startup.await") {
            awaited = mark.nanos;
        } else if (mark.name == "stream.drain") {
            drained = mark.nanos;
        }
    }
    EXPECT_EQ(drained - awaited, quint64(8'000'000'000));
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste rules:slow engine restore=true delay=800 snapshot=true"}));
}

TEST_F(DictationPipelineTest, EngineThatNeverOpensIsCancelledAfterTheStartupLimit)
{
    rig.engines.script.holdStart = true;
    rig.startHeld();
    auto engine = rig.engines.made.last();
    const auto trace = rig.c().trace();
    rig.advance(1s);
    rig.c().holdKeyUp(Task::cleanup);
    rig.pump();
    rig.advance(DictationPipeline::startupWaitLimit - 1ns);
    EXPECT_EQ(rig.c().state(), State::processing);
    rig.advance(1ns);
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(engine->calls, QStringList({"startSession en-US []", "cancelSession"}));
    EXPECT_EQ(DictationRig::detail(*trace, "startup.await"),
              QStringLiteral("セッション確立待ち(打ち切り)"));
    EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("empty"));
    EXPECT_TRUE(rig.logLines("dictation: session FAILED").isEmpty());
}

TEST(DictationPipelineStale, CancelledSessionEndsWithoutResult)
{
    enum class At { cloudCall, cleanup };
    for (const At at : {At::cloudCall, At::cleanup}) {
        SCOPED_TRACE(at == At::cloudCall ? "during the cloud call" : "during cleanup");
        DictationRig rig;
        if (at == At::cloudCall) {
            armCloud(rig);
            rig.cloud.delay = 30s;
        } else {
            rig.cleanup.gate = std::make_shared<TestGate>();
        }
        rig.startHeld();
        recordSecond(rig);
        rig.say(finalized(QStringLiteral("never mind")));
        const auto trace = rig.c().trace();
        rig.advance(1s);
        rig.c().holdKeyUp(Task::cleanup);
        rig.waitUntil([&] {
            return at == At::cloudCall ? !rig.cloud.runs.isEmpty() : !rig.cleanup.calls->isEmpty();
        });

        rig.c().cancel(false); // Escape
        EXPECT_EQ(rig.c().state(), State::idle);
        if (rig.cleanup.gate) {
            rig.cleanup.gate->open();
        }
        rig.pump();
        rig.advance(30s);

        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(rig.c().sessionID(), 2);
        EXPECT_EQ(marksAmong(*trace, {"postprocess", "insert.begin", "cancelled", "aborted"}),
                  QStringList({"cancelled"}));
        EXPECT_TRUE(rig.insertion.calls.filter("paste").isEmpty());
        EXPECT_EQ(rig.reporter.eventNames(), QStringList({"session.cancelled"}));
        EXPECT_TRUE(rig.history.records().isEmpty());
        EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow", "Bottle"}));
    }
}

// The application's own cloud clients, signed in, on a session to the fake service; counts the
// calls that have come back, so a test knows when the session's task has gone on.
class CloudClients final
    : public CloudDictation
    , public CleanupStageFactory
{
public:
    CloudClients(const QUrl &service, Clock &clock)
        : session(service)
        , quota(clock)
        , m_clock(clock)
        , m_dictate(CloudDictate::Services {&session, &quota, token,
                                            [] { return QUuid::createUuid(); }, &clock,
                                            CloudDictate::defaultTimeout})
    { }

    QCoro::Task<std::optional<Outcome>> run(QByteArray wav, DictationTask task, CleanupMode mode,
                                            QString targetLang, int intensity,
                                            CleanupContext context, SessionContext session) override
    {
        auto outcome = co_await m_dictate.run(std::move(wav), task, mode, std::move(targetLang),
                                              intensity, std::move(context), std::move(session));
        ++*returned;
        co_return outcome;
    }
    QCoro::Task<QString> finalText(Outcome outcome, DictationTask task, CleanupMode mode,
                                   CleanupContext context, SessionContext session) override
    {
        co_return co_await m_dictate.finalText(std::move(outcome), task, mode, std::move(context),
                                               std::move(session));
    }
    std::shared_ptr<const TextCleanupService> make(CleanupMode, int intensity) override
    {
        return makeCloud(QStringLiteral("faithful"), QStringLiteral("cleanup"), QString(),
                         intensity);
    }
    std::shared_ptr<const TextCleanupService> makeCloud(const QString &style, const QString &task,
                                                        const QString &targetLang,
                                                        int intensity) override
    {
        CloudCleanup::Services services;
        services.session = &session;
        services.quota = &quota;
        services.token = token;
        services.clock = &m_clock;
        return std::make_shared<Counted>(
            CloudCleanup(services, {style, task, targetLang, intensity}), returned);
    }

    CloudSession session;
    QuotaNotice quota;
    std::shared_ptr<int> returned = std::make_shared<int>(0);

private:
    struct Counted final : TextCleanupService
    {
        Counted(CloudCleanup stage, std::shared_ptr<int> returned)
            : stage(std::move(stage))
            , returned(std::move(returned))
        { }
        QString name() const override { return stage.name(); }
        QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override
        {
            QString cleaned = co_await stage.cleanup(std::move(text), std::move(context));
            ++*returned;
            co_return cleaned;
        }
        CloudCleanup stage;
        std::shared_ptr<int> returned;
    };

    static std::optional<QString> token() { return QStringLiteral("tok"); }

    Clock &m_clock;
    CloudDictate m_dictate;
};

// Escape while the session's request is with the service (the recording of a dictation, the
// question of the ask task, the text to translate): its connection closes at once, and nothing is
// inserted, shown, recorded or announced, nor sent after it.
TEST(DictationPipelineCloudCancel, EscapeAbortsTheSessionsRequestAndSendsNothingMore)
{
    const struct
    {
        const char *name;
        Task task;
        bool cloudSTT;
        std::string path;
    } cases[] = {
        {"the recording on its way", Task::cleanup, true, "/api/dictate"},
        {"the question of the ask task", Task::ask, false, "/api/cleanup"},
        {"the text to translate", Task::translate, false, "/api/cleanup"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeCloudService service;
        FakeCloudService::Reply held;
        held.hold = true;
        service.respond(c.path, held);
        DictationRig rig;
        CloudClients clients(service.baseURL(), rig.clock);
        QSignalSpy notices(&clients.quota, &QuotaNotice::didReach);
        rig.replaceCloud(&clients, &clients);
        rig.signIn();
        rig.appSettings().setCloudSTT(c.cloudSTT);
        rig.appSettings().setCleanupMode(CleanupMode::cloud);
        rig.startHeld(c.task);
        recordSecond(rig);
        rig.say(finalized(QStringLiteral("never mind")));
        const auto trace = rig.c().trace();
        rig.advance(1s);
        rig.c().holdKeyUp(c.task);
        ASSERT_TRUE(service.waitForRequests(c.path, 1));

        const auto cancelledAt = std::chrono::steady_clock::now();
        rig.c().cancel(false); // Escape
        const auto closedAt = service.waitForClose(c.path, 0, 2s);
        ASSERT_TRUE(closedAt.has_value()) << "the request's connection stayed open";
        EXPECT_LT(*closedAt - cancelledAt, 500ms);
        ASSERT_TRUE(rig.waitUntil([&] { return *clients.returned == 1; }));
        rig.advance(30s);

        EXPECT_EQ(service.requestCount(), 1u) << "a request was sent after the cancel";
        EXPECT_TRUE(rig.insertion.calls.filter("paste").isEmpty());
        EXPECT_TRUE(rig.answerCard.calls.isEmpty());
        EXPECT_TRUE(rig.history.records().isEmpty());
        EXPECT_EQ(notices.count(), 0);
        EXPECT_EQ(marksAmong(*trace,
                             {"cleanup.recv", "cleanup.fallback", "dictate.error", "postprocess",
                              "cancelled", "aborted"}),
                  QStringList({"cancelled"}));
    }
}

// The user cancels while the text is being typed: the typing stops short, and the rest of the
// text is not put on the clipboard as it would be when typing failed.
TEST_F(DictationPipelineTest, ACancelDuringTypingLeavesTheClipboardAlone)
{
    DictationRig rig;
    rig.appSettings().setInsertionMethod(InsertionMethod::type);
    rig.insertion.typeResult = false;
    rig.insertion.onType = [&rig] {
        rig.c().cancel(false);
    };
    rig.startHeld();
    rig.say(finalized(QStringLiteral("never mind")));
    const auto trace = rig.c().trace();
    rig.releaseAfter(1s);
    rig.advance(5s);

    EXPECT_EQ(rig.insertion.calls.filter(QStringLiteral("type ")).size(), 1);
    EXPECT_TRUE(rig.insertion.calls.filter(QStringLiteral("clipboard")).isEmpty());
    ASSERT_TRUE(rig.insertion.lastSession.has_value());
    EXPECT_TRUE(rig.insertion.lastSession->cancellation.isCancelled());
    EXPECT_EQ(rig.c().state(), State::idle);
    EXPECT_TRUE(rig.history.records().isEmpty());
}

TEST(DictationPipelineAfterWork, SampleAndCorrectionLearningFollowTheirConditions)
{
    struct Case
    {
        const char *name;
        bool signedIn = true;
        std::optional<bool> improve = std::nullopt;
        CleanupMode mode = CleanupMode::cloud;
        bool learning = true;
        bool inserted = true;
        Task task = Task::cleanup;
        bool sample;
        bool remember;
    };
    const QList<Case> cases = {
        {.name = "all conditions met", .sample = true, .remember = true},
        {.name = "reporting stored as on", .improve = true, .sample = true, .remember = true},
        {.name = "reporting off", .improve = false, .sample = false, .remember = true},
        {.name = "signed out", .signedIn = false, .sample = false, .remember = false},
        {.name = "rules mode", .mode = CleanupMode::rules, .sample = true, .remember = false},
        {.name = "learning off", .learning = false, .sample = true, .remember = false},
        {.name = "not inserted", .inserted = false, .sample = true, .remember = false},
        {.name = "translate", .task = Task::translate, .sample = false, .remember = false},
        {.name = "ask", .task = Task::ask, .sample = false, .remember = false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        if (c.signedIn) {
            rig.signIn();
        }
        if (c.improve) {
            rig.defaults.setValue(QStringLiteral("improveDataSharing"), *c.improve);
        }
        rig.appSettings().setCleanupMode(c.mode);
        rig.appSettings().setCloudLearning(c.learning);
        rig.insertion.pasteResult = c.inserted;
        dictate(rig, QStringLiteral("hello there"), c.task);

        EXPECT_EQ(rig.reporter.samples.size(), c.sample ? 1 : 0);
        EXPECT_EQ(rig.learner.remembered.size(), c.remember ? 1 : 0);
        if (c.remember) {
            EXPECT_EQ(rig.learner.remembered[0].first, QStringLiteral("cloud:hello there"));
            EXPECT_EQ(rig.learner.remembered[0].second, QStringLiteral("org.example.editor"));
        }
    }
}

TEST_F(DictationPipelineTest, SampleDescribesTheSession)
{
    rig.signIn();
    rig.appSettings().setCleanupMode(CleanupMode::cloudRewrite);
    rig.appSettings().setCustomInstructions(QStringLiteral("casual"));
    rig.engines.script.keepOpenAfterFinish = true;
    rig.cloud.outcome = Outcome {QStringLiteral("cloud text"), std::nullopt, false};
    dictateWithCloud(rig, QStringLiteral("local text"), 1s);
    ASSERT_EQ(rig.reporter.samples.size(), 1);
    EXPECT_EQ(rig.reporter.samples[0],
              QVariantMap({{"task", "cleanup"},
                           {"mode", "cloudRewrite"},
                           {"intensity", 2},
                           {"locale", "en-US"},
                           {"path", "dictate"},
                           {"engine", "Scripted"},
                           {"focusApp", "org.example.editor"},
                           {"durationSec", 1},
                           {"cleaned", "final:cloud text"},
                           {"inserted", true},
                           {"hasCustomInstructions", true},
                           {"localTranscript", "local text"},
                           {"cloudTranscript", "cloud text"}}));
}

TEST_F(DictationPipelineTest, SignedOutCloudCleanupOffersSignInBesideTheCleanup)
{
    rig.appSettings().setCleanupMode(CleanupMode::cloud);
    dictate(rig, QStringLiteral("text"));
    rig.pump();
    EXPECT_EQ(rig.signInPrompt.prompts, QList<bool>({false}));
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
}

TEST_F(DictationPipelineTest, BrokenStageCannotLeaveTheSessionInProcessing)
{
    rig.cleanup.transform = [](const QString &) -> QString {
        throw std::runtime_error("stage broke its promise");
    };
    const auto trace = dictate(rig, QStringLiteral("text"));
    EXPECT_EQ(rig.c().state(), State::idle);
    EXPECT_EQ(rig.logLines("dictation: #1 processing FAILED"),
              QStringList({"dictation: #1 processing FAILED: stage broke its promise"}));
    EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("failed"));
    // The next session runs normally.
    rig.cleanup.transform = nullptr;
    dictate(rig, QStringLiteral("again"));
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
}

TEST(DictationPipelineWithoutNeighbours, EveryTaskEndsNormallyWithTheTextAsRecognised)
{
    for (const Task task : {Task::cleanup, Task::translate, Task::ask}) {
        DictationRig rig(false);
        rig.signIn();
        rig.appSettings().setCloudSTT(true);
        rig.startHeld(task);
        recordSecond(rig);
        rig.say(finalized(QStringLiteral("go forward ten meters")));
        const auto trace = rig.c().trace();
        rig.releaseAfter(1s);

        SCOPED_TRACE(taskName(task).toStdString());
        EXPECT_EQ(rig.c().state(), DictationState::idle);
        if (task == Task::ask) {
            EXPECT_TRUE(rig.insertion.calls.filter(QStringLiteral("paste")).isEmpty());
        } else {
            EXPECT_EQ(rig.insertion.calls.filter(QStringLiteral("paste")),
                      QStringList({"paste go forward ten meters restore=true delay=800 "
                                   "snapshot=true"}));
        }
        ASSERT_EQ(rig.history.records().size(), 1);
        EXPECT_EQ(rig.history.records().first().cleanedText,
                  QStringLiteral("go forward ten meters"));
        EXPECT_EQ(marksAmong(*trace, pipelineMarks).last(), QStringLiteral("done"));
        EXPECT_TRUE(rig.reporter.events.isEmpty());
    }
}
