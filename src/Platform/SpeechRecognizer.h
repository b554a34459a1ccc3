#pragma once

#include "Core/Transcription/SpeechLocale.h"
#include "Platform/SpeechRecognitionRequest.h"

#include <QFuture>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class SerialQueue;

// A speech recogniser for one locale: runs recognition tasks over audio-buffer requests and
// reports, for each task, partial results while audio arrives and one final result after the
// audio has ended (or an error). Made by SpeechRecognitionService.
class SpeechRecognizer
{
public:
    struct Result
    {
        // The best reading of the speech so far (the whole of the task's audio).
        QString formattedString;
        // The task's last result: the reading of all its audio.
        bool isFinal = false;
    };

    // Called with a result, an error, or both; never again after a final result or an error.
    using ResultHandler =
        std::function<void(const std::optional<Result> &result, std::exception_ptr error)>;

    // A running recognition. Dropping the handle cancels it.
    class Task
    {
    public:
        virtual ~Task() = default;
        // Stops recognition at once; no result is reported afterwards, and the result handler is
        // released.
        virtual void cancel() = 0;
        // Finishes once the recognition has stopped working and given back what it took (its
        // thread, its decoder); cancelling does not wait for that. At once for a recogniser
        // without work of its own.
        virtual QFuture<void> ended() const { return QtFuture::makeReadyFuture(); }
    };

    virtual ~SpeechRecognizer() = default;

    virtual SpeechLocale locale() const = 0;
    // Whether recognition can run now (its model is present and loadable).
    virtual bool isAvailable() const = 0;
    virtual bool supportsOnDeviceRecognition() const = 0;
    // The queue every result handler of this recogniser's tasks runs on, one at a time, in the
    // order the results were made. Without one, handlers run on a thread of the recogniser.
    virtual void setQueue(std::shared_ptr<SerialQueue> queue) = 0;
    // Starts recognising the request's audio. The handler holds what it captures until the task
    // has reported its last result or was cancelled.
    virtual std::shared_ptr<Task> recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request,
                                                  ResultHandler handler) = 0;

    // Gets ready, in the background, for tasks whose requests carry these contextual strings,
    // so that the next such task starts without working them in. Returns at once; a recogniser
    // with nothing to prepare ignores it.
    virtual void prepareHints(const QStringList &contextualStrings) { Q_UNUSED(contextualStrings); }
};
