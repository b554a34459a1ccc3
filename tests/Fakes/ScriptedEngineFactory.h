#pragma once

#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Fakes/ScriptedTranscriptionEngine.h"

#include <QList>

#include <algorithm>

#include <memory>

// Makes scripted engines from one script the test may change between sessions, and keeps them.
class ScriptedEngineFactory final : public TranscriptionEngineFactory
{
public:
    std::shared_ptr<TranscriptionEngine> make() override
    {
        auto engine = std::make_shared<ScriptedTranscriptionEngine>(script);
        made << engine;
        mostOpenAtOnce = std::max(mostOpenAtOnce, openSessions());
        return engine;
    }

    // Engines made and neither finished nor cancelled yet.
    int openSessions() const
    {
        int open = 0;
        for (const auto &engine : made) {
            if (!engine->calls.contains(QStringLiteral("finishSession"))
                && !engine->calls.contains(QStringLiteral("cancelSession"))) {
                ++open;
            }
        }
        return open;
    }

    ScriptedTranscriptionEngine &last() { return *made.last(); }

    ScriptedTranscriptionEngine::Script script;
    QList<std::shared_ptr<ScriptedTranscriptionEngine>> made;
    // The most open sessions there were when an engine was made, that one included.
    int mostOpenAtOnce = 0;
};
