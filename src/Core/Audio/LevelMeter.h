#pragma once

#include "Core/Audio/AudioBuffer.h"

#include <QList>

// The input level for meters: for each chunk of about 1/30 s of a buffer's first channel, the RMS
// in dBFS mapped linearly from -50 dB (0) to 0 dB (1), then smoothed so that it rises fast and
// falls at half that rate. All arithmetic in 32-bit floats.
class LevelMeter
{
public:
    // The smoothed levels of the buffer's chunks, in order; none for an empty buffer.
    QList<float> meter(const AudioBuffer &buffer);

    // Starts again from silence.
    void reset() { m_smoothedLevel = 0; }
    float smoothedLevel() const { return m_smoothedLevel; }

    // Frames per chunk at this sample rate: rate / 30, at least 1024.
    static qsizetype chunkFrames(double sampleRate);
    // The unsmoothed level of a chunk with this RMS, in [0, 1].
    static float level(float rms);

private:
    float m_smoothedLevel = 0;
};
