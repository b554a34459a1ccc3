#include "Core/DictationPipeline.h"

#include "Base/Async.h"
#include "Base/Clock.h"
#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Core/DictationTrace.h"
#include "Core/History/HistoryStore.h"
#include "Core/ImproveConfig.h"
#include "Core/Insertion/TextInsertion.h"
#include "Core/Keychain.h"
#include "Core/NextTurn.h"
#include "Core/Services/AnswerPresenting.h"
#include "Core/Services/CleanupStageFactory.h"
#include "Core/Services/CorrectionLearning.h"
#include "Core/Services/SignInPrompting.h"
#include "Core/Services/UsageReporting.h"
#include "Core/Services/VocabularySource.h"
#include "Core/TextCleanup/DictionaryCasing.h"
#include "Core/TextCleanup/ReplacementEngine.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Core/TextDiff.h"
#include "Core/Transcription/TranscriptionEngine.h"

#include <QMetaEnum>

#include <algorithm>

using namespace std::chrono;

namespace {

qsizetype count(const QString &text)
{
    return Unicode::graphemeCount(text);
}

QString number(qsizetype value)
{
    return QString::number(value);
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString taskName(DictationTask task)
{
    return QString::fromLatin1(
        QMetaEnum::fromType<DictationTask>().valueToKey(static_cast<int>(task)));
}

QString methodName(InsertionMethod method)
{
    return method == InsertionMethod::type ? QStringLiteral("type") : QStringLiteral("paste");
}

QString trimmed(const QString &text)
{
    return Unicode::trimmedWhitespaceAndNewlines(text);
}

bool testerMode(const UserDefaults &defaults)
{
    return defaults.boolValue(QStringLiteral("testerModeEnabled")).value_or(false);
}

} // namespace

QCoro::Task<> DictationPipeline::run(QPointer<DictationController> controller, Inputs inputs)
{
    // Runs after stopAndInsert has returned, as a task of its own.
    co_await NextTurn();
    const qint64 id = static_cast<qint64>(inputs.session.session);
    const std::shared_ptr<DictationTrace> trace = inputs.session.trace;
    std::exception_ptr failure;
    try {
        QCoro::Task<> running = body(controller, std::move(inputs));
        co_await running;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure || CancelledError::isCancellation(failure)) {
        co_return;
    }
    // A service that broke its promise never to fail must not leave the session stuck in
    // processing.
    QString what = QStringLiteral("unknown error");
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        what = QString::fromUtf8(error.what());
    } catch (...) { }
    DebugLog::log(QStringLiteral("dictation: #") + QString::number(id)
                  + QStringLiteral(" processing FAILED: ") + what);
    if (controller && controller->m_sessionID == id) {
        controller->m_engine.reset();
        controller->m_updatesTask.reset();
        controller->m_startupTask.reset();
        finish(*controller, trace, QStringLiteral("failed"));
    } else if (trace) {
        trace->flush(QStringLiteral("failed"));
    }
}

QCoro::Task<> DictationPipeline::body(QPointer<DictationController> controller, Inputs in)
{
    if (!controller) {
        co_return;
    }
    // Copies: the pointers outlive the controller's tasks; the copy outlives the controller.
    const DictationController::Services services = controller->m_services;
    AppSettings &settings = *services.settings;
    Clock &clock = *services.clock;
    const qint64 id = static_cast<qint64>(in.session.session);
    const std::shared_ptr<DictationTrace> trace = in.session.trace;
    const QString head = QStringLiteral("dictation: #") + QString::number(id);
    const QString engineName = in.engine ? in.engine->name() : QStringLiteral("unknown");

    // Cancelled, superseded by a newer session, or the controller gone.
    const auto stale = [&] {
        return !controller || controller->m_sessionID != id
            || in.session.cancellation.isCancelled();
    };
    // A cancel resumes the session's waits from inside the controller's cancel(), which closes the
    // timeline itself right after: it must end as "cancelled", not with this task's reason.
    const auto endStale = [&](const QString &reason) {
        if (!controller || !in.session.cancellation.isCancelled()) {
            trace->flush(reason);
        }
    };
    const auto focus = [&]() -> std::optional<FocusContext> {
        return controller ? controller->m_focusContext : std::nullopt;
    };
    // Set when the gate had to decide before the focus read said what the field is: the session
    // then counts as a secure one to its end, even should the read come back later.
    bool fieldUnknown = false;
    const auto isSecure = [&] {
        const auto context = focus();
        return fieldUnknown || (context && context->isSecureField);
    };
    const auto signedIn = [&] {
        return services.keychain->get(QStringLiteral("cloudToken")).has_value();
    };
    const auto onDeviceText = [&] {
        return controller ? trimmed(controller->liveTranscript()) : QString();
    };
    const auto bundleID = [&] {
        const auto context = focus();
        return context && context->bundleID ? *context->bundleID : QStringLiteral("?");
    };

    // Whether the field is a secure one decides what may leave the machine; a short dictation
    // must not outrun the read of the field. A read that has not answered by then may still be
    // waiting on a password field: nothing of this session goes to the cloud, neither the audio
    // nor the field's context nor the text, and it leaves no trace in the history, the samples or
    // the learner (the history feeds later sessions' cloud context).
    if (in.focusRead && !in.focusRead->isDone()) {
        const bool answered = co_await Async::finishesWithin(*in.focusRead, clock, focusReadWait);
        if (!controller) {
            co_return;
        }
        fieldUnknown = !answered;
    }

    // Cloud gate.
    const bool cloudSTT = settings.cloudSTT();
    const std::optional<QByteArray> cloudWav = cloudSTT && !isSecure() ? in.wav : std::nullopt;
    const CleanupMode mode = settings.cleanupMode();
    const QString targetLang = settings.translateTargetLang();
    const int intensity = settings.cleanupIntensity();
    const nanoseconds startTime = clock.uptime();

    // Both start before anything waits. The session's cloud requests (the dictation and the
    // cleanup, ask or translate request after it) are aborted with the session.
    SessionContext cloudSession = in.session;
    cloudSession.cancellation = in.session.cancellation.child();
    SharedTask<std::optional<CloudDictation::Outcome>> cloudCall(callCloud(
        services.cloud, cloudWav, in.task, mode, targetLang, intensity, in.context, cloudSession));
    SharedTask<> local(
        finalizeLocally(clock, in.startupTask, in.engine, in.updatesTask, trace, in.live));

    QString raw;
    std::optional<QString> readyText;
    QString path;

    const std::optional<CloudDictation::Outcome> outcome = co_await cloudCall;
    if (!cloudWav) {
        if (cloudSTT) {
            if (!in.hadRecorder) {
                DebugLog::log(head + QStringLiteral(" cloud stt: recorder not started (signedIn=")
                              + boolText(signedIn()) + QStringLiteral(")"));
            } else if (!in.wav) {
                DebugLog::log(head
                              + QStringLiteral(" cloud stt: no wav (recording too short or "
                                               "convert failed)"));
            }
        }
        co_await local;
        raw = onDeviceText();
        path = QStringLiteral("local");
    } else {
        trace->mark(QStringLiteral("dictate.done"),
                    outcome ? QStringLiteral("raw=") + number(count(outcome->raw))
                            + QStringLiteral("ch cleaned=")
                            + number(outcome->cleaned ? count(*outcome->cleaned) : -1)
                            + QStringLiteral("ch")
                            : QStringLiteral("失敗"));
        if (stale()) {
            endStale(QStringLiteral("aborted"));
            co_return;
        }
        if (outcome) {
            // The cloud result wins: the on-device session goes on alone, for the comparison
            // only, and can no longer change the live text or fail the session.
            in.live->attached = false;
            compare(controller, local, outcome->raw, id, in.duration, in.live, services.defaults);
            trace->mark(QStringLiteral("localFinalize.detached"),
                        QStringLiteral("オンデバイス確定は待たずに続行"));
            DebugLog::log(head + QStringLiteral(" dictate ok raw=") + number(count(outcome->raw))
                          + QStringLiteral(" cleaned=")
                          + number(outcome->cleaned ? count(*outcome->cleaned) : -1)
                          + QStringLiteral(" (local=") + number(count(controller->liveTranscript()))
                          + QStringLiteral(" 未確定)"));
            QCoro::Task<QString> finalizing = services.cloud->finalText(
                *outcome, in.task, settings.cleanupMode(), in.context, in.session);
            readyText = co_await finalizing;
            raw = outcome->raw;
            path = QStringLiteral("dictate");
        } else {
            co_await local;
            raw = onDeviceText();
            const double elapsed = double((clock.uptime() - startTime).count()) / 1e9;
            DebugLog::log(head + QStringLiteral(" dictate FAILED after ")
                          + QString::asprintf("%.1f", elapsed)
                          + QStringLiteral("s → local fallback (len=") + number(count(raw))
                          + QStringLiteral(")"));
            if (elapsed > cloudRetryThresholdSeconds && !raw.isEmpty()) {
                const RuleBasedCleanup rules;
                QCoro::Task<QString> cleaning = rules.cleanup(raw, in.context);
                readyText = co_await cleaning;
                trace->mark(QStringLiteral("cleanup.fallback"),
                            QStringLiteral("reason=dictateTimeout → rules(再試行なし)"));
                path = QStringLiteral("rules-timeout");
            } else {
                path = QStringLiteral("dictateFailed");
            }
        }
    }

    // Stale check and hand-over.
    if (stale()) {
        endStale(QStringLiteral("aborted"));
        co_return;
    }
    controller->m_engine.reset();
    controller->m_updatesTask.reset();
    controller->m_startupTask.reset();

    const QString durationText = QString::asprintf("%.1f", in.duration);
    const qint64 durationSec = static_cast<qint64>(in.duration);

    if (raw.isEmpty()) {
        DebugLog::log(head + QStringLiteral(" finished dur=") + durationText
                      + QStringLiteral("s → raw empty (nothing recognized)"));
        if (services.reporter) {
            services.reporter->record(QStringLiteral("dictation.empty"),
                                      {{QStringLiteral("durationSec"), durationSec},
                                       {QStringLiteral("path"), path},
                                       {QStringLiteral("cloudSTT"), cloudWav.has_value()},
                                       {QStringLiteral("task"), taskName(in.task)},
                                       {QStringLiteral("app"), bundleID()}});
        }
        if (in.task == DictationTask::ask && services.answerCard) {
            services.answerCard->showError();
        }
        finish(*controller, trace, QStringLiteral("empty"));
        co_return;
    }

    DebugLog::log(head + QStringLiteral(" recognized dur=") + durationText
                  + QStringLiteral("s rawLen=") + number(count(raw)));
    if (testerMode(*services.defaults)) {
        DebugLog::log(head + QStringLiteral(" raw=「") + raw + QStringLiteral("」"));
    }

    // Answers come from the cloud alone. Signed out, the card says so and offers the sign-in
    // rather than presenting the user's own words, cleaned by the rules, as an answer.
    if (in.task == DictationTask::ask && !readyText && !signedIn()) {
        DebugLog::log(head + QStringLiteral(" ask: signed out → sign-in card"));
        if (services.answerCard) {
            services.answerCard->showSignInRequired();
        }
        finish(*controller, trace, QStringLiteral("signedOut"));
        co_return;
    }

    // Cleanup.
    QString cleaned;
    if (isSecure()) {
        // Off the main thread, as every stage's work.
        const RuleBasedCleanup rules;
        QCoro::Task<QString> cleaning = rules.cleanup(raw, in.context);
        cleaned = co_await cleaning;
        trace->mark(QStringLiteral("cleanup.done"),
                    QStringLiteral("out=") + number(count(cleaned))
                        + QStringLiteral("ch (secure→rules)"));
        path = QStringLiteral("rules-secure");
    } else if (readyText) {
        cleaned = *readyText;
        trace->mark(QStringLiteral("cleanup.done"),
                    QStringLiteral("out=") + number(count(cleaned))
                        + QStringLiteral("ch (dictate)"));
    } else {
        if (services.signIn && !signedIn()
            && (in.task != DictationTask::cleanup || isCloud(settings.cleanupMode()))) {
            SignInPrompting *signIn = services.signIn;
            QMetaObject::invokeMethod(
                controller.data(), [signIn] { signIn->promptForCloud(false); },
                Qt::QueuedConnection);
        }
        std::shared_ptr<const TextCleanupService> stage;
        switch (services.cleanup ? in.task : DictationTask::cleanup) {
        case DictationTask::cleanup:
            if (services.cleanup) {
                stage = services.cleanup->make(settings.cleanupMode(), settings.cleanupIntensity());
            }
            break;
        case DictationTask::ask:
            stage = services.cleanup->makeCloud(QStringLiteral("polish"), QStringLiteral("ask"),
                                                QString(), 2);
            break;
        case DictationTask::translate:
            stage =
                services.cleanup->makeCloud(QStringLiteral("faithful"), QStringLiteral("translate"),
                                            settings.translateTargetLang(), 2);
            break;
        }
        if (stage) {
            const QString stageName = stage->name();
            trace->mark(QStringLiteral("cleanup.begin"),
                        QStringLiteral("backend=") + stageName + QStringLiteral(" in=")
                            + number(count(raw)) + QStringLiteral("ch"));
            CleanupContext context = in.context;
            context.trace = trace;
            context.cancellation = cloudSession.cancellation;
            QCoro::Task<QString> cleaning = stage->cleanup(raw, std::move(context));
            cleaned = co_await cleaning;
            trace->mark(QStringLiteral("cleanup.done"),
                        QStringLiteral("out=") + number(count(cleaned)) + QStringLiteral("ch"));
            path = QStringLiteral("cleanup:") + stageName;
        } else {
            // A build without the cleanup stages passes the transcript on as recognised.
            cleaned = raw;
        }
    }

    // Post-processing.
    if (stale()) {
        endStale(QStringLiteral("cancelled"));
        co_return;
    }
    if (testerMode(*services.defaults)) {
        DebugLog::log(head + QStringLiteral(" cleaned(task=") + taskName(in.task)
                      + QStringLiteral(" mode=") + RawEnum::rawValue(settings.cleanupMode())
                      + QStringLiteral(")=「") + cleaned + QStringLiteral("」"));
    }
    // The vocabulary as it is now, not as it was at key release.
    const QString final =
        ReplacementEngine::apply(DictionaryCasing::apply(cleaned, services.vocabularyTerms()),
                                 services.vocabularyReplacements());
    trace->mark(QStringLiteral("postprocess"),
                QStringLiteral("辞書ケーシング+置換 → ") + number(count(final))
                    + QStringLiteral("ch"));

    bool inserted = false;
    bool ok = true;
    QString insertMethod;
    if (in.task == DictationTask::ask) {
        if (services.answerCard) {
            services.answerCard->show(raw, final);
        }
        trace->mark(QStringLiteral("answer.show"), number(count(final)) + QStringLiteral("ch"));
        DebugLog::log(head + QStringLiteral(" answer card shown finalLen=") + number(count(final)));
        insertMethod = QStringLiteral("answerCard");
    } else {
        const InsertionMethod method = settings.insertionMethod();
        const bool restore = settings.restoreClipboard();
        const int delay = static_cast<int>(settings.restoreClipboardDelayMs());
        QCoro::Task<bool> inserting =
            insert(*services.insertion, final, method, restore, delay, in.snapshot, in.session);
        inserted = co_await inserting;
        ok = inserted;
        trace->mark(QStringLiteral("insert.done"),
                    QStringLiteral("inserted=") + boolText(inserted));
        const auto context = focus();
        DebugLog::log(head + QStringLiteral(" inserted=") + boolText(inserted)
                      + QStringLiteral(" method=") + methodName(settings.insertionMethod())
                      + QStringLiteral(" app=")
                      + (context && context->appName ? *context->appName : QStringLiteral("?"))
                      + QStringLiteral(" finalLen=") + number(count(final)));
        insertMethod = methodName(settings.insertionMethod());
        if (in.task == DictationTask::translate && !readyText && !signedIn()) {
            // The words went in as spoken; the user learns why they are not translated.
            Q_EMIT controller->signInNeeded(in.task);
        }
    }

    // After-work.
    if (stale()) {
        endStale(QStringLiteral("cancelled"));
        co_return;
    }
    const bool secure = isSecure();
    const qint64 totalMs = controller->m_processingStartedAt
        ? duration_cast<milliseconds>(clock.uptime() - *controller->m_processingStartedAt).count()
        : 0;
    if (services.reporter)
        services.reporter->record(
            QStringLiteral("dictation.result"),
            {{QStringLiteral("ok"), ok},
             {QStringLiteral("path"), path},
             {QStringLiteral("task"), taskName(in.task)},
             {QStringLiteral("mode"), RawEnum::rawValue(settings.cleanupMode())},
             {QStringLiteral("intensity"), settings.cleanupIntensity()},
             {QStringLiteral("cloudSTT"), cloudWav.has_value()},
             {QStringLiteral("durationSec"), durationSec},
             {QStringLiteral("totalMs"), totalMs},
             {QStringLiteral("insertMethod"), insertMethod},
             {QStringLiteral("app"), secure ? QStringLiteral("secure") : bundleID()},
             {QStringLiteral("engine"), engineName},
             {QStringLiteral("rawLen"), static_cast<qint64>(count(raw))},
             {QStringLiteral("outLen"), static_cast<qint64>(count(final))},
             {QStringLiteral("locale"), in.context.localeIdentifier}});

    if (in.task == DictationTask::cleanup) {
        if (!secure && ImproveConfig::enabled(*services.defaults) && signedIn()) {
            QVariantMap sample {
                {QStringLiteral("task"), QStringLiteral("cleanup")},
                {QStringLiteral("mode"), RawEnum::rawValue(settings.cleanupMode())},
                {QStringLiteral("intensity"), settings.cleanupIntensity()},
                {QStringLiteral("locale"), in.context.localeIdentifier},
                {QStringLiteral("path"), path},
                {QStringLiteral("engine"), engineName},
                {QStringLiteral("focusApp"), bundleID()},
                {QStringLiteral("durationSec"), durationSec},
                {QStringLiteral("cleaned"), final},
                {QStringLiteral("inserted"), inserted},
                {QStringLiteral("hasCustomInstructions"),
                 !trimmed(settings.customInstructions()).isEmpty()},
            };
            const QString localTranscript = onDeviceText();
            if (!localTranscript.isEmpty()) {
                sample.insert(QStringLiteral("localTranscript"), localTranscript);
            }
            if (outcome && !outcome->raw.isEmpty()) {
                sample.insert(QStringLiteral("cloudTranscript"), outcome->raw);
            }
            if (services.reporter) {
                services.reporter->sample(sample);
            }
        }
        if (services.learner && inserted && !secure && isCloud(settings.cleanupMode())
            && settings.cloudLearning() && signedIn()) {
            const auto context = focus();
            services.learner->remember(final, context ? context->bundleID : std::nullopt);
        }
    }

    if (settings.historyEnabled() && !secure) {
        const auto context = focus();
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.date = clock.now();
        record.rawText = raw;
        record.cleanedText = final;
        if (context) {
            record.appName = context->appName;
            record.bundleID = context->bundleID;
            record.windowTitle = context->windowTitle;
        }
        record.engineName = engineName;
        record.localeIdentifier = in.context.localeIdentifier;
        record.durationSeconds = in.duration;
        record.inserted = inserted;
        services.history->add(record);
        trace->mark(QStringLiteral("history.add"));
    }

    finish(*controller, trace, QStringLiteral("done"));
}

void DictationPipeline::finish(DictationController &controller,
                               const std::shared_ptr<DictationTrace> &trace, const QString &reason)
{
    controller.m_processingTask.reset();
    if (controller.m_live) {
        controller.m_live->attached = false;
    }
    controller.setState(DictationState::idle);
    controller.resetTexts();
    controller.m_trace.reset();
    if (trace) {
        trace->flush(reason);
    }
}

QCoro::Task<std::optional<CloudDictation::Outcome>>
DictationPipeline::callCloud(CloudDictation *cloud, std::optional<QByteArray> wav,
                             DictationTask task, CleanupMode mode, QString targetLang,
                             int intensity, CleanupContext context, SessionContext session)
{
    if (!wav || !cloud) {
        co_return std::nullopt;
    }
    try {
        QCoro::Task<std::optional<CloudDictation::Outcome>> running =
            cloud->run(std::move(*wav), task, mode, std::move(targetLang), intensity,
                       std::move(context), std::move(session));
        co_return co_await running;
    } catch (...) {
        // Any failure, cancellation included, leaves the on-device text.
    }
    co_return std::nullopt;
}

QCoro::Task<> DictationPipeline::finalizeLocally(
    Clock &clock, std::optional<DictationController::StartupTask> startup,
    std::shared_ptr<TranscriptionEngine> engine, std::optional<SharedTask<>> updates,
    std::shared_ptr<DictationTrace> trace,
    std::shared_ptr<DictationController::LiveTranscript> live)
{
    bool opened = true;
    if (startup) {
        // An engine whose session never opens must not hold the session in processing.
        opened = co_await Async::finishesWithin(*startup, clock, startupWaitLimit);
        if (!opened && engine) {
            try {
                QCoro::Task<> cancelling = engine->cancelSession();
                co_await cancelling;
            } catch (...) { }
        }
    }
    trace->mark(QStringLiteral("startup.await"),
                opened ? QStringLiteral("セッション確立待ち")
                       : QStringLiteral("セッション確立待ち(打ち切り)"));

    CancellationToken watchdogToken;
    watchdog(clock, watchdogToken, opened ? engine : nullptr);
    if (engine && opened) {
        try {
            QCoro::Task<> finishing = engine->finishSession();
            co_await finishing;
        } catch (...) { }
    }
    trace->mark(QStringLiteral("engine.finalize"), QStringLiteral("オンデバイス確定"));
    if (updates) {
        try {
            co_await *updates;
        } catch (...) { }
    }
    watchdogToken.cancel();
    trace->mark(QStringLiteral("stream.drain"),
                QStringLiteral("local=") + number(count(live->transcript.live()))
                    + QStringLiteral("ch"));
}

QCoro::Task<> DictationPipeline::watchdog(Clock &clock, CancellationToken token,
                                          std::shared_ptr<TranscriptionEngine> engine)
{
    try {
        co_await Async::sleep(clock, finishWatchdog, token);
    } catch (const CancelledError &) {
        co_return;
    }
    if (token.isCancelled() || !engine) {
        co_return;
    }
    try {
        QCoro::Task<> cancelling = engine->cancelSession();
        co_await cancelling;
    } catch (...) { }
}

QCoro::Task<bool> DictationPipeline::insert(TextInsertion &insertion, QString text,
                                            InsertionMethod method, bool restoreClipboard,
                                            int restoreDelayMs,
                                            std::optional<PasteInserter::SnapshotTask> snapshot,
                                            SessionContext session)
{
    if (text.isEmpty()) {
        co_return false;
    }
    session.trace->mark(QStringLiteral("insert.begin"),
                        QStringLiteral("method=") + methodName(method) + QStringLiteral(" restore=")
                            + boolText(restoreClipboard));
    if (method == InsertionMethod::paste) {
        QCoro::Task<bool> pasting =
            insertion.paste(text, restoreClipboard, restoreDelayMs, std::move(snapshot), session);
        co_return co_await pasting;
    }
    QCoro::Task<bool> typing = insertion.type(text, session);
    if (co_await typing) {
        session.trace->mark(QStringLiteral("insert.cmdV"),
                            QStringLiteral("typed ") + number(count(text)) + QStringLiteral("ch"));
        co_return true;
    }
    // A cancelled session's text is not wanted, on the clipboard either.
    if (session.cancellation.isCancelled()) {
        co_return false;
    }
    // Nothing was typed: the text waits on the clipboard instead of being lost.
    insertion.putOnClipboard(text);
    co_return false;
}

QCoro::Task<> DictationPipeline::compare(QPointer<DictationController> controller,
                                         SharedTask<> local, QString cloud, qint64 id,
                                         double duration,
                                         std::shared_ptr<DictationController::LiveTranscript> live,
                                         UserDefaults *defaults)
{
    co_await local;
    if (!controller || controller->m_sessionID != id) {
        co_return;
    }
    const QString localText = trimmed(live->transcript.live());
    const QStringList localCharacters = Unicode::graphemes(localText);
    const QStringList cloudCharacters = Unicode::graphemes(cloud);
    const qsizetype n = std::max(localCharacters.size(), cloudCharacters.size());
    const double similarity = n == 0
        ? 1.0
        : 1.0 - double(TextDiff::distance(localCharacters, cloudCharacters)) / double(n);
    DebugLog::log(QString::asprintf(
        "stt compare: #%lld dur=%.1fs localLen=%lld cloudLen=%lld same=%s sim=%.3f",
        static_cast<long long>(id), duration, static_cast<long long>(localCharacters.size()),
        static_cast<long long>(cloudCharacters.size()), localText == cloud ? "true" : "false",
        similarity));
    if (testerMode(*defaults)) {
        DebugLog::log(QStringLiteral("stt compare: #") + QString::number(id)
                      + QStringLiteral(" local=「") + localText + QStringLiteral("」 cloud=「")
                      + cloud + QStringLiteral("」"));
    }
}
