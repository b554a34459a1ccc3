#pragma once

#include "Core/Audio/AudioBuffer.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

// The audio of one recognition: captured buffers appended in the capture format, in order, until
// endAudio(). The caller appends from any thread (the audio thread among them) and never waits;
// the recognition task takes what has arrived from its own thread.
//
// The options are set before the request is handed to a recogniser and not changed afterwards.
class SpeechRecognitionRequest
{
public:
    enum class TaskHint { unspecified, dictation, search, confirmation };

    struct Options
    {
        bool shouldReportPartialResults = true;
        TaskHint taskHint = TaskHint::unspecified;
        bool addsPunctuation = false;
        bool requiresOnDeviceRecognition = false;
        // Words and phrases the recogniser should expect (hints; a recogniser may ignore them).
        QStringList contextualStrings;
    };

    struct Pending
    {
        std::vector<AudioBuffer> buffers;
        bool ended = false;
    };

    SpeechRecognitionRequest() = default;
    explicit SpeechRecognitionRequest(Options options)
        : m_options(std::move(options))
    { }

    const Options &options() const { return m_options; }

    // Producer side. Buffers appended after endAudio() are dropped.
    void append(const AudioBuffer &buffer);
    void endAudio();
    bool isAudioEnded() const;

    // Consumer side: everything appended since the last call, and whether the audio has ended.
    Pending take();
    // Called, outside the request's lock, after every append() and at endAudio(); the task uses it
    // to wake its worker. Set before audio can arrive.
    void setWakeHandler(std::function<void()> handler);

private:
    void wake();

    const Options m_options;
    mutable std::mutex m_mutex;
    std::vector<AudioBuffer> m_buffers;
    bool m_ended = false;
    std::function<void()> m_wake;
};
