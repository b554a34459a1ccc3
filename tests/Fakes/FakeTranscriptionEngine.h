#pragma once

#include "Core/Transcription/TranscriptionEngine.h"

#include <QList>
#include <QStringList>

#include <exception>
#include <mutex>
#include <vector>

// A speech engine the test drives: it reports the locales and errors it is given, records what
// it is asked, and hands out a result stream whose producer side (`stream`) the test holds.
// feed() may be called from any thread.
class FakeTranscriptionEngine final : public TranscriptionEngine
{
public:
    QString name() const override { return engineName; }

    QCoro::Task<void> prepare(SpeechLocale locale, ProgressCallback progress) override
    {
        prepared.append(locale);
        if (prepareError) {
            std::rethrow_exception(prepareError);
        }
        if (progress) {
            progress(1.0);
        }
        co_return;
    }

    QCoro::Task<QList<SpeechLocale>> supportedLocales() override
    {
        ++supportedLocalesCalls;
        co_return QList<SpeechLocale>(locales); // a copy: co_return moves from a named member
    }

    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale locale,
                                                        QStringList contextualStrings) override
    {
        startedLocale = locale;
        startedHints = contextualStrings;
        ++startCalls;
        if (startError) {
            std::rethrow_exception(startError);
        }
        co_return AsyncStream<EngineUpdate>(stream);
    }

    void feed(const AudioBuffer &buffer) override
    {
        std::lock_guard lock(m_mutex);
        m_fed.push_back(buffer);
    }

    QCoro::Task<void> finishSession() override
    {
        ++finishCalls;
        if (endStreamOnFinish) {
            stream.finish();
        }
        co_return;
    }

    QCoro::Task<void> cancelSession() override
    {
        ++cancelCalls;
        stream.finish();
        co_return;
    }

    std::vector<AudioBuffer> fed() const
    {
        std::lock_guard lock(m_mutex);
        return m_fed;
    }

    QString engineName = QStringLiteral("FakeEngine");
    QList<SpeechLocale> locales;
    std::exception_ptr prepareError;
    std::exception_ptr startError;
    bool endStreamOnFinish = true;
    AsyncStream<EngineUpdate> stream;

    QList<SpeechLocale> prepared;
    int supportedLocalesCalls = 0;
    SpeechLocale startedLocale;
    QStringList startedHints;
    int startCalls = 0;
    int finishCalls = 0;
    int cancelCalls = 0;

private:
    mutable std::mutex m_mutex;
    std::vector<AudioBuffer> m_fed;
};
