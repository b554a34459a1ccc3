#include "Core/DictationController.h"

#include "Base/Async.h"
#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/Unicode.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/Audio/AudioGate.h"
#include "Core/Audio/WavRecorder.h"
#include "Core/DebugLog.h"
#include "Core/DictationPipeline.h"
#include "Core/DictationTrace.h"
#include "Core/History/HistoryContextSelector.h"
#include "Core/History/HistoryStore.h"
#include "Core/Insertion/TextInsertion.h"
#include "Core/Keychain.h"
#include "Core/NextTurn.h"
#include "Core/Services/ConnectionWarming.h"
#include "Core/Services/ContextComposing.h"
#include "Core/Services/CorrectionLearning.h"
#include "Core/Services/UsageReporting.h"
#include "Core/Services/VocabularySource.h"
#include "Core/Transcription/TranscriptionEngine.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/Transcription/TranscriptionError.h"
#include "Platform/AudioEngine.h"
#include "Platform/SoundPlayer.h"

#include <QMetaEnum>

#include <atomic>

using namespace std::chrono;

namespace {

const QString cloudTokenKey = QStringLiteral("cloudToken");

template<typename E>
QString caseName(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value)));
}

double inSeconds(nanoseconds duration)
{
    return double(duration.count()) / 1e9;
}

// The text the user sees for a failure, in the interface language; the failure's own message
// goes to the log only.
QString userDescription(const std::exception_ptr &error)
{
    if (auto capture = AudioCapture::failureDescription(error)) {
        return *capture;
    }
    return TranscriptionError::errorDescription(error);
}

// The failure as the debug log shows it.
QString logDescription(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) { }
    return QStringLiteral("unknown error");
}

// The failure's kind for the usage event: a domain naming its type and the case's index.
std::pair<QString, int> domainAndCode(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &e) {
        return {QStringLiteral("Sonorvelle.TranscriptionError"), static_cast<int>(e.kind())};
    } catch (const AudioCapture::CaptureError &e) {
        return {QStringLiteral("Sonorvelle.AudioCapture.CaptureError"), static_cast<int>(e.kind())};
    } catch (const AudioEngine::Error &) {
        return {QStringLiteral("Sonorvelle.AudioEngine.Error"), 0};
    } catch (const std::exception &) {
        return {QStringLiteral("std.exception"), 0};
    } catch (...) { }
    return {QStringLiteral("unknown"), 0};
}

QCoro::Task<> prepareQuietly(std::shared_ptr<TranscriptionEngine> engine, SpeechLocale locale)
{
    try {
        QCoro::Task<> preparing = engine->prepare(std::move(locale), [](double) {});
        co_await preparing;
    } catch (...) {
        // Only fetched ahead: the next session reports the problem if it persists.
    }
}

// Never destroyed: the controller lives as long as the process, and must not tear down its
// capture after the application object is gone.
DictationController *&sharedInstance()
{
    static DictationController *instance = nullptr;
    return instance;
}

struct SharedConfiguration
{
    std::optional<DictationController::Services> services;
    std::unique_ptr<AudioCapture> audio;
};

SharedConfiguration &sharedConfiguration()
{
    static SharedConfiguration configuration;
    return configuration;
}

} // namespace

DictationController::DictationController(Services services, std::unique_ptr<AudioCapture> audio,
                                         QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_audio(std::move(audio))
    , m_sessionTimer(m_services.clock->makeTimer())
    , m_lastProgressAt(m_services.clock->uptime())
{
    connect(m_sessionTimer.get(), &Timer::timeout, this, [this] { tick(); });

    // The chosen microphone follows the setting, also while a session records.
    m_audio->setPreferredDeviceUID(m_services.settings->microphoneUID());
    connect(m_services.settings, &AppSettings::microphoneUIDChanged, this,
            [this](const std::optional<QString> &uid) { m_audio->setPreferredDeviceUID(uid); });
}

DictationController::~DictationController()
{
    m_audio->setOnBuffer({});
    m_audio->setOnLevel({});
    m_audio->setOnFailure({});
    m_audio->setOnStartStage({});
    m_audio->stop();
    m_sessionCancellation.cancel();
}

void DictationController::configureShared(Services services, std::unique_ptr<AudioCapture> audio)
{
    SharedConfiguration &configuration = sharedConfiguration();
    configuration.services = std::move(services);
    configuration.audio = std::move(audio);
}

DictationController &DictationController::shared()
{
    DictationController *&instance = sharedInstance();
    if (!instance) {
        SharedConfiguration &configuration = sharedConfiguration();
        Q_ASSERT_X(configuration.services && configuration.audio, "DictationController::shared",
                   "configureShared() must come first");
        instance = new DictationController(std::move(*configuration.services),
                                           std::move(configuration.audio));
        configuration.services.reset();
    }
    return *instance;
}

// MARK: Observable properties

void DictationController::setState(DictationState state)
{
    if (m_state == state) {
        return;
    }
    m_state = state;
    Q_EMIT stateChanged(state);
}

void DictationController::setFinalizedText(const QString &text)
{
    if (m_finalizedText == text) {
        return;
    }
    m_finalizedText = text;
    Q_EMIT finalizedTextChanged(text);
}

void DictationController::setVolatileText(const QString &text)
{
    if (m_volatileText == text) {
        return;
    }
    m_volatileText = text;
    Q_EMIT volatileTextChanged(text);
}

void DictationController::setLevel(float level)
{
    if (m_level == level) {
        return;
    }
    m_level = level;
    Q_EMIT levelChanged(level);
}

void DictationController::setSecondsRemaining(std::optional<int> value)
{
    if (m_secondsRemaining == value) {
        return;
    }
    m_secondsRemaining = value;
    Q_EMIT secondsRemainingChanged();
}

void DictationController::setLastError(std::optional<QString> error)
{
    if (!error && !m_lastError) {
        return;
    }
    m_lastError = std::move(error);
    Q_EMIT lastErrorChanged();
}

void DictationController::setPaused(bool paused)
{
    if (m_isPaused == paused) {
        return;
    }
    m_isPaused = paused;
    Q_EMIT isPausedChanged(paused);
}

void DictationController::setSessionTask(DictationTask task)
{
    if (m_sessionTask == task) {
        return;
    }
    m_sessionTask = task;
    Q_EMIT sessionTaskChanged(task);
}

// MARK: Hotkeys

void DictationController::holdKeyDown(DictationTask task)
{
    if (m_isPaused) {
        return;
    }
    switch (m_state) {
    case DictationState::idle:
        if (isStopping()) {
            return;
        }
        m_holdStartedAt = uptime();
        setSessionTask(task);
        startRecording(DictationTrigger::hold);
        break;
    case DictationState::recording:
        // Any key stops a recording, whatever its task and whatever started the session.
        m_holdStartedAt.reset();
        stopAndInsert();
        break;
    case DictationState::processing:
        if (m_processingStartedAt && uptime() - *m_processingStartedAt <= doubleTapCancel) {
            cancel(false);
        }
        break;
    }
}

void DictationController::holdKeyUp(DictationTask)
{
    if (m_state == DictationState::recording && m_holdStartedAt) {
        const nanoseconds held = uptime() - *m_holdStartedAt;
        if (held < minHold) {
            cancel(true);
        } else {
            stopAndInsert();
        }
    }
    m_holdStartedAt.reset();
}

// MARK: Start

void DictationController::startRecording(DictationTrigger trigger)
{
    if (m_state != DictationState::idle || isStopping()) {
        return;
    }
    if (!m_services.microphoneGranted()) {
        // The user starts again once access is granted.
        QMetaObject::invokeMethod(
            this, [request = m_services.requestMicrophone] { request(); }, Qt::QueuedConnection);
        return;
    }

    setLastError(std::nullopt);
    resetTexts();

    ++m_sessionID;
    const qint64 id = m_sessionID;
    m_sessionTrigger = trigger;
    m_sessionCancellation = CancellationToken();
    m_live = std::make_shared<LiveTranscript>();

    auto trace = std::make_shared<DictationTrace>(id, *m_services.clock);
    m_trace = trace;

    m_focusContext.reset();
    const qint64 generation = ++m_focusReadGeneration;
    m_focusRead = SharedTask<>(readFocus(QPointer(this), generation, m_services.readFocus));
    if (m_sessionTask != DictationTask::ask
        && m_services.settings->insertionMethod() == InsertionMethod::paste
        && m_services.settings->restoreClipboard()) {
        // A slow clipboard owner gets the whole recording to answer, not only the snapshot's
        // deadline after the key release.
        m_services.insertion->readClipboardAhead();
    }

    const auto speechLocaleID = m_services.settings->speechLocaleID();
    const SpeechLocale locale =
        speechLocaleID ? SpeechLocale(*speechLocaleID) : SpeechLocale::current();
    const QStringList terms = m_services.vocabularyTerms();

    std::shared_ptr<TranscriptionEngine> engine = m_services.engines->make();
    m_engine = engine;

    DebugLog::log(QStringLiteral("dictation: start #") + QString::number(id)
                  + QStringLiteral(" trigger=") + caseName(trigger) + QStringLiteral(" engine=")
                  + engine->name() + QStringLiteral(" locale=") + locale.identifier()
                  + QStringLiteral(" cleanup=")
                  + RawEnum::rawValue(m_services.settings->cleanupMode())
                  + QStringLiteral(" terms=") + QString::number(terms.size()));

    auto gate = std::make_shared<AudioGate>();

    m_audio->setOnStartStage([weakTrace = std::weak_ptr<DictationTrace>(trace)](
                                 const QString &stage, const std::optional<QString> &detail) {
        if (auto trace = weakTrace.lock()) {
            trace->mark(stage, detail);
        }
    });
    m_audio->setOnLevel([self = QPointer(this)](float level) {
        if (self) {
            self->setLevel(level);
        }
    });

    m_wavRecorder.reset();
    // Right after launch the keychain may not have answered yet: record anyway, and let the
    // account known at the release decide whether the recording goes to the service.
    if (m_services.settings->cloudSTT() && (isSignedIn() || !m_services.keychain->isLoaded())) {
        m_wavRecorder = std::make_shared<WavRecorder>();
    }

    // Runs on the capture thread: touches only what it holds, never the controller.
    m_audio->setOnBuffer([firstBuffer = std::make_shared<std::atomic_bool>(false), trace, gate,
                          recorder = m_wavRecorder](const AudioBuffer &buffer) {
        if (!firstBuffer->exchange(true)) {
            trace->mark(QStringLiteral("audio.firstBuffer"),
                        QString::asprintf("%.0fHz %dch", buffer.sampleRate, buffer.channels));
        }
        gate->feed(buffer);
        if (recorder) {
            recorder->append(buffer);
        }
    });
    m_audio->setOnFailure([self = QPointer(this)](std::exception_ptr error) {
        if (self) {
            self->captureFailed(error);
        }
    });

    try {
        m_audio->start();
    } catch (...) {
        failSession(std::current_exception());
        return;
    }
    trace->mark(QStringLiteral("audio.start"));

    setState(DictationState::recording);
    m_sessionStartedAt = uptime();
    m_lastProgressAt = *m_sessionStartedAt;

    playSound(QStringLiteral("Pop"));
    trace->mark(QStringLiteral("ui.recording"), QStringLiteral("開始音まで"));

    if (isSignedIn()
        && (m_services.settings->cloudSTT() || isCloud(m_services.settings->cleanupMode()))) {
        if (m_services.warmer) {
            m_services.warmer->warm();
        }
    }

    m_startupTask = StartupTask(startup(engine, locale, terms, trace, gate));
    m_updatesTask = SharedTask<>(
        consumeUpdates(QPointer(this), *m_startupTask, trace, id, m_sessionCancellation, m_live));

    startSessionTimer();
}

QCoro::Task<AsyncStream<EngineUpdate>>
DictationController::startup(std::shared_ptr<TranscriptionEngine> engine, SpeechLocale locale,
                             QStringList terms, std::shared_ptr<DictationTrace> trace,
                             std::shared_ptr<AudioGate> gate)
{
    QCoro::Task<AsyncStream<EngineUpdate>> starting =
        engine->startSession(std::move(locale), std::move(terms));
    AsyncStream<EngineUpdate> stream = co_await starting;
    trace->mark(QStringLiteral("engine.startSession"),
                engine->name() + QStringLiteral(" 起動完了"));
    // The backlog goes to the engine under the gate's lock, so no live buffer overtakes it.
    gate->open(std::weak_ptr<TranscriptionEngine>(engine));
    trace->mark(QStringLiteral("engine.gateOpen"), QStringLiteral("バッファ滞留を流し込み"));
    co_return stream;
}

QCoro::Task<> DictationController::consumeUpdates(QPointer<DictationController> self,
                                                  StartupTask startup,
                                                  std::shared_ptr<DictationTrace> trace, qint64 id,
                                                  CancellationToken cancellation,
                                                  std::shared_ptr<LiveTranscript> live)
{
    // The session's start finishes its own steps first.
    co_await NextTurn();

    const auto fail = [&](const std::exception_ptr &error) {
        if (isCancellation(error) || !live->attached || !self || self->m_sessionID != id) {
            return;
        }
        self->failSession(error);
    };

    std::optional<AsyncStream<EngineUpdate>> stream;
    std::exception_ptr startError;
    try {
        stream = co_await startup;
    } catch (...) {
        startError = std::current_exception();
    }
    if (startError) {
        fail(startError);
        co_return;
    }

    const auto hook = cancellation.onCancel([stream = *stream] { stream.cancel(); });
    std::exception_ptr streamError;
    bool first = true;
    try {
        while (std::optional<EngineUpdate> update = co_await stream->next()) {
            live->transcript.apply(*update);
            if (!self || self->m_sessionID != id) {
                break;
            }
            if (first) {
                first = false;
                trace->mark(QStringLiteral("engine.firstResult"));
            }
            if (!live->attached) {
                continue;
            }
            const QString &text = update->text();
            if (update->isFinalized()) {
                if (!text.isEmpty()) {
                    self->m_lastProgressAt = self->uptime();
                }
                self->setFinalizedText(self->m_finalizedText + text);
                self->setVolatileText(QString());
            } else {
                if (text != self->m_volatileText) {
                    self->m_lastProgressAt = self->uptime();
                }
                self->setVolatileText(text);
            }
        }
    } catch (...) {
        streamError = std::current_exception();
    }
    cancellation.removeCallback(hook);
    if (streamError) {
        fail(streamError);
    }
}

QCoro::Task<> DictationController::readFocus(QPointer<DictationController> self, qint64 generation,
                                             std::function<FocusContext(qint64)> read)
{
    auto work = [read = std::move(read)] {
        return read(focusTextLength);
    };
    std::optional<FocusContext> context;
    try {
        context = co_await Async::runInBackground(std::move(work));
    } catch (...) {
        co_return;
    }
    if (!self || self->m_focusReadGeneration != generation) {
        co_return;
    }
    self->m_focusContext = context;
    if (self->m_services.learner) {
        self->m_services.learner->checkAndSend(*context);
    }
}

void DictationController::captureFailed(const std::exception_ptr &error)
{
    if (m_state != DictationState::recording) {
        return;
    }
    // The session ends normally with what was recognised so far, and shows why.
    stopAndInsert();
    setLastError(userDescription(error));
}

// MARK: Session timer

void DictationController::startSessionTimer()
{
    setSecondsRemaining(std::nullopt);
    m_sessionTimer->start(tickInterval, true);
}

void DictationController::stopSessionTimer()
{
    m_sessionTimer->stop();
    setSecondsRemaining(std::nullopt);
}

std::optional<int> DictationController::countdown(nanoseconds elapsed)
{
    const nanoseconds remaining = nanoseconds(maxSessionDuration) - elapsed;
    if (remaining > nanoseconds(countdownDuration)) {
        return std::nullopt;
    }
    if (remaining <= nanoseconds::zero()) {
        return 0;
    }
    return static_cast<int>(duration_cast<std::chrono::seconds>(remaining).count());
}

void DictationController::tick()
{
    if (m_state != DictationState::recording || !m_sessionStartedAt) {
        return;
    }
    const nanoseconds now = uptime();
    const nanoseconds elapsed = now - *m_sessionStartedAt;
    setSecondsRemaining(countdown(elapsed));
    if (elapsed >= nanoseconds(maxSessionDuration)) {
        stopAndInsert();
        return;
    }
    if (m_sessionTrigger == DictationTrigger::menu && now - m_lastProgressAt >= silenceAutoStop) {
        const QString text = Unicode::trimmedWhitespaceAndNewlines(liveTranscript());
        const QString limit = QString::number(silenceAutoStop.count());
        if (!text.isEmpty()) {
            DebugLog::log(QStringLiteral("dictation: auto-stop after ") + limit
                          + QStringLiteral("s of silence (inserting recognized text)"));
            stopAndInsert();
        } else {
            DebugLog::log(QStringLiteral("dictation: auto-cancel after ") + limit
                          + QStringLiteral("s of silence (nothing recognized)"));
            cancel(false);
        }
    }
}

void DictationController::resetTexts()
{
    setFinalizedText(QString());
    setVolatileText(QString());
    setLevel(0);
}

// MARK: Stop

void DictationController::stopAndInsert()
{
    if (m_state != DictationState::recording) {
        return;
    }
    if (!m_trace) {
        m_trace = std::make_shared<DictationTrace>(m_sessionID, *m_services.clock);
    }
    const std::shared_ptr<DictationTrace> trace = m_trace;
    trace->mark(QStringLiteral("keyup"));

    setState(DictationState::processing);
    m_processingStartedAt = uptime();

    m_audio->stop();
    trace->mark(QStringLiteral("audio.stop"));
    stopSessionTimer();

    playSound(QStringLiteral("Blow"));

    const qint64 id = m_sessionID;
    const DictationTask task = m_sessionTask;
    AppSettings &settings = *m_services.settings;

    std::shared_ptr<WavRecorder> recorder = std::exchange(m_wavRecorder, nullptr);
    if (recorder && !isSignedIn()) {
        recorder.reset();
    }
    std::optional<QByteArray> wav;
    if (recorder) {
        wav = recorder->finishWAV();
        if (settings.cloudSTT()) {
            trace->mark(QStringLiteral("wav.finish"),
                        wav ? QString::asprintf("%lldKB / 音声%.1fs",
                                                static_cast<long long>(wav->size() / 1024),
                                                double(wav->size() - 44) / 32000.0)
                            : QStringLiteral("なし(録音が短い/変換失敗)"));
        }
    }

    std::optional<QString> composed;
    if (task == DictationTask::cleanup && settings.cleanupMode() == CleanupMode::cloudRewrite
        && settings.useFocusContext()) {
        QStringList recent;
        if (settings.historyEnabled()) {
            recent = HistoryContextSelector::select(
                m_focusContext ? m_focusContext->bundleID : std::nullopt,
                m_focusContext ? m_focusContext->windowTitle : std::nullopt,
                m_focusContext ? m_focusContext->appName : std::nullopt,
                m_services.history->records(), m_services.clock->now());
        }
        if (m_services.composer) {
            composed = m_services.composer->compose(m_focusContext, recent);
        }
        trace->mark(QStringLiteral("context.compose"),
                    QStringLiteral("recent=") + QString::number(recent.size())
                        + QStringLiteral(" composed=")
                        + QString::number(composed ? Unicode::graphemeCount(*composed) : 0)
                        + QStringLiteral("ch"));
    }

    DictationPipeline::Inputs inputs;
    inputs.session.session = static_cast<quint64>(id);
    inputs.session.trace = trace;
    inputs.session.cancellation = m_sessionCancellation;
    inputs.wav = std::move(wav);
    inputs.task = task;
    inputs.context.focus = settings.useFocusContext() ? m_focusContext : std::nullopt;
    inputs.context.localeIdentifier = localeIdentifier();
    inputs.context.customInstructions = settings.customInstructions();
    inputs.context.dictionaryTerms = m_services.vocabularyTerms();
    inputs.context.personalize = settings.cloudLearning();
    inputs.context.composedContext = composed;
    inputs.startupTask = m_startupTask;
    inputs.engine = m_engine;
    inputs.updatesTask = m_updatesTask;
    inputs.duration = m_sessionStartedAt ? inSeconds(uptime() - *m_sessionStartedAt) : 0.0;
    inputs.hadRecorder = recorder != nullptr;
    if (task != DictationTask::ask && settings.insertionMethod() == InsertionMethod::paste
        && settings.restoreClipboard()) {
        // Saved now, as the clipboard was when the key went up.
        inputs.snapshot = m_services.insertion->beginSnapshot();
    }
    inputs.focusRead = m_focusRead;
    inputs.live = m_live;

    m_processingTask = SharedTask<>(DictationPipeline::run(QPointer(this), std::move(inputs)));
}

// MARK: Cancel and failure

void DictationController::cancel(bool silent)
{
    if (m_state == DictationState::idle) {
        return;
    }
    if (m_services.reporter)
        m_services.reporter->record(
            QStringLiteral("session.cancelled"),
            {{QStringLiteral("silent"), silent},
             {QStringLiteral("state"), caseName(m_state)},
             {QStringLiteral("afterSec"),
              static_cast<qint64>(m_sessionStartedAt ? inSeconds(uptime() - *m_sessionStartedAt)
                                                     : 0)}});

    m_audio->stop();
    stopSessionTimer();

    m_sessionCancellation.cancel();
    closeEngineLater();

    m_engine.reset();
    m_updatesTask.reset();
    m_startupTask.reset();
    m_processingTask.reset();
    m_wavRecorder.reset();
    if (m_live) {
        m_live->attached = false;
    }

    ++m_sessionID;
    resetTexts();
    setState(DictationState::idle);

    if (m_trace) {
        m_trace->flush(silent ? QStringLiteral("discarded(短すぎる押下)")
                              : QStringLiteral("cancelled"));
        m_trace.reset();
    }
    if (!silent) {
        playSound(QStringLiteral("Bottle"));
    }
}

void DictationController::failSession(const std::exception_ptr &error)
{
    DebugLog::log(QStringLiteral("dictation: session FAILED: ") + logDescription(error));
    recoverFromUnsupportedLocale(error);
    const auto [domain, code] = domainAndCode(error);
    if (m_services.reporter)
        m_services.reporter->record(QStringLiteral("session.failed"),
                                    {{QStringLiteral("state"), caseName(m_state)},
                                     {QStringLiteral("domain"), domain},
                                     {QStringLiteral("code"), code}});

    if (m_state == DictationState::processing) {
        // The processing task in flight ends the session itself.
        setLastError(userDescription(error));
        return;
    }

    m_audio->stop();
    stopSessionTimer();
    setLastError(userDescription(error));

    closeEngineLater();
    m_engine.reset();
    m_updatesTask.reset();
    m_startupTask.reset();
    m_wavRecorder.reset();
    if (m_live) {
        m_live->attached = false;
    }

    ++m_sessionID;
    resetTexts();
    setState(DictationState::idle);

    if (m_trace) {
        m_trace->flush(QStringLiteral("failed"));
        m_trace.reset();
    }
    playSound(QStringLiteral("Basso"));
}

void DictationController::closeEngineLater()
{
    m_stopping = SharedTask<>(
        cancelEngineWhenStarted(m_startupTask, m_engine, m_processingTask, *m_services.clock));
}

QCoro::Task<>
DictationController::cancelEngineWhenStarted(std::optional<StartupTask> startup,
                                             std::shared_ptr<TranscriptionEngine> engine,
                                             std::optional<SharedTask<>> processing, Clock &clock)
{
    co_await NextTurn();
    if (startup) {
        // A session that never opens is cancelled all the same; one whose opening hangs is
        // cancelled while it opens, so it cannot keep the next session from starting.
        co_await Async::finishesWithin(*startup, clock, DictationPipeline::startupWaitLimit);
    }
    if (engine) {
        try {
            QCoro::Task<> cancelling = engine->cancelSession();
            co_await cancelling;
        } catch (...) { }
    }
    if (processing) {
        try {
            co_await *processing;
        } catch (...) { }
    }
}

bool DictationController::isCancellation(const std::exception_ptr &error)
{
    return TranscriptionError::isCancellation(error);
}

void DictationController::recoverFromUnsupportedLocale(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &e) {
        if (e.kind() == TranscriptionError::Kind::localeNotSupported) {
            relocate(QPointer(this));
        }
    } catch (...) { }
}

QCoro::Task<> DictationController::relocate(QPointer<DictationController> self)
{
    co_await NextTurn();
    if (!self) {
        co_return;
    }
    std::shared_ptr<TranscriptionEngine> engine = self->m_services.engines->make();
    const auto announce = self->m_services.announceLocaleSwitch;
    SpeechLocaleResolver::Resolution resolution;
    try {
        QCoro::Task<SpeechLocaleResolver::Resolution> resolving =
            self->m_services.ensureLocaleConfigured(engine);
        resolution = co_await resolving;
    } catch (...) {
        co_return;
    }
    if (!resolution.changed) {
        co_return;
    }
    announce(resolution.locale);
    // The new locale's model is fetched ahead of the next session; the failed one is not retried.
    prepareQuietly(std::move(engine), resolution.locale);
}

// MARK: Helpers

void DictationController::playSound(const QString &name) const
{
    if (m_services.settings->playSounds()) {
        m_services.sounds->play(name);
    }
}

bool DictationController::isSignedIn() const
{
    return m_services.keychain->get(cloudTokenKey).has_value();
}

nanoseconds DictationController::uptime() const
{
    return m_services.clock->uptime();
}

QString DictationController::localeIdentifier() const
{
    const auto speechLocaleID = m_services.settings->speechLocaleID();
    return speechLocaleID ? SpeechLocale(*speechLocaleID).identifier()
                          : SpeechLocale::current().identifier();
}

QVariantMap DictationController::environmentProps(const AppSettings &settings,
                                                  const Keychain &keychain,
                                                  const VocabularySource &vocabulary)
{
    const auto speechLocaleID = settings.speechLocaleID();
    const QString locale = speechLocaleID ? SpeechLocale(*speechLocaleID).identifier()
                                          : SpeechLocale::current().identifier();
    return {
        {QStringLiteral("cleanupMode"), RawEnum::rawValue(settings.cleanupMode())},
        {QStringLiteral("intensity"), settings.cleanupIntensity()},
        {QStringLiteral("cloudSTT"), settings.cloudSTT()},
        {QStringLiteral("cloudLearning"), settings.cloudLearning()},
        {QStringLiteral("locale"), locale},
        {QStringLiteral("holdKeyDefault"), settings.holdKey() == DictationHoldKey::rightCommand},
        {QStringLiteral("askKeyDefault"), settings.askKey() == DictationHoldKey::rightOption},
        {QStringLiteral("translateKeyOff"), settings.translateKey() == DictationHoldKey::none},
        {QStringLiteral("insertMethod"),
         settings.insertionMethod() == InsertionMethod::type ? QStringLiteral("type")
                                                             : QStringLiteral("paste")},
        {QStringLiteral("focusContext"), settings.useFocusContext()},
        {QStringLiteral("history"), settings.historyEnabled()},
        {QStringLiteral("customInstructions"),
         !Unicode::trimmedWhitespaceAndNewlines(settings.customInstructions()).isEmpty()},
        {QStringLiteral("vocabCount"), static_cast<qint64>(vocabulary.terms().size())},
        {QStringLiteral("signedIn"), keychain.get(cloudTokenKey).has_value()},
    };
}

QCoro::Task<> DictationController::recordEnvironment(UsageReporting &reporter,
                                                     const AppSettings &settings,
                                                     Keychain &keychain,
                                                     const VocabularySource &vocabulary)
{
    co_await keychain.load();
    reporter.record(QStringLiteral("app.env"), environmentProps(settings, keychain, vocabulary));
}

QStringList DictationController::Services::vocabularyTerms() const
{
    return vocabulary ? vocabulary->terms() : QStringList();
}

QList<Replacement> DictationController::Services::vocabularyReplacements() const
{
    return vocabulary ? vocabulary->replacements() : QList<Replacement>();
}
