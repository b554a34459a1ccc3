#pragma once

#include "Core/SpeechEnginePreparer.h"

class TranscriptionEngineFactory;

// Gets a recognition locale ready ahead of the first dictation with a throw-away engine of the
// kind the dictation controller uses: after the user picks another locale, and once at launch.
class EngineLocalePreparer final : public SpeechEnginePreparer
{
public:
    explicit EngineLocalePreparer(TranscriptionEngineFactory &engines);

    // `localeIdentifier` absent: the desktop session's current locale.
    QCoro::Task<> prepare(std::optional<QString> localeIdentifier) override;
    void prepareHints(std::optional<QString> localeIdentifier, QStringList terms) override;

    // The launch warm-up: settles which locale to use (the resolver may rewrite an unsupported
    // stored locale) and prepares it. Errors are dropped; a dictation reports its own.
    QCoro::Task<> warmUp();

private:
    TranscriptionEngineFactory &m_engines;
};
