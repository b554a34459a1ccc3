#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>
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

    // Consecutive blocks of `framesPerBlock` frames in the same format, the last one shorter;
    // how a capture hands a recording over piece by piece.
    std::vector<AudioBuffer> blocks(qsizetype framesPerBlock) const
    {
        std::vector<AudioBuffer> result;
        const qsizetype frames = frameCount();
        for (qsizetype start = 0; framesPerBlock > 0 && start < frames; start += framesPerBlock) {
            const qsizetype end = std::min(start + framesPerBlock, frames);
            AudioBuffer block {sampleRate, channels, {}};
            block.samples.assign(samples.begin() + start * channels,
                                 samples.begin() + end * channels);
            result.push_back(std::move(block));
        }
        return result;
    }

    // Level of the first channel in dB full scale (RMS); the speech engines' voice and silence
    // tests look at the first channel only. An empty buffer reads as the quietest level.
    float firstChannelDecibels() const
    {
        const qsizetype frames = frameCount();
        float sum = 0;
        for (qsizetype frame = 0; frame < frames; ++frame) {
            const float value = samples[size_t(frame * channels)];
            sum += value * value;
        }
        const float rms = frames > 0 ? std::sqrt(sum / float(frames)) : 0.0f;
        return 20.0f * std::log10(std::max(rms, std::numeric_limits<float>::min()));
    }
};
