#include "Core/Transcription/ModernTranscriptionEngine.h"

#include "Base/CancelledError.h"
#include "Base/ManualClock.h"
#include "Core/Transcription/RunTask.h"
#include "Core/Transcription/StreamRecorder.h"
#include "Core/Transcription/TranscriptionError.h"
#include "Fakes/FakeSpeechAnalysisService.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

const SpeechLocale english(QStringLiteral("en-US"));

AudioBuffer tone(float amplitude, double rate = 48000, int channels = 2, int frames = 4096)
{
    AudioBuffer buffer;
    buffer.sampleRate = rate;
    buffer.channels = channels;
    buffer.samples.assign(size_t(frames) * channels, amplitude);
    return buffer;
}

AudioBuffer voiced(double rate = 48000, int channels = 2)
{
    return tone(0.1f, rate, channels);
}

AudioBuffer silent()
{
    return tone(0.0005f); // about -66 dBFS: room noise
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

std::optional<TranscriptionError> transcriptionError(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &e) {
        return e;
    } catch (...) {
        return std::nullopt;
    }
}

// A task started now and looked at later: whether it ended, with what value or error.
template<typename T>
struct Pending
{
    bool done = false;
    std::optional<T> value;
    std::exception_ptr error;
};

template<typename T>
QCoro::Task<void> track(QCoro::Task<T> task, std::shared_ptr<Pending<T>> pending)
{
    try {
        pending->value = co_await task;
    } catch (...) {
        pending->error = std::current_exception();
    }
    pending->done = true;
}

} // namespace

class ModernTranscriptionEngineTest : public ::testing::Test
{
protected:
    ModernTranscriptionEngineTest()
    {
        service->supported = {english, SpeechLocale(QStringLiteral("ja-JP"))};
        service->installed = {english};
    }

    void TearDown() override
    {
        runTask(engine->cancelSession());
        recorder.reset();
        FakeSpeechAnalyzer::pump();
    }

    void start(QStringList hints = {})
    {
        recorder = std::make_unique<StreamRecorder>(runTask(engine->startSession(english, hints)));
    }

    FakeSpeechAnalyzer &analyzer() { return service->lastAnalyzer(); }
    size_t received()
    {
        FakeSpeechAnalyzer::pump();
        return analyzer().received.size();
    }

    ManualClock clock;
    std::shared_ptr<FakeSpeechAnalysisService> service =
        std::make_shared<FakeSpeechAnalysisService>();
    std::shared_ptr<ModernTranscriptionEngine> engine =
        ModernTranscriptionEngine::make(service, clock);
    std::unique_ptr<StreamRecorder> recorder;
};

TEST_F(ModernTranscriptionEngineTest, PassesTheTranscribersResultsThroughAndFinishes)
{
    start({QStringLiteral("Sonorvelle")});
    EXPECT_EQ(engine->name(), QStringLiteral("SpeechAnalyzer"));
    const auto &options = service->lastTranscriber().options;
    EXPECT_TRUE(options.volatileResults);
    EXPECT_TRUE(options.fastResults);
    EXPECT_EQ(analyzer().context, QStringList {QStringLiteral("Sonorvelle")});
    EXPECT_EQ(analyzer().startCalls, 1);

    engine->feed(voiced());
    ASSERT_EQ(received(), 1u);
    EXPECT_EQ(analyzer().received[0].sampleRate, 16000);
    EXPECT_EQ(analyzer().received[0].channels, 1);

    service->lastTranscriber().yieldVolatile(QStringLiteral(" hel"));
    service->lastTranscriber().yieldFinal(QStringLiteral(" Hello. "));
    EXPECT_EQ(recorder->take(),
              (QStringList {QStringLiteral("v: hel"), QStringLiteral("f: Hello. ")}))
        << "passed on unchanged";

    runTask(engine->finishSession());
    EXPECT_EQ(analyzer().finalizeCalls, 1);
    EXPECT_EQ(analyzer().cancelCalls, 0);
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    FakeSpeechAnalyzer::pump();
    EXPECT_TRUE(analyzer().inputEnded);

    engine->feed(voiced());
    EXPECT_EQ(received(), 1u) << "audio after the finish is dropped";
}

TEST_F(ModernTranscriptionEngineTest, WithoutHintsSetsNoContextAndIgnoresAContextFailure)
{
    start();
    EXPECT_EQ(analyzer().setContextCalls, 0);

    auto second = ModernTranscriptionEngine::make(service, clock);
    service->prepareAnalyzer = [](FakeSpeechAnalyzer &fake) {
        fake.contextError = std::make_exception_ptr(std::runtime_error("no context"));
    };
    auto stream = runTask(second->startSession(english, {QStringLiteral("word")}));
    EXPECT_EQ(service->lastAnalyzer().setContextCalls, 1);
    EXPECT_FALSE(stream.isFinished());
    runTask(second->cancelSession());
}

TEST_F(ModernTranscriptionEngineTest, FiltersSilenceBeforeSpeechAndBeyondHalfASecondAfterIt)
{
    start();
    engine->feed(silent());
    engine->feed(silent());
    EXPECT_EQ(received(), 0u) << "silence before the first speech";

    engine->feed(voiced());
    // Two seconds of pause at 48 kHz in buffers of 4,096 frames: the first five (20,480 frames,
    // at most 24,000) pass; the sixth makes 24,576 and the rest of the pause is dropped.
    for (int i = 0; i < 23; ++i) {
        engine->feed(silent());
    }
    EXPECT_EQ(received(), 1u + 5u);
    engine->feed(voiced());
    engine->feed(silent());
    EXPECT_EQ(received(), 1u + 5u + 2u) << "speech resets the count";
}

TEST_F(ModernTranscriptionEngineTest, SilenceMeansBelowMinus50Dbfs)
{
    const float threshold = std::pow(10.0f, -50.0f / 20.0f);
    AudioBuffer loudSecondChannel = tone(0.5f);
    for (size_t i = 0; i < loudSecondChannel.samples.size(); i += 2) {
        loudSecondChannel.samples[i] = 0;
    }
    const struct
    {
        const char *name;
        AudioBuffer buffer;
        bool silent;
    } cases[] = {
        {"just above", tone(threshold * 1.001f), false},
        {"just below", tone(threshold * 0.999f), true},
        {"-20 dBFS", tone(0.1f), false},
        {"empty", tone(0.5f, 48000, 2, 0), true},
        {"no channels", tone(0.5f, 48000, 0), true},
        {"only the second channel loud", loudSecondChannel, true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ModernTranscriptionEngine::isSilent(c.buffer), c.silent) << c.name;
    }
}

TEST_F(ModernTranscriptionEngineTest, ConvertsOnlyWhatIsNotInTheAnalyzersFormat)
{
    service->format = AudioFormat {48000, 2};
    start();
    const AudioBuffer same = voiced();
    engine->feed(same);
    engine->feed(voiced(44100, 1)); // the capture format changed
    engine->feed(voiced(44100, 1));
    ASSERT_EQ(received(), 3u);
    EXPECT_EQ(analyzer().received[0].samples, same.samples);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(analyzer().received[i].sampleRate, 48000);
        EXPECT_EQ(analyzer().received[i].channels, 2);
    }
    EXPECT_GT(analyzer().received[2].frameCount(), 4096) << "44.1 kHz grows into 48 kHz";
}

TEST_F(ModernTranscriptionEngineTest, ASilentDictationCancelsTheAnalyzerAndEndsWithoutText)
{
    start();
    for (int i = 0; i < 10; ++i) {
        engine->feed(silent());
    }
    runTask(engine->finishSession());
    EXPECT_EQ(received(), 0u);
    EXPECT_EQ(analyzer().finalizeCalls, 0);
    EXPECT_EQ(analyzer().cancelCalls, 1);
    EXPECT_EQ(recorder->take(), QStringList());
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
}

TEST_F(ModernTranscriptionEngineTest, AFailedFinaliseCancelsAndKeepsTheTextSoFar)
{
    service->prepareAnalyzer = [](FakeSpeechAnalyzer &fake) {
        fake.finalizeError = std::make_exception_ptr(std::runtime_error("finalise failed"));
    };
    start();
    engine->feed(voiced());
    service->lastTranscriber().yieldFinal(QStringLiteral("kept"));
    EXPECT_EQ(recorder->take(), QStringList {QStringLiteral("f:kept")});
    runTask(engine->finishSession());
    EXPECT_EQ(analyzer().cancelCalls, 1);
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
}

TEST_F(ModernTranscriptionEngineTest, ResultsThatFailEndTheStreamWithASessionFailureUnlessCancelled)
{
    start();
    const auto failure = std::make_exception_ptr(std::runtime_error("transcriber broke"));
    service->lastTranscriber().stream.finish(failure);
    ASSERT_TRUE(recorder->ended());
    const auto error = transcriptionError(recorder->error());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TranscriptionError::Kind::sessionFailed);
    EXPECT_EQ(error->underlying(), failure);

    auto second = ModernTranscriptionEngine::make(service, clock);
    StreamRecorder secondRecorder(runTask(second->startSession(english, {})));
    service->lastTranscriber().stream.finish(std::make_exception_ptr(CancelledError()));
    EXPECT_TRUE(secondRecorder.ended());
    EXPECT_FALSE(secondRecorder.error());
}

TEST_F(ModernTranscriptionEngineTest, CancelStopsEverythingAndEndsTheStreamQuietly)
{
    start();
    engine->feed(voiced());
    service->lastTranscriber().yieldVolatile(QStringLiteral("pending"));
    runTask(engine->cancelSession());
    EXPECT_EQ(analyzer().cancelCalls, 1);
    EXPECT_TRUE(recorder->ended());
    EXPECT_FALSE(recorder->error());
    FakeSpeechAnalyzer::pump();
    EXPECT_TRUE(analyzer().inputEnded);

    engine->feed(voiced());
    EXPECT_EQ(received(), 1u);
    runTask(engine->cancelSession());
    runTask(engine->finishSession());

    const auto again = errorOf([&] { runTask(engine->startSession(english, {})); });
    EXPECT_TRUE(TranscriptionError::isCancellation(again)) << "an engine is not started again";
}

TEST_F(ModernTranscriptionEngineTest, FinishWhileTheModelDownloadsLeavesNothingRunning)
{
    service->installed = {};
    service->request = std::make_shared<FakeInstallationRequest>();
    auto pending = std::make_shared<Pending<AsyncStream<EngineUpdate>>>();
    auto tracker = track(engine->startSession(english, {}), pending);
    ASSERT_TRUE(service->request->gate.hasWaiters());

    runTask(engine->finishSession());
    EXPECT_FALSE(pending->done);
    service->request->gate.open();
    ASSERT_TRUE(pending->done);
    EXPECT_TRUE(TranscriptionError::isCancellation(pending->error));
    EXPECT_TRUE(service->analyzers.empty()) << "no analyzer made after the model step";
}

TEST_F(ModernTranscriptionEngineTest, CancelWhileTheAnalyzerStartsShutsDownWhatWasMade)
{
    ManualGate gate;
    service->prepareAnalyzer = [&](FakeSpeechAnalyzer &fake) {
        fake.startGate = &gate;
    };
    auto pending = std::make_shared<Pending<AsyncStream<EngineUpdate>>>();
    auto tracker = track(engine->startSession(english, {}), pending);
    ASSERT_EQ(service->analyzers.size(), 1u);
    ASSERT_FALSE(pending->done);

    runTask(engine->cancelSession());
    gate.open();
    ASSERT_TRUE(pending->done);
    EXPECT_TRUE(TranscriptionError::isCancellation(pending->error));
    EXPECT_GE(analyzer().cancelCalls, 1);
    FakeSpeechAnalyzer::pump();
    EXPECT_TRUE(analyzer().inputEnded);
    engine->feed(voiced());
    EXPECT_EQ(received(), 0u);
}

TEST_F(ModernTranscriptionEngineTest, StartFailures)
{
    // No audio format for the transcriber.
    service->format.reset();
    const auto noFormat = transcriptionError(errorOf([&] { start(); }));
    ASSERT_TRUE(noFormat);
    EXPECT_EQ(noFormat->kind(), TranscriptionError::Kind::recognizerUnavailable);

    // The analyzer does not start: the feed is closed and the failure carries the error.
    service->format = AudioFormat {16000, 1};
    const auto cause = std::make_exception_ptr(std::runtime_error("no start"));
    service->prepareAnalyzer = [&](FakeSpeechAnalyzer &fake) {
        fake.startError = cause;
    };
    engine = ModernTranscriptionEngine::make(service, clock);
    const auto notStarted = transcriptionError(errorOf([&] { start(); }));
    ASSERT_TRUE(notStarted);
    EXPECT_EQ(notStarted->kind(), TranscriptionError::Kind::sessionFailed);
    EXPECT_EQ(notStarted->underlying(), cause);
    FakeSpeechAnalyzer::pump();
    EXPECT_TRUE(analyzer().inputEnded);

    // A locale the transcriber does not offer.
    engine = ModernTranscriptionEngine::make(service, clock);
    const auto unsupported = transcriptionError(
        errorOf([&] { runTask(engine->startSession(SpeechLocale(QStringLiteral("de-CH")), {})); }));
    ASSERT_TRUE(unsupported);
    EXPECT_EQ(unsupported->kind(), TranscriptionError::Kind::localeNotSupported);
    EXPECT_EQ(unsupported->locale().identifier(), QStringLiteral("de-CH"));
}

class ModernTranscriptionEngineModelTest : public ModernTranscriptionEngineTest
{
protected:
    ModernTranscriptionEngineModelTest()
    {
        service->installed = {};
        service->request = std::make_shared<FakeInstallationRequest>();
    }

    std::shared_ptr<Pending<bool>> prepare(const SpeechLocale &locale = english)
    {
        auto pending = std::make_shared<Pending<bool>>();
        m_trackers.push_back(track(
            [](std::shared_ptr<ModernTranscriptionEngine> engine, SpeechLocale locale,
               QList<double> *progress) -> QCoro::Task<bool> {
                co_await engine->prepare(locale,
                                         [progress](double value) { progress->append(value); });
                co_return true;
            }(engine, locale, &progress),
            pending));
        return pending;
    }

    QList<double> progress;
    std::vector<QCoro::Task<void>> m_trackers;
};

TEST_F(ModernTranscriptionEngineModelTest, AnInstalledModelReportsDoneAtOnce)
{
    service->installed = {english};
    const auto pending = prepare();
    ASSERT_TRUE(pending->done);
    EXPECT_FALSE(pending->error);
    EXPECT_EQ(progress, QList<double> {1.0});
    EXPECT_EQ(service->installationRequests, 0);
}

TEST_F(ModernTranscriptionEngineModelTest, DownloadsReportingProgressEveryQuarterSecond)
{
    service->request->fraction = 0.1;
    const auto pending = prepare();
    EXPECT_EQ(progress, QList<double> {0.1}) << "the first report comes at once";
    service->request->fraction = 0.4;
    clock.advance(250ms);
    service->request->fraction = 1.7;
    clock.advance(250ms);
    EXPECT_EQ(progress, (QList<double> {0.1, 0.4, 1.0})) << "capped at 1";
    EXPECT_FALSE(pending->done);

    service->request->gate.open();
    ASSERT_TRUE(pending->done);
    EXPECT_FALSE(pending->error);
    EXPECT_EQ(progress.last(), 1.0);
    const auto reports = progress.size();
    FakeSpeechAnalyzer::pump();
    clock.advance(1s);
    EXPECT_EQ(progress.size(), reports) << "polling stops with the download";
}

TEST_F(ModernTranscriptionEngineModelTest, ReleasesEveryOtherReservedLocaleAtTheLimit)
{
    const SpeechLocale french(QStringLiteral("fr-FR"));
    const SpeechLocale german(QStringLiteral("de-DE"));
    service->reserved = {french, english, german};
    service->maximumReserved = 3;
    const auto pending = prepare();
    EXPECT_EQ(service->released, (QList<SpeechLocale> {french, german}));
    EXPECT_EQ(service->installationRequests, 1);
    service->request->gate.open();
    EXPECT_TRUE(pending->done);

    service->released.clear();
    service->reserved = {french};
    service->request = std::make_shared<FakeInstallationRequest>();
    prepare();
    EXPECT_TRUE(service->released.isEmpty()) << "below the limit nothing is released";
}

TEST_F(ModernTranscriptionEngineModelTest, FailuresOfTheModelStep)
{
    // Nothing to install.
    service->request.reset();
    auto nothing = prepare();
    ASSERT_TRUE(nothing->done);
    EXPECT_FALSE(nothing->error);
    EXPECT_EQ(progress, QList<double> {1.0});

    // No request can be made.
    const auto cause = std::make_exception_ptr(std::runtime_error("offline"));
    service->requestError = cause;
    auto noRequest = prepare();
    ASSERT_TRUE(noRequest->done);
    auto error = transcriptionError(noRequest->error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TranscriptionError::Kind::modelDownloadFailed);
    EXPECT_EQ(error->underlying(), cause);

    // The download fails; polling stops.
    service->requestError = nullptr;
    service->request = std::make_shared<FakeInstallationRequest>();
    progress.clear();
    auto failed = prepare();
    service->request->gate.fail(cause);
    ASSERT_TRUE(failed->done);
    error = transcriptionError(failed->error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TranscriptionError::Kind::modelDownloadFailed);
    const auto reports = progress.size();
    FakeSpeechAnalyzer::pump();
    clock.advance(1s);
    EXPECT_EQ(progress.size(), reports);

    // A locale not offered.
    auto unsupported = prepare(SpeechLocale(QStringLiteral("xx-YY")));
    ASSERT_TRUE(unsupported->done);
    error = transcriptionError(unsupported->error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TranscriptionError::Kind::localeNotSupported);
}

TEST(ModernTranscriptionEngineLinuxTest, IsNotAvailableAndSaysSo)
{
    EXPECT_FALSE(ModernTranscriptionEngine::isAvailable());
    auto engine = ModernTranscriptionEngine::make();
    EXPECT_TRUE(runTask(engine->supportedLocales()).isEmpty());
    const auto error =
        transcriptionError(errorOf([&] { runTask(engine->startSession(english, {})); }));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TranscriptionError::Kind::recognizerUnavailable);
    runTask(engine->cancelSession());
}
