#pragma once

#include "Core/Audio/AudioBuffer.h"
#include "Core/Audio/AudioFormat.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

// One microphone capture graph: an input from a device (the system default unless pinned), a tap
// that receives its audio in blocks of float samples on a capture thread of the engine's own, and
// start and stop. An engine is built for one run; a new one is made for every start.
//
// The engine object belongs to the thread that made it (the main thread); only the tap block runs
// on the capture thread.
class AudioEngine : public QObject
{
    Q_OBJECT

public:
    // The input's sample format: float samples, interleaved channels.
    using Format = AudioFormat;

    // The engine's own start failure, with a readable reason.
    class Error : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Receives each block, on the capture thread.
    using TapBlock = std::function<void(const AudioBuffer &)>;

    using QObject::QObject;

    // Captures from this device (an identifier from MicrophoneDevices::deviceID) instead of the
    // system default. Returns the reason when it cannot; the engine then stays on the default.
    virtual std::optional<QString> setCurrentDevice(const QString &deviceID) = 0;

    // The format the input delivers now; a sample rate of 0 or no channels when there is no
    // usable input device.
    virtual Format inputFormat() const = 0;

    // Delivers the input in blocks of `bufferSize` frames of `format` to `block`. Replaces an
    // installed tap.
    virtual void installTap(qsizetype bufferSize, const Format &format, TapBlock block) = 0;
    // Removes the tap. Audio captured but not yet delivered goes to the block first, as a last
    // shorter block; once this returns the block is never called again. Harmless without a tap.
    virtual void removeTap() = 0;

    virtual void prepare() = 0;
    // Starts the input; throws Error when it cannot. Returns once audio is flowing.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // An engine on the system's sound server.
    static std::unique_ptr<AudioEngine> create();

Q_SIGNALS:
    // The input changed under the engine (its device went away, the default input or the
    // device's format changed); the engine has stopped itself. May be emitted on any thread.
    void configurationChanged();
};
