#pragma once

#include "Base/AsyncStream.h"
#include "Core/Models/EngineUpdate.h"
#include "Core/Transcription/EngineTranscript.h"

#include <QCoreApplication>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <exception>

// Consumes an engine's result stream on the test thread and keeps what came: each update as
// "v:text" (volatile) or "f:text" (finalized), the transcript, and how the stream ended.
// pump() lets queued wake-ups run; no waiting is involved.
class StreamRecorder
{
public:
    explicit StreamRecorder(AsyncStream<EngineUpdate> stream)
        : m_stream(stream)
        , m_task(consume(std::move(stream), this))
    {
        pump();
    }

    // The consuming coroutine must not outlive the recorder: stop listening and let it end.
    ~StreamRecorder()
    {
        m_stream.cancel();
        pump();
    }

    StreamRecorder(const StreamRecorder &) = delete;
    StreamRecorder &operator=(const StreamRecorder &) = delete;

    static void pump()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }

    // The updates since the last call.
    QStringList take()
    {
        pump();
        return std::exchange(m_updates, {});
    }

    bool ended()
    {
        pump();
        return m_ended;
    }

    std::exception_ptr error() const { return m_error; }
    const EngineTranscript &transcript() const { return m_transcript; }

private:
    static QCoro::Task<void> consume(AsyncStream<EngineUpdate> stream, StreamRecorder *recorder)
    {
        try {
            while (auto update = co_await stream.next()) {
                recorder->m_transcript.apply(*update);
                recorder->m_updates.append(
                    (update->isFinalized() ? QStringLiteral("f:") : QStringLiteral("v:"))
                    + update->text());
            }
        } catch (...) {
            recorder->m_error = std::current_exception();
        }
        recorder->m_ended = true;
    }

    AsyncStream<EngineUpdate> m_stream;
    QStringList m_updates;
    EngineTranscript m_transcript;
    bool m_ended = false;
    std::exception_ptr m_error;
    QCoro::Task<void> m_task;
};
