#pragma once

#include "Base/Async.h"
#include "Base/ManualClock.h"
#include "Core/DictationTrace.h"
#include "Core/Services/CloudDictation.h"

#include <QList>

#include <chrono>

// Cloud dictation on a manual clock: run() answers with `outcome` after `delay` of the clock's
// time (at once without a delay), and ends early with nothing when the session is cancelled.
// finalText() answers with `finalTextResult`, or "final:" followed by the raw text.
class FakeCloudDictation final : public CloudDictation
{
public:
    struct Run
    {
        QByteArray wav;
        DictationTask task;
        CleanupMode mode;
        QString targetLang;
        int intensity;
        CleanupContext context;
        SessionContext session;
    };

    explicit FakeCloudDictation(ManualClock &clock)
        : m_clock(clock)
    { }

    QCoro::Task<std::optional<Outcome>> run(QByteArray wav, DictationTask task, CleanupMode mode,
                                            QString targetLang, int intensity,
                                            CleanupContext context, SessionContext session) override
    {
        runs << Run {wav, task, mode, targetLang, intensity, context, session};
        if (delay > std::chrono::nanoseconds::zero()) {
            co_await Async::sleep(m_clock, delay, session.cancellation);
        }
        co_return outcome;
    }

    QCoro::Task<QString> finalText(Outcome given, DictationTask, CleanupMode, CleanupContext,
                                   SessionContext session) override
    {
        finalTextCalls << given;
        if (session.trace) {
            session.trace->mark(QStringLiteral("cleanup.guard"));
        }
        co_return finalTextResult.value_or(QStringLiteral("final:") + given.raw);
    }

    std::optional<Outcome> outcome;
    std::chrono::nanoseconds delay {0};
    std::optional<QString> finalTextResult;
    QList<Run> runs;
    QList<Outcome> finalTextCalls;

private:
    ManualClock &m_clock;
};
