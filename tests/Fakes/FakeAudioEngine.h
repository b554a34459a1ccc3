#pragma once

#include "Base/ManualClock.h"
#include "Platform/AudioEngine.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

// A scripted microphone: every engine the factory makes reads its behaviour from the shared
// script (input format, start duration on a manual clock, start failure, pin failure) and writes
// what was done with it into the shared call log. The test plays the capture thread by calling
// deliver() on the engine it wants.
class FakeAudioEngine final : public AudioEngine
{
public:
    struct Script
    {
        Format format {48000, 2};
        std::chrono::milliseconds startDuration {12};
        std::optional<QString> startFailure;
        std::optional<QString> pinFailure;
        ManualClock *clock = nullptr;
        QStringList calls;
        QList<QPointer<FakeAudioEngine>> engines;
    };

    explicit FakeAudioEngine(Script &script)
        : m_script(script)
    { }
    ~FakeAudioEngine() override { m_script.calls << QStringLiteral("destroyed"); }

    // A factory for AudioCapture that records every engine it makes.
    static std::function<std::unique_ptr<AudioEngine>()> factory(Script &script)
    {
        return [&script]() -> std::unique_ptr<AudioEngine> {
            auto engine = std::make_unique<FakeAudioEngine>(script);
            script.engines << QPointer<FakeAudioEngine>(engine.get());
            script.calls << QStringLiteral("made");
            return engine;
        };
    }

    std::optional<QString> setCurrentDevice(const QString &deviceID) override
    {
        m_script.calls << QStringLiteral("pin ") + deviceID;
        return m_script.pinFailure;
    }
    Format inputFormat() const override { return m_script.format; }
    void installTap(qsizetype bufferSize, const Format &format, TapBlock block) override
    {
        m_script.calls << QStringLiteral("installTap %1 %2Hz %3ch")
                              .arg(bufferSize)
                              .arg(format.sampleRate)
                              .arg(format.channels);
        m_block = std::move(block);
    }
    void removeTap() override
    {
        m_script.calls << QStringLiteral("removeTap");
        m_block = nullptr;
    }
    void prepare() override { m_script.calls << QStringLiteral("prepare"); }
    void start() override
    {
        m_script.calls << QStringLiteral("start");
        if (m_script.clock) {
            m_script.clock->advance(m_script.startDuration);
        }
        if (m_script.startFailure) {
            throw Error(m_script.startFailure->toStdString());
        }
        m_running = true;
    }
    void stop() override
    {
        m_script.calls << QStringLiteral("stop");
        m_running = false;
    }
    bool isRunning() const override { return m_running; }

    // Plays the capture thread: hands a buffer to the installed tap.
    bool deliver(const AudioBuffer &buffer)
    {
        if (!m_block) {
            return false;
        }
        m_block(buffer);
        return true;
    }
    // The input changed under the engine; like a real engine it stops itself when asked to.
    void changeConfiguration(bool stopsEngine)
    {
        if (stopsEngine) {
            m_running = false;
        }
        Q_EMIT configurationChanged();
    }

private:
    Script &m_script;
    TapBlock m_block;
    bool m_running = false;
};
