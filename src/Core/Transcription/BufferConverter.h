#pragma once

#include "Core/Audio/AudioBuffer.h"
#include "Core/Audio/AudioFormat.h"

#include <QString>

#include <exception>
#include <string>

typedef struct SRC_STATE_tag SRC_STATE;

// Converts captured buffers into the format a recogniser takes (sample rate and channel count),
// one buffer after another. The sample-rate converter is made once for a pair of formats and kept
// with its filter state from one buffer to the next, so a stream of buffers converts as one
// continuous signal; a different pair of formats makes a new one. Not thread-safe: one owner.
class BufferConverter
{
public:
    class Error : public std::exception
    {
    public:
        enum class Kind {
            conversionFailed,
            failedToCreateConverter,
            failedToCreateConversionBuffer
        };

        Error(Kind kind, QString detail = QString());
        Kind kind() const { return m_kind; }
        // The converter's own message for conversionFailed; may be empty.
        const QString &detail() const { return m_detail; }
        const char *what() const noexcept override { return m_what.c_str(); }

    private:
        Kind m_kind;
        QString m_detail;
        std::string m_what;
    };

    BufferConverter();
    ~BufferConverter();
    BufferConverter(const BufferConverter &) = delete;
    BufferConverter &operator=(const BufferConverter &) = delete;

    // `source` in `target`'s format. When the formats are equal that is `source` itself;
    // otherwise a buffer owned by the converter, valid until its next call. Its length is what the
    // filter produced: the first buffers of a stream come out a little short (the filter's delay),
    // which drain() hands over at the end. Throws Error.
    const AudioBuffer &convertBuffer(const AudioBuffer &source, const AudioFormat &target);

    // Ends the stream: the frames still held in the filter, in the last target format (empty
    // when nothing is held). The next buffer starts a new stream.
    const AudioBuffer &drain();

    // Whether a sample-rate converter is cached, and for which formats.
    bool hasConverter() const { return m_state != nullptr || m_passThroughRate; }
    AudioFormat inputFormat() const { return m_input; }
    AudioFormat outputFormat() const { return m_output; }

private:
    void makeConverter(const AudioFormat &input, const AudioFormat &output);
    void reset();
    void process(const float *input, long frames, bool endOfInput, long capacity);

    SRC_STATE *m_state = nullptr;
    // Same rates, only the channels differ: no filter needed.
    bool m_passThroughRate = false;
    AudioFormat m_input;
    AudioFormat m_output;
    std::vector<float> m_mixed;
    AudioBuffer m_result;
};
