#include "Core/Transcription/BufferConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

AudioBuffer sine(double rate, int channels, qsizetype frames, double frequency,
                 qsizetype offset = 0)
{
    AudioBuffer buffer;
    buffer.sampleRate = rate;
    buffer.channels = channels;
    buffer.samples.resize(size_t(frames * channels));
    for (qsizetype frame = 0; frame < frames; ++frame) {
        const float value =
            float(0.5 * std::sin(2 * std::numbers::pi * frequency * double(frame + offset) / rate));
        for (int channel = 0; channel < channels; ++channel) {
            buffer.samples[size_t(frame * channels + channel)] = value;
        }
    }
    return buffer;
}

// The whole stream through one converter, `chunk` frames at a time, drained at the end.
std::vector<float> convertInChunks(const AudioBuffer &source, const AudioFormat &target,
                                   qsizetype chunk)
{
    BufferConverter converter;
    std::vector<float> out;
    for (const AudioBuffer &piece : source.blocks(chunk)) {
        const AudioBuffer &converted = converter.convertBuffer(piece, target);
        out.insert(out.end(), converted.samples.begin(), converted.samples.end());
    }
    const AudioBuffer &tail = converter.drain();
    out.insert(out.end(), tail.samples.begin(), tail.samples.end());
    return out;
}

} // namespace

TEST(BufferConverterTest, PassesABufferInTheTargetFormatThroughUntouched)
{
    BufferConverter converter;
    const AudioBuffer source = sine(16000, 1, 160, 440);
    const AudioBuffer &result = converter.convertBuffer(source, {16000, 1});
    EXPECT_EQ(&result, &source);
    EXPECT_FALSE(converter.hasConverter());
}

TEST(BufferConverterTest, ConvertsCaptureFormatsToSixteenKilohertzMonoWithoutLosingFrames)
{
    const AudioFormat target {16000, 1};
    const struct
    {
        double rate;
        int channels;
    } formats[] = {{48000, 2}, {44100, 1}, {16000, 2}, {8000, 1}};
    for (const auto &format : formats) {
        SCOPED_TRACE(testing::Message() << format.rate << " Hz, " << format.channels << " ch");
        const AudioBuffer second = sine(format.rate, format.channels, qsizetype(format.rate), 440);
        const std::vector<float> out = convertInChunks(second, target, 4096);
        // One second in, one second out: the filter's delay comes out with drain().
        EXPECT_NEAR(double(out.size()), 16000.0, 2.0);
        // Still a 440 Hz tone of the same level: count the rising zero crossings and the peak.
        int crossings = 0;
        float peak = 0;
        for (size_t i = 200; i + 200 < out.size(); ++i) {
            crossings += out[i - 1] < 0 && out[i] >= 0;
            peak = std::max(peak, std::abs(out[i]));
        }
        EXPECT_NEAR(crossings, 440 * (out.size() - 400) / 16000.0, 2);
        EXPECT_NEAR(peak, 0.5f, 0.02f);
    }
}

TEST(BufferConverterTest, KeepsTheFilterStateFromOneBufferToTheNext)
{
    const AudioBuffer source = sine(48000, 1, 48000, 300);
    const std::vector<float> whole = convertInChunks(source, {16000, 1}, 48000);
    const std::vector<float> pieces = convertInChunks(source, {16000, 1}, 441);
    ASSERT_EQ(whole.size(), pieces.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        ASSERT_NEAR(whole[i], pieces[i], 1e-4f) << "frame " << i;
    }
}

TEST(BufferConverterTest, MixesChannels)
{
    BufferConverter converter;
    AudioBuffer stereo;
    stereo.sampleRate = 16000;
    stereo.channels = 2;
    stereo.samples = {0.5f, -0.5f, 0.25f, 0.75f};
    const AudioBuffer &mono = converter.convertBuffer(stereo, {16000, 1});
    EXPECT_EQ(mono.samples, (std::vector<float> {0.0f, 0.5f}));

    AudioBuffer single;
    single.sampleRate = 16000;
    single.channels = 1;
    single.samples = {0.1f, 0.2f};
    const AudioBuffer &both = converter.convertBuffer(single, {16000, 2});
    EXPECT_EQ(both.samples, (std::vector<float> {0.1f, 0.1f, 0.2f, 0.2f}));
    EXPECT_EQ(both.channels, 2);
}

TEST(BufferConverterTest, MakesANewConverterWhenTheCaptureFormatChanges)
{
    BufferConverter converter;
    converter.convertBuffer(sine(48000, 2, 4800, 440), {16000, 1});
    EXPECT_EQ(converter.inputFormat(), (AudioFormat {48000, 2}));
    converter.convertBuffer(sine(48000, 2, 4800, 440, 4800), {16000, 1});
    EXPECT_EQ(converter.inputFormat(), (AudioFormat {48000, 2}));

    const AudioBuffer &out = converter.convertBuffer(sine(44100, 1, 4410, 440), {16000, 1});
    EXPECT_EQ(converter.inputFormat(), (AudioFormat {44100, 1}));
    EXPECT_EQ(converter.outputFormat(), (AudioFormat {16000, 1}));
    EXPECT_EQ(out.sampleRate, 16000);
    EXPECT_LE(out.frameCount(), 1600);
}

TEST(BufferConverterTest, FailsForFormatsItCannotConvert)
{
    BufferConverter converter;
    converter.convertBuffer(sine(48000, 1, 480, 440), {16000, 1});
    ASSERT_TRUE(converter.hasConverter());

    AudioBuffer noRate = sine(48000, 1, 480, 440);
    noRate.sampleRate = 0;
    const struct
    {
        const char *name;
        AudioBuffer source;
        AudioFormat target;
    } cases[] = {
        {"no sample rate", noRate, {16000, 1}},
        {"no target channels", sine(48000, 1, 480, 440), {16000, 0}},
        {"ratio beyond the filter's range", sine(48000, 1, 480, 440), {48, 1}},
    };
    for (const auto &c : cases) {
        try {
            converter.convertBuffer(c.source, c.target);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const BufferConverter::Error &error) {
            EXPECT_EQ(error.kind(), BufferConverter::Error::Kind::failedToCreateConverter)
                << c.name;
        }
        EXPECT_FALSE(converter.hasConverter()) << c.name << ": the cache is emptied";
    }
}
