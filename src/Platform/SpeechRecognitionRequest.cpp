#include "Platform/SpeechRecognitionRequest.h"

void SpeechRecognitionRequest::append(const AudioBuffer &buffer)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_buffers.push_back(buffer);
    }
    wake();
}

void SpeechRecognitionRequest::endAudio()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_ended = true;
    }
    wake();
}

bool SpeechRecognitionRequest::isAudioEnded() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

SpeechRecognitionRequest::Pending SpeechRecognitionRequest::take()
{
    std::lock_guard lock(m_mutex);
    Pending pending;
    pending.buffers.swap(m_buffers);
    pending.ended = m_ended;
    return pending;
}

void SpeechRecognitionRequest::setWakeHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_wake = std::move(handler);
}

void SpeechRecognitionRequest::wake()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_wake;
    }
    if (handler) {
        handler();
    }
}
