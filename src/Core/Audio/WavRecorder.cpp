#include "Core/Audio/WavRecorder.h"

#include <QtEndian>

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void appendLE32(QByteArray &bytes, quint32 value)
{
    char raw[4];
    qToLittleEndian(value, raw);
    bytes.append(raw, 4);
}

void appendLE16(QByteArray &bytes, quint16 value)
{
    char raw[2];
    qToLittleEndian(value, raw);
    bytes.append(raw, 2);
}

} // namespace

WavRecorder::WavRecorder() = default;

WavRecorder::~WavRecorder()
{
    if (m_converter) {
        src_delete(m_converter);
    }
}

qint16 WavRecorder::pcmSample(float x)
{
    if (std::isnan(x)) {
        return 0;
    }
    const float s = x >= 1.0f ? 32767.0f : std::max(x, -1.0f) * 32767.0f;
    return qint16(s); // truncates toward zero
}

void WavRecorder::appendSamples(const float *samples, qsizetype count)
{
    const qsizetype start = m_pcm.size();
    m_pcm.resize(start + count * 2);
    char *out = m_pcm.data() + start;
    for (qsizetype i = 0; i < count; ++i) {
        qToLittleEndian(pcmSample(samples[i]), out + i * 2);
    }
}

void WavRecorder::append(const AudioBuffer &buffer)
{
    std::lock_guard guard(m_lock);
    if (m_finished || m_pcm.size() >= maxBytes) {
        return;
    }
    const qsizetype frames = buffer.frameCount();
    if (!(buffer.sampleRate > 0) || buffer.channels <= 0) {
        return; // no converter for this format
    }

    // The first channel, as the mono output keeps it.
    std::vector<float> mono(static_cast<size_t>(frames));
    for (qsizetype i = 0; i < frames; ++i) {
        mono[size_t(i)] = buffer.sample(i, 0);
    }

    if (buffer.sampleRate == outputSampleRate) {
        // Nothing to convert but the sample type. A converter of an earlier format would hold
        // stale audio by the time that format came back.
        if (m_converter) {
            src_delete(m_converter);
            m_converter = nullptr;
        }
        m_lastInputFormat.reset();
        appendSamples(mono.data(), frames);
        return;
    }

    const AudioFormat format = AudioFormat::of(buffer);
    const double ratio = outputSampleRate / buffer.sampleRate;
    if (!m_converter || m_lastInputFormat != format) {
        if (m_converter) {
            src_delete(m_converter);
            m_converter = nullptr;
        }
        m_lastInputFormat.reset();
        if (!src_is_valid_ratio(ratio)) {
            return;
        }
        int error = 0;
        m_converter = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
        if (!m_converter) {
            return;
        }
        m_lastInputFormat = format;
    }

    const auto capacity = qsizetype(quint32(ratio * double(frames))) + 64;
    std::vector<float> output(static_cast<size_t>(capacity));
    SRC_DATA data {};
    data.data_in = mono.data();
    data.input_frames = long(frames);
    data.data_out = output.data();
    data.output_frames = long(capacity);
    data.src_ratio = ratio;
    data.end_of_input = 0; // the converter keeps its state for the next buffer
    if (src_process(m_converter, &data) != 0) {
        return;
    }
    appendSamples(output.data(), data.output_frames_gen);
}

std::optional<QByteArray> WavRecorder::finishWAV()
{
    std::lock_guard guard(m_lock);
    m_finished = true;
    if (m_pcm.size() < minimumBytes) {
        return std::nullopt;
    }
    return wavHeader(m_pcm.size()) + m_pcm;
}

QByteArray WavRecorder::wavHeader(qint64 pcmBytes)
{
    QByteArray header;
    header.reserve(headerSize);
    header.append("RIFF", 4);
    appendLE32(header, quint32(pcmBytes + 36));
    header.append("WAVE", 4);
    header.append("fmt ", 4);
    appendLE32(header, 16); // format chunk size
    appendLE16(header, 1); // integer PCM
    appendLE16(header, 1); // channels
    appendLE32(header, outputSampleRate); // sample rate
    appendLE32(header, outputSampleRate * 2); // bytes per second
    appendLE16(header, 2); // block alignment
    appendLE16(header, 16); // bits per sample
    header.append("data", 4);
    appendLE32(header, quint32(pcmBytes));
    return header;
}
