#include "Core/DictationController.h"

#include "Core/DictationPipeline.h"

#include "Core/DictationRig.h"
#include "Core/Keychain.h"
#include "Core/Transcription/TranscriptionError.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakeUsageReporter.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using State = DictationState;
using Task = DictationTask;

namespace {

EngineUpdate finalized(const QString &text)
{
    return EngineUpdate::makeFinalized(text);
}

EngineUpdate provisional(const QString &text)
{
    return EngineUpdate::makeVolatile(text);
}

class DictationControllerTest : public testing::Test
{
protected:
    DictationRig rig;
    DictationController &controller = rig.c();
};

} // namespace

TEST_F(DictationControllerTest, HeldSessionRecordsThenProcessesAndReturnsToIdle)
{
    rig.vocabulary.termList = {QStringLiteral("Qt"), QStringLiteral("QCoro")};
    QSignalSpy states(&controller, &DictationController::stateChanged);

    rig.startHeld();
    ASSERT_EQ(controller.state(), State::recording);
    EXPECT_EQ(controller.sessionID(), 1);
    EXPECT_EQ(controller.sessionTrigger(), DictationTrigger::hold);
    EXPECT_EQ(rig.engine().calls, QStringList({"startSession en-US [Qt,QCoro]", "opened"}));
    EXPECT_EQ(rig.sounds.played, QStringList({"Pop"}));
    EXPECT_EQ(rig.logLines("dictation: start"),
              QStringList({"dictation: start #1 trigger=hold engine=Scripted locale=en-US "
                           "cleanup=rules terms=2"}));
    EXPECT_EQ(rig.focusReadLengths, QList<qint64>({4000}));
    ASSERT_EQ(rig.learner.checked.size(), 1);
    EXPECT_EQ(rig.learner.checked[0].bundleID, QStringLiteral("org.example.editor"));

    rig.say(provisional(QStringLiteral("hello")));
    EXPECT_EQ(controller.volatileText(), QStringLiteral("hello"));
    rig.say(finalized(QStringLiteral("hello world")));
    EXPECT_EQ(controller.finalizedText(), QStringLiteral("hello world"));
    EXPECT_EQ(controller.volatileText(), QString());

    const auto trace = controller.trace();
    rig.releaseAfter(1s);

    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow"}));
    EXPECT_EQ(rig.insertion.calls.filter(QStringLiteral("paste")),
              QStringList({"paste rules:hello world restore=true delay=800 snapshot=true"}));
    EXPECT_EQ(controller.finalizedText(), QString());
    EXPECT_EQ(controller.trace(), nullptr);
    ASSERT_EQ(states.size(), 3);
    EXPECT_EQ(states[1][0].value<DictationState>(), State::processing);

    const QStringList marks = DictationRig::markNames(*trace);
    for (const char *name :
         {"keydown", "audio.engineInit", "audio.start", "ui.recording", "engine.startSession",
          "engine.gateOpen", "engine.firstResult", "keyup", "audio.stop"}) {
        EXPECT_TRUE(marks.contains(QString::fromLatin1(name))) << name;
    }
    EXPECT_LT(marks.indexOf("ui.recording"), marks.indexOf("engine.startSession"));
    EXPECT_LT(marks.indexOf("engine.firstResult"), marks.indexOf("keyup"));
    EXPECT_EQ(marks.last(), QStringLiteral("done"));
    EXPECT_EQ(DictationRig::detail(*trace, "ui.recording"), QStringLiteral("開始音まで"));
    EXPECT_EQ(DictationRig::detail(*trace, "engine.startSession"),
              QStringLiteral("Scripted 起動完了"));
}

TEST(DictationControllerTable, HoldShorterThanTheMinimumIsDiscardedSilently)
{
    struct Case
    {
        std::chrono::nanoseconds held;
        bool discarded;
    };
    const QList<Case> cases = {
        {0ns, true},         {100ms, true},
        {200ms - 1ns, true}, {200ms, false}, // exactly the minimum counts as dictation
        {3s, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.held.count());
        DictationRig rig;
        rig.startHeld();
        rig.say(finalized(QStringLiteral("words")));
        const auto trace = rig.c().trace();
        rig.releaseAfter(c.held);

        EXPECT_EQ(rig.c().state(), State::idle);
        if (c.discarded) {
            EXPECT_EQ(rig.sounds.played, QStringList({"Pop"})); // no "Bottle"
            EXPECT_EQ(DictationRig::markNames(*trace).last(),
                      QStringLiteral("discarded(短すぎる押下)"));
            ASSERT_EQ(rig.reporter.eventNames(), QStringList({"session.cancelled"}));
            EXPECT_EQ(rig.reporter.last("session.cancelled"),
                      QVariantMap({{"silent", true}, {"state", "recording"}, {"afterSec", 0}}));
            EXPECT_TRUE(rig.insertion.calls.isEmpty());
        } else {
            EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow"}));
            EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("done"));
            EXPECT_EQ(rig.reporter.eventNames(), QStringList({"dictation.result"}));
        }
    }
}

TEST(DictationControllerTable, SecondPressCancelsProcessingOnlyWithinHalfASecondOfTheStop)
{
    struct Case
    {
        std::chrono::nanoseconds after;
        bool cancels;
    };
    const QList<Case> cases = {
        {0ns, true},
        {500ms, true}, // inclusive
        {500ms + 1ns, false},
        {2s, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.after.count());
        DictationRig rig;
        // The cleanup waits, so the session stays in processing as long as the test needs.
        rig.cleanup.gate = std::make_shared<TestGate>();
        rig.startHeld();
        rig.say(finalized(QStringLiteral("words")));
        rig.advance(1s);
        rig.c().holdKeyUp(Task::cleanup);
        ASSERT_TRUE(rig.waitUntil([&] { return !rig.cleanup.calls->isEmpty(); }));
        ASSERT_EQ(rig.c().state(), State::processing);

        rig.advance(c.after);
        rig.c().holdKeyDown(Task::ask);
        if (c.cancels) {
            EXPECT_EQ(rig.c().state(), State::idle);
            EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow", "Bottle"}));
            EXPECT_EQ(rig.reporter.last("session.cancelled").value("state"),
                      QStringLiteral("processing"));
        } else {
            EXPECT_EQ(rig.c().state(), State::processing);
            EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Blow"}));
        }
        rig.cleanup.gate->open();
        rig.waitIdle();
        // A cancelled session inserts nothing; the other one goes through.
        EXPECT_EQ(rig.insertion.calls.filter("paste").size(), c.cancels ? 0 : 1);
    }
}

TEST_F(DictationControllerTest, AnyKeyDownWhileRecordingStopsTheSession)
{
    controller.setSessionTask(Task::cleanup);
    rig.startMenu();
    rig.say(finalized(QStringLiteral("from the menu")));
    // A key-up of a menu session does nothing.
    controller.holdKeyUp(Task::cleanup);
    EXPECT_EQ(controller.state(), State::recording);

    controller.holdKeyDown(Task::translate);
    EXPECT_EQ(controller.state(), State::processing);
    EXPECT_EQ(controller.sessionTask(), Task::cleanup); // the key's task does not matter
    rig.waitIdle();
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste rules:from the menu restore=true delay=800 snapshot=true"}));
}

TEST_F(DictationControllerTest, KeyUpOutsideRecordingChangesNothing)
{
    controller.holdKeyUp(Task::cleanup);
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_TRUE(rig.reporter.events.isEmpty());

    rig.cleanup.gate = std::make_shared<TestGate>();
    rig.startHeld();
    rig.say(finalized(QStringLiteral("text")));
    rig.advance(1s);
    controller.holdKeyUp(Task::cleanup);
    ASSERT_EQ(controller.state(), State::processing);
    controller.holdKeyUp(Task::cleanup);
    EXPECT_EQ(controller.state(), State::processing);
    rig.cleanup.gate->open();
    rig.waitIdle();
}

TEST_F(DictationControllerTest, PauseIgnoresPressesButNotTheReleaseOfAHeldSession)
{
    QSignalSpy paused(&controller, &DictationController::isPausedChanged);
    controller.setPaused(true);
    EXPECT_EQ(paused.size(), 1);
    controller.holdKeyDown(Task::cleanup);
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_TRUE(rig.engines.made.isEmpty());

    controller.setPaused(false);
    rig.startHeld();
    rig.say(finalized(QStringLiteral("held")));
    controller.setPaused(true);
    controller.holdKeyDown(Task::ask); // ignored: no stop
    EXPECT_EQ(controller.state(), State::recording);
    rig.releaseAfter(1s);
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
}

TEST(DictationControllerCountdown, ShowsTheWholeSecondsLeftInTheLastMinute)
{
    using std::chrono::duration_cast;
    using std::chrono::nanoseconds;
    struct Case
    {
        nanoseconds elapsed;
        std::optional<int> shown;
    };
    const QList<Case> cases = {
        {0s, std::nullopt},
        {479s, std::nullopt},
        {480s - 1ns, std::nullopt},
        {480s, 60},
        {duration_cast<nanoseconds>(std::chrono::duration<double>(480.3)), 59},
        {539s, 1},
        {540s - 1ns, 0},
        {540s, 0},
        {600s, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.elapsed.count());
        EXPECT_EQ(DictationController::countdown(c.elapsed), c.shown);
    }
}

TEST_F(DictationControllerTest, SessionLimitCountsDownAndStopsAt540Seconds)
{
    rig.startHeld();
    rig.say(finalized(QStringLiteral("a long one")));
    QSignalSpy countdown(&controller, &DictationController::secondsRemainingChanged);

    rig.advance(479s);
    EXPECT_FALSE(controller.secondsRemaining());
    EXPECT_EQ(controller.secondsRemainingValue(), -1);
    rig.advance(1s);
    EXPECT_EQ(controller.secondsRemaining(), 60);
    rig.advance(1s);
    EXPECT_EQ(controller.secondsRemaining(), 59);
    EXPECT_TRUE(controller.hasSecondsRemaining());
    rig.advance(58s);
    EXPECT_EQ(controller.secondsRemaining(), 1);
    EXPECT_EQ(controller.state(), State::recording);

    rig.advance(1s);
    // The tick at 540 s showed 0 and stopped the session; the countdown is gone again.
    EXPECT_NE(controller.state(), State::recording);
    EXPECT_FALSE(controller.secondsRemaining());
    EXPECT_EQ(countdown.size(), 62); // 60 … 1, 0, absent
    rig.waitIdle();
    rig.pump();
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
    EXPECT_EQ(rig.clock.activeTimerCount(), 0);
}

TEST_F(DictationControllerTest, WallClockChangesNeitherStretchNorEndASession)
{
    rig.startHeld();
    rig.say(finalized(QStringLiteral("steady")));
    // The user's clock jumps forward a day and back again: the session carries on by its own
    // monotonic time.
    rig.clock.setNow(rig.clock.now().addDays(1));
    rig.advance(10s);
    EXPECT_EQ(controller.state(), State::recording);
    EXPECT_FALSE(controller.secondsRemaining());
    rig.clock.setNow(rig.clock.now().addDays(-2));
    rig.advance(520s);
    EXPECT_EQ(controller.secondsRemaining(), 10);
    rig.advance(10s);
    EXPECT_NE(controller.state(), State::recording);
    rig.waitIdle();

    // A hold measured across a backwards jump is still a real hold.
    rig.startHeld();
    rig.say(finalized(QStringLiteral("again")));
    rig.clock.setNow(rig.clock.now().addSecs(-3600));
    rig.releaseAfter(300ms);
    EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 2);
    EXPECT_EQ(rig.reporter.last("dictation.result").value("durationSec"), 0);
}

TEST(DictationControllerTable, MenuSessionEndsAfterThirtySecondsWithoutProgress)
{
    struct Case
    {
        const char *name;
        QString text;
        bool inserts;
    };
    const QList<Case> cases = {
        {"with text", QStringLiteral("spoken"), true},
        {"white space only", QStringLiteral(" \n "), false},
        {"nothing", QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        rig.startMenu();
        if (!c.text.isEmpty()) {
            rig.say(provisional(c.text));
        }
        rig.advance(29s);
        EXPECT_EQ(rig.c().state(), State::recording);
        rig.advance(1s);
        if (c.inserts) {
            EXPECT_NE(rig.c().state(), State::recording);
            EXPECT_EQ(rig.logLines("dictation: auto-"),
                      QStringList({"dictation: auto-stop after 30s of silence (inserting "
                                   "recognized text)"}));
            rig.waitIdle();
            EXPECT_EQ(rig.insertion.calls.filter("paste").size(), 1);
        } else {
            EXPECT_EQ(rig.c().state(), State::idle);
            EXPECT_EQ(rig.logLines("dictation: auto-"),
                      QStringList({"dictation: auto-cancel after 30s of silence (nothing "
                                   "recognized)"}));
            EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Bottle"}));
            EXPECT_EQ(rig.reporter.last("session.cancelled"),
                      QVariantMap({{"silent", false}, {"state", "recording"}, {"afterSec", 30}}));
        }
    }
}

TEST_F(DictationControllerTest, OnlyChangesInTheRecognisedTextCountAsProgress)
{
    rig.startMenu();
    rig.advance(10s);
    rig.say(provisional(QStringLiteral("one")));
    rig.advance(20s); // 20 s after the progress at 10 s
    rig.say(provisional(QStringLiteral("one"))); // the same provisional text: no progress
    rig.advance(5s);
    rig.say(finalized(QString())); // an empty settled piece: no progress, but clears the tail
    EXPECT_EQ(controller.volatileText(), QString());
    EXPECT_EQ(controller.state(), State::recording);
    rig.advance(5s); // 30 s after the last progress
    EXPECT_EQ(controller.state(), State::idle); // the text was emptied, so nothing to insert
    EXPECT_EQ(rig.logLines("dictation: auto-cancel").size(), 1);
}

TEST_F(DictationControllerTest, HeldSessionHasNoSilenceLimit)
{
    rig.startHeld();
    rig.advance(120s);
    EXPECT_EQ(controller.state(), State::recording);
    EXPECT_TRUE(rig.logLines("dictation: auto-").isEmpty());
}

TEST_F(DictationControllerTest, CancelInEachState)
{
    // Idle: nothing at all.
    controller.cancel(false);
    EXPECT_TRUE(rig.reporter.events.isEmpty());
    EXPECT_TRUE(rig.sounds.played.isEmpty());
    EXPECT_EQ(controller.sessionID(), 0);
    controller.stopAndInsert();
    EXPECT_EQ(controller.state(), State::idle);

    // Recording.
    rig.startHeld();
    rig.say(finalized(QStringLiteral("gone")));
    auto engine = rig.engines.made.last();
    auto trace = controller.trace();
    rig.advance(3s);
    controller.cancel(false);
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_EQ(controller.sessionID(), 2);
    EXPECT_EQ(controller.finalizedText(), QString());
    EXPECT_EQ(rig.reporter.last("session.cancelled"),
              QVariantMap({{"silent", false}, {"state", "recording"}, {"afterSec", 3}}));
    EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("cancelled"));
    EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Bottle"}));
    rig.pump();
    EXPECT_TRUE(engine->calls.contains("cancelSession"));
    EXPECT_FALSE(rig.audio->isRunning());
    EXPECT_EQ(rig.clock.activeTimerCount(), 0);

    // Processing.
    rig.cleanup.gate = std::make_shared<TestGate>();
    rig.startHeld();
    rig.say(finalized(QStringLiteral("also gone")));
    trace = controller.trace();
    rig.advance(1s);
    controller.holdKeyUp(Task::cleanup);
    ASSERT_TRUE(rig.waitUntil([&] { return !rig.cleanup.calls->isEmpty(); }));
    controller.cancel(false);
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_EQ(rig.reporter.last("session.cancelled").value("state"), QStringLiteral("processing"));
    rig.cleanup.gate->open();
    rig.pump();
    EXPECT_TRUE(rig.insertion.calls.filter("paste").isEmpty());
    EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("cancelled"));
    EXPECT_FALSE(rig.reporter.eventNames().contains("dictation.result"));
}

TEST_F(DictationControllerTest, CancelWhileTheEngineIsStillOpeningCancelsItOnceOpen)
{
    rig.engines.script.holdStart = true;
    rig.startHeld();
    auto engine = rig.engines.made.last();
    controller.cancel(false);
    rig.pump();
    EXPECT_EQ(engine->calls, QStringList({"startSession en-US []"}));
    engine->open();
    rig.pump();
    EXPECT_EQ(engine->calls, QStringList({"startSession en-US []", "opened", "cancelSession"}));
    EXPECT_TRUE(rig.logLines("dictation: session FAILED").isEmpty());
    EXPECT_EQ(controller.state(), State::idle);
}

TEST_F(DictationControllerTest, NoSessionStartsWhileTheLastOneStillStops)
{
    const auto startAttempts = [&] {
        controller.holdKeyDown(Task::ask);
        controller.holdKeyUp(Task::ask);
        controller.startRecording(DictationTrigger::menu);
        rig.pump();
    };

    // Cancelled while its engine opens: stopping until the engine is closed.
    rig.engines.script.holdStart = true;
    rig.startHeld();
    controller.cancel(false);
    startAttempts();
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_TRUE(controller.isStopping());
    EXPECT_EQ(controller.sessionTask(), Task::cleanup) << "an ignored press changes nothing";
    EXPECT_EQ(rig.engines.made.size(), 1);

    // An opening that hangs is given up after the same limit as processing gives it.
    rig.advance(DictationPipeline::startupWaitLimit - 1ns);
    EXPECT_TRUE(controller.isStopping());
    rig.advance(1ns);
    EXPECT_TRUE(rig.engines.made.first()->calls.contains("cancelSession"));
    EXPECT_FALSE(controller.isStopping());

    // Cancelled while processing: stopping until the processing task has ended.
    rig.engines.script.holdStart = false;
    rig.cleanup.gate = std::make_shared<TestGate>();
    rig.startHeld();
    rig.say(finalized(QStringLiteral("words")));
    rig.advance(1s);
    controller.holdKeyUp(Task::cleanup);
    ASSERT_TRUE(rig.waitUntil([&] { return !rig.cleanup.calls->isEmpty(); }));
    controller.cancel(false);
    startAttempts();
    EXPECT_EQ(rig.engines.made.size(), 2);
    rig.cleanup.gate->open();
    ASSERT_TRUE(rig.waitUntil([&] { return !controller.isStopping(); }));
    rig.startHeld();
    EXPECT_EQ(controller.state(), State::recording);
    EXPECT_EQ(rig.engines.made.size(), 3);
}

TEST_F(DictationControllerTest, UpdatesOfAnEndedSessionAreNotApplied)
{
    rig.startHeld();
    auto first = rig.engines.made.last();
    controller.cancel(true);
    first->say(finalized(QStringLiteral("late")));
    rig.pump();
    EXPECT_EQ(controller.finalizedText(), QString());

    rig.startHeld();
    first->say(finalized(QStringLiteral("later")));
    rig.say(finalized(QStringLiteral("current")));
    EXPECT_EQ(controller.finalizedText(), QStringLiteral("current"));
}

TEST(DictationControllerTable, FailingEngineFailsTheSession)
{
    struct Case
    {
        const char *name;
        bool atStart;
        std::exception_ptr error;
        int code;
    };
    const QList<Case> cases = {
        {"start", true, std::make_exception_ptr(TranscriptionError::recognizerUnavailable()), 3},
        {"stream", false, std::make_exception_ptr(TranscriptionError::sessionFailed()), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        if (c.atStart) {
            rig.engines.script.startError = c.error;
        }
        QSignalSpy errors(&rig.c(), &DictationController::lastErrorChanged);
        rig.c().holdKeyDown(Task::cleanup);
        const auto trace = rig.c().trace();
        rig.pump();
        if (!c.atStart) {
            rig.say(finalized(QStringLiteral("some")));
            rig.engine().end(c.error);
            rig.pump();
        }
        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(rig.c().sessionID(), 2);
        EXPECT_EQ(rig.c().finalizedText(), QString());
        QString expected;
        try {
            std::rethrow_exception(c.error);
        } catch (const TranscriptionError &e) {
            expected = e.errorDescription();
        }
        EXPECT_EQ(rig.c().lastError(), expected);
        EXPECT_EQ(errors.size(), 1);
        EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Basso"}));
        EXPECT_EQ(rig.reporter.last("session.failed"),
                  QVariantMap({{"state", "recording"},
                               {"domain", "Sonorvelle.TranscriptionError"},
                               {"code", c.code}}));
        EXPECT_EQ(rig.logLines("dictation: session FAILED: ").size(), 1);
        EXPECT_EQ(DictationRig::markNames(*trace).last(), QStringLiteral("failed"));
        EXPECT_FALSE(rig.audio->isRunning());
        EXPECT_EQ(rig.clock.activeTimerCount(), 0);
        EXPECT_TRUE(rig.localeChecks.isEmpty());
        // The next session clears the error.
        rig.engines.script.startError = nullptr;
        rig.startHeld();
        EXPECT_FALSE(rig.c().lastError());
    }
}

TEST(DictationControllerTable, CancellationFromTheEngineIsNeverAFailure)
{
    const QList<std::exception_ptr> errors = {
        std::make_exception_ptr(CancelledError()),
        std::make_exception_ptr(
            TranscriptionError::sessionFailed(std::make_exception_ptr(CancelledError()))),
    };
    for (const auto &error : errors) {
        DictationRig rig;
        rig.engines.script.startError = error;
        rig.startHeld();
        EXPECT_EQ(rig.c().state(), State::recording);
        EXPECT_FALSE(rig.c().lastError());
        EXPECT_TRUE(rig.logLines("dictation: session FAILED").isEmpty());
        EXPECT_TRUE(rig.reporter.events.isEmpty());
    }
}

TEST(DictationControllerTable, CaptureThatCannotStartFailsBeforeRecording)
{
    struct Case
    {
        const char *name;
        AudioEngine::Format format;
        std::optional<QString> startFailure;
        QString domain;
        QString error;
    };
    const QList<Case> cases = {
        {"no input device",
         {0, 0},
         std::nullopt,
         "Sonorvelle.AudioCapture.CaptureError",
         AudioCapture::CaptureError().errorDescription()},
        // The sound system's reason goes to the log; the user reads the interface text.
        {"engine refuses",
         {48000, 1},
         QStringLiteral("device busy"),
         "Sonorvelle.AudioEngine.Error",
         AudioCapture::CaptureError().errorDescription()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        rig.audioScript.format = c.format;
        rig.audioScript.startFailure = c.startFailure;
        rig.c().holdKeyDown(Task::cleanup);
        rig.pump();
        EXPECT_EQ(rig.c().state(), State::idle);
        EXPECT_EQ(rig.c().lastError(), c.error);
        if (c.startFailure) {
            EXPECT_TRUE(
                rig.logLines("dictation: session FAILED: ").join(u'\n').contains(*c.startFailure));
        }
        EXPECT_EQ(rig.sounds.played, QStringList({"Basso"}));
        EXPECT_EQ(rig.reporter.last("session.failed"),
                  QVariantMap({{"state", "idle"}, {"domain", c.domain}, {"code", 0}}));
        EXPECT_EQ(rig.c().sessionID(), 2);
    }
}

// The clipboard is read from key down when the session will paste and restore it, so a slow owner
// gets the recording's time to answer; no other session reads it.
TEST(DictationControllerTable, TheClipboardIsReadAheadOnlyForAPasteThatRestoresIt)
{
    struct Case
    {
        const char *name;
        Task task;
        InsertionMethod method;
        bool restore;
        int readsAhead;
    };
    for (const Case &c :
         {Case {"paste with restore", Task::cleanup, InsertionMethod::paste, true, 1},
          Case {"restore off", Task::cleanup, InsertionMethod::paste, false, 0},
          Case {"typed", Task::cleanup, InsertionMethod::type, true, 0},
          Case {"ask", Task::ask, InsertionMethod::paste, true, 0}}) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        rig.appSettings().setInsertionMethod(c.method);
        rig.appSettings().setRestoreClipboard(c.restore);
        rig.startHeld(c.task);
        ASSERT_EQ(rig.c().state(), State::recording);
        EXPECT_EQ(rig.insertion.readsAhead, c.readsAhead);
        EXPECT_FALSE(rig.insertion.calls.contains(QStringLiteral("snapshot")));
    }
}

TEST_F(DictationControllerTest, CaptureLostMidRecordingProcessesTheTextSoFar)
{
    rig.startHeld();
    rig.say(finalized(QStringLiteral("before the cable came out")));
    rig.audioScript.startFailure = QStringLiteral("gone");
    rig.audioScript.engines.last()->changeConfiguration(true);
    rig.pump();

    EXPECT_NE(controller.state(), State::recording);
    const QString noInputDevice = AudioCapture::CaptureError().errorDescription();
    EXPECT_EQ(controller.lastError(), noInputDevice);
    rig.waitIdle();
    EXPECT_EQ(rig.insertion.calls.filter("paste"),
              QStringList({"paste rules:before the cable came out restore=true delay=800 "
                           "snapshot=true"}));
    // Not a failed session.
    EXPECT_FALSE(rig.reporter.eventNames().contains("session.failed"));
    EXPECT_FALSE(rig.sounds.played.contains("Basso"));
    EXPECT_EQ(controller.lastError(), noInputDevice);
}

TEST(DictationControllerTable, UnsupportedLocaleSwitchesTheLocaleOnlyWhenTheResolverChangedIt)
{
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        DictationRig rig;
        rig.localeResolution = {SpeechLocale(QStringLiteral("ja-JP")), changed};
        rig.engines.script.startError = std::make_exception_ptr(
            TranscriptionError::localeNotSupported(SpeechLocale(QStringLiteral("en-US"))));
        rig.c().holdKeyDown(Task::cleanup);
        rig.pump();
        rig.pump();

        EXPECT_EQ(rig.c().state(), State::idle);
        ASSERT_EQ(rig.localeChecks.size(), 1);
        // A fresh engine is asked, not the failed session's.
        ASSERT_EQ(rig.engines.made.size(), 2);
        EXPECT_EQ(rig.localeChecks[0], rig.engines.made[1]);
        if (changed) {
            EXPECT_EQ(rig.announcements, QStringList({"ja-JP"}));
            EXPECT_EQ(rig.engines.made[1]->calls, QStringList({"prepare ja-JP"}));
        } else {
            EXPECT_TRUE(rig.announcements.isEmpty());
            EXPECT_TRUE(rig.engines.made[1]->calls.isEmpty());
        }
        // The failed session itself is not retried.
        EXPECT_EQ(rig.engines.made[0]->calls.filter("startSession").size(), 1);
    }
}

TEST_F(DictationControllerTest, WithoutMicrophoneAccessNoSessionStarts)
{
    // A failed session leaves its error behind.
    rig.engines.script.startError =
        std::make_exception_ptr(TranscriptionError::recognizerUnavailable());
    rig.startHeld();
    const auto error = controller.lastError();
    ASSERT_TRUE(error);
    rig.microphoneGranted = false;
    controller.startRecording(DictationTrigger::menu);
    rig.pump();
    EXPECT_EQ(controller.state(), State::idle);
    EXPECT_EQ(rig.microphoneRequests, 1);
    EXPECT_EQ(controller.lastError(), error);
    EXPECT_EQ(controller.sessionID(), 2);
    EXPECT_EQ(rig.engines.made.size(), 1);
    EXPECT_EQ(rig.sounds.played, QStringList({"Pop", "Basso"}));
}

TEST_F(DictationControllerTest, AudioWaitsAtTheGateUntilTheEngineSessionIsOpen)
{
    rig.engines.script.holdStart = true;
    rig.startHeld();
    ASSERT_TRUE(rig.deliver(100));
    ASSERT_TRUE(rig.deliver(200));
    EXPECT_TRUE(rig.engine().fed.isEmpty());
    rig.engine().open();
    rig.pump();
    ASSERT_TRUE(rig.deliver(300));
    EXPECT_EQ(rig.engine().fed, QList<qsizetype>({100, 200, 300}));
    const auto trace = controller.trace();
    EXPECT_EQ(DictationRig::detail(*trace, "audio.firstBuffer"), QStringLiteral("48000Hz 2ch"));
    EXPECT_EQ(DictationRig::markNames(*trace).filter("audio.firstBuffer").size(), 1);
    EXPECT_EQ(DictationRig::detail(*trace, "engine.gateOpen"),
              QStringLiteral("バッファ滞留を流し込み"));
}

TEST(DictationControllerTable, WavRecordingFollowsSignInAndTheCloudSetting)
{
    struct Case
    {
        const char *name;
        bool signedIn;
        bool cloudBefore;
        bool cloudAfter;
        bool marked;
    };
    const QList<Case> cases = {
        {"signed out", false, true, true, false},
        {"turned off while recording", true, true, false, false},
        {"signed in", true, true, true, true},
        {"cloud off", true, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DictationRig rig;
        if (c.signedIn) {
            rig.signIn();
        }
        rig.appSettings().setCloudSTT(c.cloudBefore);
        rig.startHeld();
        for (int i = 0; i < 10; ++i) {
            rig.deliver(4800);
        }
        rig.appSettings().setCloudSTT(c.cloudAfter);
        const auto trace = rig.c().trace();
        rig.releaseAfter(1s);
        EXPECT_EQ(DictationRig::markNames(*trace).contains("wav.finish"), c.marked);
        if (c.marked) {
            // One second of audio: 32,000 bytes of PCM and the header.
            EXPECT_EQ(DictationRig::detail(*trace, "wav.finish"),
                      QStringLiteral("31KB / 音声1.0s"));
        }
    }
}

TEST_F(DictationControllerTest, ShortRecordingMarksThatNoWavWasMade)
{
    rig.signIn();
    rig.appSettings().setCloudSTT(true);
    rig.startHeld();
    const auto trace = controller.trace();
    rig.releaseAfter(1s);
    EXPECT_EQ(DictationRig::detail(*trace, "wav.finish"),
              QStringLiteral("なし(録音が短い/変換失敗)"));
}

// A key held before the keychain has answered at launch: the recording is kept for the service
// when the account turns out signed in by the release, and dropped when it does not.
TEST(DictationControllerTable, AKeyHeldBeforeTheKeychainAnsweredStillRecordsForTheService)
{
    for (const bool signedInByRelease : {true, false}) {
        SCOPED_TRACE(signedInByRelease ? "signed in" : "signed out");
        DictationRig rig;
        ASSERT_FALSE(rig.keychain.isLoaded());
        rig.appSettings().setCloudSTT(true);
        rig.startHeld();
        const auto trace = rig.controller->trace();
        if (signedInByRelease) {
            rig.signIn();
        }
        rig.releaseAfter(2s);
        EXPECT_EQ(DictationRig::detail(*trace, "wav.finish").isEmpty(), !signedInByRelease);
    }
}

TEST(DictationControllerTable, ConnectionIsWarmedOnlyWhenACloudStepFollows)
{
    struct Case
    {
        bool signedIn;
        bool cloudSTT;
        CleanupMode mode;
        int warmups;
    };
    const QList<Case> cases = {
        {false, true, CleanupMode::cloud, 0},
        {true, false, CleanupMode::rules, 0},
        {true, true, CleanupMode::rules, 1},
        {true, false, CleanupMode::cloudRewrite, 1},
    };
    for (const Case &c : cases) {
        DictationRig rig;
        if (c.signedIn) {
            rig.signIn();
        }
        rig.appSettings().setCloudSTT(c.cloudSTT);
        rig.appSettings().setCleanupMode(c.mode);
        rig.startHeld();
        EXPECT_EQ(rig.warmer.warmups, c.warmups) << RawEnum::rawValue(c.mode).toStdString();
    }
}

TEST_F(DictationControllerTest, LateFocusReadOfAnEarlierSessionIsDropped)
{
    rig.holdFocusRead(true);
    controller.holdKeyDown(Task::cleanup);
    ASSERT_TRUE(rig.waitUntil([&] { return rig.blockedReads() == 1; }));
    controller.cancel(true);
    rig.pump();

    FocusContext second;
    second.appName = QStringLiteral("Terminal");
    rig.setFocus(second);
    rig.holdFocusRead(false);
    rig.startHeld();
    ASSERT_TRUE(controller.focusContext());
    EXPECT_EQ(controller.focusContext()->appName, QStringLiteral("Terminal"));

    // The first session's read ends now, with the first window.
    rig.focusGate.release();
    QThreadPool::globalInstance()->waitForDone();
    rig.pump();
    EXPECT_EQ(controller.focusContext()->appName, QStringLiteral("Terminal"));
    ASSERT_EQ(rig.learner.checked.size(), 1);
    EXPECT_EQ(rig.learner.checked[0].appName, QStringLiteral("Terminal"));
}

TEST_F(DictationControllerTest, MicrophoneFollowsTheSetting)
{
    EXPECT_FALSE(rig.audio->preferredDeviceUID());
    rig.appSettings().setMicrophone(QStringLiteral("usb-mic"), QStringLiteral("USB"));
    EXPECT_EQ(rig.audio->preferredDeviceUID(), QStringLiteral("usb-mic"));
    rig.appSettings().setMicrophone(std::nullopt, std::nullopt);
    EXPECT_FALSE(rig.audio->preferredDeviceUID());
}

TEST_F(DictationControllerTest, LevelFollowsTheCaptureAndFallsBackToZero)
{
    rig.startHeld();
    std::vector<float> loud(4096 * 2, 0.5f);
    AudioBuffer buffer {48000, 2, loud};
    rig.audioScript.engines.last()->deliver(buffer);
    rig.pump();
    EXPECT_GT(controller.level(), 0.0f);
    rig.releaseAfter(1s);
    EXPECT_EQ(controller.level(), 0.0f);
}

TEST_F(DictationControllerTest, TheLaunchRecordsItsEnvironmentOnceTheKeychainHasAnswered)
{
    FakeKeychainBackend backend;
    backend.mode = FakeKeychainBackend::Mode::deferred;
    backend.items.insert(QStringLiteral("cloudToken"), "token");
    Keychain keychain {&backend, rig.clock};
    FakeUsageReporter reporter;
    // The launch reads the keychain; the keyring takes its time to answer.
    QCoro::connect(keychain.load(), &keychain, [] {});
    QCoro::connect(DictationController::recordEnvironment(reporter, rig.appSettings(), keychain,
                                                          rig.vocabulary),
                   &keychain, [] {});
    EXPECT_TRUE(reporter.events.isEmpty()) << "recorded before the keychain answered";
    while (backend.answerNext()) { }
    QCoreApplication::processEvents();
    ASSERT_EQ(reporter.eventNames(), QStringList({"app.env"}));
    EXPECT_EQ(reporter.last(QStringLiteral("app.env")).value("signedIn"), true);
}

TEST_F(DictationControllerTest, EnvironmentPropsDescribeTheConfiguration)
{
    AppSettings &settings = rig.appSettings();
    rig.vocabulary.termList = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    EXPECT_EQ(DictationController::environmentProps(settings, rig.keychain, rig.vocabulary),
              QVariantMap({{"cleanupMode", "rules"},
                           {"intensity", 2},
                           {"cloudSTT", false},
                           {"cloudLearning", true},
                           {"locale", "en-US"},
                           {"holdKeyDefault", true},
                           {"askKeyDefault", true},
                           {"translateKeyOff", true},
                           {"insertMethod", "paste"},
                           {"focusContext", false},
                           {"history", true},
                           {"customInstructions", false},
                           {"vocabCount", 3},
                           {"signedIn", false}}));

    settings.setCleanupMode(CleanupMode::cloudRewrite);
    settings.setCleanupIntensity(3);
    settings.setCloudSTT(true);
    settings.setCloudLearning(false);
    settings.setSpeechLocaleID(QStringLiteral("ja-JP"));
    settings.setHoldKey(DictationHoldKey::rightShift);
    settings.setAskKey(DictationHoldKey::none);
    settings.setTranslateKey(DictationHoldKey::rightControl);
    settings.setInsertionMethod(InsertionMethod::type);
    settings.setUseFocusContext(true);
    settings.setHistoryEnabled(false);
    settings.setCustomInstructions(QStringLiteral(" \n"));
    rig.signIn();
    QVariantMap props =
        DictationController::environmentProps(settings, rig.keychain, rig.vocabulary);
    EXPECT_EQ(props.size(), 14);
    EXPECT_EQ(props,
              QVariantMap({{"cleanupMode", "cloudRewrite"},
                           {"intensity", 3},
                           {"cloudSTT", true},
                           {"cloudLearning", false},
                           {"locale", "ja-JP"},
                           {"holdKeyDefault", false},
                           {"askKeyDefault", false},
                           {"translateKeyOff", false},
                           {"insertMethod", "type"},
                           {"focusContext", true},
                           {"history", false},
                           {"customInstructions", false},
                           {"vocabCount", 3},
                           {"signedIn", true}}));
    settings.setCustomInstructions(QStringLiteral("formal"));
    props = DictationController::environmentProps(settings, rig.keychain, rig.vocabulary);
    EXPECT_EQ(props.value("customInstructions"), true);
}
