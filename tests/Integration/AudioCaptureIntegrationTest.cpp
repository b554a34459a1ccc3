// Capture from the virtual microphone of the test session ("virtmic", a PulseAudio pipe source
// at 16 kHz mono fed by the audio feeder fixture) through the real capture engine, and the device
// list following sources that the test loads and unloads with pactl.

#include "FixtureProgram.h"

#include "Core/Audio/AudioCapture.h"
#include "Core/Audio/LevelMeter.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "TestSupport/QtPrinters.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int answerTimeoutMs = 10000;
const QString recordingPath = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

// Runs pactl; the output on success, empty with a test failure otherwise.
QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(answerTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        ADD_FAILURE() << "PulseAudio: pactl " << arguments.join(' ').toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A source loaded for one test and unloaded when it ends (or earlier, by unload()).
class PulseModule
{
public:
    explicit PulseModule(const QStringList &arguments)
        : m_index(pactl(QStringList {QStringLiteral("load-module")} + arguments))
    { }
    ~PulseModule() { unload(); }
    bool isLoaded() const { return !m_index.isEmpty(); }
    void unload()
    {
        if (isLoaded()) {
            pactl({QStringLiteral("unload-module"), m_index});
            m_index.clear();
        }
    }

private:
    QString m_index;
};

// The audio feeder fixture, stopped when the object goes.
class Feeder
{
public:
    explicit Feeder(const QStringList &arguments)
    {
        const QString program = FixtureProgram::path(u"sonorvelle_audio_feeder");
        if (program.isEmpty()) {
            ADD_FAILURE() << "fixture program sonorvelle_audio_feeder was not built";
            return;
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(answerTimeoutMs)) {
            ADD_FAILURE() << "feeder: did not start";
        }
    }
    ~Feeder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(answerTimeoutMs)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }
    // Waits until the feeder has written everything and exited successfully.
    bool finish()
    {
        const bool done =
            QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, 30'000);
        return done && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
};

// What the capture delivered; buffers arrive on the capture thread.
struct Recording
{
    std::mutex lock;
    QList<AudioBuffer> buffers;
    QList<float> levels;
    QList<std::exception_ptr> failures;

    void attach(AudioCapture &capture)
    {
        capture.setOnBuffer([this](const AudioBuffer &buffer) {
            std::lock_guard guard(lock);
            buffers << buffer;
        });
        capture.setOnLevel([this](float level) { levels << level; });
        capture.setOnFailure([this](std::exception_ptr error) { failures << error; });
    }
    qsizetype frames()
    {
        std::lock_guard guard(lock);
        qsizetype total = 0;
        for (const AudioBuffer &buffer : buffers) {
            total += buffer.frameCount();
        }
        return total;
    }
    std::optional<AudioBuffer> last()
    {
        std::lock_guard guard(lock);
        return buffers.isEmpty() ? std::nullopt : std::optional(buffers.last());
    }
    // The first channel of every buffer, in order.
    std::vector<float> firstChannel()
    {
        std::lock_guard guard(lock);
        std::vector<float> result;
        for (const AudioBuffer &buffer : buffers) {
            for (qsizetype frame = 0; frame < buffer.frameCount(); ++frame) {
                result.push_back(buffer.sample(frame, 0));
            }
        }
        return result;
    }
};

std::vector<float> readRecording()
{
    QFile file(recordingPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "speech fixture " << recordingPath.toStdString()
                      << " is missing (package pocketsphinx-testdata)";
        return {};
    }
    const QByteArray bytes = file.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(bytes.constData());
    std::vector<float> result(size_t(bytes.size() / 2));
    for (size_t i = 0; i < result.size(); ++i) {
        result[i] = float(samples[i]) / 32768.0f;
    }
    return result;
}

std::vector<float> resampleTo16k(const std::vector<float> &input, double rate)
{
    std::vector<float> output(size_t(double(input.size()) * 16000.0 / rate) + 64);
    SRC_DATA data {};
    data.data_in = input.data();
    data.input_frames = long(input.size());
    data.data_out = output.data();
    data.output_frames = long(output.size());
    data.src_ratio = 16000.0 / rate;
    const int error = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
    EXPECT_EQ(error, 0) << src_strerror(error);
    output.resize(size_t(data.output_frames_gen));
    return output;
}

struct Alignment
{
    qsizetype offset = -1; // where the source starts in the capture
    double correlation = 0;
};

// The offset of `source` inside `captured` with the highest normalised correlation, searched
// around the first loud sample of each.
Alignment align(const std::vector<float> &captured, const std::vector<float> &source)
{
    const auto firstLoud = [](const std::vector<float> &samples) -> qsizetype {
        for (size_t i = 0; i < samples.size(); ++i) {
            if (std::abs(samples[i]) > 0.02f) {
                return qsizetype(i);
            }
        }
        return -1;
    };
    const qsizetype capturedOnset = firstLoud(captured);
    const qsizetype sourceOnset = firstLoud(source);
    if (capturedOnset < 0 || sourceOnset < 0) {
        return {};
    }
    Alignment best;
    const qsizetype guess = capturedOnset - sourceOnset;
    for (qsizetype offset = std::max<qsizetype>(0, guess - 800); offset <= guess + 800; ++offset) {
        if (offset + qsizetype(source.size()) > qsizetype(captured.size())) {
            break;
        }
        double cross = 0, energyA = 0, energyB = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            const double a = captured[size_t(offset) + i];
            const double b = source[i];
            cross += a * b;
            energyA += a * a;
            energyB += b * b;
        }
        const double correlation = cross / std::sqrt(energyA * energyB + 1e-30);
        if (correlation > best.correlation) {
            best = {offset, correlation};
        }
    }
    return best;
}

// Captures the fed recording through `capture` into `recording`.
void captureRecording(AudioCapture &capture, Recording &recording, double expectedRate)
{
    recording.attach(capture);
    ASSERT_NO_THROW(capture.start()) << "PulseAudio: the capture did not start";
    {
        Feeder feeder({QStringLiteral("--input"), recordingPath, QStringLiteral("--lead"),
                       QStringLiteral("300")});
        ASSERT_TRUE(feeder.finish()) << "feeder failed or is still writing";
    }
    // The recording plus its 500 ms of trailing silence, less what is still in flight.
    const qsizetype expected = qsizetype(expectedRate * (89160 / 2 / 16000.0 + 0.3));
    EXPECT_TRUE(QTest::qWaitFor([&] { return recording.frames() >= expected; }, answerTimeoutMs))
        << "captured only " << recording.frames() << " frames of about " << expected;
    capture.stop();
    QCoreApplication::processEvents(); // the last level values
}

void checkBuffersAndLevels(Recording &recording, double rate, int channels)
{
    std::lock_guard guard(recording.lock);
    ASSERT_GE(recording.buffers.size(), 2);
    LevelMeter meter;
    QList<float> expectedLevels;
    for (qsizetype i = 0; i < recording.buffers.size(); ++i) {
        const AudioBuffer &buffer = recording.buffers[i];
        EXPECT_EQ(buffer.sampleRate, rate);
        EXPECT_EQ(buffer.channels, channels);
        // Every buffer has the tap's size; only what was left at the stop comes shorter.
        if (i + 1 < recording.buffers.size()) {
            EXPECT_EQ(buffer.frameCount(), AudioCapture::tapBufferSize) << "buffer " << i;
        } else {
            EXPECT_LE(buffer.frameCount(), AudioCapture::tapBufferSize);
        }
        expectedLevels << meter.meter(buffer);
    }
    // The main thread saw the smoothed values of every buffer, in order, then the stop's 0.
    expectedLevels << 0.0f;
    EXPECT_EQ(recording.levels, expectedLevels);
}

TEST(AudioCaptureIntegration, CapturesTheVirtualMicrophoneAt16kHz)
{
    const std::vector<float> source = readRecording();
    ASSERT_FALSE(source.empty());
    AudioCapture capture;
    capture.setPreferredDeviceUID(QStringLiteral("virtmic"));
    Recording recording;
    captureRecording(capture, recording, 16000);
    checkBuffersAndLevels(recording, 16000, 1);

    // Same rate, same samples: only the sample type changed on the way.
    const std::vector<float> captured = recording.firstChannel();
    const Alignment alignment = align(captured, source);
    ASSERT_GE(alignment.offset, 0) << "the recording is not in the capture";
    EXPECT_GT(alignment.correlation, 0.999);
    float worst = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        worst = std::max(worst, std::abs(captured[size_t(alignment.offset) + i] - source[i]));
    }
    EXPECT_LE(worst * 32768.0f, 2.0f) << "samples differ from the fed recording";
}

TEST(AudioCaptureIntegration, CapturesAt48kHzThroughAResamplingSource)
{
    const std::vector<float> source = readRecording();
    ASSERT_FALSE(source.empty());
    PulseModule source48({QStringLiteral("module-remap-source"), QStringLiteral("master=virtmic"),
                          QStringLiteral("source_name=virtmic48"), QStringLiteral("rate=48000"),
                          QStringLiteral("channels=2")});
    ASSERT_TRUE(source48.isLoaded());
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return MicrophoneDevices::deviceID(QStringLiteral("virtmic48")).has_value(); },
        answerTimeoutMs))
        << "Qt never listed the 48 kHz source";

    AudioCapture capture;
    capture.setPreferredDeviceUID(QStringLiteral("virtmic48"));
    QStringList stages;
    capture.setOnStartStage([&stages](const QString &stage, const std::optional<QString> &detail) {
        stages << stage + QLatin1Char(' ') + detail.value_or(QString());
    });
    Recording recording;
    captureRecording(capture, recording, 48000);
    ASSERT_EQ(stages.size(), 3);
    EXPECT_EQ(stages[1], QStringLiteral("audio.tapReady 48000Hz 2ch"));
    checkBuffersAndLevels(recording, 48000, 2);

    const Alignment alignment = align(resampleTo16k(recording.firstChannel(), 48000), source);
    ASSERT_GE(alignment.offset, 0) << "the recording is not in the capture";
    EXPECT_GT(alignment.correlation, 0.97) << "the capture does not follow the fed recording";
}

TEST(AudioCaptureIntegration, UnpluggingTheChosenDeviceFallsBackToTheDefault)
{
    PulseModule usb({QStringLiteral("module-remap-source"), QStringLiteral("master=virtmic"),
                     QStringLiteral("source_name=sonorvelle_usb"), QStringLiteral("rate=48000"),
                     QStringLiteral("channels=1")});
    ASSERT_TRUE(usb.isLoaded());
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return MicrophoneDevices::deviceID(QStringLiteral("sonorvelle_usb")).has_value(); },
        answerTimeoutMs));

    Feeder feeder({QStringLiteral("--tone"), QStringLiteral("440:60000"), QStringLiteral("--lead"),
                   QStringLiteral("0"), QStringLiteral("--duration"), QStringLiteral("0")});
    AudioCapture capture;
    capture.setPreferredDeviceUID(QStringLiteral("sonorvelle_usb"));
    Recording recording;
    recording.attach(capture);
    ASSERT_NO_THROW(capture.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.last().has_value(); }, answerTimeoutMs))
        << "nothing captured from the chosen device";
    EXPECT_EQ(recording.last()->sampleRate, 48000);

    usb.unload();
    // The capture notices within its watch interval and carries on with the default input.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto last = recording.last();
            return last && last->sampleRate == 16000;
        },
        answerTimeoutMs))
        << "capture did not move to the default input";
    EXPECT_TRUE(capture.isRunning());
    EXPECT_TRUE(recording.failures.isEmpty());
    capture.stop();
}

TEST(MicrophoneDevicesIntegration, FollowsSourcesComingAndGoing)
{
    MicrophoneDevices devices;
    const AudioInputDevice virtmic {QStringLiteral("virtmic"), QString()};
    const auto has = [&devices](const QString &uid) {
        const QList<AudioInputDevice> list = devices.devices();
        return std::any_of(list.begin(), list.end(),
                           [&uid](const AudioInputDevice &device) { return device.uid == uid; });
    };
    ASSERT_TRUE(has(QStringLiteral("virtmic"))) << "PulseAudio: virtmic is not listed";

    const int withinMs =
        int(std::chrono::milliseconds(MicrophoneDevices::pollInterval).count()) + 1000;
    int notifications = 0;
    QObject::connect(&devices, &MicrophoneDevices::devicesChanged,
                     [&notifications] { ++notifications; });

    PulseModule probe(
        {QStringLiteral("module-null-source"), QStringLiteral("source_name=sonorvelle_probe")});
    ASSERT_TRUE(probe.isLoaded());
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return has(QStringLiteral("sonorvelle_probe")); }, withinMs))
        << "an added source was not listed within the poll interval";
    EXPECT_GE(notifications, 1);
    EXPECT_EQ(MicrophoneDevices::deviceID(QStringLiteral("sonorvelle_probe")),
              QStringLiteral("sonorvelle_probe"));

    probe.unload();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !has(QStringLiteral("sonorvelle_probe")); }, withinMs))
        << "a removed source stayed in the list";
    EXPECT_EQ(MicrophoneDevices::deviceID(QStringLiteral("sonorvelle_probe")), std::nullopt);
    EXPECT_TRUE(has(QStringLiteral("virtmic")));

    // Nothing changes: no further notification.
    const int settled = notifications;
    QTest::qWait(withinMs);
    EXPECT_EQ(notifications, settled);
}

} // namespace
