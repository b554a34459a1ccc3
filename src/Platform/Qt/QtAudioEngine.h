#pragma once

#include "Base/Clock.h"
#include "Platform/AudioEngine.h"

#include <QAudioDevice>
#include <QThread>

#include <chrono>
#include <memory>

class QtAudioCaptureWorker;
class Timer;

// Capture with Qt Multimedia: a QAudioSource on the chosen device (the system default unless
// pinned), run on a thread of the engine's own, in float samples in the device's own rate and
// channel count, re-blocked into the tap's buffer size.
//
// The sound server does not announce that an input went away or changed, so while running the
// engine looks every watchInterval: its device gone, the default input changed (when not pinned)
// or the device's format changed stops the engine and emits configurationChanged(). A stream the
// server ends with an error does the same at once.
class QtAudioEngine final : public AudioEngine
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds watchInterval {2};

    explicit QtAudioEngine(Clock &clock = Clock::system(), QObject *parent = nullptr);
    ~QtAudioEngine() override;

    std::optional<QString> setCurrentDevice(const QString &deviceID) override;
    Format inputFormat() const override;
    void installTap(qsizetype bufferSize, const Format &format, TapBlock block) override;
    void removeTap() override;
    void prepare() override;
    void start() override;
    void stop() override;
    bool isRunning() const override;

private:
    // The device capture uses now: the pinned one, else the system default; null when none.
    QAudioDevice currentDevice() const;
    void watch();
    void inputChanged();

    QThread m_thread;
    QtAudioCaptureWorker *m_worker;
    std::unique_ptr<Timer> m_watchTimer;
    QAudioDevice m_pinned;
    // What the running capture was started on, to notice a change.
    QByteArray m_startedDeviceID;
    Format m_startedFormat;
    Format m_tapFormat;
};
