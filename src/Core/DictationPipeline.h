#pragma once

#include "Base/SessionContext.h"
#include "Base/SharedTask.h"
#include "Core/DictationController.h"
#include "Core/Insertion/PasteInserter.h"
#include "Core/Models/DictationTask.h"
#include "Core/Models/InsertionMethod.h"
#include "Core/Services/CloudDictation.h"
#include "Core/TextCleanup/CleanupContext.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class DictationTrace;
class TextInsertion;
class TranscriptionEngine;
class UserDefaults;

// The processing task of a dictation session, from key release to the inserted text: finalises
// the on-device transcript while cloud dictation transcribes the recorded WAV, takes whichever
// text is usable, cleans it up for the session's task, applies dictionary casing and the
// replacements, inserts it (or shows the answer card), then reports, remembers and records the
// session and returns the controller to idle.
//
// Started by DictationController::stopAndInsert with the values of that moment; it runs on the
// main thread and compares the session number with the controller's after every wait, so a
// session cancelled or superseded meanwhile ends silently. Every end flushes the session's
// timeline once, with the reason "aborted", "empty", "cancelled" or "done".
class DictationPipeline
{
public:
    struct Inputs
    {
        // The session number at key release, the session's timeline and the token that cancels
        // the session's work (cancel() uses it).
        SessionContext session;
        // The recorded WAV; absent when no recorder ran or it produced nothing.
        std::optional<QByteArray> wav;
        DictationTask task = DictationTask::cleanup;
        CleanupContext context;
        std::optional<DictationController::StartupTask> startupTask;
        std::shared_ptr<TranscriptionEngine> engine;
        std::optional<SharedTask<>> updatesTask;
        // Seconds from the start of the recording to key release.
        double duration = 0;
        // A WAV recorder ran for the session.
        bool hadRecorder = false;
        // The clipboard as saved at key release.
        std::optional<PasteInserter::SnapshotTask> snapshot;
        // The session's read of the focused field.
        std::optional<SharedTask<>> focusRead;
        std::shared_ptr<DictationController::LiveTranscript> live;
    };

    // The engine gets this long to finish and drain once its session is open.
    static constexpr std::chrono::seconds finishWatchdog {8};
    // The longest wait for the engine's session to open; then it is cancelled.
    static constexpr std::chrono::seconds startupWaitLimit {8};
    // A cloud failure later than this is followed by rule-based cleanup only, never by another
    // cloud request.
    static constexpr double cloudRetryThresholdSeconds = 20.0;
    // The longest wait for the session's focus read before deciding whether the field is secure;
    // a read still out then makes the session a secure one.
    static constexpr std::chrono::seconds focusReadWait {2};

    static QCoro::Task<> run(QPointer<DictationController> controller, Inputs inputs);

private:
    static QCoro::Task<> body(QPointer<DictationController> controller, Inputs inputs);
    static QCoro::Task<std::optional<CloudDictation::Outcome>>
    callCloud(CloudDictation *cloud, std::optional<QByteArray> wav, DictationTask task,
              CleanupMode mode, QString targetLang, int intensity, CleanupContext context,
              SessionContext session);
    static QCoro::Task<> finalizeLocally(Clock &clock,
                                         std::optional<DictationController::StartupTask> startup,
                                         std::shared_ptr<TranscriptionEngine> engine,
                                         std::optional<SharedTask<>> updates,
                                         std::shared_ptr<DictationTrace> trace,
                                         std::shared_ptr<DictationController::LiveTranscript> live);
    static QCoro::Task<> watchdog(Clock &clock, CancellationToken token,
                                  std::shared_ptr<TranscriptionEngine> engine);
    static QCoro::Task<bool> insert(TextInsertion &insertion, QString text, InsertionMethod method,
                                    bool restoreClipboard, int restoreDelayMs,
                                    std::optional<PasteInserter::SnapshotTask> snapshot,
                                    SessionContext session);
    static QCoro::Task<> compare(QPointer<DictationController> controller, SharedTask<> local,
                                 QString cloud, qint64 id, double duration,
                                 std::shared_ptr<DictationController::LiveTranscript> live,
                                 UserDefaults *defaults);
    static void finish(DictationController &controller,
                       const std::shared_ptr<DictationTrace> &trace, const QString &reason);
};
