#pragma once

#include "Core/Audio/AudioBuffer.h"
#include "Core/Transcription/BufferConverter.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <vector>

// Recorded speech of the pocketsphinx test data (Debian package pocketsphinx-testdata): raw
// 16 kHz mono 16-bit files, or WAV files of that format.
namespace SpeechRecording {

inline QString path(const QString &name)
{
#ifdef SONORVELLE_POCKETSPHINX_TESTDATA
    return QStringLiteral(SONORVELLE_POCKETSPHINX_TESTDATA "/") + name;
#else
    return name; // the build found no pocketsphinx installation: the file is reported missing
#endif
}

// The samples of a raw or WAV file as 16 kHz mono float audio; empty when the file is missing.
inline AudioBuffer load(const QString &name)
{
    QFile file(path(name));
    AudioBuffer buffer;
    buffer.sampleRate = 16000;
    buffer.channels = 1;
    if (!file.open(QIODevice::ReadOnly)) {
        return buffer;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("RIFF")) {
        const qsizetype data = bytes.indexOf("data");
        bytes = data < 0 ? QByteArray() : bytes.mid(data + 8);
    }
    buffer.samples.resize(size_t(bytes.size() / 2));
    for (size_t i = 0; i < buffer.samples.size(); ++i) {
        std::int16_t sample;
        std::memcpy(&sample, bytes.constData() + 2 * i, 2);
        buffer.samples[i] = float(sample) / 32768.0f;
    }
    return buffer;
}

inline void append(AudioBuffer &to, const AudioBuffer &from)
{
    to.samples.insert(to.samples.end(), from.samples.begin(), from.samples.end());
}

// The audio in another format, the way a capture device might deliver it.
inline AudioBuffer resampled(const AudioBuffer &audio, const AudioFormat &format)
{
    BufferConverter converter;
    AudioBuffer out = converter.convertBuffer(audio, format);
    append(out, converter.drain());
    return out;
}

} // namespace SpeechRecording
