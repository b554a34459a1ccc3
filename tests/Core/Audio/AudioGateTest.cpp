#include "Core/Audio/AudioGate.h"

#include "Core/Transcription/TranscriptionEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// A buffer whose first sample carries its sequence number.
AudioBuffer numbered(int index, qsizetype frames = 4096, double sampleRate = 48000)
{
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = 1;
    buffer.samples.assign(size_t(frames), 0.0f);
    buffer.samples[0] = float(index);
    return buffer;
}

std::vector<int> indices(const std::vector<AudioBuffer> &buffers)
{
    std::vector<int> result;
    for (const AudioBuffer &buffer : buffers) {
        result.push_back(int(buffer.samples[0]));
    }
    return result;
}

std::vector<int> range(int from, int to)
{
    std::vector<int> result;
    for (int i = from; i < to; ++i) {
        result.push_back(i);
    }
    return result;
}

// Takes buffers only; everything else of an engine is beside the point here.
class FeedRecordingEngine final : public TranscriptionEngine
{
public:
    std::vector<AudioBuffer> fed;

    QString name() const override { return QStringLiteral("feed recorder"); }
    QCoro::Task<void> prepare(SpeechLocale, ProgressCallback) override { co_return; }
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override { co_return {}; }
    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale, QStringList) override
    {
        co_return AsyncStream<EngineUpdate>();
    }
    void feed(const AudioBuffer &buffer) override { fed.push_back(buffer); }
    QCoro::Task<void> finishSession() override { co_return; }
    QCoro::Task<void> cancelSession() override { co_return; }
};

TEST(AudioGateTest, BacklogFirstInOrderThenLiveBuffers)
{
    AudioGate gate;
    for (int i = 0; i < 5; ++i) {
        gate.feed(numbered(i));
    }
    EXPECT_FALSE(gate.isOpen());
    EXPECT_EQ(gate.queuedFrames(), 5 * 4096);

    std::vector<AudioBuffer> received;
    gate.open([&received](const AudioBuffer &buffer) { received.push_back(buffer); });
    EXPECT_EQ(indices(received), range(0, 5));
    EXPECT_EQ(gate.queuedFrames(), 0);
    EXPECT_EQ(gate.queuedBuffers(), 0);

    gate.feed(numbered(5));
    gate.feed(numbered(6));
    EXPECT_EQ(indices(received), range(0, 7));

    // A second open changes nothing: the first target keeps the stream.
    std::vector<AudioBuffer> other;
    gate.open([&other](const AudioBuffer &buffer) { other.push_back(buffer); });
    gate.feed(numbered(7));
    EXPECT_TRUE(other.empty());
    EXPECT_EQ(indices(received), range(0, 8));
}

TEST(AudioGateTest, BacklogKeepsTheNewestSixtySecondsAt48kHz)
{
    AudioGate gate;
    constexpr int fed = 800; // 68 s
    for (int i = 0; i < fed; ++i) {
        gate.feed(numbered(i));
        ASSERT_LE(gate.queuedFrames(), AudioGate::maxQueuedFrames);
    }
    EXPECT_EQ(gate.queuedBuffers(), 703);
    EXPECT_EQ(gate.queuedFrames(), 703 * 4096);

    std::vector<AudioBuffer> received;
    gate.open([&received](const AudioBuffer &buffer) { received.push_back(buffer); });
    EXPECT_EQ(indices(received), range(fed - 703, fed));
}

TEST(AudioGateTest, ABufferLargerThanTheBoundIsNotKept)
{
    AudioGate gate;
    gate.feed(numbered(0));
    gate.feed(numbered(1, AudioGate::maxQueuedFrames + 1));
    EXPECT_EQ(gate.queuedBuffers(), 0);
    EXPECT_EQ(gate.queuedFrames(), 0);
    gate.feed(numbered(2, AudioGate::maxQueuedFrames));
    EXPECT_EQ(gate.queuedBuffers(), 1);
}

TEST(AudioGateTest, LiveBuffersNeverOvertakeTheBacklog)
{
    // The capture thread feeds while the start-up opens the gate at a random moment; the target
    // must see 0, 1, 2, ... with nothing lost, doubled or reordered, however the two interleave.
    std::mt19937 random(20240501);
    for (int run = 0; run < 300; ++run) {
        AudioGate gate;
        constexpr int total = 400;
        std::atomic<int> fedSoFar {0};
        std::thread capture([&] {
            for (int i = 0; i < total; ++i) {
                gate.feed(numbered(i, 64));
                fedSoFar = i + 1;
            }
        });
        const int openAfter = int(random() % total);
        while (fedSoFar < openAfter) {
            std::this_thread::yield();
        }
        // A lock of its own, so that a gate that forwarded outside its lock shows up as a wrong
        // order rather than as a corrupted vector.
        std::mutex receivedLock;
        std::vector<AudioBuffer> received;
        gate.open([&](const AudioBuffer &buffer) {
            std::lock_guard guard(receivedLock);
            received.push_back(buffer);
        });
        capture.join();
        ASSERT_EQ(indices(received), range(0, total))
            << "run " << run << ", opened after " << openAfter;
    }
}

TEST(AudioGateTest, ForwardsToTheEngineOnlyWhileItExists)
{
    auto engine = std::make_shared<FeedRecordingEngine>();
    AudioGate gate;
    gate.feed(numbered(0));
    gate.open(std::weak_ptr<TranscriptionEngine>(engine));
    gate.feed(numbered(1));
    EXPECT_EQ(indices(engine->fed), range(0, 2));

    engine.reset();
    gate.feed(numbered(2)); // dropped, and nothing to crash on
    EXPECT_TRUE(gate.isOpen());
    EXPECT_EQ(gate.queuedBuffers(), 0);
}

} // namespace
