#include "Core/Audio/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

qsizetype LevelMeter::chunkFrames(double sampleRate)
{
    return std::max<qsizetype>(1024, qsizetype(sampleRate / 30));
}

float LevelMeter::level(float rms)
{
    const float db = 20.0f * std::log10(std::max(rms, std::numeric_limits<float>::min()));
    const float value = (db + 50.0f) / 50.0f;
    if (!(value > 0.0f)) {
        return 0.0f;
    }
    return value > 1.0f ? 1.0f : value;
}

QList<float> LevelMeter::meter(const AudioBuffer &buffer)
{
    const qsizetype frames = buffer.frameCount();
    if (frames == 0) {
        return {};
    }
    const int stride = buffer.channels;
    const float *samples = buffer.samples.data();
    const qsizetype chunk = chunkFrames(buffer.sampleRate);

    QList<float> values;
    values.reserve((frames + chunk - 1) / chunk);
    for (qsizetype start = 0; start < frames; start += chunk) {
        const qsizetype count = std::min(chunk, frames - start);
        float sumOfSquares = 0.0f;
        for (qsizetype i = 0; i < count; ++i) {
            const float x = samples[(start + i) * stride]; // first channel only
            sumOfSquares += x * x;
        }
        const float target = level(std::sqrt(sumOfSquares / float(count)));
        const float rate = m_smoothedLevel < target ? 0.7f : 0.35f;
        m_smoothedLevel += (target - m_smoothedLevel) * rate;
        values << m_smoothedLevel;
    }
    return values;
}
