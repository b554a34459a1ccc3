#pragma once

#include "Base/AsyncStream.h"
#include "Base/CancelledError.h"
#include "Core/Transcription/TranscriptionEngine.h"

#include <QList>
#include <QStringList>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>

// A speech engine played by the test. What it does is read from a script the test fills before
// the engine is made; what was done with it goes into `calls`. The test then drives the session:
// open() completes a start held by the script, say() yields updates, end() ends the stream.
//
// By default a session opens at once, finishSession() yields the script's closing updates and
// ends the stream, and cancelSession() ends the stream. A held start waits for open() or fail();
// cancelSession() while it waits makes the start fail with the cancellation error, as a real
// engine's does.
class ScriptedTranscriptionEngine final : public TranscriptionEngine
{
public:
    struct Script
    {
        QString name = QStringLiteral("Scripted");
        // The start waits for open() or fail().
        bool holdStart = false;
        // The start fails at once with this error.
        std::exception_ptr startError;
        // Yielded by finishSession() before the stream ends.
        QList<EngineUpdate> closingUpdates;
        // The stream stays open after finishSession(); only cancelSession() or end() ends it.
        bool keepOpenAfterFinish = false;
        QList<SpeechLocale> supported;
    };

    explicit ScriptedTranscriptionEngine(Script script)
        : script(std::move(script))
    { }

    QString name() const override { return script.name; }

    QCoro::Task<void> prepare(SpeechLocale locale, ProgressCallback progress) override
    {
        calls << QStringLiteral("prepare ") + locale.identifier();
        if (progress) {
            progress(1.0);
        }
        co_return;
    }

    QCoro::Task<QList<SpeechLocale>> supportedLocales() override { co_return script.supported; }

    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale locale,
                                                        QStringList contextualStrings) override
    {
        calls << QStringLiteral("startSession ") + locale.identifier() + QStringLiteral(" [")
                + contextualStrings.join(u',') + QStringLiteral("]");
        if (script.startError) {
            std::rethrow_exception(script.startError);
        }
        if (script.holdStart && !m_opened) {
            co_await StartGate {this};
            if (m_startFailure) {
                std::rethrow_exception(m_startFailure);
            }
        }
        calls << QStringLiteral("opened");
        // A copy: QCoro moves from an lvalue handed to co_return.
        co_return AsyncStream<EngineUpdate>(stream);
    }

    void feed(const AudioBuffer &buffer) override { fed << qsizetype(buffer.frameCount()); }

    QCoro::Task<void> finishSession() override
    {
        calls << QStringLiteral("finishSession");
        for (const EngineUpdate &update : script.closingUpdates) {
            stream.yield(update);
        }
        if (!script.keepOpenAfterFinish) {
            stream.finish();
        }
        co_return;
    }

    QCoro::Task<void> cancelSession() override
    {
        calls << QStringLiteral("cancelSession");
        if (m_waiter) {
            fail(std::make_exception_ptr(CancelledError()));
        }
        stream.finish();
        co_return;
    }

    // Test side.
    void open()
    {
        m_opened = true;
        resume();
    }
    void fail(std::exception_ptr error)
    {
        m_startFailure = std::move(error);
        resume();
    }
    bool isStartWaiting() const { return bool(m_waiter); }
    void say(const EngineUpdate &update) { stream.yield(update); }
    void end(std::exception_ptr error = nullptr) { stream.finish(std::move(error)); }

    Script script;
    QStringList calls;
    // Frame counts of the buffers fed, in order.
    QList<qsizetype> fed;
    AsyncStream<EngineUpdate> stream;

private:
    struct StartGate
    {
        ScriptedTranscriptionEngine *engine;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { engine->m_waiter = handle; }
        void await_resume() const noexcept { }
    };

    void resume()
    {
        if (auto handle = std::exchange(m_waiter, {})) {
            handle.resume();
        }
    }

    bool m_opened = false;
    std::exception_ptr m_startFailure;
    std::coroutine_handle<> m_waiter;
};
