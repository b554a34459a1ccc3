#pragma once

#include "Base/Clock.h"
#include "Core/Transcription/BufferConverter.h"
#include "Core/Transcription/TranscriptionEngine.h"
#include "Platform/SpeechAnalysisService.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

// The on-device engine on the system's analyzer-based transcriber.
//
// Before every session it makes sure the locale's model is installed (downloading it, and giving
// up other reserved locales when the system's limit is reached). Captured audio is filtered before
// the analyzer sees it: silence before the first speech is dropped, and after speech at most half
// a second of silence passes until the next voiced buffer. What passes is converted into the one
// format the analyzer asks for. The transcriber's results go to the stream unchanged.
//
// A finish or cancel that comes while the session is still opening makes startSession() fail with
// the cancellation error at its next checkpoint and leaves nothing running.
//
// Where the service reports the transcriber unavailable (Linux), callers use the segment-based
// engine instead; this engine then fails every session with recognizerUnavailable.
class ModernTranscriptionEngine final
    : public TranscriptionEngine
    , public std::enable_shared_from_this<ModernTranscriptionEngine>
{
    struct MakeKey
    {
    };

public:
    static constexpr auto progressPollInterval = std::chrono::milliseconds(250);
    static constexpr float silenceThresholdDbfs = -50.0f;

    static std::shared_ptr<ModernTranscriptionEngine>
    make(std::shared_ptr<SpeechAnalysisService> service = SpeechAnalysisService::system(),
         Clock &clock = Clock::system());

    ModernTranscriptionEngine(MakeKey, std::shared_ptr<SpeechAnalysisService> service,
                              Clock &clock);
    ~ModernTranscriptionEngine() override;

    // Whether the system's transcriber can be used, which is what makes callers choose this
    // engine over the segment-based one.
    static bool
    isAvailable(const SpeechAnalysisService &service = *SpeechAnalysisService::system());

    QString name() const override { return QStringLiteral("SpeechAnalyzer"); }
    QCoro::Task<void> prepare(SpeechLocale locale, ProgressCallback progress) override;
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override;
    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale locale,
                                                        QStringList contextualStrings) override;
    void feed(const AudioBuffer &buffer) override;
    QCoro::Task<void> finishSession() override;
    QCoro::Task<void> cancelSession() override;

    // Makes sure the transcriber's model for the locale is installed, reporting progress (when a
    // callback is given) as fractions up to 1. Fails with TranscriptionError localeNotSupported
    // or modelDownloadFailed.
    static QCoro::Task<void> ensureModel(SpeechAnalysisService &service, Clock &clock,
                                         std::shared_ptr<SpeechTranscriber> transcriber,
                                         SpeechLocale locale, ProgressCallback progress);
    // Whether the first channel's level is below -50 dBFS (an empty buffer is silent).
    static bool isSilent(const AudioBuffer &buffer);

private:
    static SpeechTranscriber::Options transcriberOptions();
    bool openFeed(AsyncStream<AudioBuffer> builder, AudioFormat format);
    std::optional<AsyncStream<AudioBuffer>> closeFeed();
    bool isFinishRequested() const;
    static QCoro::Task<void> readResults(std::shared_ptr<SpeechTranscriber> transcriber,
                                         AsyncStream<SpeechTranscriber::Result> results,
                                         AsyncStream<EngineUpdate> output);

    const std::shared_ptr<SpeechAnalysisService> m_service;
    Clock &m_clock;

    // One lock over all of the engine's state. feed() holds it for its whole run, the level test
    // and the conversion included; the other operations only to read or change a field, and call
    // the analyzer and finish streams after releasing it.
    mutable std::mutex m_feedLock;
    std::shared_ptr<SpeechAnalyzer> m_analyzer;
    std::shared_ptr<SpeechTranscriber> m_transcriber;
    // The transcriber's results as the results task reads them; cancelling them ends that task.
    std::optional<AsyncStream<SpeechTranscriber::Result>> m_resultsTask;
    std::optional<AsyncStream<EngineUpdate>> m_output;
    std::optional<AsyncStream<AudioBuffer>> m_inputBuilder;
    std::optional<AudioFormat> m_analyzerFormat;
    bool m_finishRequested = false;
    BufferConverter m_converter;
    bool m_hasVoiced = false;
    qint64 m_silentFrames = 0;
    bool m_didFeedAnalyzer = false;
};
