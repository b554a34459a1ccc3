#pragma once

#include "Base/AsyncStream.h"
#include "Core/Audio/AudioBuffer.h"

#include <QStringList>

#include <QCoro/QCoroTask>

// The system's speech analyzer running one transcriber over a stream of audio buffers in the
// format the analyzer asked for.
class SpeechAnalyzer
{
public:
    virtual ~SpeechAnalyzer() = default;

    // Words and phrases to expect (the analysis context's general tag).
    virtual QCoro::Task<void> setContext(QStringList contextualStrings) = 0;
    // Starts analysing `input`; returns once the analysis runs. The analysis goes on until the
    // input ends and is finalised, or until it is cancelled.
    virtual QCoro::Task<void> start(AsyncStream<AudioBuffer> input) = 0;
    // Waits until everything up to the end of the input has been analysed and reported.
    virtual QCoro::Task<void> finalizeAndFinishThroughEndOfInput() = 0;
    // Stops at once; what was not reported yet is dropped.
    virtual QCoro::Task<void> cancelAndFinishNow() = 0;
};
