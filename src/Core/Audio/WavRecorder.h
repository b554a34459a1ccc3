#pragma once

#include "Core/Audio/AudioBuffer.h"
#include "Core/Audio/AudioFormat.h"

#include <QByteArray>

#include <mutex>
#include <optional>

struct SRC_STATE_tag;

// Records a session's audio for cloud transcription: converts every captured buffer to 16 kHz
// mono signed 16-bit PCM in memory and, when the recording stops, returns it as a WAV file.
//
// append() runs on the capture thread, finishWAV() on the main thread; one lock serialises them.
// The recording is capped at maxBytes of PCM (about 590 s); later audio is ignored.
class WavRecorder
{
public:
    static constexpr qint64 maxBytes = 18 * 1'048'576;
    // Below this many PCM bytes (0.3 s) there is no WAV.
    static constexpr qint64 minimumBytes = 9'600;
    static constexpr int outputSampleRate = 16'000;
    static constexpr qsizetype headerSize = 44;

    WavRecorder();
    ~WavRecorder();

    WavRecorder(const WavRecorder &) = delete;
    WavRecorder &operator=(const WavRecorder &) = delete;

    // Converts and keeps the buffer's first channel. A buffer that cannot be converted is left
    // out. Ignored after finishWAV().
    void append(const AudioBuffer &buffer);

    // Ends the recording: the whole WAV file, or nothing when fewer than minimumBytes of PCM were
    // recorded.
    std::optional<QByteArray> finishWAV();

    // The 44-byte RIFF/WAVE header for this many bytes of 16 kHz mono 16-bit PCM.
    static QByteArray wavHeader(qint64 pcmBytes);

    // One sample as signed 16-bit: 1 and above give 32767, -1 and below -32767, truncated toward
    // zero; NaN gives 0.
    static qint16 pcmSample(float x);

private:
    void appendSamples(const float *samples, qsizetype count);

    std::mutex m_lock;
    QByteArray m_pcm;
    SRC_STATE_tag *m_converter = nullptr;
    // The input format the converter was made for.
    std::optional<AudioFormat> m_lastInputFormat;
    bool m_finished = false;
};
