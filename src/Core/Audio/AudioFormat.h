#pragma once

#include "Core/Audio/AudioBuffer.h"

// The format of an AudioBuffer: interleaved 32-bit float samples at a sample rate, with a channel
// count. Two formats are equal when both agree.
struct AudioFormat
{
    double sampleRate = 0;
    int channels = 0;

    static AudioFormat of(const AudioBuffer &buffer)
    {
        return {buffer.sampleRate, buffer.channels};
    }
    bool isValid() const { return sampleRate > 0 && channels > 0; }

    friend bool operator==(const AudioFormat &, const AudioFormat &) = default;
};
