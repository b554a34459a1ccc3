#pragma once

#include "Base/CancellationToken.h"
#include "Base/Clock.h"
#include "Core/Transcription/TranscriptionEngine.h"
#include "Platform/SpeechRecognitionService.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class SerialQueue;
class Timer;

// The on-device engine on the system's segment-based recogniser.
//
// A session is a chain of recognition segments, each with its own request and recognition task:
// about every 50 seconds, at a pause in the speech (at the latest when the segment is 58 s old),
// audio moves on to a new segment while the old one settles its text in the background. Settled
// texts are delivered strictly in segment order, joined with the locale's word separator; the
// unsettled texts of all open segments form one provisional text. Segments that keep ending empty
// right after they start (three in a row, each within 2 s) fail the session.
//
// After finishSession() the remaining final texts arrive and the stream ends, at the latest
// 5 seconds later, when segments still open count with their last partial text.
//
// One lock guards all of the engine's and its segments' state; the recogniser's results arrive on
// a serial queue of the engine's own. Rotation timers run on the thread that made the engine (it
// needs an event loop), and all timing follows the injected clock.
class LegacyTranscriptionEngine final
    : public TranscriptionEngine
    , public std::enable_shared_from_this<LegacyTranscriptionEngine>
{
    struct MakeKey
    {
    };

public:
    static constexpr auto rotationInterval = std::chrono::seconds(50);
    static constexpr auto rotationRetryInterval = std::chrono::milliseconds(250);
    static constexpr auto pauseBeforeRotation = std::chrono::milliseconds(300);
    static constexpr auto maximumSegmentAge = std::chrono::seconds(58);
    static constexpr auto earlyEmptySegmentAge = std::chrono::seconds(2);
    static constexpr int earlyEmptySegmentLimit = 3;
    static constexpr auto finishTimeout = std::chrono::seconds(5);

    static std::shared_ptr<LegacyTranscriptionEngine>
    make(std::shared_ptr<SpeechRecognitionService> service = SpeechRecognitionService::system(),
         Clock &clock = Clock::system());

    LegacyTranscriptionEngine(MakeKey, std::shared_ptr<SpeechRecognitionService> service,
                              Clock &clock);
    ~LegacyTranscriptionEngine() override;

    QString name() const override { return QStringLiteral("SFSpeechRecognizer"); }
    QCoro::Task<void> prepare(SpeechLocale locale, ProgressCallback progress) override;
    void prepareHints(const SpeechLocale &locale, const QStringList &contextualStrings) override;
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override;
    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale locale,
                                                        QStringList contextualStrings) override;
    void feed(const AudioBuffer &buffer) override;
    QCoro::Task<void> finishSession() override;
    QCoro::Task<void> cancelSession() override;

    // "" for languages written without spaces between words (ja, zh, yue, th, km, lo, my), else
    // one blank.
    static QString wordSeparator(const SpeechLocale &locale);
    // Whether the first channel's level is above -40 dBFS.
    static bool hasVoice(const AudioBuffer &buffer);

private:
    enum class Phase { idle, running, finishing, done };

    struct Segment
    {
        std::shared_ptr<SpeechRecognitionRequest> request;
        std::shared_ptr<SpeechRecognizer::Task> task;
        QString lastText;
        QString finalText;
        bool settled = false;
        std::chrono::nanoseconds startedAt {0};
    };
    using SegmentPtr = std::shared_ptr<Segment>;

    void startSegmentLocked();
    void rescheduleRotationLocked();
    void retryRotationSoonLocked();
    void disarmRotationLocked();
    void applyRotationTimerLocked();
    void rotationTimerFired();
    void rotate();
    void handleResult(const std::optional<SpeechRecognizer::Result> &result,
                      std::exception_ptr error, const SegmentPtr &segment);
    void settleLocked(const SegmentPtr &segment, const QString &finalText);
    void flushLocked();
    void finishStreamLocked();
    void failLocked();
    void finishTimedOut();
    void endStreamLocked();
    bool isOnTimerThread() const;

    const std::shared_ptr<SpeechRecognitionService> m_service;
    Clock &m_clock;
    const std::shared_ptr<SerialQueue> m_callbackQueue;
    // Wakes the engine for rotation; lives on the thread that made the engine.
    std::unique_ptr<Timer> m_rotationTimer;
    // Cancelled when the engine goes; the finish time-out waits on a child of it.
    CancellationToken m_lifetime;

    mutable std::mutex m_lock;
    Phase m_phase = Phase::idle;
    std::shared_ptr<SpeechRecognizer> m_recognizer;
    std::optional<AsyncStream<EngineUpdate>> m_output;
    std::vector<SegmentPtr> m_segments;
    size_t m_flushed = 0;
    SegmentPtr m_current;
    QStringList m_contextualStrings;
    QString m_separator = QStringLiteral(" ");
    bool m_hasFinalText = false;
    int m_earlyFailures = 0;
    // The armed rotation: its deadline on the clock's uptime and, when it repeats, its period.
    std::optional<std::chrono::nanoseconds> m_rotationDue;
    std::chrono::nanoseconds m_rotationPeriod {0};
    // Absent: no voiced buffer yet, which counts as the distant past.
    std::optional<std::chrono::nanoseconds> m_lastVoiceAt;
    // The sleep of the 5-second finish time-out; cancelled when the stream ends before it.
    CancellationToken m_finishTimeout;
};
