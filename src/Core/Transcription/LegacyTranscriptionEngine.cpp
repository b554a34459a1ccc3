#include "Core/Transcription/LegacyTranscriptionEngine.h"

#include "Base/AppInfo.h"
#include "Base/Async.h"
#include "Base/CancelledError.h"
#include "Base/SerialQueue.h"
#include "Base/Timer.h"
#include "Core/Transcription/TranscriptionError.h"

#include <QThread>

#include <cmath>

using namespace std::chrono;

namespace {

// Timers may wake a little before their deadline (millisecond rounding); such a wake counts.
constexpr nanoseconds kTimerSlack = milliseconds(1);

QCoro::Task<void> finishAfterTimeout(std::weak_ptr<LegacyTranscriptionEngine> weak, Clock *clock,
                                     CancellationToken token,
                                     void (LegacyTranscriptionEngine::*timedOut)())
{
    try {
        co_await Async::sleep(*clock, LegacyTranscriptionEngine::finishTimeout, token);
    } catch (const CancelledError &) {
        co_return;
    }
    if (auto engine = weak.lock()) {
        (engine.get()->*timedOut)();
    }
}

} // namespace

std::shared_ptr<LegacyTranscriptionEngine>
LegacyTranscriptionEngine::make(std::shared_ptr<SpeechRecognitionService> service, Clock &clock)
{
    auto engine =
        std::make_shared<LegacyTranscriptionEngine>(MakeKey {}, std::move(service), clock);
    std::weak_ptr<LegacyTranscriptionEngine> weak = engine;
    QObject::connect(engine->m_rotationTimer.get(), &Timer::timeout, engine->m_rotationTimer.get(),
                     [weak] {
                         if (auto alive = weak.lock()) {
                             alive->rotationTimerFired();
                         }
                     });
    return engine;
}

LegacyTranscriptionEngine::LegacyTranscriptionEngine(
    MakeKey, std::shared_ptr<SpeechRecognitionService> service, Clock &clock)
    : m_service(std::move(service))
    , m_clock(clock)
    , m_callbackQueue(std::make_shared<SerialQueue>(AppInfo::bundleIdentifier()
                                                    + QStringLiteral(".legacy-stt")))
    , m_rotationTimer(clock.makeTimer())
{ }

LegacyTranscriptionEngine::~LegacyTranscriptionEngine()
{
    m_lifetime.cancel();
    if (m_rotationTimer) {
        if (isOnTimerThread()) {
            m_rotationTimer->stop();
        }
        // The last reference may go while the timer is emitting: never delete it in place.
        m_rotationTimer.release()->deleteLater();
    }
}

QString LegacyTranscriptionEngine::wordSeparator(const SpeechLocale &locale)
{
    static const QStringList unspaced = {
        QStringLiteral("ja"), QStringLiteral("zh"), QStringLiteral("yue"), QStringLiteral("th"),
        QStringLiteral("km"), QStringLiteral("lo"), QStringLiteral("my")};
    return unspaced.contains(locale.languageCode()) ? QString() : QStringLiteral(" ");
}

bool LegacyTranscriptionEngine::hasVoice(const AudioBuffer &buffer)
{
    return buffer.frameCount() > 0 && buffer.firstChannelDecibels() > -40.0f;
}

QCoro::Task<void> LegacyTranscriptionEngine::prepare(SpeechLocale locale, ProgressCallback progress)
{
    if (!m_service->makeRecognizer(locale)) {
        throw TranscriptionError::localeNotSupported(locale);
    }
    if (progress) {
        progress(1.0);
    }
    co_return;
}

void LegacyTranscriptionEngine::prepareHints(const SpeechLocale &locale,
                                             const QStringList &contextualStrings)
{
    if (const auto recognizer = m_service->makeRecognizer(locale)) {
        recognizer->prepareHints(contextualStrings);
    }
}

QCoro::Task<QList<SpeechLocale>> LegacyTranscriptionEngine::supportedLocales()
{
    co_return m_service->supportedLocales();
}

QCoro::Task<AsyncStream<EngineUpdate>>
LegacyTranscriptionEngine::startSession(SpeechLocale locale, QStringList contextualStrings)
{
    const auto self = shared_from_this();
    if (m_service->authorizationStatus()
        != SpeechRecognitionService::AuthorizationStatus::authorized) {
        const bool granted = co_await m_service->requestAuthorization();
        if (!granted) {
            throw TranscriptionError::recognizerUnavailable();
        }
    }
    auto recognizer = m_service->makeRecognizer(locale);
    if (!recognizer) {
        throw TranscriptionError::localeNotSupported(locale);
    }
    if (!recognizer->isAvailable()) {
        throw TranscriptionError::recognizerUnavailable();
    }
    recognizer->setQueue(m_callbackQueue);

    AsyncStream<EngineUpdate> stream;
    {
        std::unique_lock lock(m_lock);
        if (m_phase != Phase::idle) {
            lock.unlock();
            stream.finish();
            throw CancelledError();
        }
        m_recognizer = std::move(recognizer);
        m_output = stream;
        m_contextualStrings = std::move(contextualStrings);
        m_separator = wordSeparator(locale);
        m_segments.clear();
        m_flushed = 0;
        m_hasFinalText = false;
        m_earlyFailures = 0;
        m_phase = Phase::running;
        startSegmentLocked();
        rescheduleRotationLocked();
    }
    co_return stream;
}

void LegacyTranscriptionEngine::feed(const AudioBuffer &buffer)
{
    const bool voiced = hasVoice(buffer);
    std::lock_guard lock(m_lock);
    if (m_phase != Phase::running && m_phase != Phase::finishing) {
        return;
    }
    if (voiced) {
        m_lastVoiceAt = m_clock.uptime();
    }
    if (m_current) {
        m_current->request->append(buffer);
    }
}

QCoro::Task<void> LegacyTranscriptionEngine::finishSession()
{
    std::shared_ptr<SpeechRecognitionRequest> toEnd;
    CancellationToken timeoutToken;
    {
        std::lock_guard lock(m_lock);
        switch (m_phase) {
        case Phase::idle:
            if (m_output) {
                m_output->finish();
                m_output.reset();
            }
            m_phase = Phase::done;
            co_return;
        case Phase::running:
            m_phase = Phase::finishing;
            disarmRotationLocked();
            if (m_flushed == m_segments.size()) {
                finishStreamLocked();
                co_return;
            }
            // Whether the current segment still needs its end of audio is decided here, under
            // the lock; only the call to the recogniser happens outside it.
            if (m_current && !m_current->settled) {
                toEnd = m_current->request;
            }
            timeoutToken = m_lifetime.child();
            m_finishTimeout = timeoutToken;
            break;
        case Phase::finishing:
        case Phase::done:
            co_return;
        }
    }
    if (toEnd) {
        toEnd->endAudio();
    }
    // Not awaited: the stream ends by itself once the last segment has settled.
    auto timeout = finishAfterTimeout(weak_from_this(), &m_clock, timeoutToken,
                                      &LegacyTranscriptionEngine::finishTimedOut);
    Q_UNUSED(timeout);
}

void LegacyTranscriptionEngine::finishTimedOut()
{
    std::vector<std::shared_ptr<SpeechRecognizer::Task>> toCancel;
    {
        std::lock_guard lock(m_lock);
        if (m_phase != Phase::finishing) {
            return;
        }
        const std::vector<SegmentPtr> segments = m_segments;
        for (const SegmentPtr &segment : segments) {
            if (segment->settled) {
                continue;
            }
            if (segment->task) {
                toCancel.push_back(segment->task);
            }
            settleLocked(segment, segment->lastText);
        }
        if (m_phase == Phase::finishing) {
            finishStreamLocked();
        }
    }
    for (const auto &task : toCancel) {
        task->cancel();
    }
}

QCoro::Task<void> LegacyTranscriptionEngine::cancelSession()
{
    std::vector<std::shared_ptr<SpeechRecognizer::Task>> toCancel;
    std::optional<AsyncStream<EngineUpdate>> output;
    std::vector<SegmentPtr> dropped;
    std::shared_ptr<SpeechRecognizer> recognizer;
    {
        std::lock_guard lock(m_lock);
        // The tasks are taken out of their segments here, under the lock, so that a late result
        // settling the same segment cannot race with it; only the cancelling happens outside.
        for (const SegmentPtr &segment : m_segments) {
            if (!segment->settled && segment->task) {
                toCancel.push_back(std::exchange(segment->task, nullptr));
            }
        }
        output = std::exchange(m_output, std::nullopt);
        m_phase = Phase::done;
        m_current.reset();
        dropped.swap(m_segments);
        recognizer = std::exchange(m_recognizer, nullptr);
        disarmRotationLocked();
        m_finishTimeout.cancel();
    }
    std::vector<QFuture<void>> ends;
    for (const auto &task : toCancel) {
        task->cancel();
        ends.push_back(task->ended());
    }
    if (output) {
        output->finish();
    }
    // Done once the recogniser has given back what the session took, so that whoever waits for
    // the cancel can start the next session without two holding a decoder each.
    for (QFuture<void> &ended : ends) {
        co_await ended;
    }
}

void LegacyTranscriptionEngine::startSegmentLocked()
{
    if (!m_recognizer) {
        return;
    }
    SpeechRecognitionRequest::Options options;
    options.shouldReportPartialResults = true;
    options.taskHint = SpeechRecognitionRequest::TaskHint::dictation;
    options.addsPunctuation = true;
    if (m_recognizer->supportsOnDeviceRecognition()) {
        options.requiresOnDeviceRecognition = true;
    }
    if (!m_contextualStrings.isEmpty()) {
        options.contextualStrings = m_contextualStrings;
    }
    auto segment = std::make_shared<Segment>();
    segment->request = std::make_shared<SpeechRecognitionRequest>(std::move(options));
    segment->startedAt = m_clock.uptime();
    m_segments.push_back(segment);
    m_current = segment;
    segment->task = m_recognizer->recognitionTask(
        segment->request,
        [self = shared_from_this(), segment](const std::optional<SpeechRecognizer::Result> &result,
                                             std::exception_ptr error) {
            self->handleResult(result, error, segment);
        });
}

void LegacyTranscriptionEngine::rescheduleRotationLocked()
{
    m_rotationDue = m_clock.uptime() + rotationInterval;
    m_rotationPeriod = rotationInterval;
    applyRotationTimerLocked();
}

void LegacyTranscriptionEngine::retryRotationSoonLocked()
{
    m_rotationDue = m_clock.uptime() + rotationRetryInterval;
    m_rotationPeriod = nanoseconds::zero();
    applyRotationTimerLocked();
}

void LegacyTranscriptionEngine::disarmRotationLocked()
{
    if (!m_rotationDue) {
        return;
    }
    m_rotationDue.reset();
    applyRotationTimerLocked();
}

bool LegacyTranscriptionEngine::isOnTimerThread() const
{
    return m_rotationTimer && m_rotationTimer->thread() == QThread::currentThread();
}

// The armed rotation is the deadline under the lock; the timer only wakes the engine for it. A
// change made on another thread (a result settling the current segment) reaches the timer through
// its own thread, which then arms it for whatever the deadline is by then.
void LegacyTranscriptionEngine::applyRotationTimerLocked()
{
    if (!m_rotationTimer) {
        return;
    }
    if (isOnTimerThread()) {
        if (m_rotationDue) {
            m_rotationTimer->start(std::max(*m_rotationDue - m_clock.uptime(), nanoseconds::zero()),
                                   false);
        } else {
            m_rotationTimer->stop();
        }
        return;
    }
    QMetaObject::invokeMethod(
        m_rotationTimer.get(),
        [weak = weak_from_this()] {
            if (auto engine = weak.lock()) {
                std::lock_guard lock(engine->m_lock);
                engine->applyRotationTimerLocked();
            }
        },
        Qt::QueuedConnection);
}

void LegacyTranscriptionEngine::rotationTimerFired()
{
    {
        std::lock_guard lock(m_lock);
        if (!m_rotationDue) {
            return;
        }
        const nanoseconds now = m_clock.uptime();
        if (now + kTimerSlack < *m_rotationDue) {
            applyRotationTimerLocked();
            return;
        }
        if (m_rotationPeriod > nanoseconds::zero()) {
            m_rotationDue = std::max(*m_rotationDue + m_rotationPeriod, now + kTimerSlack);
        } else {
            m_rotationDue.reset();
        }
        applyRotationTimerLocked();
    }
    rotate();
}

void LegacyTranscriptionEngine::rotate()
{
    std::shared_ptr<SpeechRecognitionRequest> rotatedOut;
    {
        std::lock_guard lock(m_lock);
        if (m_phase != Phase::running || !m_current || m_current->settled) {
            return;
        }
        const nanoseconds now = m_clock.uptime();
        const bool paused = !m_lastVoiceAt || now - *m_lastVoiceAt >= pauseBeforeRotation;
        const bool tooOld = now - m_current->startedAt >= maximumSegmentAge;
        if (!paused && !tooOld) {
            retryRotationSoonLocked();
            return;
        }
        rotatedOut = m_current->request;
        startSegmentLocked();
        rescheduleRotationLocked();
    }
    // The old segment's task goes on and reports its final result later.
    rotatedOut->endAudio();
}

void LegacyTranscriptionEngine::handleResult(const std::optional<SpeechRecognizer::Result> &result,
                                             std::exception_ptr error, const SegmentPtr &segment)
{
    std::shared_ptr<SpeechRecognizer::Task> released;
    std::lock_guard lock(m_lock);
    if (m_phase == Phase::idle || m_phase == Phase::done) {
        segment->settled = true;
        released = std::exchange(segment->task, nullptr);
        return;
    }
    if (result) {
        segment->lastText = result->formattedString;
        if (result->isFinal) {
            settleLocked(segment, result->formattedString);
            return;
        }
        if (segment == m_current && !segment->settled) {
            QStringList parts;
            for (size_t i = m_flushed; i + 1 < m_segments.size(); ++i) {
                const Segment &open = *m_segments[i];
                parts.append(open.settled ? open.finalText : open.lastText);
            }
            parts.append(result->formattedString);
            parts.removeAll(QString());
            QString text = parts.join(m_separator);
            if (m_hasFinalText && !text.isEmpty()) {
                text.prepend(m_separator);
            }
            if (m_output) {
                m_output->yield(EngineUpdate::makeVolatile(text));
            }
        }
    }
    if (error && !segment->settled) {
        settleLocked(segment, segment->lastText);
    }
}

void LegacyTranscriptionEngine::settleLocked(const SegmentPtr &segment, const QString &finalText)
{
    if (segment->settled) {
        return;
    }
    segment->settled = true;
    segment->task.reset();
    segment->finalText = finalText.trimmed();

    if (!segment->finalText.isEmpty()) {
        m_earlyFailures = 0;
    } else if (m_clock.uptime() - segment->startedAt < earlyEmptySegmentAge) {
        ++m_earlyFailures;
    }

    flushLocked();

    if (segment == m_current) {
        if (segment->finalText.isEmpty() && m_output) {
            m_output->yield(EngineUpdate::makeVolatile(QString()));
        }
        m_current.reset();
        if (m_phase == Phase::running) {
            if (m_earlyFailures >= earlyEmptySegmentLimit) {
                failLocked();
                return;
            }
            startSegmentLocked();
            rescheduleRotationLocked();
        }
    }
    if (m_phase == Phase::finishing && m_flushed == m_segments.size()) {
        finishStreamLocked();
    }
}

void LegacyTranscriptionEngine::flushLocked()
{
    while (m_flushed < m_segments.size() && m_segments[m_flushed]->settled) {
        const QString &text = m_segments[m_flushed]->finalText;
        if (!text.isEmpty()) {
            if (m_output) {
                m_output->yield(
                    EngineUpdate::makeFinalized(m_hasFinalText ? m_separator + text : text));
            }
            m_hasFinalText = true;
        }
        ++m_flushed;
    }
}

void LegacyTranscriptionEngine::endStreamLocked()
{
    m_phase = Phase::done;
    disarmRotationLocked();
    m_finishTimeout.cancel();
    m_recognizer.reset();
    m_current.reset();
}

void LegacyTranscriptionEngine::finishStreamLocked()
{
    auto output = std::exchange(m_output, std::nullopt);
    endStreamLocked();
    if (output) {
        output->finish();
    }
}

void LegacyTranscriptionEngine::failLocked()
{
    auto output = std::exchange(m_output, std::nullopt);
    endStreamLocked();
    if (output) {
        output->finish(std::make_exception_ptr(TranscriptionError::sessionFailed()));
    }
}
