#pragma once

#include "Core/Transcription/TranscriptionEngine.h"

#include <memory>

// Makes the speech engine of a dictation session: the analyzer-based engine where the system's
// transcriber is available, else the segment-based one. One engine per session; callers that
// only resolve or prepare a locale make a throw-away one.
class TranscriptionEngineFactory
{
public:
    virtual ~TranscriptionEngineFactory() = default;

    virtual std::shared_ptr<TranscriptionEngine> make() = 0;

    // The factory on the system's speech services.
    static TranscriptionEngineFactory &system();
};
