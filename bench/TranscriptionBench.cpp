// Speech recognition costs: sample-rate conversion of captured audio, loading a pocketsphinx
// decoder against taking one from the pool, streaming recognition of recorded speech (real-time
// factor and word error rate), and the delay from finishSession() to the end of the stream,
// after a ten-second utterance and after a long dictation.
// The recordings come from pocketsphinx-testdata, the model from pocketsphinx-en-us.

#include "Base/ManualClock.h"
#include "Core/Transcription/BufferConverter.h"
#include "Core/Transcription/EngineTranscript.h"
#include "Core/Transcription/LegacyTranscriptionEngine.h"
#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/SpeechRecognitionService.h"
#include "TestSupport/WordErrors.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>
#include <thread>

#include <time.h>

using namespace std::chrono_literals;

namespace {

QString testData(const QString &name)
{
#ifdef SONORVELLE_POCKETSPHINX_TESTDATA
    return QStringLiteral(SONORVELLE_POCKETSPHINX_TESTDATA "/") + name;
#else
    return name;
#endif
}

// 16 kHz mono 16-bit speech (raw or WAV) as float samples; empty when missing.
AudioBuffer loadSpeech(const QString &name)
{
    AudioBuffer buffer;
    buffer.sampleRate = 16000;
    buffer.channels = 1;
    QFile file(testData(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return buffer;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("RIFF")) {
        bytes = bytes.mid(bytes.indexOf("data") + 8);
    }
    buffer.samples.resize(size_t(bytes.size() / 2));
    for (size_t i = 0; i < buffer.samples.size(); ++i) {
        qint16 sample;
        std::memcpy(&sample, bytes.constData() + 2 * i, 2);
        buffer.samples[i] = float(sample) / 32768.0f;
    }
    return buffer;
}

AudioBuffer toCaptureFormat(const AudioBuffer &speech, const AudioFormat &format)
{
    BufferConverter converter;
    AudioBuffer out = converter.convertBuffer(speech, format);
    const AudioBuffer &tail = converter.drain();
    out.samples.insert(out.samples.end(), tail.samples.begin(), tail.samples.end());
    return out;
}

PocketsphinxModel englishModel()
{
    for (const PocketsphinxModel &model : PocketsphinxModel::installed()) {
        if (model.locale == SpeechLocale(QStringLiteral("en-US"))) {
            return model;
        }
    }
    return {};
}

qint64 residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return qint64(resident) * 4096;
}

// The five librivox recordings with their transcriptions, in the order listed.
struct LibrivoxRecording
{
    AudioBuffer speech;
    QStringList reference;
};

std::vector<LibrivoxRecording> librivoxRecordings()
{
    std::vector<LibrivoxRecording> recordings;
    QFile transcriptions(testData(QStringLiteral("librivox/transcription")));
    if (!transcriptions.open(QIODevice::ReadOnly)) {
        return recordings;
    }
    static const QRegularExpression line(QStringLiteral("^<s> (.*) </s> \\((.*)\\)$"));
    for (const QString &text :
         QString::fromUtf8(transcriptions.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const auto match = line.match(text.trimmed());
        if (!match.hasMatch()) {
            continue;
        }
        recordings.push_back(
            {loadSpeech(QStringLiteral("librivox/") + match.captured(2) + QStringLiteral(".wav")),
             match.captured(1).split(u' ', Qt::SkipEmptyParts)});
    }
    return recordings;
}

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// One dictation session through the whole engine: the audio fed at the pace of a microphone in
// 10 ms buffers of 48 kHz capture, then finishSession(). Returns the seconds from
// finishSession() to the end of the stream and the settled transcript; `cpuSeconds` is the
// process's processor time over the whole session.
double dictate(const std::shared_ptr<SpeechRecognitionService> &service,
               const std::vector<AudioBuffer> &buffers, QString &transcript, double &cpuSeconds)
{
    ManualClock clock;
    auto engine = LegacyTranscriptionEngine::make(service, clock);
    std::optional<AsyncStream<EngineUpdate>> stream;
    auto open = [&]() -> QCoro::Task<void> {
        stream = co_await engine->startSession(SpeechLocale(QStringLiteral("en-US")), {});
    };
    auto opening = open();
    while (!stream) {
        QCoreApplication::processEvents();
    }
    bool ended = false;
    EngineTranscript received;
    auto consume = [&]() -> QCoro::Task<void> {
        try {
            while (auto update = co_await stream->next()) {
                received.apply(*update);
            }
        } catch (...) { }
        ended = true;
    };
    auto consuming = consume();
    const double cpuBefore = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < buffers.size(); ++i) {
        engine->feed(buffers[i]);
        QCoreApplication::processEvents();
        std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * (i + 1)));
    }
    const auto finished = std::chrono::steady_clock::now();
    auto finishing = engine->finishSession();
    // Waiting yields the processor (as the application's event loop does), which matters when
    // the benchmark runs on one core with the recogniser's threads.
    while (!ended) {
        QCoreApplication::processEvents();
        if (!ended) {
            std::this_thread::sleep_for(200us);
        }
    }
    const std::chrono::duration<double> tail = std::chrono::steady_clock::now() - finished;
    cpuSeconds = processCpuSeconds() - cpuBefore;
    transcript = received.settled();
    return tail.count();
}

} // namespace

// One second of 48 kHz stereo capture to the recogniser's 16 kHz mono, in capture-sized buffers.
static void BM_ConvertOneSecond48kStereoTo16kMono(benchmark::State &state)
{
    AudioBuffer second;
    second.sampleRate = 48000;
    second.channels = 2;
    second.samples.resize(48000 * 2);
    for (size_t i = 0; i < second.samples.size(); ++i) {
        second.samples[i] =
            float(0.3 * std::sin(2 * std::numbers::pi * 440.0 * double(i / 2) / 48000));
    }
    const auto buffers = second.blocks(state.range(0));
    BufferConverter converter;
    for (auto _ : state) {
        for (const AudioBuffer &buffer : buffers) {
            benchmark::DoNotOptimize(converter.convertBuffer(buffer, {16000, 1}).samples.data());
        }
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertOneSecond48kStereoTo16kMono)
    ->Arg(480)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);

// Loading a decoder from disk, with the memory it takes.
static void BM_DecoderColdLoad(benchmark::State &state)
{
    const PocketsphinxModel model = englishModel();
    if (model.locale.isEmpty()) {
        state.SkipWithError("no pocketsphinx model for en-US (pocketsphinx-en-us)");
        return;
    }
    qint64 growth = 0;
    for (auto _ : state) {
        const qint64 before = residentBytes();
        PocketsphinxDecoder decoder(model);
        // The first load shows the memory a decoder takes; later ones reuse the pages it freed.
        growth = std::max(growth, residentBytes() - before);
        benchmark::DoNotOptimize(&decoder);
    }
    state.counters["resident_MB"] = double(growth) / (1024.0 * 1024.0);
}
BENCHMARK(BM_DecoderColdLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

// Taking a decoder from a warm pool and handing it back, as every segment after the first does.
static void BM_DecoderPoolReuse(benchmark::State &state)
{
    const PocketsphinxModel model = englishModel();
    if (model.locale.isEmpty()) {
        state.SkipWithError("no pocketsphinx model for en-US (pocketsphinx-en-us)");
        return;
    }
    PocketsphinxDecoderPool pool(1);
    pool.release(pool.acquire(model));
    for (auto _ : state) {
        auto decoder = pool.acquire(model);
        decoder->startUtterance();
        pool.release(std::move(decoder));
    }
    state.counters["loads"] = pool.loadCount();
}
BENCHMARK(BM_DecoderPoolReuse)->Unit(benchmark::kMicrosecond);

// Streaming recognition of the five librivox recordings as captured at 48 kHz: conversion,
// decoding and a provisional hypothesis per buffer, as a recognition task does. Real-time factor
// (processing time over audio time, one thread) and word error rate against the transcription.
static void BM_StreamingRecognitionLibrivox(benchmark::State &state)
{
    const PocketsphinxModel model = englishModel();
    const std::vector<LibrivoxRecording> librivox = librivoxRecordings();
    if (model.locale.isEmpty() || librivox.size() != 5) {
        state.SkipWithError("needs pocketsphinx-en-us and pocketsphinx-testdata");
        return;
    }
    struct Recording
    {
        std::vector<AudioBuffer> buffers;
        QStringList reference;
        double seconds = 0;
    };
    std::vector<Recording> recordings;
    for (const LibrivoxRecording &recording : librivox) {
        recordings.push_back({toCaptureFormat(recording.speech, {48000, 1}).blocks(1024),
                              recording.reference, recording.speech.durationSeconds()});
    }
    PocketsphinxDecoder decoder(model);
    int errors = 0;
    int words = 0;
    double audioSeconds = 0;
    std::vector<std::int16_t> pcm;
    for (auto _ : state) {
        errors = 0;
        words = 0;
        audioSeconds = 0;
        for (const Recording &recording : recordings) {
            BufferConverter converter;
            decoder.startUtterance();
            auto process = [&](const AudioBuffer &buffer) {
                pcm.resize(buffer.samples.size());
                for (size_t i = 0; i < pcm.size(); ++i) {
                    pcm[i] = std::int16_t(
                        std::lrint(std::clamp(buffer.samples[i], -1.0f, 1.0f) * 32767.0f));
                }
                decoder.process(pcm.data(), pcm.size());
            };
            for (const AudioBuffer &buffer : recording.buffers) {
                process(converter.convertBuffer(buffer, {16000, 1}));
                benchmark::DoNotOptimize(decoder.hypothesis());
            }
            process(converter.drain());
            decoder.endUtterance();
            const QStringList hypothesis = decoder.hypothesis().split(u' ', Qt::SkipEmptyParts);
            errors += wordErrors(recording.reference, hypothesis);
            words += int(recording.reference.size());
            audioSeconds += recording.seconds;
        }
    }
    state.counters["rtf"] =
        benchmark::Counter(audioSeconds * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["wer"] = words ? double(errors) / words : 0;
    state.counters["audio_s"] = audioSeconds;
}
BENCHMARK(BM_StreamingRecognitionLibrivox)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

// From finishSession() to the end of the stream, for about ten seconds of speech fed at the pace
// of a microphone through the whole engine (its decoder kept warm in the pool), with the word
// error rate of the settled text.
static void BM_FinishToEndOfStream(benchmark::State &state)
{
    AudioBuffer speech = loadSpeech(QStringLiteral("goforward.raw"));
    if (speech.isEmpty()) {
        state.SkipWithError("needs pocketsphinx-testdata");
        return;
    }
    const AudioBuffer once = speech;
    QStringList reference;
    for (int i = 0; i < 4; ++i) {
        reference += QStringLiteral("go forward ten meters").split(u' ');
    }
    for (int i = 1; i < 4; ++i) {
        speech.samples.insert(speech.samples.end(), once.samples.begin(), once.samples.end());
    }
    const auto buffers = toCaptureFormat(speech, {48000, 1}).blocks(480);
    auto service = SpeechRecognitionService::system();
    int errors = 0;
    for (auto _ : state) {
        QString transcript;
        double cpu = 0;
        state.SetIterationTime(dictate(service, buffers, transcript, cpu));
        errors += wordErrors(reference, comparableWords(transcript));
    }
    state.counters["wer"] =
        double(errors) / (double(reference.size()) * double(state.iterations()));
}
BENCHMARK(BM_FinishToEndOfStream)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->UseManualTime();

// A long dictation: the five librivox recordings joined with a second of quiet room noise
// between them (about 29 s), fed at the pace of a microphone through the whole engine, then
// finishSession(). The time measured is from finishSession() to the end of the stream; the
// counters give the word error rate of the settled text against the joined transcriptions and
// the real-time factor (the process's processor time over the audio's length, feeding
// included).
static void BM_FinishAfterLongDictation(benchmark::State &state)
{
    const std::vector<LibrivoxRecording> recordings = librivoxRecordings();
    if (recordings.size() != 5 || englishModel().locale.isEmpty()) {
        state.SkipWithError("needs pocketsphinx-en-us and pocketsphinx-testdata");
        return;
    }
    AudioBuffer dictation;
    dictation.sampleRate = 16000;
    dictation.channels = 1;
    QStringList reference;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
    for (const LibrivoxRecording &recording : recordings) {
        if (!reference.isEmpty()) {
            for (int i = 0; i < 16000; ++i) {
                dictation.samples.push_back(noise(random));
            }
        }
        dictation.samples.insert(dictation.samples.end(), recording.speech.samples.begin(),
                                 recording.speech.samples.end());
        reference += recording.reference;
    }
    const auto buffers = toCaptureFormat(dictation, {48000, 1}).blocks(480);
    auto service = SpeechRecognitionService::system();
    int errors = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        QString transcript;
        double cpu = 0;
        const double tail = dictate(service, buffers, transcript, cpu);
        state.SetIterationTime(tail);
        errors += wordErrors(reference, comparableWords(transcript));
        cpuSeconds += cpu;
    }
    const double runs = double(state.iterations());
    state.counters["wer"] = double(errors) / (double(reference.size()) * runs);
    state.counters["rtf"] = cpuSeconds / (dictation.durationSeconds() * runs);
    state.counters["audio_s"] = dictation.durationSeconds();
}
BENCHMARK(BM_FinishAfterLongDictation)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime();
