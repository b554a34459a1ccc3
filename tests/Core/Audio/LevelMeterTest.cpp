#include "Core/Audio/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

AudioBuffer buffer(double sampleRate, int channels, std::vector<float> samples)
{
    AudioBuffer result;
    result.sampleRate = sampleRate;
    result.channels = channels;
    result.samples = std::move(samples);
    return result;
}

AudioBuffer constant(double sampleRate, qsizetype frames, float value)
{
    return buffer(sampleRate, 1, std::vector<float>(size_t(frames), value));
}

TEST(LevelMeterTest, LevelOfAChunk)
{
    EXPECT_EQ(LevelMeter::level(0.0f), 0.0f);
    EXPECT_EQ(LevelMeter::level(1.0f), 1.0f);
    EXPECT_EQ(LevelMeter::level(2.0f), 1.0f);
    EXPECT_NEAR(LevelMeter::level(0.1f), 0.6f, 1e-6); // -20 dBFS
    EXPECT_NEAR(LevelMeter::level(0.00316228f), 0.0f, 1e-5); // -50 dBFS
    EXPECT_EQ(LevelMeter::level(0.001f), 0.0f); // below -50 dBFS
    EXPECT_EQ(LevelMeter::level(std::nanf("")), 0.0f);
}

TEST(LevelMeterTest, ChunkSizes)
{
    EXPECT_EQ(LevelMeter::chunkFrames(48000), 1600);
    EXPECT_EQ(LevelMeter::chunkFrames(44100), 1470);
    EXPECT_EQ(LevelMeter::chunkFrames(16000), 1024);
    EXPECT_EQ(LevelMeter::chunkFrames(30720), 1024);
    EXPECT_EQ(LevelMeter::chunkFrames(96000), 3200);
}

TEST(LevelMeterTest, ValuesPerBuffer)
{
    LevelMeter meter;
    EXPECT_EQ(meter.meter(constant(48000, 4096, 0)).size(), 3); // 1600, 1600, 896
    EXPECT_EQ(meter.meter(constant(16000, 4096, 0)).size(), 4);
    EXPECT_EQ(meter.meter(constant(16000, 1, 0)).size(), 1);
    EXPECT_TRUE(meter.meter(constant(16000, 0, 0)).isEmpty());
    EXPECT_TRUE(meter.meter(AudioBuffer {}).isEmpty());
}

TEST(LevelMeterTest, RisesFastAndFallsAtHalfTheRate)
{
    LevelMeter meter;
    const QList<float> rising = meter.meter(constant(16000, 3 * 1024, 1.0f));
    ASSERT_EQ(rising.size(), 3);
    EXPECT_NEAR(rising[0], 0.7f, 1e-6);
    EXPECT_NEAR(rising[1], 0.91f, 1e-6);
    EXPECT_NEAR(rising[2], 0.973f, 1e-6);

    meter.meter(constant(16000, 40 * 1024, 1.0f));
    ASSERT_EQ(meter.smoothedLevel(), 1.0f);
    const QList<float> falling = meter.meter(constant(16000, 2 * 1024, 0.0f));
    EXPECT_NEAR(falling[0], 0.65f, 1e-6);
    EXPECT_NEAR(falling[1], 0.4225f, 1e-6);

    meter.reset();
    EXPECT_EQ(meter.meter(constant(16000, 1024, 0.0f)), QList<float> {0.0f});
}

TEST(LevelMeterTest, MeasuresTheFirstChannelOnly)
{
    // Left silent, right at full scale.
    std::vector<float> samples;
    for (int i = 0; i < 1600; ++i) {
        samples.push_back(0.0f);
        samples.push_back(1.0f);
    }
    LevelMeter meter;
    EXPECT_EQ(meter.meter(buffer(48000, 2, samples)), QList<float> {0.0f});
}

TEST(LevelMeterTest, ChunkRmsOfASine)
{
    // A full-scale sine has an RMS of 1/sqrt(2), about -3 dBFS.
    std::vector<float> samples(1600);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = float(std::sin(2 * M_PI * 1000.0 * double(i) / 48000.0));
    }
    LevelMeter meter;
    const QList<float> values = meter.meter(buffer(48000, 1, samples));
    ASSERT_EQ(values.size(), 1);
    EXPECT_NEAR(values[0], 0.7f * (1.0f - 3.0103f / 50.0f), 1e-4);
}

} // namespace
