#include "Core/Audio/AudioGate.h"

#include "Core/Transcription/TranscriptionEngine.h"

void AudioGate::feed(const AudioBuffer &buffer)
{
    std::lock_guard guard(m_lock);
    if (m_forward) {
        m_forward(buffer);
        return;
    }
    m_queued.push_back(buffer);
    m_queuedFrames += buffer.frameCount();
    // Keep the newest audio.
    while (m_queuedFrames > maxQueuedFrames && !m_queued.empty()) {
        m_queuedFrames -= m_queued.front().frameCount();
        m_queued.pop_front();
    }
}

void AudioGate::open(Forward forward)
{
    if (!forward) {
        return;
    }
    std::lock_guard guard(m_lock);
    if (m_forward) {
        return;
    }
    for (const AudioBuffer &buffer : m_queued) {
        forward(buffer);
    }
    m_queued.clear();
    m_queuedFrames = 0;
    m_forward = std::move(forward);
}

void AudioGate::open(const std::weak_ptr<TranscriptionEngine> &engine)
{
    open([engine](const AudioBuffer &buffer) {
        if (const auto strong = engine.lock()) {
            strong->feed(buffer);
        }
    });
}

qint64 AudioGate::queuedFrames() const
{
    std::lock_guard guard(m_lock);
    return m_queuedFrames;
}

qsizetype AudioGate::queuedBuffers() const
{
    std::lock_guard guard(m_lock);
    return qsizetype(m_queued.size());
}

bool AudioGate::isOpen() const
{
    std::lock_guard guard(m_lock);
    return bool(m_forward);
}
