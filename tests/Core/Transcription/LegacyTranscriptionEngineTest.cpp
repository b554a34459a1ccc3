#include "Core/Transcription/LegacyTranscriptionEngine.h"

#include "Base/CancelledError.h"
#include "Base/ManualClock.h"
#include "Core/Transcription/RunTask.h"
#include "Core/Transcription/StreamRecorder.h"
#include "Core/Transcription/TranscriptionError.h"
#include "Fakes/FakeSpeechRecognitionService.h"
#include "TestSupport/QtPrinters.h"

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

namespace {

AudioBuffer tone(float amplitude, int channels = 1, int frames = 1600)
{
    AudioBuffer buffer;
    buffer.sampleRate = 16000;
    buffer.channels = channels;
    buffer.samples.assign(size_t(frames) * channels, amplitude);
    return buffer;
}

AudioBuffer voiced()
{
    return tone(0.1f); // -20 dBFS
}

AudioBuffer silent()
{
    return tone(0.0f);
}

bool isSessionFailure(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &e) {
        return e.kind() == TranscriptionError::Kind::sessionFailed && !e.underlying();
    } catch (...) {
        return false;
    }
}

template<typename F>
std::exception_ptr errorOf(F &&call)
{
    try {
        call();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

} // namespace

class LegacyTranscriptionEngineTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        runTask(engine->cancelSession());
        recorder.reset();
        service->releaseAll();
        StreamRecorder::pump();
    }

    void start(const QString &locale = QStringLiteral("en-US"), QStringList hints = {})
    {
        auto stream = runTask(engine->startSession(SpeechLocale(locale), hints));
        recorder = std::make_unique<StreamRecorder>(stream);
    }

    FakeSpeechRecognizer &recognizer() { return service->lastRecognizer(); }
    FakeSpeechRecognizer::FakeTask &segment(size_t index) { return *recognizer().tasks.at(index); }
    size_t segmentCount() { return recognizer().tasks.size(); }

    void advance(nanoseconds by)
    {
        clock.advance(by);
        StreamRecorder::pump();
    }

    // One buffer every 100 ms for `duration`.
    void speak(nanoseconds duration, bool voice = true)
    {
        for (nanoseconds elapsed {0}; elapsed < duration; elapsed += 100ms) {
            engine->feed(voice ? voiced() : silent());
            advance(100ms);
        }
    }

    void finish() { runTask(engine->finishSession()); }
    void cancel() { runTask(engine->cancelSession()); }

    ManualClock clock;
    std::shared_ptr<FakeSpeechRecognitionService> service =
        std::make_shared<FakeSpeechRecognitionService>(QList<SpeechLocale> {
            SpeechLocale(QStringLiteral("en-US")), SpeechLocale(QStringLiteral("ja-JP"))});
    std::shared_ptr<LegacyTranscriptionEngine> engine =
        LegacyTranscriptionEngine::make(service, clock);
    std::unique_ptr<StreamRecorder> recorder;
};

TEST_F(LegacyTranscriptionEngineTest, OpensTheFirstSegmentWithDictationOptions)
{
    start(QStringLiteral("en-US"), {QStringLiteral("Sonorvelle")});
    ASSERT_EQ(segmentCount(), 1u);
    const auto &options = segment(0).request->options();
    EXPECT_TRUE(options.shouldReportPartialResults);
    EXPECT_EQ(options.taskHint, SpeechRecognitionRequest::TaskHint::dictation);
    EXPECT_TRUE(options.addsPunctuation);
    EXPECT_TRUE(options.requiresOnDeviceRecognition);
    EXPECT_EQ(options.contextualStrings, QStringList {QStringLiteral("Sonorvelle")});
    EXPECT_TRUE(recognizer().queue) << "results must arrive on the engine's serial queue";
    EXPECT_EQ(engine->name(), QStringLiteral("SFSpeechRecognizer"));

    engine->feed(voiced());
    engine->feed(silent());
    EXPECT_EQ(segment(0).takeAudio().size(), 2u);
}

TEST_F(LegacyTranscriptionEngineTest, SilentSessionRotatesAtTheFirstCheck)
{
    start();
    advance(50s - 1ms);
    EXPECT_EQ(segmentCount(), 1u);
    advance(1ms);
    ASSERT_EQ(segmentCount(), 2u);
    EXPECT_TRUE(segment(0).isAudioEnded());
    EXPECT_FALSE(segment(0).cancelled) << "a rotated segment goes on to its final result";

    engine->feed(voiced());
    EXPECT_TRUE(segment(0).takeAudio().empty());
    EXPECT_EQ(segment(1).takeAudio().size(), 1u);

    // The next check comes 50 s after the new segment started.
    advance(50s - 1ms);
    EXPECT_EQ(segmentCount(), 2u);
    advance(1ms);
    EXPECT_EQ(segmentCount(), 3u);
}

TEST_F(LegacyTranscriptionEngineTest, RotatesAtThePauseAfterFiftySeconds)
{
    start();
    speak(50s); // the last buffer came 100 ms before the check
    EXPECT_EQ(segmentCount(), 1u);
    speak(100ms); // 50.1 s
    advance(150ms); // 50.25 s: the retry finds 200 ms without voice
    EXPECT_EQ(segmentCount(), 1u);
    advance(250ms); // 50.5 s: 450 ms without voice
    EXPECT_EQ(segmentCount(), 2u);
    EXPECT_TRUE(segment(0).isAudioEnded());
}

TEST_F(LegacyTranscriptionEngineTest, ContinuousSpeechRotatesAtFiftyEightSeconds)
{
    start();
    speak(58s - 100ms);
    EXPECT_EQ(segmentCount(), 1u);
    speak(100ms);
    ASSERT_EQ(segmentCount(), 2u);
    // Silence now: the new segment is checked 50 s after it started, at 108 s.
    speak(50s - 100ms, false);
    EXPECT_EQ(segmentCount(), 2u);
    speak(100ms, false);
    EXPECT_EQ(segmentCount(), 3u);
}

TEST_F(LegacyTranscriptionEngineTest, HoldsBackFinalTextOfALaterSegmentUntilTheEarlierSettles)
{
    start();
    advance(50s);
    advance(50s);
    ASSERT_EQ(segmentCount(), 3u);

    segment(1).final(QStringLiteral("world"));
    EXPECT_EQ(recorder->take(), QStringList());
    segment(0).final(QStringLiteral("hello"));
    EXPECT_EQ(recorder->take(),
              (QStringList {QStringLiteral("f:hello"), QStringLiteral("f: world")}));
    EXPECT_EQ(recorder->transcript().settled(), QStringLiteral("hello world"));
}

TEST_F(LegacyTranscriptionEngineTest, ProvisionalTextJoinsEveryOpenSegment)
{
    start();
    advance(50s);
    advance(50s);
    ASSERT_EQ(segmentCount(), 3u);

    // An older segment's partial result yields nothing by itself...
    segment(0).partial(QStringLiteral("one"));
    EXPECT_EQ(recorder->take(), QStringList());
    // ...and a settled one waiting for its turn shows with its final text.
    segment(1).partial(QStringLiteral("tw"));
    segment(1).final(QStringLiteral(" two "));
    EXPECT_EQ(recorder->take(), QStringList());
    segment(2).partial(QStringLiteral("three"));
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("v:one two three")});

    segment(0).final(QStringLiteral("One"));
    segment(2).partial(QStringLiteral("three four"));
    EXPECT_EQ(recorder->take(),
              (QStringList {QStringLiteral("f:One"), QStringLiteral("f: two"),
                            QStringLiteral("v: three four")}));
    EXPECT_EQ(recorder->transcript().live(), QStringLiteral("One two three four"));
}

TEST_F(LegacyTranscriptionEngineTest, SeparatesSegmentsByTheLanguagesWordSeparator)
{
    struct Case
    {
        QString locale;
        QStringList expected;
    };
    const Case cases[] = {
        {QStringLiteral("en-US"),
         {QStringLiteral("f:one"), QStringLiteral("f: two"), QStringLiteral("v: three")}},
        {QStringLiteral("ja-JP"),
         {QStringLiteral("f:一つ"), QStringLiteral("f:二つ"), QStringLiteral("v:三つ")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale.toStdString());
        engine = LegacyTranscriptionEngine::make(service, clock);
        start(c.locale);
        const bool ja = c.locale.startsWith(QStringLiteral("ja"));
        advance(50s);
        segment(0).final(ja ? QStringLiteral("一つ") : QStringLiteral("one"));
        segment(1).final(ja ? QStringLiteral("二つ") : QStringLiteral("two"));
        segment(2).partial(ja ? QStringLiteral("三つ") : QStringLiteral("three"));
        EXPECT_EQ(recorder->take(), c.expected);
        runTask(engine->cancelSession());
    }

    const std::pair<const char *, const char *> separators[] = {
        {"en-US", " "}, {"de_CH", " "}, {"ja-JP", ""}, {"zh-Hant-TW", ""}, {"yue", ""},
        {"th-TH", ""},  {"km-KH", ""},  {"lo-LA", ""}, {"my-MM", ""},      {"ko-KR", " "},
    };
    for (const auto &[locale, separator] : separators) {
        EXPECT_EQ(
            LegacyTranscriptionEngine::wordSeparator(SpeechLocale(QString::fromLatin1(locale))),
            QString::fromLatin1(separator))
            << locale;
    }
}

TEST_F(LegacyTranscriptionEngineTest, EmptySegmentClearsTheProvisionalTextAndStartsAnother)
{
    start();
    segment(0).partial(QStringLiteral("uh"));
    advance(3s);
    segment(0).final(QStringLiteral(" \n"));
    EXPECT_EQ(recorder->take(), (QStringList {QStringLiteral("v:uh"), QStringLiteral("v:")}));
    EXPECT_EQ(segmentCount(), 2u);
    EXPECT_FALSE(recorder->ended());
}

TEST_F(LegacyTranscriptionEngineTest, ThreeEarlyEmptySegmentsInARowFailTheSession)
{
    start();
    // Empty at 0.5 s counts; empty after 2 s neither counts nor resets; text resets.
    const struct
    {
        nanoseconds age;
        QString text;
    } script[] = {
        {500ms, QString()}, // 1
        {2s, QString()}, // still 1
        {1s, QStringLiteral("   ")}, // 2: blank counts as empty
        {500ms, QStringLiteral("ok")}, // 0
        {500ms, QString()}, // 1
        {1999ms, QString()}, // 2
    };
    for (size_t i = 0; i < std::size(script); ++i) {
        advance(script[i].age);
        segment(i).final(script[i].text);
        ASSERT_FALSE(recorder->ended()) << "step " << i;
    }
    EXPECT_EQ(segmentCount(), std::size(script) + 1);
    advance(100ms);
    segment(std::size(script)).final(QString()); // 3
    ASSERT_TRUE(recorder->ended());
    EXPECT_TRUE(isSessionFailure(recorder->error()));
    EXPECT_FALSE(TranscriptionError::isCancellation(recorder->error()));
    EXPECT_EQ(segmentCount(), std::size(script) + 1) << "no segment after the failure";
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST_F(LegacyTranscriptionEngineTest, RecognitionErrorSettlesWithTheLastTextAndGoesOn)
{
    start();
    segment(0).partial(QStringLiteral("half a sentence"));
    segment(0).fail(std::make_exception_ptr(std::runtime_error("recogniser crashed")));
    EXPECT_EQ(
        recorder->take(),
        (QStringList {QStringLiteral("v:half a sentence"), QStringLiteral("f:half a sentence")}));
    EXPECT_EQ(segmentCount(), 2u);
    EXPECT_FALSE(recorder->ended());
}

TEST_F(LegacyTranscriptionEngineTest, FinishDeliversTheRemainingTextThenEnds)
{
    start();
    segment(0).partial(QStringLiteral("almost"));
    finish();
    EXPECT_TRUE(segment(0).isAudioEnded());
    EXPECT_FALSE(recorder->ended());

    segment(0).final(QStringLiteral("Almost done."));
    EXPECT_EQ(recorder->take(),
              (QStringList {QStringLiteral("v:almost"), QStringLiteral("f:Almost done.")}));
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    EXPECT_EQ(segmentCount(), 1u) << "no new segment while finishing";
    EXPECT_EQ(clock.activeTimerCount(), 0) << "rotation and finish time-out are stopped";
}

TEST_F(LegacyTranscriptionEngineTest, FinishGivesUpAfterFiveSecondsWithTheLastPartialTexts)
{
    start();
    advance(50s);
    ASSERT_EQ(segmentCount(), 2u);
    segment(0).partial(QStringLiteral("first part"));
    segment(1).partial(QStringLiteral("second"));
    recorder->take();

    finish();
    advance(5s - 1ms);
    EXPECT_FALSE(recorder->ended());
    advance(1ms);
    EXPECT_EQ(recorder->take(),
              (QStringList {QStringLiteral("f:first part"), QStringLiteral("f: second")}));
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    EXPECT_TRUE(segment(0).cancelled);
    EXPECT_TRUE(segment(1).cancelled);
}

TEST_F(LegacyTranscriptionEngineTest, FinishTwiceReturnsAtOnce)
{
    start();
    finish();
    finish();
    segment(0).final(QStringLiteral("done"));
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("f:done")});
    EXPECT_TRUE(recorder->ended());
}

TEST_F(LegacyTranscriptionEngineTest, CancelEndsTheStreamWithoutTextOrError)
{
    start();
    engine->feed(voiced());
    segment(0).partial(QStringLiteral("hello"));
    cancel();
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("v:hello")});
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    EXPECT_TRUE(segment(0).cancelled);

    // Nothing gets through afterwards: audio, results, the rotation timer.
    segment(0).takeAudio();
    engine->feed(voiced());
    EXPECT_TRUE(segment(0).takeAudio().empty());
    segment(0).final(QStringLiteral("late"));
    advance(60s);
    EXPECT_EQ(segmentCount(), 1u);
    cancel();
    finish();
    EXPECT_EQ(recorder->take(), QStringList());
}

TEST_F(LegacyTranscriptionEngineTest, CancelAfterFinishEndsAtOnce)
{
    start();
    segment(0).partial(QStringLiteral("pending"));
    recorder->take();
    finish();
    cancel();
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    advance(5s);
    EXPECT_EQ(recorder->take(), QStringList());
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST_F(LegacyTranscriptionEngineTest, AnEngineServesOneSession)
{
    start();
    const auto second =
        errorOf([&] { runTask(engine->startSession(SpeechLocale(QStringLiteral("en-US")), {})); });
    EXPECT_TRUE(TranscriptionError::isCancellation(second));
    // The running session is untouched.
    service->recognizers.front()->tasks.at(0)->partial(QStringLiteral("still here"));
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("v:still here")});

    auto finishedFirst = LegacyTranscriptionEngine::make(service, clock);
    runTask(finishedFirst->finishSession());
    const auto afterFinish = errorOf(
        [&] { runTask(finishedFirst->startSession(SpeechLocale(QStringLiteral("en-US")), {})); });
    EXPECT_TRUE(TranscriptionError::isCancellation(afterFinish));
}

TEST_F(LegacyTranscriptionEngineTest, StartFailuresLeaveTheEngineIdle)
{
    using Status = SpeechRecognitionService::AuthorizationStatus;
    const auto kindOf =
        [](const std::exception_ptr &error) -> std::optional<TranscriptionError::Kind> {
        try {
            std::rethrow_exception(error);
        } catch (const TranscriptionError &e) {
            return e.kind();
        } catch (...) {
            return std::nullopt;
        }
    };
    const auto startError = [&](const QString &locale) {
        return errorOf([&] { runTask(engine->startSession(SpeechLocale(locale), {})); });
    };

    service->status = Status::notDetermined;
    service->grantOnRequest = false;
    EXPECT_EQ(kindOf(startError(QStringLiteral("en-US"))),
              TranscriptionError::Kind::recognizerUnavailable);
    EXPECT_EQ(service->authorizationRequests, 1);

    service->grantOnRequest = true;
    const auto unsupported = startError(QStringLiteral("fr-FR"));
    EXPECT_EQ(kindOf(unsupported), TranscriptionError::Kind::localeNotSupported);
    EXPECT_EQ(service->authorizationRequests, 2);

    service->recognizersAvailable = false;
    EXPECT_EQ(kindOf(startError(QStringLiteral("en-US"))),
              TranscriptionError::Kind::recognizerUnavailable);

    service->recognizersAvailable = true;
    start(QStringLiteral("en_US"));
    EXPECT_EQ(segmentCount(), 1u);
}

TEST_F(LegacyTranscriptionEngineTest, PrepareChecksTheLocaleOnly)
{
    QList<double> progress;
    runTask(engine->prepare(SpeechLocale(QStringLiteral("ja-JP")),
                            [&](double value) { progress.append(value); }));
    EXPECT_EQ(progress, QList<double> {1.0});

    const auto error =
        errorOf([&] { runTask(engine->prepare(SpeechLocale(QStringLiteral("de-CH")), {})); });
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &e) {
        EXPECT_EQ(e.kind(), TranscriptionError::Kind::localeNotSupported);
        EXPECT_EQ(e.locale().identifier(), QStringLiteral("de-CH"));
    }
    EXPECT_EQ(runTask(engine->supportedLocales()), service->locales);
    // Preparing starts no session.
    start();
    EXPECT_EQ(segmentCount(), 1u);
}

TEST_F(LegacyTranscriptionEngineTest, PreparedHintsGoToTheLocalesRecognizerWithoutASession)
{
    const QStringList terms {QStringLiteral("Siobhan Okafor"), QStringLiteral("Kubernetes")};
    engine->prepareHints(SpeechLocale(QStringLiteral("ja-JP")), terms);
    ASSERT_EQ(service->recognizers.size(), 1u);
    EXPECT_EQ(recognizer().locale(), SpeechLocale(QStringLiteral("ja-JP")));
    EXPECT_EQ(recognizer().preparedHints, QList<QStringList> {terms});
    EXPECT_TRUE(recognizer().tasks.empty());
    // A locale without a recogniser has nothing to prepare, and that is no error.
    engine->prepareHints(SpeechLocale(QStringLiteral("de-CH")), terms);
    EXPECT_EQ(service->recognizers.size(), 1u);
    // The engine still serves its session.
    start();
    EXPECT_EQ(segmentCount(), 1u);
}

TEST_F(LegacyTranscriptionEngineTest, ResultsFromTheRecognizersQueueRearmTheRotation)
{
    start();
    advance(10s);
    std::thread queue([&] { segment(0).final(QStringLiteral("settled elsewhere")); });
    queue.join();
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("f:settled elsewhere")});
    ASSERT_EQ(segmentCount(), 2u);
    // The new segment started at 10 s: its first check is at 60 s, not at the first
    // segment's 50 s.
    advance(50s - 1ms);
    EXPECT_EQ(segmentCount(), 2u);
    advance(1ms);
    EXPECT_EQ(segmentCount(), 3u);
}

// Audio, results and the session calls from three threads at once. Built with
// -fsanitize=thread this reports any engine or segment state touched outside the engine's lock
// (a segment's task dropped by cancelSession() after releasing it was such a case).
TEST_F(LegacyTranscriptionEngineTest, FeedRacingWithResultsFinishAndCancelKeepsTheStreamSound)
{
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        engine = LegacyTranscriptionEngine::make(service, clock);
        start();
        auto first = recognizer().tasks.front();
        std::thread audio([&] {
            for (int i = 0; i < 200; ++i) {
                engine->feed(i % 2 ? voiced() : silent());
            }
        });
        std::thread results([first] {
            first->partial(QStringLiteral("a"));
            first->final(QStringLiteral("a b"));
        });
        finish();
        cancel();
        audio.join();
        results.join();
        EXPECT_TRUE(recorder->ended());
        EXPECT_FALSE(recorder->error());
        recorder.reset();
        service->releaseAll();
    }
}

TEST(LegacyTranscriptionEngineVoiceTest, VoiceMeansTheFirstChannelAboveMinus40Dbfs)
{
    const float atThreshold = 0.01f; // exactly -40 dBFS
    AudioBuffer stereoQuietFirst = tone(0.5f, 2);
    for (size_t i = 0; i < stereoQuietFirst.samples.size(); i += 2) {
        stereoQuietFirst.samples[i] = 0.001f;
    }
    AudioBuffer noChannels;
    noChannels.sampleRate = 48000;
    const struct
    {
        const char *name;
        AudioBuffer buffer;
        bool voice;
    } cases[] = {
        {"-20 dBFS", tone(0.1f), true},
        {"slightly above -40 dBFS", tone(atThreshold * 1.01f), true},
        {"slightly below -40 dBFS", tone(atThreshold * 0.99f), false},
        {"digital silence", tone(0.0f), false},
        {"empty", tone(0.5f, 1, 0), false},
        {"no channels", noChannels, false},
        {"loud second channel only", stereoQuietFirst, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(LegacyTranscriptionEngine::hasVoice(c.buffer), c.voice) << c.name;
    }
}
