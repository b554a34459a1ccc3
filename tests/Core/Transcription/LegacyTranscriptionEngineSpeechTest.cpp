// The segment-based engine on the real recogniser (pocketsphinx with the en-US model) and real
// recorded speech. Runs in a few seconds: decoding is faster than real time and the engine's
// clock is moved along with the audio instead of waiting for it.
#include "Core/Transcription/LegacyTranscriptionEngine.h"

#include "Base/ManualClock.h"
#include "Core/Transcription/RunTask.h"
#include "Core/Transcription/SpeechRecording.h"
#include "Core/Transcription/StreamRecorder.h"
#include "TestSupport/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Waits for the recogniser's threads, letting their results through; false after `limit`.
template<typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = 30s)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

QStringList finalized(const QStringList &updates)
{
    QStringList texts;
    for (const QString &update : updates) {
        if (update.startsWith(QStringLiteral("f:"))) {
            texts.append(update.mid(2));
        }
    }
    return texts;
}

} // namespace

class LegacyTranscriptionEngineSpeechTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString recording = SpeechRecording::path(QStringLiteral("goforward.raw"));
        ASSERT_TRUE(QFile::exists(recording))
            << "the recorded speech of pocketsphinx-testdata is missing: "
            << recording.toStdString();
        ASSERT_TRUE(service->supportedLocales().contains(SpeechLocale(QStringLiteral("en-US"))))
            << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
        goForward = SpeechRecording::load(QStringLiteral("goforward.raw"));
        auto stream = runTask(engine->startSession(SpeechLocale(QStringLiteral("en-US")), {}));
        recorder = std::make_unique<StreamRecorder>(stream);
    }

    void TearDown() override
    {
        runTask(engine->cancelSession());
        recorder.reset();
    }

    // Feeds capture-sized buffers, moving the engine's clock along with the audio.
    void feed(const AudioBuffer &audio)
    {
        for (const AudioBuffer &buffer : audio.blocks(1024)) {
            engine->feed(buffer);
            clock.advance(std::chrono::nanoseconds(qint64(buffer.durationSeconds() * 1e9)));
            QCoreApplication::processEvents();
        }
    }

    QStringList finishAndCollect()
    {
        runTask(engine->finishSession());
        QStringList updates;
        const bool ended = waitUntil([&] {
            updates += recorder->take();
            return recorder->ended();
        });
        EXPECT_TRUE(ended) << "the stream did not end after finishSession";
        updates += recorder->take();
        EXPECT_FALSE(recorder->error());
        return updates;
    }

    ManualClock clock;
    std::shared_ptr<SpeechRecognitionService> service = SpeechRecognitionService::system();
    std::shared_ptr<LegacyTranscriptionEngine> engine =
        LegacyTranscriptionEngine::make(service, clock);
    std::unique_ptr<StreamRecorder> recorder;
    AudioBuffer goForward;
};

TEST_F(LegacyTranscriptionEngineSpeechTest, RecognisesRecordedSpeechCapturedAt48Kilohertz)
{
    const AudioBuffer captured = SpeechRecording::resampled(goForward, {48000, 1});
    const auto pieces = captured.blocks(captured.frameCount() / 2 + 1);

    feed(pieces[0]);
    QStringList updates;
    ASSERT_TRUE(waitUntil([&] {
        updates += recorder->take();
        return !updates.isEmpty();
    })) << "no provisional text while speech is coming in";
    EXPECT_TRUE(updates.front().startsWith(QStringLiteral("v:"))) << updates.front().toStdString();

    feed(pieces[1]);
    updates += finishAndCollect();
    ASSERT_FALSE(updates.isEmpty());
    EXPECT_TRUE(updates.back().startsWith(QStringLiteral("f:")));
    EXPECT_EQ(recorder->transcript().settled(), QStringLiteral("Go forward ten meters."));
    EXPECT_EQ(recorder->transcript().provisional(), QString());
}

TEST_F(LegacyTranscriptionEngineSpeechTest, LosesAndRepeatsNoWordAcrossASegmentRotation)
{
    // 45 s of quiet room noise, then the phrase four times (11 s): the first segment reaches
    // 50 s in the pause after the second phrase, and the last two phrases go to the next one.
    AudioBuffer recording;
    recording.sampleRate = 16000;
    recording.channels = 1;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
    recording.samples.resize(45 * 16000);
    for (float &sample : recording.samples) {
        sample = noise(random);
    }
    for (int i = 0; i < 4; ++i) {
        SpeechRecording::append(recording, goForward);
    }

    feed(SpeechRecording::resampled(recording, {48000, 2}));
    const QStringList updates = finishAndCollect();

    const QString phrase = QStringLiteral("go forward ten meters");
    // Each segment's text is a sentence of its own.
    const QString sentence = QStringLiteral("Go forward ten meters ") + phrase + u'.';
    EXPECT_EQ(finalized(updates), (QStringList {sentence, u' ' + sentence}))
        << "one settled text per segment, the second after a blank";
    EXPECT_EQ(recorder->transcript().settled(), sentence + u' ' + sentence);
}
