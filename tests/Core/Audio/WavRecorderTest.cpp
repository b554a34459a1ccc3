#include "Core/Audio/WavRecorder.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cmath>
#include <limits>

namespace {

AudioBuffer constant(double sampleRate, int channels, qsizetype frames, float value)
{
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    buffer.samples.assign(size_t(frames * channels), value);
    return buffer;
}

AudioBuffer sine(double sampleRate, qsizetype frames, double hertz, qsizetype startFrame = 0)
{
    AudioBuffer buffer = constant(sampleRate, 1, frames, 0);
    for (qsizetype i = 0; i < frames; ++i) {
        buffer.samples[size_t(i)] =
            float(0.5 * std::sin(2 * M_PI * hertz * double(startFrame + i) / sampleRate));
    }
    return buffer;
}

quint32 le32(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 le16(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

qint16 pcmAt(const QByteArray &wav, qsizetype sample)
{
    return qFromLittleEndian<qint16>(wav.constData() + WavRecorder::headerSize + sample * 2);
}

TEST(WavRecorderTest, Header)
{
    const QByteArray header = WavRecorder::wavHeader(9600);
    ASSERT_EQ(header.size(), 44);
    EXPECT_EQ(header.mid(0, 4), QByteArray("RIFF"));
    EXPECT_EQ(le32(header, 4), 9636u);
    EXPECT_EQ(header.mid(8, 4), QByteArray("WAVE"));
    EXPECT_EQ(header.mid(12, 4), QByteArray("fmt "));
    EXPECT_EQ(le32(header, 16), 16u);
    EXPECT_EQ(le16(header, 20), 1u);
    EXPECT_EQ(le16(header, 22), 1u);
    EXPECT_EQ(le32(header, 24), 16000u);
    EXPECT_EQ(le32(header, 28), 32000u);
    EXPECT_EQ(le16(header, 32), 2u);
    EXPECT_EQ(le16(header, 34), 16u);
    EXPECT_EQ(header.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(le32(header, 40), 9600u);
    EXPECT_EQ(WavRecorder::wavHeader(0).toHex(),
              QByteArray("52494646240000005741564566"
                         "6d74201000000001000100803e0000007d00000200100064617461"
                         "00000000"));
}

TEST(WavRecorderTest, MinimumLength)
{
    struct Case
    {
        qsizetype frames;
        std::optional<qsizetype> wavSize;
    };
    for (const Case c : {Case {4640, std::nullopt}, Case {4799, std::nullopt}, Case {4800, 9644},
                         Case {16000, 32044}}) {
        SCOPED_TRACE(c.frames);
        WavRecorder recorder;
        recorder.append(constant(16000, 1, c.frames, 0.25f));
        const auto wav = recorder.finishWAV();
        ASSERT_EQ(wav.has_value(), c.wavSize.has_value());
        if (wav) {
            EXPECT_EQ(wav->size(), *c.wavSize);
            EXPECT_EQ(le32(*wav, 4), quint32(*c.wavSize - 8));
            EXPECT_EQ(le32(*wav, 40), quint32(*c.wavSize - 44));
        }
    }
}

TEST(WavRecorderTest, SampleConversion)
{
    struct Case
    {
        float x;
        qint16 expected;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {1.5f, 32767}, {1.0f, 32767},   {-1.5f, -32767}, {-1.0f, -32767},
        {0.5f, 16383}, {-0.5f, -16383}, {0.0f, 0},       {1e-5f, 0},
        {-1e-5f, 0},   {inf, 32767},    {-inf, -32767},  {std::nanf(""), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(WavRecorder::pcmSample(c.x), c.expected);
    }

    // The same through a recording, first channel only.
    AudioBuffer stereo = constant(16000, 2, 4800, 0.0f);
    stereo.samples[0] = 1.5f;
    stereo.samples[1] = 0.25f; // second channel, dropped
    stereo.samples[2] = -1.5f;
    stereo.samples[4] = 0.5f;
    stereo.samples[6] = std::nanf("");
    WavRecorder recorder;
    recorder.append(stereo);
    const auto wav = recorder.finishWAV();
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->size(), 44 + 9600);
    EXPECT_EQ(pcmAt(*wav, 0), 32767);
    EXPECT_EQ(pcmAt(*wav, 1), -32767);
    EXPECT_EQ(pcmAt(*wav, 2), 16383);
    EXPECT_EQ(pcmAt(*wav, 3), 0);
}

TEST(WavRecorderTest, ResamplesToSixteenKilohertz)
{
    // One second of a 440 Hz tone at 48 kHz in capture-sized buffers.
    WavRecorder recorder;
    for (qsizetype start = 0; start < 48000; start += 4096) {
        recorder.append(sine(48000, std::min<qsizetype>(4096, 48000 - start), 440, start));
    }
    const auto wav = recorder.finishWAV();
    ASSERT_TRUE(wav.has_value());
    const qsizetype samples = (wav->size() - 44) / 2;
    // The converter holds back a few milliseconds that a stream never asked to end does not give.
    EXPECT_LE(samples, 16000);
    EXPECT_GE(samples, 16000 - 160);

    // The tone survives: its level and its frequency (zero crossings).
    double energy = 0;
    int crossings = 0;
    for (qsizetype i = 1000; i < samples - 1000; ++i) {
        const double x = pcmAt(*wav, i) / 32767.0;
        energy += x * x;
        crossings += (pcmAt(*wav, i - 1) < 0) != (pcmAt(*wav, i) < 0);
    }
    const double seconds = double(samples - 2000) / 16000;
    EXPECT_NEAR(std::sqrt(energy / double(samples - 2000)), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(crossings / seconds / 2, 440, 2);
}

TEST(WavRecorderTest, FormatChangeMidwayBuildsANewConverter)
{
    WavRecorder recorder;
    recorder.append(sine(48000, 48000, 300)); // 1 s
    recorder.append(sine(44100, 44100, 300)); // 1 s, new converter
    recorder.append(constant(16000, 1, 16000, 0.1f)); // 1 s, no conversion
    recorder.append(sine(48000, 24000, 300)); // 0.5 s, a fresh converter again
    const auto wav = recorder.finishWAV();
    ASSERT_TRUE(wav.has_value());
    const qsizetype samples = (wav->size() - 44) / 2;
    EXPECT_LE(samples, 56000);
    EXPECT_GE(samples, 56000 - 3 * 160);
}

TEST(WavRecorderTest, StopsAtTheCap)
{
    // Whole buffers are taken until the cap is reached; the last one may cross it.
    WavRecorder recorder;
    const AudioBuffer buffer = constant(16000, 1, 100'000, 0.1f); // 200,000 bytes each
    for (int i = 0; i < 100; ++i) {
        recorder.append(buffer);
    }
    const auto wav = recorder.finishWAV();
    ASSERT_TRUE(wav.has_value());
    // 94 buffers make 18,800,000 bytes (< cap); the 95th takes it to 19,000,000; no more.
    EXPECT_EQ(wav->size() - 44, 19'000'000);
    EXPECT_EQ(le32(*wav, 40), 19'000'000u);
}

TEST(WavRecorderTest, NothingIsAddedAfterFinishing)
{
    WavRecorder recorder;
    recorder.append(constant(16000, 1, 8000, 0.1f));
    const auto first = recorder.finishWAV();
    ASSERT_TRUE(first.has_value());
    recorder.append(constant(16000, 1, 8000, 0.1f));
    EXPECT_EQ(recorder.finishWAV(), first);
}

TEST(WavRecorderTest, UnusableBuffersAreLeftOut)
{
    WavRecorder recorder;
    recorder.append(constant(0, 1, 4800, 0.1f));
    recorder.append(constant(16000, 0, 4800, 0.1f));
    recorder.append(constant(-8000, 1, 4800, 0.1f));
    recorder.append(constant(16000, 1, 0, 0.1f));
    recorder.append(constant(16000, 1, 4800, 0.1f));
    const auto wav = recorder.finishWAV();
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->size(), 44 + 9600);
}

} // namespace
