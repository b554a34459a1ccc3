#pragma once

#include "Base/CancellationToken.h"
#include "Core/Models/FocusContext.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DictationTrace;

// Everything a cleanup stage may need besides the transcript. Built once per dictation session and
// copied into every stage call.
struct CleanupContext
{
    // The focused field at session start; absent when no snapshot could be taken.
    std::optional<FocusContext> focus;
    // The recognition locale of the session, e.g. "ja-JP" or "en-US".
    QString localeIdentifier;
    // The user's free-form style instructions; empty by default.
    QString customInstructions;
    // The user's dictionary terms, in their stored order.
    QStringList dictionaryTerms;
    // Whether the cloud service may learn from this request.
    bool personalize = false;
    // The context text built for the session by the context composer; absent when none was built.
    std::optional<QString> composedContext;
    // The session's timeline, where a stage notes its requests and verdicts; absent outside a
    // dictation session.
    std::shared_ptr<DictationTrace> trace;
    // The token that cancels the session's work; absent outside a dictation session. A stage
    // whose token fires stops at once and hands back the input as it is, which its caller, having
    // cancelled, throws away.
    std::optional<CancellationToken> cancellation;

    bool isCancelled() const { return cancellation && cancellation->isCancelled(); }
};

Q_DECLARE_METATYPE(CleanupContext)
