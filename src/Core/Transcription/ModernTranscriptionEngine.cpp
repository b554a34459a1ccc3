#include "Core/Transcription/ModernTranscriptionEngine.h"

#include "Base/Async.h"
#include "Base/CancellationToken.h"
#include "Base/CancelledError.h"
#include "Core/Transcription/TranscriptionError.h"

#include <algorithm>
#include <cmath>

namespace {

bool containsExactly(const QList<SpeechLocale> &locales, const SpeechLocale &locale)
{
    return std::any_of(locales.cbegin(), locales.cend(), [&](const SpeechLocale &other) {
        return other.bcp47Identifier() == locale.bcp47Identifier();
    });
}

// Reports the installation's progress at once and then every 250 ms until cancelled.
QCoro::Task<void> pollProgress(std::shared_ptr<AssetInventory::InstallationRequest> request,
                               TranscriptionEngine::ProgressCallback progress, Clock *clock,
                               CancellationToken token)
{
    while (!token.isCancelled()) {
        progress(std::min(request->fractionCompleted(), 1.0));
        try {
            co_await Async::sleep(*clock, ModernTranscriptionEngine::progressPollInterval, token);
        } catch (const CancelledError &) {
            // back to the test of the loop
        }
    }
}

// Runs an analyzer call whose failure changes nothing for the caller.
QCoro::Task<void> ignoringFailure(QCoro::Task<void> task)
{
    try {
        co_await task;
    } catch (...) { }
}

} // namespace

std::shared_ptr<ModernTranscriptionEngine>
ModernTranscriptionEngine::make(std::shared_ptr<SpeechAnalysisService> service, Clock &clock)
{
    return std::make_shared<ModernTranscriptionEngine>(MakeKey {}, std::move(service), clock);
}

ModernTranscriptionEngine::ModernTranscriptionEngine(MakeKey,
                                                     std::shared_ptr<SpeechAnalysisService> service,
                                                     Clock &clock)
    : m_service(std::move(service))
    , m_clock(clock)
{ }

ModernTranscriptionEngine::~ModernTranscriptionEngine()
{
    // A producer still open would leave the analyzer waiting for input forever.
    if (auto builder = closeFeed()) {
        builder->finish();
    }
}

bool ModernTranscriptionEngine::isAvailable(const SpeechAnalysisService &service)
{
    return service.isTranscriberAvailable();
}

SpeechTranscriber::Options ModernTranscriptionEngine::transcriberOptions()
{
    SpeechTranscriber::Options options;
    options.volatileResults = true;
    options.fastResults = true;
    return options;
}

bool ModernTranscriptionEngine::isSilent(const AudioBuffer &buffer)
{
    return buffer.frameCount() == 0 || buffer.firstChannelDecibels() < silenceThresholdDbfs;
}

QCoro::Task<void>
ModernTranscriptionEngine::ensureModel(SpeechAnalysisService &service, Clock &clock,
                                       std::shared_ptr<SpeechTranscriber> transcriber,
                                       SpeechLocale locale, ProgressCallback progress)
{
    const QList<SpeechLocale> supported = co_await service.supportedLocales();
    if (!containsExactly(supported, locale)) {
        throw TranscriptionError::localeNotSupported(locale);
    }
    const QList<SpeechLocale> installed = co_await service.installedLocales();
    if (containsExactly(installed, locale)) {
        if (progress) {
            progress(1.0);
        }
        co_return;
    }

    AssetInventory &inventory = service.assetInventory();
    const QList<SpeechLocale> reserved = co_await inventory.reservedLocales();
    if (reserved.size() >= inventory.maximumReservedLocales()) {
        for (const SpeechLocale &other : reserved) {
            if (other.bcp47Identifier() != locale.bcp47Identifier()) {
                co_await ignoringFailure(
                    [](AssetInventory &inventory, SpeechLocale other) -> QCoro::Task<void> {
                        co_await inventory.release(other);
                    }(inventory, other));
            }
        }
    }

    std::shared_ptr<AssetInventory::InstallationRequest> request;
    std::exception_ptr requestError;
    try {
        request = co_await inventory.assetInstallationRequest(transcriber);
    } catch (...) {
        requestError = std::current_exception();
    }
    if (requestError) {
        throw TranscriptionError::modelDownloadFailed(requestError);
    }
    if (!request) {
        if (progress) {
            progress(1.0);
        }
        co_return;
    }

    CancellationToken polling;
    if (progress) {
        auto poll = pollProgress(request, progress, &clock, polling);
        Q_UNUSED(poll);
    }
    std::exception_ptr downloadError;
    try {
        co_await request->downloadAndInstall();
    } catch (...) {
        downloadError = std::current_exception();
    }
    if (downloadError) {
        polling.cancel();
        throw TranscriptionError::modelDownloadFailed(downloadError);
    }
    if (progress) {
        progress(1.0);
    }
    polling.cancel();
}

QCoro::Task<void> ModernTranscriptionEngine::prepare(SpeechLocale locale, ProgressCallback progress)
{
    const auto self = shared_from_this();
    auto transcriber = m_service->makeTranscriber(locale, transcriberOptions());
    if (!transcriber) {
        throw TranscriptionError::recognizerUnavailable();
    }
    co_await ensureModel(*m_service, m_clock, transcriber, locale, progress);
}

QCoro::Task<QList<SpeechLocale>> ModernTranscriptionEngine::supportedLocales()
{
    const auto self = shared_from_this();
    co_return co_await m_service->supportedLocales();
}

QCoro::Task<AsyncStream<EngineUpdate>>
ModernTranscriptionEngine::startSession(SpeechLocale locale, QStringList contextualStrings)
{
    const auto self = shared_from_this();

    auto transcriber = m_service->makeTranscriber(locale, transcriberOptions());
    if (!transcriber) {
        throw TranscriptionError::recognizerUnavailable();
    }
    {
        std::lock_guard lock(m_feedLock);
        m_transcriber = transcriber;
    }
    co_await ensureModel(*m_service, m_clock, transcriber, locale, {});
    if (isFinishRequested()) {
        throw CancelledError();
    }

    auto analyzer = m_service->makeAnalyzer(transcriber);
    if (!analyzer) {
        throw TranscriptionError::recognizerUnavailable();
    }
    {
        std::lock_guard lock(m_feedLock);
        m_analyzer = analyzer;
    }
    if (!contextualStrings.isEmpty()) {
        // Hints that cannot be set are not worth failing the session for.
        co_await ignoringFailure(analyzer->setContext(contextualStrings));
    }

    const std::optional<AudioFormat> format =
        co_await m_service->bestAvailableAudioFormat(transcriber);
    if (!format) {
        throw TranscriptionError::recognizerUnavailable();
    }

    AsyncStream<AudioBuffer> input;
    if (!openFeed(input, *format)) {
        input.finish();
        throw CancelledError();
    }

    AsyncStream<EngineUpdate> output;
    AsyncStream<SpeechTranscriber::Result> results = transcriber->results();
    {
        std::lock_guard lock(m_feedLock);
        m_output = output;
        m_resultsTask = results;
    }
    auto reader = readResults(transcriber, results, output);
    Q_UNUSED(reader);

    std::exception_ptr startError;
    try {
        co_await analyzer->start(input);
    } catch (...) {
        startError = std::current_exception();
    }
    if (startError) {
        if (auto builder = closeFeed()) {
            builder->finish();
        }
        results.cancel();
        output.finish();
        throw TranscriptionError::sessionFailed(startError);
    }

    if (isFinishRequested()) {
        if (auto builder = closeFeed()) {
            builder->finish();
        }
        co_await ignoringFailure(analyzer->cancelAndFinishNow());
        results.cancel();
        output.finish();
        throw CancelledError();
    }
    co_return output;
}

QCoro::Task<void>
ModernTranscriptionEngine::readResults(std::shared_ptr<SpeechTranscriber> transcriber,
                                       AsyncStream<SpeechTranscriber::Result> results,
                                       AsyncStream<EngineUpdate> output)
{
    Q_UNUSED(transcriber); // held for as long as its results are read
    try {
        while (auto result = co_await results.next()) {
            output.yield(result->isFinal ? EngineUpdate::makeFinalized(result->text)
                                         : EngineUpdate::makeVolatile(result->text));
        }
        output.finish();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (CancelledError::isCancellation(error)) {
            output.finish();
        } else {
            output.finish(std::make_exception_ptr(TranscriptionError::sessionFailed(error)));
        }
    }
}

bool ModernTranscriptionEngine::openFeed(AsyncStream<AudioBuffer> builder, AudioFormat format)
{
    std::lock_guard lock(m_feedLock);
    if (m_finishRequested) {
        return false;
    }
    m_inputBuilder = std::move(builder);
    m_analyzerFormat = format;
    m_hasVoiced = false;
    m_silentFrames = 0;
    m_didFeedAnalyzer = false;
    return true;
}

std::optional<AsyncStream<AudioBuffer>> ModernTranscriptionEngine::closeFeed()
{
    std::lock_guard lock(m_feedLock);
    m_analyzerFormat.reset();
    return std::exchange(m_inputBuilder, std::nullopt);
}

bool ModernTranscriptionEngine::isFinishRequested() const
{
    std::lock_guard lock(m_feedLock);
    return m_finishRequested;
}

void ModernTranscriptionEngine::feed(const AudioBuffer &buffer)
{
    std::lock_guard lock(m_feedLock);
    if (!m_inputBuilder || !m_analyzerFormat) {
        return;
    }
    if (isSilent(buffer)) {
        if (!m_hasVoiced) {
            return; // silence before the first speech never reaches the analyzer
        }
        m_silentFrames += buffer.frameCount();
        if (m_silentFrames > qint64(buffer.sampleRate * 0.5)) {
            return;
        }
    } else {
        m_hasVoiced = true;
        m_silentFrames = 0;
    }
    try {
        const AudioBuffer &converted = m_converter.convertBuffer(buffer, *m_analyzerFormat);
        m_inputBuilder->yield(converted);
        m_didFeedAnalyzer = true;
    } catch (const BufferConverter::Error &) {
        // A buffer that cannot be converted is dropped; the session goes on.
    }
}

QCoro::Task<void> ModernTranscriptionEngine::finishSession()
{
    const auto self = shared_from_this();
    {
        std::lock_guard lock(m_feedLock);
        m_finishRequested = true;
    }
    bool fedAnalyzer = false;
    std::shared_ptr<SpeechAnalyzer> analyzer;
    std::optional<AsyncStream<SpeechTranscriber::Result>> results;
    std::optional<AsyncStream<EngineUpdate>> output;
    {
        std::lock_guard lock(m_feedLock);
        fedAnalyzer = m_didFeedAnalyzer;
        analyzer = m_analyzer;
        results = m_resultsTask;
        output = m_output;
    }
    if (auto builder = closeFeed()) {
        builder->finish();
    }

    if (fedAnalyzer && analyzer) {
        std::exception_ptr finalizeError;
        try {
            // The transcriber then reports its last results, and the results task ends the
            // stream when they end.
            co_await analyzer->finalizeAndFinishThroughEndOfInput();
        } catch (...) {
            finalizeError = std::current_exception();
        }
        if (!finalizeError) {
            co_return;
        }
        co_await ignoringFailure(analyzer->cancelAndFinishNow());
        if (output) {
            output->finish();
        }
        co_return;
    }

    // Nothing but silence reached the analyzer, or the feed never opened.
    if (analyzer) {
        co_await ignoringFailure(analyzer->cancelAndFinishNow());
    }
    if (results) {
        results->cancel();
    }
    if (output) {
        output->finish();
    }
}

QCoro::Task<void> ModernTranscriptionEngine::cancelSession()
{
    const auto self = shared_from_this();
    std::shared_ptr<SpeechAnalyzer> analyzer;
    std::optional<AsyncStream<SpeechTranscriber::Result>> results;
    std::optional<AsyncStream<EngineUpdate>> output;
    {
        std::lock_guard lock(m_feedLock);
        m_finishRequested = true;
        analyzer = m_analyzer;
        results = m_resultsTask;
        output = m_output;
    }
    if (auto builder = closeFeed()) {
        builder->finish();
    }
    if (analyzer) {
        co_await ignoringFailure(analyzer->cancelAndFinishNow());
    }
    if (results) {
        results->cancel();
    }
    if (output) {
        output->finish();
    }
}
