#pragma once

#include "Base/AsyncStream.h"
#include "Core/Transcription/SpeechLocale.h"

#include <QString>

// The transcription module of the system's speech analyzer, for one locale. It reports the
// analyzer's reading of the audio as a stream of results: provisional ones that the next result
// replaces, and final ones that settle a stretch of speech.
class SpeechTranscriber
{
public:
    struct Options
    {
        // Report provisional results while speech comes in.
        bool volatileResults = false;
        // Favour fast results over the best reading.
        bool fastResults = false;
    };

    struct Result
    {
        QString text;
        bool isFinal = false;
    };

    virtual ~SpeechTranscriber() = default;

    virtual SpeechLocale locale() const = 0;
    // The results of the analysis this transcriber runs in, in order. The stream ends when the
    // analysis has finished (or was cancelled), or with the error that stopped it. Read by one
    // consumer on the main thread.
    virtual AsyncStream<Result> results() = 0;
};
