#include "Core/Transcription/EngineLocalePreparer.h"

#include "Core/Transcription/SpeechLocale.h"
#include "Core/Transcription/SpeechLocaleResolver.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"

EngineLocalePreparer::EngineLocalePreparer(TranscriptionEngineFactory &engines)
    : m_engines(engines)
{ }

QCoro::Task<> EngineLocalePreparer::prepare(std::optional<QString> localeIdentifier)
{
    const std::shared_ptr<TranscriptionEngine> engine = m_engines.make();
    const SpeechLocale locale =
        localeIdentifier ? SpeechLocale(*localeIdentifier) : SpeechLocale::current();
    TranscriptionEngine::ProgressCallback ignoreProgress = [](double) {
    };
    co_await engine->prepare(locale, std::move(ignoreProgress));
}

void EngineLocalePreparer::prepareHints(std::optional<QString> localeIdentifier, QStringList terms)
{
    const SpeechLocale locale =
        localeIdentifier ? SpeechLocale(*localeIdentifier) : SpeechLocale::current();
    m_engines.make()->prepareHints(locale, terms);
}

QCoro::Task<> EngineLocalePreparer::warmUp()
{
    try {
        const std::shared_ptr<TranscriptionEngine> engine = m_engines.make();
        const SpeechLocaleResolver::Resolution resolution =
            co_await SpeechLocaleResolver::ensureConfigured(engine);
        TranscriptionEngine::ProgressCallback ignoreProgress = [](double) {
        };
        co_await engine->prepare(resolution.locale, std::move(ignoreProgress));
    } catch (...) {
        // Dropped on purpose: the first dictation reports the same problem if it persists.
    }
}
