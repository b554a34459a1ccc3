#pragma once

#include "Base/AsyncStream.h"
#include "Core/Audio/AudioBuffer.h"
#include "Core/Models/EngineUpdate.h"
#include "Core/Transcription/SpeechLocale.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <functional>

// An on-device speech-to-text engine: all the rest of the application sees of a recogniser.
//
// Engines are objects with identity, owned through std::shared_ptr (the audio gate holds its
// engine as a std::weak_ptr). An engine serves at most one session: the dictation controller makes
// one per recording; callers that only prepare a model or list locales use a throw-away engine.
// After finishSession() or cancelSession() an engine is never started again.
//
// The result stream: a volatile update replaces the provisional text; a finalized update is
// appended to the settled transcript exactly as given (the engine puts in any separator) and
// empties the provisional text. The stream ends normally after finishSession() or
// cancelSession(); it ends with a TranscriptionError when recognition fails (or a cancellation
// error, which TranscriptionError::isCancellation() recognises and callers never show).
//
// Threads: feed() runs on the audio capture thread (and, for audio held back while the session
// was opening, in the controller's start-up task), always under the audio gate's lock; the
// asynchronous operations are called from the main thread and may complete elsewhere; the stream
// is consumed on the main thread. Each engine guards its own state against feed() racing with
// finishSession() and cancelSession().
class TranscriptionEngine
{
public:
    // Progress fractions from 0 to 1; may be called from any thread.
    using ProgressCallback = std::function<void(double)>;

    virtual ~TranscriptionEngine() = default;

    // A fixed name of the engine kind, stored as the engine name of every history record.
    virtual QString name() const = 0;

    // Makes the locale usable: checks it is supported and loads or installs its model, reporting
    // progress (an engine without a model to install reports 1 once). Fails with
    // TranscriptionError localeNotSupported or modelDownloadFailed.
    virtual QCoro::Task<void> prepare(SpeechLocale locale, ProgressCallback progress) = 0;

    // Gets the locale's recogniser ready, in the background, for a later session with these
    // contextual strings, so that it opens without working them in (the user's dictionary has
    // just changed). Called on the main thread; returns at once; never fails (a session reports
    // its own errors). An engine with nothing to prepare ignores it.
    virtual void prepareHints(const SpeechLocale &locale, const QStringList &contextualStrings)
    {
        Q_UNUSED(locale);
        Q_UNUSED(contextualStrings);
    }

    // The locales this engine can transcribe on this machine; never fails (empty when none).
    virtual QCoro::Task<QList<SpeechLocale>> supportedLocales() = 0;

    // Opens the recognition session with the contextual strings as hints and returns its result
    // stream. Fails with TranscriptionError (recognizerUnavailable, localeNotSupported,
    // sessionFailed, or prepare()'s errors), or with a cancellation error when the session was
    // finished or cancelled while it was opening. Audio fed before this returns need not be kept.
    virtual QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale locale,
                                                                QStringList contextualStrings) = 0;

    // Takes one captured buffer in the capture format, converting as the engine needs. Returns
    // quickly and never waits for recognition.
    virtual void feed(const AudioBuffer &buffer) = 0;

    // No more audio will come: the pending text is delivered as finalized updates, then the
    // stream ends normally.
    virtual QCoro::Task<void> finishSession() = 0;

    // Abandons the session: pending text is dropped and the stream ends without an error.
    // Harmless after finishSession() and when called twice.
    virtual QCoro::Task<void> cancelSession() = 0;
};
