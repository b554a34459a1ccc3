#pragma once

#include "Base/SessionContext.h"
#include "Core/Models/CleanupMode.h"
#include "Core/Models/DictationTask.h"
#include "Core/TextCleanup/CleanupContext.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// Cloud transcription of a session's recorded audio, which may come back already cleaned for the
// session's task. Implemented by the cloud dictation client. Both operations run inside the
// session's processing task: the session context carries the timeline they mark and the token
// that cancels them.
class CloudDictation
{
public:
    struct Outcome
    {
        // The transcript; empty when only non-speech was heard.
        QString raw;
        // The service's cleaned text, when it sent one.
        std::optional<QString> cleaned;
        // The service's cleanup quota is used up.
        bool quotaExceeded = false;

        bool operator==(const Outcome &) const = default;
    };

    virtual ~CloudDictation() = default;

    // Sends the WAV with a description of the task. Absent on any failure (no answer in time, an
    // unexpected status, a reply without a transcript).
    virtual QCoro::Task<std::optional<Outcome>> run(QByteArray wav, DictationTask task,
                                                    CleanupMode mode, QString targetLang,
                                                    int intensity, CleanupContext context,
                                                    SessionContext session) = 0;

    // The text the session inserts for this outcome: the service's cleaned text when present and
    // acceptable, else the raw text after rule-based cleanup. Never fails.
    virtual QCoro::Task<QString> finalText(Outcome outcome, DictationTask task, CleanupMode mode,
                                           CleanupContext context, SessionContext session) = 0;
};
