// Settling speech at its pauses, on the real decoder (pocketsphinx with the en-US model) and the
// read sentences of pocketsphinx-testdata. Decoding runs as fast as the machine allows: where
// the utterances end depends on the audio alone, not on the pace it comes at.
#include "Platform/Pocketsphinx/PocketsphinxStream.h"

#include "Platform/Pocketsphinx/LibrivoxDictation.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/Pocketsphinx/PocketsphinxSentences.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<std::int16_t> pcm16(const AudioBuffer &audio)
{
    std::vector<std::int16_t> pcm(audio.samples.size());
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = std::int16_t(std::lrint(std::clamp(audio.samples[i], -1.0f, 1.0f) * 32767.0f));
    }
    return pcm;
}

} // namespace

class PocketsphinxStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const PocketsphinxModel &installed : PocketsphinxModel::installed()) {
            if (installed.locale == SpeechLocale(QStringLiteral("en-US"))) {
                model = installed;
            }
        }
        ASSERT_FALSE(model.locale.isEmpty())
            << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
        dictation = LibrivoxDictation::load();
        ASSERT_EQ(dictation.sentences, 5)
            << "the librivox recordings of pocketsphinx-testdata are missing: "
            << SpeechRecording::path(QStringLiteral("librivox")).toStdString();
        pcm = pcm16(dictation.audio);
        decoder = std::make_unique<PocketsphinxDecoder>(model);
    }

    // The dictation through a stream on a fresh decoder (a decoder's channel estimate carries
    // over from one utterance to the next), in pieces of `piece` samples.
    QString settledText(std::size_t piece, int *settled = nullptr)
    {
        PocketsphinxDecoder fresh(model);
        PocketsphinxStream stream(fresh);
        for (std::size_t at = 0; at < pcm.size(); at += piece) {
            stream.process(pcm.data() + at, std::min(piece, pcm.size() - at));
        }
        const QString text = stream.finish();
        if (settled) {
            *settled = stream.settledCount();
        }
        return text;
    }

    PocketsphinxModel model;
    LibrivoxDictation dictation;
    std::vector<std::int16_t> pcm;
    std::unique_ptr<PocketsphinxDecoder> decoder;
};

TEST_F(PocketsphinxStreamTest, SettlesADictationAtItsPausesAndLosesNoAccuracy)
{
    decoder->startUtterance();
    decoder->process(pcm.data(), pcm.size());
    decoder->endUtterance();
    const QString whole = decoder->hypothesis();

    int settled = 0;
    // 341 samples: what a 48 kHz capture buffer of 1024 frames becomes.
    const QString text = settledText(341, &settled);

    EXPECT_GE(settled, dictation.sentences - 1)
        << "the pauses between the sentences end utterances";
    const double wholeRate = dictation.wordErrorRate(whole);
    const double settledRate = dictation.wordErrorRate(text);
    EXPECT_LE(settledRate, wholeRate + 0.01) << "one utterance:   " << whole.toStdString() << '\n'
                                             << "settled:         " << text.toStdString();
    std::printf("word error rate: %.3f settled at %d pauses, %.3f as one utterance\n", settledRate,
                settled, wholeRate);

    // The same audio in other pieces ends its utterances at the same places.
    EXPECT_EQ(settledText(4000), text);
}

TEST_F(PocketsphinxStreamTest, ShowsSettledAndOpenTextAndEndsIdleAfterAPause)
{
    // The first sentence and the pause after it: settled there, the decoder left idle.
    const std::size_t second = dictation.starts[1];
    PocketsphinxStream stream(*decoder);
    EXPECT_EQ(stream.text(), QString());
    std::size_t at = 0;
    while (at < second && !stream.process(pcm.data() + at, 341)) {
        at += 341;
    }
    ASSERT_LT(at, second) << "no utterance ended in the pause after the first sentence";
    EXPECT_GT(at, dictation.starts[1] - 16000) << "an utterance ended inside the first sentence";
    EXPECT_EQ(stream.settledCount(), 1);
    EXPECT_FALSE(decoder->isInUtterance()) << "a fresh utterance waits for the next audio";
    const QString first = stream.text();
    EXPECT_TRUE(first.contains(QStringLiteral("in his power to do"))) << first.toStdString();
    if (at + 341 < second) {
        EXPECT_FALSE(stream.process(pcm.data() + at + 341, second - at - 341))
            << "the rest of the pause ends no utterance";
    }

    // Half of the second sentence: the open hypothesis follows the settled text.
    stream.process(pcm.data() + second, 24000);
    EXPECT_TRUE(decoder->isInUtterance());
    EXPECT_TRUE(stream.text().startsWith(first + u' ')) << stream.text().toStdString();
    const QString all = stream.finish();
    EXPECT_TRUE(all.startsWith(first + u' ')) << all.toStdString();
    EXPECT_EQ(stream.text(), all);
    EXPECT_FALSE(decoder->isInUtterance());
}

TEST_F(PocketsphinxStreamTest, NoiseBeforeTheSpeechEndsNoUtterance)
{
    // Five seconds of quiet room noise, which the voice detector takes for speech at first, then
    // a phrase: ended there, the noise alone would skew the decoder's channel estimate and the
    // phrase would come out wrong.
    AudioBuffer audio;
    audio.sampleRate = 16000;
    audio.channels = 1;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
    audio.samples.resize(5 * 16000);
    for (float &sample : audio.samples) {
        sample = noise(random);
    }
    SpeechRecording::append(audio, SpeechRecording::load(QStringLiteral("goforward.raw")));
    const std::vector<std::int16_t> samples = pcm16(audio);

    PocketsphinxStream stream(*decoder);
    for (std::size_t at = 0; at < samples.size(); at += 341) {
        stream.process(samples.data() + at, std::min<std::size_t>(341, samples.size() - at));
    }
    EXPECT_EQ(stream.finish(), QStringLiteral("go forward ten meters"));
}

TEST_F(PocketsphinxStreamTest, FullStopsFallAtTheEndsOfTheSentences)
{
    PocketsphinxStream stream(*decoder);
    for (std::size_t at = 0; at < pcm.size(); at += 341) {
        stream.process(pcm.data() + at, std::min<std::size_t>(341, pcm.size() - at));
    }
    stream.finish();
    const std::vector<PocketsphinxStream::Stretch> stretches = stream.stretches();
    ASSERT_FALSE(stretches.empty());

    // The sentence a stretch belongs to: the one under its last speech, a little before the
    // detector's speech-to-silence point where it was settled.
    auto sentenceOf = [&](const PocketsphinxStream::Stretch &stretch) {
        const std::int64_t speech = stretch.end - 5 * 16000 / 10;
        int sentence = 0;
        while (sentence + 1 < dictation.sentences
               && std::int64_t(dictation.starts[size_t(sentence) + 1]) <= speech) {
            ++sentence;
        }
        return sentence;
    };
    // Full stops inside the dictation (the last one, at its end, is always right).
    int written = 0;
    int right = 0;
    for (std::size_t i = 0; i + 1 < stretches.size(); ++i) {
        std::printf("pause %.2f s after \"%s\"\n", stretches[i].pauseAfter,
                    qPrintable(stretches[i].text));
        if (stretches[i].pauseAfter >= PocketsphinxSentences::sentencePause) {
            ++written;
            right += sentenceOf(stretches[i]) != sentenceOf(stretches[i + 1]) ? 1 : 0;
        }
    }
    const int ends = dictation.sentences - 1;
    const double precision = written ? double(right) / written : 1.0;
    const double recall = double(right) / ends;
    std::printf("sentence ends inside the dictation: %d of %d full stops right (precision %.2f), "
                "%d of %d ends found (recall %.2f), pause threshold %.2f s\n",
                right, written, precision, right, ends, recall,
                PocketsphinxSentences::sentencePause);
    EXPECT_GE(precision, 0.9);
    EXPECT_EQ(PocketsphinxSentences::format(stretches, true).count(u'.'), written + 1);
}
