#pragma once

#include "Base/AsyncStream.h"
#include "Base/CancellationToken.h"
#include "Base/Clock.h"
#include "Base/SharedTask.h"
#include "Core/FocusContextReader.h"
#include "Core/Models/DictationState.h"
#include "Core/Models/DictationTask.h"
#include "Core/Models/DictationTrigger.h"
#include "Core/Models/EngineUpdate.h"
#include "Core/Models/FocusContext.h"
#include "Core/Models/Replacement.h"
#include "Core/Permissions.h"
#include "Core/Transcription/EngineTranscript.h"
#include "Core/Transcription/SpeechLocale.h"
#include "Core/Transcription/SpeechLocaleNotifications.h"
#include "Core/Transcription/SpeechLocaleResolver.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <QCoro/QCoroTask>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class AnswerPresenting;
class AppSettings;
class AudioCapture;
class AudioGate;
class CleanupStageFactory;
class CloudDictation;
class ConnectionWarming;
class ContextComposing;
class CorrectionLearning;
class DictationTrace;
class HistoryStore;
class Keychain;
class SignInPrompting;
class SoundPlayer;
class TextInsertion;
class Timer;
class TranscriptionEngine;
class UsageReporting;
class UserDefaults;
class VocabularySource;
class WavRecorder;

// Runs the dictation session: a hotkey press, a menu command or a command of the answer card or
// the companion host becomes a session that records the microphone, feeds the speech engine
// (audio is held back until the engine's session is open), records a WAV for cloud transcription,
// reads the focused field in the background and keeps the session timer; when recording stops it
// launches the processing task (DictationPipeline) that turns the recording into inserted text.
//
// Everything runs on the main thread. Other parts change a session only through holdKeyDown,
// holdKeyUp, startRecording, stopAndInsert and cancel, and the writable properties sessionTask and
// isPaused; the rest they observe. The session counter is compared after every wait, so results
// of a cancelled, failed or superseded session are dropped.
//
// All durations (hold time, double press, session limit, silence) are measured on the clock's
// monotonic time, so a change of the wall clock neither ends nor stretches a session.
class DictationController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("the one session controller")

    Q_PROPERTY(DictationStateNS::DictationState state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString finalizedText READ finalizedText NOTIFY finalizedTextChanged)
    Q_PROPERTY(QString volatileText READ volatileText NOTIFY volatileTextChanged)
    Q_PROPERTY(float level READ level NOTIFY levelChanged)
    // -1 while absent (more than 60 s left, or no session recording).
    Q_PROPERTY(int secondsRemaining READ secondsRemainingValue NOTIFY secondsRemainingChanged)
    Q_PROPERTY(bool hasSecondsRemaining READ hasSecondsRemaining NOTIFY secondsRemainingChanged)
    // Empty while absent.
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(bool isPaused READ isPaused WRITE setPaused NOTIFY isPausedChanged)
    Q_PROPERTY(DictationTaskNS::DictationTask sessionTask READ sessionTask WRITE setSessionTask
                   NOTIFY sessionTaskChanged)

public:
    // The recording limit of a session, the same value as AppSettings::maxSessionSeconds.
    static constexpr std::chrono::seconds maxSessionDuration {540};
    // The countdown shows in the last minute of the limit.
    static constexpr std::chrono::seconds countdownDuration {60};
    // A press of any hotkey within this time after a stop (inclusive) cancels the processing.
    static constexpr std::chrono::milliseconds doubleTapCancel {500};
    // A session started from a menu ends after this long without progress in the recognised text.
    static constexpr std::chrono::seconds silenceAutoStop {30};
    // A shorter hold is discarded as an accidental press.
    static constexpr std::chrono::milliseconds minHold {200};
    // The session timer's period.
    static constexpr std::chrono::seconds tickInterval {1};
    // How much of the focused field's text the focus read takes from each end.
    static constexpr qint64 focusTextLength = 4000;

    // Everything the controller and its processing task use besides the microphone capture. Every
    // pointer and function must be set (those with a default are set to the system's); the
    // objects must outlive the controller and its tasks.
    struct Services
    {
        AppSettings *settings = nullptr;
        Keychain *keychain = nullptr;
        // The standard user defaults ("testerModeEnabled", "improveDataSharing").
        UserDefaults *defaults = nullptr;
        Clock *clock = &Clock::system();
        TranscriptionEngineFactory *engines = &TranscriptionEngineFactory::system();
        HistoryStore *history = nullptr;
        TextInsertion *insertion = nullptr;
        SoundPlayer *sounds = nullptr;
        VocabularySource *vocabulary = nullptr;
        CorrectionLearning *learner = nullptr;
        ContextComposing *composer = nullptr;
        CleanupStageFactory *cleanup = nullptr;
        CloudDictation *cloud = nullptr;
        ConnectionWarming *warmer = nullptr;
        UsageReporting *reporter = nullptr;
        SignInPrompting *signIn = nullptr;
        AnswerPresenting *answerCard = nullptr;
        // The services above from `vocabulary` on belong to subsystems a build may not have yet:
        // an absent one is skipped (no terms, no events, no cloud result, no cleanup stage).

        QStringList vocabularyTerms() const;
        QList<Replacement> vocabularyReplacements() const;

        // Blocking snapshot of the focused field, with at most this many characters of text from
        // each end; run on the thread pool.
        std::function<FocusContext(qint64 maxLength)> readFocus = [](qint64 maxLength) {
            return FocusContextReader::read(maxLength);
        };
        // Whether the microphone may be used, and the request for access.
        std::function<bool()> microphoneGranted = &Permissions::microphoneGranted;
        std::function<void()> requestMicrophone = [] {
            Permissions::requestMicrophone();
        };
        // Checks the stored recognition locale against what the engine supports and picks a
        // supported one (storing it) when it is not; main thread.
        std::function<QCoro::Task<SpeechLocaleResolver::Resolution>(
            std::shared_ptr<TranscriptionEngine>)>
            ensureLocaleConfigured = [](std::shared_ptr<TranscriptionEngine> engine) {
                return SpeechLocaleResolver::ensureConfigured(std::move(engine));
            };
        // Announces an automatic switch of the recognition locale.
        std::function<void(const SpeechLocale &)> announceLocaleSwitch =
            [](const SpeechLocale &locale) {
                SpeechLocaleNotifications::shared().postSpeechLocaleSwitched(locale);
            };
    };

    // `audio` is the one capture of the process.
    DictationController(Services services, std::unique_ptr<AudioCapture> audio,
                        QObject *parent = nullptr);
    ~DictationController() override;

    DictationController(const DictationController &) = delete;
    DictationController &operator=(const DictationController &) = delete;

    // The start-up hands over the services and the capture once, before the first use of shared().
    static void configureShared(Services services, std::unique_ptr<AudioCapture> audio);
    // The process-wide controller, made at the first call (after configureShared()).
    static DictationController &shared();

    DictationState state() const { return m_state; }
    const QString &finalizedText() const { return m_finalizedText; }
    const QString &volatileText() const { return m_volatileText; }
    // finalizedText followed by volatileText.
    QString liveTranscript() const { return m_finalizedText + m_volatileText; }
    float level() const { return m_level; }
    std::optional<int> secondsRemaining() const { return m_secondsRemaining; }
    std::optional<QString> lastError() const { return m_lastError; }
    bool isPaused() const { return m_isPaused; }
    void setPaused(bool paused);
    DictationTask sessionTask() const { return m_sessionTask; }
    void setSessionTask(DictationTask task);

    int secondsRemainingValue() const { return m_secondsRemaining.value_or(-1); }
    bool hasSecondsRemaining() const { return m_secondsRemaining.has_value(); }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }

    // Whether the last session still releases what it took: its speech engine closing, its
    // abandoned processing ending. No session starts until then, whatever asks for one.
    bool isStopping() const { return m_stopping && !m_stopping->isDone(); }

    // The session counter: one more at every start, every cancel and every failure outside
    // processing.
    qint64 sessionID() const { return m_sessionID; }
    DictationTrigger sessionTrigger() const { return m_sessionTrigger; }
    // The running session's timeline; absent between sessions.
    const std::shared_ptr<DictationTrace> &trace() const { return m_trace; }
    // The focused field as read at the start of the session; absent until the read is back.
    const std::optional<FocusContext> &focusContext() const { return m_focusContext; }

    // A hotkey went down / up (the task of the key; the release does not use it).
    void holdKeyDown(DictationTask task);
    void holdKeyUp(DictationTask task);
    // Starts a session of the current sessionTask from idle. Callers other than holdKeyDown pass
    // menu.
    void startRecording(DictationTrigger trigger);
    // Stops recording and launches the processing task; nothing unless recording.
    void stopAndInsert();
    // Abandons the session in any phase but idle. `silent`: no sound, the session counts as
    // discarded.
    void cancel(bool silent);

    // The configuration reported by the "app.env" usage event, read now from these services.
    static QVariantMap environmentProps(const AppSettings &settings, const Keychain &keychain,
                                        const VocabularySource &vocabulary);
    // Records "app.env" once the keychain has been read at launch, so that a signed-in user
    // counts as signed in. The objects must outlive the task.
    static QCoro::Task<> recordEnvironment(UsageReporting &reporter, const AppSettings &settings,
                                           Keychain &keychain, const VocabularySource &vocabulary);

    // The countdown for this much recording time: absent while more than 60 s remain, else the
    // whole seconds left (truncated, never below 0).
    static std::optional<int> countdown(std::chrono::nanoseconds elapsed);

Q_SIGNALS:
    void stateChanged(DictationState state);
    void finalizedTextChanged(const QString &text);
    void volatileTextChanged(const QString &text);
    void levelChanged(float level);
    void secondsRemainingChanged();
    // Also emitted when the same error text is set again: every present value is a new error.
    void lastErrorChanged();
    void isPausedChanged(bool paused);
    void sessionTaskChanged(DictationTask task);
    // A session of `task` ended without the cloud because no account is signed in: translate
    // inserted the words untranslated.
    void signInNeeded(DictationTask task);

private:
    friend class DictationPipeline;

    // The session's own copy of what its engine recognised. While attached it is mirrored into
    // finalizedText and volatileText, and a failure of the stream fails the session; once the
    // session no longer waits for the engine (a cloud result won, or the session ended) late
    // updates and errors only reach this copy.
    struct LiveTranscript
    {
        EngineTranscript transcript;
        bool attached = true;
    };

    using StartupTask = SharedTask<AsyncStream<EngineUpdate>>;

    void setState(DictationState state);
    void setFinalizedText(const QString &text);
    void setVolatileText(const QString &text);
    void setLevel(float level);
    void setSecondsRemaining(std::optional<int> value);
    void setLastError(std::optional<QString> error);

    void failSession(const std::exception_ptr &error);
    void recoverFromUnsupportedLocale(const std::exception_ptr &error);
    static bool isCancellation(const std::exception_ptr &error);
    void startSessionTimer();
    void stopSessionTimer();
    void tick();
    void resetTexts();
    void captureFailed(const std::exception_ptr &error);
    // Waits for the session's engine start (at most as long as processing would), then cancels
    // the engine's session; the session counts as stopping until that is done and its abandoned
    // processing, if any, has ended.
    void closeEngineLater();
    void playSound(const QString &name) const;
    bool isSignedIn() const;
    std::chrono::nanoseconds uptime() const;
    QString localeIdentifier() const;

    static QCoro::Task<AsyncStream<EngineUpdate>>
    startup(std::shared_ptr<TranscriptionEngine> engine, SpeechLocale locale, QStringList terms,
            std::shared_ptr<DictationTrace> trace, std::shared_ptr<AudioGate> gate);
    static QCoro::Task<> consumeUpdates(QPointer<DictationController> self, StartupTask startup,
                                        std::shared_ptr<DictationTrace> trace, qint64 id,
                                        CancellationToken cancellation,
                                        std::shared_ptr<LiveTranscript> live);
    static QCoro::Task<> readFocus(QPointer<DictationController> self, qint64 generation,
                                   std::function<FocusContext(qint64)> read);
    static QCoro::Task<> cancelEngineWhenStarted(std::optional<StartupTask> startup,
                                                 std::shared_ptr<TranscriptionEngine> engine,
                                                 std::optional<SharedTask<>> processing,
                                                 Clock &clock);
    static QCoro::Task<> relocate(QPointer<DictationController> self);

    Services m_services;

    DictationState m_state = DictationState::idle;
    QString m_finalizedText;
    QString m_volatileText;
    float m_level = 0;
    std::optional<int> m_secondsRemaining;
    std::optional<QString> m_lastError;
    bool m_isPaused = false;

    std::unique_ptr<AudioCapture> m_audio;
    std::shared_ptr<TranscriptionEngine> m_engine;
    std::shared_ptr<WavRecorder> m_wavRecorder;
    std::optional<StartupTask> m_startupTask;
    std::optional<SharedTask<>> m_updatesTask;
    std::optional<SharedTask<>> m_processingTask;
    // The last ended session's release; see isStopping().
    std::optional<SharedTask<>> m_stopping;
    std::optional<std::chrono::nanoseconds> m_processingStartedAt;
    // Runs while a session records.
    std::unique_ptr<Timer> m_sessionTimer;
    std::shared_ptr<DictationTrace> m_trace;
    std::optional<FocusContext> m_focusContext;
    // The session's focus read; the processing task waits for it (bounded) before it decides
    // whether the field is a secure one.
    std::optional<SharedTask<>> m_focusRead;
    qint64 m_focusReadGeneration = 0;
    qint64 m_sessionID = 0;
    std::optional<std::chrono::nanoseconds> m_sessionStartedAt;
    std::optional<std::chrono::nanoseconds> m_holdStartedAt;
    std::chrono::nanoseconds m_lastProgressAt {0};
    DictationTrigger m_sessionTrigger = DictationTrigger::hold;
    DictationTask m_sessionTask = DictationTask::cleanup;
    // Cancelled by cancel(): stops the session's update and processing tasks.
    CancellationToken m_sessionCancellation;
    std::shared_ptr<LiveTranscript> m_live;
};
