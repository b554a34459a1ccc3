#pragma once

#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Fakes/ScriptedTranscriptionEngine.h"

#include <QList>

#include <memory>

// Makes scripted engines from one script the test may change between sessions, and keeps them.
class ScriptedEngineFactory final : public TranscriptionEngineFactory
{
public:
    std::shared_ptr<TranscriptionEngine> make() override
    {
        auto engine = std::make_shared<ScriptedTranscriptionEngine>(script);
        made << engine;
        return engine;
    }

    ScriptedTranscriptionEngine &last() { return *made.last(); }

    ScriptedTranscriptionEngine::Script script;
    QList<std::shared_ptr<ScriptedTranscriptionEngine>> made;
};
