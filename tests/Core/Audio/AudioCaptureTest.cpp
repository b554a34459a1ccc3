#include "Core/Audio/AudioCapture.h"

#include "Base/ManualClock.h"
#include "Base/Timer.h"
#include "Core/DebugLogCapture.h"
#include "Fakes/FakeAudioEngine.h"
#include "Fakes/FakeAudioHardware.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>

#include <cmath>

using namespace std::chrono_literals;

namespace {

AudioBuffer constantBuffer(double sampleRate, int channels, qsizetype frames, float value)
{
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    buffer.samples.assign(size_t(frames * channels), value);
    return buffer;
}

std::vector<std::string> toStd(const QStringList &list)
{
    return DebugLogCapture::toStd(list);
}

class AudioCaptureTest : public ::testing::Test
{
protected:
    AudioCaptureTest()
    {
        m_script.clock = &m_clock;
        m_hardware.setDevices({{QStringLiteral("builtin"), QStringLiteral("Built-in Mic"), 2},
                               {QStringLiteral("usb"), QStringLiteral("USB Mic"), 1}});
        m_hardware.setDefaultInput(QStringLiteral("builtin"));
        m_capture =
            std::make_unique<AudioCapture>(FakeAudioEngine::factory(m_script), m_hardware, m_clock);
        m_capture->setOnLevel([this](float level) { m_levels << level; });
        m_capture->setOnBuffer([this](const AudioBuffer &buffer) { m_buffers << buffer; });
        m_capture->setOnFailure([this](std::exception_ptr error) {
            m_failures << error;
            m_events << QStringLiteral("failure");
        });
        m_capture->setOnStartStage(
            [this](const QString &stage, const std::optional<QString> &detail) {
                m_stages << stage + (detail ? QStringLiteral(" | ") + *detail : QString());
            });
    }

    FakeAudioEngine *engine() const
    {
        return m_script.engines.isEmpty() ? nullptr : m_script.engines.last().data();
    }
    // Runs the main-thread deliveries (level values, failure reports).
    static void drain() { QCoreApplication::processEvents(); }

    ManualClock m_clock;
    FakeAudioEngine::Script m_script;
    FakeAudioHardware m_hardware;
    std::unique_ptr<AudioCapture> m_capture;
    QList<float> m_levels;
    QList<AudioBuffer> m_buffers;
    QList<std::exception_ptr> m_failures;
    QStringList m_stages;
    QStringList m_events;
};

TEST_F(AudioCaptureTest, StartBuildsTapsAndReportsItsStages)
{
    m_capture->start();
    EXPECT_TRUE(m_capture->isRunning());
    EXPECT_EQ(toStd(m_script.calls),
              toStd({"made", "removeTap", "installTap 4096 48000Hz 2ch", "prepare", "start"}));
    EXPECT_EQ(toStd(m_stages),
              toStd({"audio.engineInit", "audio.tapReady | 48000Hz 2ch",
                     "audio.engineStart | IO開始 12ms"}));

    // A second start does nothing.
    m_capture->start();
    EXPECT_EQ(m_script.engines.size(), 1);
    EXPECT_EQ(m_stages.size(), 3);
}

TEST_F(AudioCaptureTest, BuffersGoOutUnchangedWithTheirLevelsOnTheMainThread)
{
    struct Case
    {
        double sampleRate;
        qsizetype expectedValues;
    };
    for (const Case c : {Case {48000, 3}, Case {44100, 3}, Case {16000, 4}}) {
        SCOPED_TRACE(c.sampleRate);
        m_levels.clear();
        m_buffers.clear();
        m_script.format = {c.sampleRate, 1};
        m_capture->start();
        const AudioBuffer buffer = constantBuffer(c.sampleRate, 1, 4096, 0.1f);
        ASSERT_TRUE(engine()->deliver(buffer));
        ASSERT_EQ(m_buffers.size(), 1);
        EXPECT_EQ(m_buffers[0].samples, buffer.samples);
        EXPECT_TRUE(m_levels.isEmpty()) << "levels must travel through the main thread's queue";
        drain();
        EXPECT_EQ(m_levels.size(), c.expectedValues);
        m_capture->stop();
        drain();
    }
}

TEST_F(AudioCaptureTest, StopEndsWithLevelZeroAfterTheQueuedValues)
{
    m_capture->start();
    engine()->deliver(constantBuffer(48000, 2, 4096, 1.0f));
    m_capture->stop();
    EXPECT_FALSE(m_capture->isRunning());
    EXPECT_EQ(m_script.calls.mid(5), (QStringList {"removeTap", "stop", "destroyed"}));
    drain();
    ASSERT_EQ(m_levels.size(), 4);
    EXPECT_NEAR(m_levels[2], 0.973f, 1e-5);
    EXPECT_EQ(m_levels.last(), 0.0f);

    // Stopping again does nothing, not even another 0.
    m_capture->stop();
    drain();
    EXPECT_EQ(m_levels.size(), 4);
}

TEST_F(AudioCaptureTest, NoUsableInputFailsWithNothingLeft)
{
    for (const AudioEngine::Format format :
         {AudioEngine::Format {0, 1}, AudioEngine::Format {48000, 0}}) {
        m_script.format = format;
        m_script.calls.clear();
        try {
            m_capture->start();
            ADD_FAILURE() << "start succeeded";
        } catch (const AudioCapture::CaptureError &error) {
            EXPECT_EQ(error.kind(), AudioCapture::CaptureError::Kind::noInputDevice);
        }
        EXPECT_FALSE(m_capture->isRunning());
        EXPECT_EQ(toStd(m_script.calls), toStd({"made", "removeTap", "stop", "destroyed"}));
    }

    // No engine at all.
    AudioCapture capture([] { return std::unique_ptr<AudioEngine>(); }, m_hardware, m_clock);
    EXPECT_THROW(capture.start(), AudioCapture::CaptureError);
    EXPECT_FALSE(capture.isRunning());
}

TEST_F(AudioCaptureTest, EngineStartErrorComesOutUnchanged)
{
    m_script.startFailure = QStringLiteral("device busy");
    try {
        m_capture->start();
        ADD_FAILURE() << "start succeeded";
    } catch (const AudioEngine::Error &error) {
        EXPECT_STREQ(error.what(), "device busy");
    }
    EXPECT_FALSE(m_capture->isRunning());
    EXPECT_EQ(m_script.calls.mid(5), (QStringList {"removeTap", "stop", "destroyed"}));

    // The next start tries again with a fresh engine.
    m_script.startFailure.reset();
    m_capture->start();
    EXPECT_TRUE(m_capture->isRunning());
    EXPECT_EQ(m_script.engines.size(), 2);
}

TEST_F(AudioCaptureTest, CaptureErrorText)
{
    const AudioCapture::CaptureError error;
    EXPECT_EQ(error.errorDescription(AppLanguage::en),
              QStringLiteral("No audio input device is available."));
    EXPECT_EQ(error.errorDescription(AppLanguage::ja),
              QStringLiteral("利用可能な音声入力デバイスがありません。"));
}

// Every failure of the capture reaches the user in the interface language; the sound system's
// own reason does not.
TEST_F(AudioCaptureTest, FailureTextsAreInTheInterfaceLanguage)
{
    const auto noDevice = std::make_exception_ptr(AudioCapture::CaptureError());
    const auto engineRefused = std::make_exception_ptr(AudioEngine::Error("device busy"));
    for (const AppLanguage language : {AppLanguage::en, AppLanguage::ja, AppLanguage::de}) {
        SCOPED_TRACE(language.rawValue().toStdString());
        const QString expected = AudioCapture::CaptureError().errorDescription(language);
        EXPECT_EQ(AudioCapture::failureDescription(noDevice, language), expected);
        EXPECT_EQ(AudioCapture::failureDescription(engineRefused, language), expected);
    }
    EXPECT_EQ(AudioCapture::failureDescription(engineRefused, AppLanguage::de),
              QStringLiteral("Es ist kein Audioeingabegerät verfügbar."));
    // Not the capture's: left to whoever raised it.
    EXPECT_EQ(AudioCapture::failureDescription(std::make_exception_ptr(std::runtime_error("x")),
                                               AppLanguage::en),
              std::nullopt);
    EXPECT_EQ(AudioCapture::failureDescription(nullptr, AppLanguage::en), std::nullopt);
}

TEST_F(AudioCaptureTest, PreferredDevice)
{
    struct Case
    {
        const char *what;
        std::optional<QString> uid;
        std::optional<QString> pinFailure;
        QStringList expectedCalls;
        QStringList expectedLog;
    };
    const QList<Case> cases {
        {"no preference: the system default",
         std::nullopt,
         std::nullopt,
         {"made", "removeTap"},
         {}},
        {"a present device is pinned",
         QStringLiteral("usb"),
         std::nullopt,
         {"made", "pin usb", "removeTap"},
         {}},
        {"an unknown uid is passed over silently",
         QStringLiteral("gone"),
         std::nullopt,
         {"made", "removeTap"},
         {}},
        {"a failed pin is logged and capture goes on",
         QStringLiteral("usb"),
         QStringLiteral("not an input device"),
         {"made", "pin usb", "removeTap"},
         {"audio: mic pin failed (not an input device) uid=usb → システム既定にフォールバック"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DebugLogCapture log;
        m_script.calls.clear();
        m_script.pinFailure = c.pinFailure;
        m_capture->setPreferredDeviceUID(c.uid);
        m_capture->start();
        EXPECT_TRUE(m_capture->isRunning());
        EXPECT_EQ(toStd(m_script.calls.mid(0, c.expectedCalls.size())), toStd(c.expectedCalls));
        EXPECT_EQ(log.lines(), toStd(c.expectedLog));
        m_capture->stop();
    }
}

TEST_F(AudioCaptureTest, ChangingThePreferredDevice)
{
    // While stopped: nothing happens until the next start, which uses it.
    m_capture->setPreferredDeviceUID(QStringLiteral("usb"));
    EXPECT_TRUE(m_script.engines.isEmpty());
    m_capture->start();
    EXPECT_TRUE(m_script.calls.contains(QStringLiteral("pin usb")));

    // The same value while running: no restart.
    m_capture->setPreferredDeviceUID(QStringLiteral("usb"));
    EXPECT_EQ(m_script.engines.size(), 1);

    // Another value while running: at once on a new engine, without the engine-init stage.
    m_stages.clear();
    m_script.calls.clear();
    m_capture->setPreferredDeviceUID(QStringLiteral("builtin"));
    EXPECT_TRUE(m_capture->isRunning());
    EXPECT_EQ(m_script.engines.size(), 2);
    EXPECT_EQ(toStd(m_script.calls),
              toStd({"removeTap", "stop", "destroyed", "made", "pin builtin", "removeTap",
                     "installTap 4096 48000Hz 2ch", "prepare", "start"}));
    EXPECT_EQ(toStd(m_stages),
              toStd({"audio.tapReady | 48000Hz 2ch", "audio.engineStart | IO開始 12ms"}));

    // Back to the system default.
    m_capture->setPreferredDeviceUID(std::nullopt);
    EXPECT_EQ(m_script.engines.size(), 3);
    EXPECT_FALSE(m_script.calls.mid(9).join(',').contains(QStringLiteral("pin")));
}

TEST_F(AudioCaptureTest, ConfigurationChanges)
{
    struct Case
    {
        const char *what;
        bool engineStops;
        std::optional<AudioEngine::Format> newFormat;
        bool restarts;
    };
    const Case cases[] = {
        {"same format, engine still running", false, std::nullopt, false},
        {"format changed", false, AudioEngine::Format {44100, 1}, true},
        {"engine stopped", true, std::nullopt, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        m_script.format = {48000, 2};
        m_capture->start();
        const qsizetype before = m_script.engines.size();
        if (c.newFormat) {
            m_script.format = *c.newFormat;
        }
        engine()->changeConfiguration(c.engineStops);
        drain(); // delivered on the main thread's queue
        EXPECT_EQ(m_script.engines.size(), before + (c.restarts ? 1 : 0));
        EXPECT_TRUE(m_capture->isRunning());
        EXPECT_TRUE(engine()->isRunning());
        m_capture->stop();
    }

    // A notification that arrives after the stop is ignored.
    m_capture->start();
    engine()->changeConfiguration(true);
    m_capture->stop();
    EXPECT_EQ(engine(), nullptr) << "a stopped capture keeps no engine";
    const qsizetype engines = m_script.engines.size();
    drain();
    EXPECT_EQ(m_script.engines.size(), engines);
    EXPECT_FALSE(m_capture->isRunning());
}

TEST_F(AudioCaptureTest, RestartKeepsTheSmoothedLevel)
{
    m_script.format = {16000, 1};
    m_capture->start();
    engine()->deliver(constantBuffer(16000, 1, 1024, 1.0f)); // 0.7
    m_capture->setPreferredDeviceUID(QStringLiteral("usb"));
    engine()->deliver(constantBuffer(16000, 1, 1024, 0.0f)); // 0.7 falls by 0.35
    drain();
    ASSERT_EQ(m_levels.size(), 2);
    EXPECT_NEAR(m_levels[1], 0.7f * 0.65f, 1e-6);
}

TEST_F(AudioCaptureTest, FailedRestartStopsAndReportsLevelZeroThenTheError)
{
    m_capture->setOnLevel([this](float level) {
        m_levels << level;
        m_events << QStringLiteral("level %1").arg(level);
    });
    m_capture->start();
    m_script.startFailure = QStringLiteral("device vanished");
    engine()->changeConfiguration(true);
    drain(); // the notification
    EXPECT_FALSE(m_capture->isRunning());
    EXPECT_EQ(engine(), nullptr) << "the failed engine is torn down";
    drain(); // the failure report
    EXPECT_EQ(toStd(m_events), toStd({"level 0", "failure"}));
    ASSERT_EQ(m_failures.size(), 1);
    try {
        std::rethrow_exception(m_failures[0]);
    } catch (const AudioEngine::Error &error) {
        EXPECT_STREQ(error.what(), "device vanished");
    }

    // A restart that finds no input fails with noInputDevice.
    m_script.startFailure.reset();
    m_capture->start();
    m_script.format = {0, 0};
    m_capture->setPreferredDeviceUID(QStringLiteral("usb"));
    EXPECT_FALSE(m_capture->isRunning());
    drain();
    ASSERT_EQ(m_failures.size(), 2);
    EXPECT_THROW(std::rethrow_exception(m_failures[1]), AudioCapture::CaptureError);
}

TEST_F(AudioCaptureTest, NothingIsDeliveredToADestroyedCapture)
{
    m_capture->start();
    engine()->deliver(constantBuffer(48000, 2, 4096, 0.5f));
    m_script.startFailure = QStringLiteral("gone");
    m_capture->setPreferredDeviceUID(QStringLiteral("usb")); // fails, reports later
    m_capture.reset();
    drain();
    EXPECT_TRUE(m_levels.isEmpty());
    EXPECT_TRUE(m_failures.isEmpty());
}

TEST_F(AudioCaptureTest, SlowStartLeavesAHint)
{
    struct Case
    {
        const char *what;
        std::chrono::milliseconds duration;
        std::optional<QString> uid;
        QStringList expectedLog;
    };
    const QList<Case> cases {
        {"300 ms is not slow", 300ms, std::nullopt, {}},
        {"301 ms on the default input",
         301ms,
         std::nullopt,
         {"audio: マイクの IO 開始が遅い 301ms device=Built-in Mic(システム既定) — "
          "設定→口述→マイク入力デバイスで別のマイクを選ぶと短縮できる"}},
        {"on the chosen device",
         1250ms,
         QStringLiteral("usb"),
         {"audio: マイクの IO 開始が遅い 1250ms device=USB Mic(設定で指定) — "
          "設定→口述→マイク入力デバイスで別のマイクを選ぶと短縮できる"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DebugLogCapture log;
        m_script.startDuration = c.duration;
        m_capture->setPreferredDeviceUID(c.uid);
        m_stages.clear();
        m_capture->start();
        QThreadPool::globalInstance()->waitForDone(); // the hint is written in the background
        EXPECT_EQ(log.lines(), toStd(c.expectedLog));
        EXPECT_EQ(m_stages.last(),
                  QStringLiteral("audio.engineStart | IO開始 %1ms").arg(c.duration.count()));
        m_capture->stop();
    }

    // No name to be found.
    DebugLogCapture log;
    m_hardware.setDefaultInput(std::nullopt);
    m_capture->setPreferredDeviceUID(std::nullopt);
    m_script.startDuration = 400ms;
    m_capture->start();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(log.lines(),
              toStd({"audio: マイクの IO 開始が遅い 400ms device=不明(システム既定) — "
                     "設定→口述→マイク入力デバイスで別のマイクを選ぶと短縮できる"}));
}

} // namespace
