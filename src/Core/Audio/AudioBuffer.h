#pragma once

#include <QtGlobal>

#include <vector>

// One block of captured audio in the capture format: interleaved 32-bit float samples in
// [-1, 1], `channels` per frame, at `sampleRate` frames per second. A plain value: copies are
// independent, so a buffer can be handed to another thread.
struct AudioBuffer
{
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    qsizetype frameCount() const { return channels > 0 ? qsizetype(samples.size()) / channels : 0; }
    bool isEmpty() const { return frameCount() == 0; }
    // Sample of `channel` in frame `frame`.
    float sample(qsizetype frame, int channel) const { return samples[frame * channels + channel]; }
    double durationSeconds() const { return sampleRate > 0 ? frameCount() / sampleRate : 0; }
};
