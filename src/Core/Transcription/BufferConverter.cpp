#include "Core/Transcription/BufferConverter.h"

#include <samplerate.h>

#include <cmath>
#include <limits>

namespace {

const char *kindName(BufferConverter::Error::Kind kind)
{
    switch (kind) {
    case BufferConverter::Error::Kind::conversionFailed:
        return "conversionFailed";
    case BufferConverter::Error::Kind::failedToCreateConverter:
        return "failedToCreateConverter";
    case BufferConverter::Error::Kind::failedToCreateConversionBuffer:
        return "failedToCreateConversionBuffer";
    }
    return "unknown";
}

// The sinc filter with the widest passband that still runs far faster than real time on the
// audio thread; speech needs nothing near the top of the band.
constexpr int kConverterType = SRC_SINC_FASTEST;

} // namespace

BufferConverter::Error::Error(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail))
    , m_what(std::string("BufferConverter.") + kindName(kind))
{
    if (!m_detail.isEmpty()) {
        m_what += ": " + m_detail.toStdString();
    }
}

BufferConverter::BufferConverter() = default;

BufferConverter::~BufferConverter()
{
    reset();
}

void BufferConverter::reset()
{
    if (m_state) {
        src_delete(m_state);
        m_state = nullptr;
    }
    m_passThroughRate = false;
    m_input = {};
    m_output = {};
}

void BufferConverter::makeConverter(const AudioFormat &input, const AudioFormat &output)
{
    reset();
    const double ratio = input.isValid() ? output.sampleRate / input.sampleRate : 0;
    if (!input.isValid() || !output.isValid() || !src_is_valid_ratio(ratio)) {
        throw Error(Error::Kind::failedToCreateConverter);
    }
    if (input.sampleRate != output.sampleRate) {
        int error = 0;
        m_state = src_new(kConverterType, output.channels, &error);
        if (!m_state) {
            throw Error(Error::Kind::failedToCreateConverter,
                        QString::fromUtf8(src_strerror(error)));
        }
    } else {
        m_passThroughRate = true;
    }
    m_input = input;
    m_output = output;
}

const AudioBuffer &BufferConverter::convertBuffer(const AudioBuffer &source,
                                                  const AudioFormat &target)
{
    const AudioFormat sourceFormat = AudioFormat::of(source);
    if (sourceFormat == target) {
        return source;
    }
    if (!hasConverter() || m_input != sourceFormat || m_output != target) {
        makeConverter(sourceFormat, target);
    }

    const qsizetype frames = source.frameCount();
    const double capacity = std::ceil(target.sampleRate / sourceFormat.sampleRate * double(frames));
    if (capacity > double(std::numeric_limits<quint32>::max())) {
        throw Error(Error::Kind::failedToCreateConversionBuffer);
    }

    // Channels first: mixing down before the filter leaves it less to do.
    const int inChannels = source.channels;
    const int outChannels = target.channels;
    const float *input = source.samples.data();
    if (inChannels != outChannels) {
        m_mixed.resize(size_t(frames) * outChannels);
        for (qsizetype frame = 0; frame < frames; ++frame) {
            const float *in = source.samples.data() + frame * inChannels;
            float *out = m_mixed.data() + frame * outChannels;
            if (outChannels == 1) {
                float sum = 0;
                for (int channel = 0; channel < inChannels; ++channel) {
                    sum += in[channel];
                }
                out[0] = sum / float(inChannels);
            } else {
                for (int channel = 0; channel < outChannels; ++channel) {
                    out[channel] = in[channel % inChannels];
                }
            }
        }
        input = m_mixed.data();
    }

    if (m_passThroughRate) {
        m_result.sampleRate = target.sampleRate;
        m_result.channels = outChannels;
        m_result.samples.assign(input, input + frames * outChannels);
        return m_result;
    }
    process(input, long(frames), false, long(capacity));
    return m_result;
}

const AudioBuffer &BufferConverter::drain()
{
    m_result.sampleRate = m_output.sampleRate;
    m_result.channels = m_output.channels;
    m_result.samples.clear();
    if (m_state) {
        // The sinc filter holds well under a thousand frames.
        process(nullptr, 0, true, 1024);
        src_reset(m_state);
    }
    return m_result;
}

void BufferConverter::process(const float *input, long frames, bool endOfInput, long capacity)
{
    const int channels = m_output.channels;
    const double ratio = m_output.sampleRate / m_input.sampleRate;
    m_result.sampleRate = m_output.sampleRate;
    m_result.channels = channels;
    std::vector<float> &out = m_result.samples;
    capacity = std::max(capacity, 16L);
    out.resize(size_t(capacity) * channels);

    // libsamplerate ignores the end of input when it is handed no input pointer at all.
    static const float noInput[1] = {0};
    long consumed = 0;
    long produced = 0;
    for (;;) {
        SRC_DATA data {};
        data.data_in = input ? input + consumed * channels : noInput;
        data.input_frames = frames - consumed;
        data.data_out = out.data() + produced * channels;
        data.output_frames = capacity - produced;
        data.src_ratio = ratio;
        data.end_of_input = endOfInput ? 1 : 0;
        if (const int error = src_process(m_state, &data)) {
            out.clear();
            throw Error(Error::Kind::conversionFailed, QString::fromUtf8(src_strerror(error)));
        }
        consumed += data.input_frames_used;
        produced += data.output_frames_gen;
        const bool inputDone = consumed >= frames;
        if (inputDone && (!endOfInput || data.output_frames_gen == 0)) {
            break;
        }
        if (produced == capacity) {
            // Never drop input for want of room: the filter's phase can yield one frame more
            // than the rounded ratio.
            capacity += std::max(64L, capacity / 2);
            out.resize(size_t(capacity) * channels);
        } else if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
            break;
        }
    }
    out.resize(size_t(produced) * channels);
}
