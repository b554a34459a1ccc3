// Cost of the per-buffer work on the capture thread (level meter, WAV conversion, gate), and the
// delay from the microphone to onBuffer through the real capture engine. The latter needs the
// test session's virtual microphone: run it under scripts/test's session, where
// SONORVELLE_TEST_VIRTMIC_FIFO names the pipe that feeds "virtmic".

#include "Core/Audio/AudioCapture.h"
#include "Core/Audio/AudioGate.h"
#include "Core/Audio/LevelMeter.h"
#include "Core/Audio/WavRecorder.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

AudioBuffer speechLike(double sampleRate, int channels, qsizetype frames)
{
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    buffer.samples.resize(size_t(frames * channels));
    for (qsizetype i = 0; i < frames * channels; ++i) {
        const double t = double(i / channels) / sampleRate;
        buffer.samples[size_t(i)] =
            float(0.3 * std::sin(2 * M_PI * 180 * t) + 0.1 * std::sin(2 * M_PI * 2300 * t));
    }
    return buffer;
}

void BM_LevelMeterPerBuffer(benchmark::State &state)
{
    const AudioBuffer buffer = speechLike(double(state.range(0)), int(state.range(1)), 4096);
    LevelMeter meter;
    for (auto _ : state) {
        benchmark::DoNotOptimize(meter.meter(buffer));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LevelMeterPerBuffer)->Args({48000, 2})->Args({44100, 1})->Args({16000, 1});

void BM_WavRecorderAppendPerBuffer(benchmark::State &state)
{
    const AudioBuffer buffer = speechLike(double(state.range(0)), int(state.range(1)), 4096);
    auto recorder = std::make_unique<WavRecorder>();
    qsizetype appended = 0;
    for (auto _ : state) {
        recorder->append(buffer);
        // A fresh recorder long before the size cap would make append() a no-op.
        if (++appended == 2000) {
            state.PauseTiming();
            recorder = std::make_unique<WavRecorder>();
            appended = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WavRecorderAppendPerBuffer)->Args({48000, 2})->Args({44100, 1})->Args({16000, 1});

void BM_AudioGateForwardPerBuffer(benchmark::State &state)
{
    const AudioBuffer buffer = speechLike(48000, 1, 4096);
    AudioGate gate;
    qsizetype forwarded = 0;
    gate.open([&forwarded](const AudioBuffer &b) { forwarded += b.frameCount(); });
    for (auto _ : state) {
        gate.feed(buffer);
    }
    benchmark::DoNotOptimize(forwarded);
}
BENCHMARK(BM_AudioGateForwardPerBuffer);

// Writes 20 ms chunks of 16 kHz mono silence into the virtual microphone's pipe in real time; on
// request one chunk starts with a click, and the moment of that write is kept.
class PacedMicrophoneWriter
{
public:
    explicit PacedMicrophoneWriter(int fd)
        : m_fd(fd)
        , m_thread([this] { run(); })
    { }
    ~PacedMicrophoneWriter()
    {
        m_stop = true;
        m_thread.join();
    }

    void requestClick() { m_clickRequested = true; }
    std::chrono::steady_clock::time_point clickWritten() const
    {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(m_clickWritten.load()));
    }

private:
    void run()
    {
        using namespace std::chrono;
        std::vector<qint16> chunk(320);
        auto deadline = steady_clock::now();
        while (!m_stop) {
            std::fill(chunk.begin(), chunk.end(), qint16(0));
            const bool click = m_clickRequested.exchange(false);
            if (click) {
                chunk[0] = 16384;
                m_clickWritten = steady_clock::now().time_since_epoch().count();
            }
            if (::write(m_fd, chunk.data(), chunk.size() * 2) < 0) {
                return;
            }
            deadline += milliseconds(20);
            std::this_thread::sleep_until(deadline);
        }
    }

    int m_fd;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_clickRequested {false};
    std::atomic<std::chrono::steady_clock::rep> m_clickWritten {0};
    std::thread m_thread;
};

// Time from writing a sample into the microphone's pipe to onBuffer receiving the buffer that
// holds it. "pipeline_ms" leaves out the wait for the rest of the 4096-frame buffer to fill (what
// the sound server and the engine add on their own).
void BM_CaptureToOnBufferLatency(benchmark::State &state)
{
    const QByteArray fifo = qgetenv("SONORVELLE_TEST_VIRTMIC_FIFO");
    if (fifo.isEmpty()) {
        state.SkipWithError("virtual microphone: SONORVELLE_TEST_VIRTMIC_FIFO is not set (run in "
                            "scripts/test's session)");
        return;
    }
    const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) {
        state.SkipWithError("virtual microphone: cannot open its pipe for writing");
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    struct Detection
    {
        std::atomic<bool> seen {false};
        std::atomic<std::chrono::steady_clock::rep> at {0};
        std::atomic<qsizetype> framesAfter {0};
        std::atomic<double> sampleRate {0};
    } detection;

    PacedMicrophoneWriter writer(fd);
    AudioCapture capture;
    capture.setPreferredDeviceUID(QStringLiteral("virtmic"));
    capture.setOnBuffer([&detection](const AudioBuffer &buffer) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        for (qsizetype frame = 0; frame < buffer.frameCount(); ++frame) {
            if (std::abs(buffer.sample(frame, 0)) > 0.25f && !detection.seen) {
                detection.framesAfter = buffer.frameCount() - 1 - frame;
                detection.sampleRate = buffer.sampleRate;
                detection.at = now;
                detection.seen = true;
                return;
            }
        }
    });
    try {
        capture.start();
    } catch (const std::exception &error) {
        state.SkipWithError((std::string("capture did not start: ") + error.what()).c_str());
        ::close(fd);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let the stream settle

    double pipelineSeconds = 0;
    for (auto _ : state) {
        detection.seen = false;
        writer.requestClick();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!detection.seen && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!detection.seen) {
            state.SkipWithError("virtual microphone: the click never reached onBuffer");
            break;
        }
        const double latency =
            std::chrono::duration<double>(
                std::chrono::steady_clock::duration(
                    detection.at - writer.clickWritten().time_since_epoch().count()))
                .count();
        state.SetIterationTime(latency);
        pipelineSeconds += latency - double(detection.framesAfter) / detection.sampleRate;
        // Space the clicks so that they fall at different places in the buffers.
        std::this_thread::sleep_for(std::chrono::milliseconds(90));
    }
    capture.stop();
    ::close(fd);
    state.counters["pipeline_ms"] =
        benchmark::Counter(pipelineSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CaptureToOnBufferLatency)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

} // namespace
