#pragma once

#include "Base/Clock.h"
#include "Core/Audio/AudioBuffer.h"
#include "Core/Audio/LevelMeter.h"
#include "Platform/AudioEngine.h"
#include "Platform/AudioHardware.h"
#include "Support/AppLanguage.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Records the microphone for one dictation session at a time.
//
// Every captured buffer (4096 frames in the input's own format) goes unchanged to onBuffer on the
// capture thread; from the same buffer a smoothed input level in [0, 1] reaches onLevel on the
// main thread, about 30 values a second. Start-up stages go to onStartStage for the session
// timeline, and a slow start leaves a hint in the debug log. When the input changes under a
// running capture (a device unplugged, a format change, another preferred device) the capture
// rebuilds itself; when that fails, capture stops, the level falls to 0 and onFailure gets the
// error.
//
// start(), stop(), the preferred device and the callbacks belong to the main thread.
class AudioCapture
{
public:
    // No usable audio input device.
    class CaptureError : public std::exception
    {
    public:
        enum class Kind { noInputDevice };

        explicit CaptureError(Kind kind = Kind::noInputDevice)
            : m_kind(kind)
        { }
        Kind kind() const { return m_kind; }
        // The text the user sees, in the current or the given interface language.
        QString errorDescription() const;
        QString errorDescription(AppLanguage language) const;
        const char *what() const noexcept override { return "AudioCapture.noInputDevice"; }

    private:
        Kind m_kind;
    };

    using BufferCallback = std::function<void(const AudioBuffer &)>;
    using LevelCallback = std::function<void(float)>;
    using FailureCallback = std::function<void(std::exception_ptr)>;
    using StageCallback =
        std::function<void(const QString &stage, const std::optional<QString> &detail)>;
    using EngineFactory = std::function<std::unique_ptr<AudioEngine>()>;

    // Frames per tapped buffer.
    static constexpr qsizetype tapBufferSize = 4096;
    // A start that takes longer than this leaves a hint in the debug log.
    static constexpr std::chrono::milliseconds slowStartThreshold {300};

    // The factory makes an engine for every start and restart; the hardware answers device
    // lookups; the clock times the start. Hardware and clock must outlive the capture.
    explicit AudioCapture(EngineFactory makeEngine = &AudioEngine::create,
                          AudioHardware &hardware = AudioHardware::system(),
                          Clock &clock = Clock::system());
    ~AudioCapture();

    AudioCapture(const AudioCapture &) = delete;
    AudioCapture &operator=(const AudioCapture &) = delete;

    // Receives every tapped buffer, on the capture thread.
    void setOnBuffer(BufferCallback callback);
    // Receives the level values, on the main thread.
    void setOnLevel(LevelCallback callback);
    // Receives the failure of an automatic restart, on the main thread.
    void setOnFailure(FailureCallback callback);
    // Receives the start-up stages, on the main thread.
    void setOnStartStage(StageCallback callback);

    // Starts capture; nothing when already running. Throws CaptureError or the engine's own
    // start error, leaving nothing running.
    void start();

    // The text the user sees, in the current or the given interface language, for a failure of
    // start() or of an automatic restart: no usable input device, and the engine's own start
    // error alike (its reason comes from the sound system, in English, and goes to the log
    // only). Absent for an error that is not the capture's.
    static std::optional<QString> failureDescription(const std::exception_ptr &error);
    static std::optional<QString> failureDescription(const std::exception_ptr &error,
                                                     AppLanguage language);
    // Ends capture and brings the level to 0; nothing when not running.
    void stop();
    bool isRunning() const { return m_running; }

    // The uid of the device to capture from; absent = the system default input. Setting another
    // value while running moves capture to it at once.
    std::optional<QString> preferredDeviceUID() const { return m_preferredDeviceUID; }
    void setPreferredDeviceUID(const std::optional<QString> &uid);

private:
    void rebuildEngine();
    void teardownEngine();
    void installTapAndStart();
    void applyPreferredDevice(AudioEngine &engine);
    void restart();
    void configurationChanged();
    void tap(const AudioBuffer &buffer);
    void reportSlowStart(double milliseconds) const;
    void reportStage(const QString &stage, const std::optional<QString> &detail = std::nullopt);
    void postLevels(QList<float> values);

    EngineFactory m_makeEngine;
    AudioHardware &m_hardware;
    Clock &m_clock;

    // Guards the callbacks: onBuffer is read on the capture thread.
    mutable std::mutex m_callbackLock;
    BufferCallback m_onBuffer;
    LevelCallback m_onLevel;
    FailureCallback m_onFailure;
    StageCallback m_onStartStage;

    std::optional<QString> m_preferredDeviceUID;
    std::unique_ptr<AudioEngine> m_engine;
    bool m_running = false;
    QMetaObject::Connection m_configObserver;
    std::optional<AudioEngine::Format> m_tapFormat;
    // Touched on the capture thread only (reset by start() before a tap exists).
    LevelMeter m_meter;
    // Main-thread deliveries go through this object; when the capture is gone, pending ones are
    // dropped with it.
    std::unique_ptr<QObject> m_mainContext;
};
