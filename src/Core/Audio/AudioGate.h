#pragma once

#include "Core/Audio/AudioBuffer.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TranscriptionEngine;

// Holds the captured audio of a session until the speech engine's session is open, then hands the
// backlog to the engine in order and forwards every later buffer directly.
//
// feed() runs on the capture thread, open() wherever the session start-up runs. Both work under
// one lock, and the forwarding target is called under it too, so the engine sees one ordered
// stream: no buffer is lost, duplicated or overtaken between the backlog and the live audio.
class AudioGate
{
public:
    using Forward = std::function<void(const AudioBuffer &)>;

    // The backlog keeps at most this many frames (60 s at 48 kHz), dropping the oldest buffers.
    static constexpr qint64 maxQueuedFrames = 2'880'000;

    // Forwards the buffer when the gate is open, else queues it. Any thread.
    void feed(const AudioBuffer &buffer);

    // Opens the gate: the backlog goes to `forward` oldest first, then every later buffer. Only
    // the first call has an effect.
    void open(Forward forward);
    // Opens the gate onto the engine's feed(), holding the engine weakly: an engine that is gone
    // receives nothing.
    void open(const std::weak_ptr<TranscriptionEngine> &engine);

    // The backlog's size, for diagnostics and tests.
    qint64 queuedFrames() const;
    qsizetype queuedBuffers() const;
    bool isOpen() const;

private:
    mutable std::mutex m_lock;
    Forward m_forward;
    std::deque<AudioBuffer> m_queued;
    qint64 m_queuedFrames = 0;
};
