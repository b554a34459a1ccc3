#include "UI/AnswerCard/AnswerCardController.h"
#include "UI/AnswerCard/AnswerCardLayout.h"
#include "UI/AnswerCard/AnswerCardPanel.h"

#include "Base/ManualClock.h"
#include "Fakes/FakeAnswerSpeaker.h"
#include "Fakes/FakeOverlayWindowing.h"
#include "Fakes/FakePasteboard.h"
#include "Fakes/TestAppSettings.h"
#include "Support/L10n.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QQuickWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

QString answerOfSize(qsizetype size)
{
    const QString sentence = QStringLiteral(
        "The river crosses the valley in wide bends, and the old bridge still carries the road. ");
    return sentence.repeated(size / sentence.size() + 1).left(size);
}

} // namespace

// Sizing the card measures the whole answer before the window is built: for a long answer of
// 5,000 characters this must stay well under a frame's worth of delay (target under 10 ms).
static void BM_AnswerCardLayout5000Characters(benchmark::State &state)
{
    const QString answer = answerOfSize(5000);
    const QRect screen(0, 0, 1440, 875);
    for (auto _ : state) {
        benchmark::DoNotOptimize(AnswerCardLayout::textAreaFor(answer, screen));
    }
}
BENCHMARK(BM_AnswerCardLayout5000Characters)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Measuring a megabyte answer: whole, as the card once did on the main thread, and cut to what the
// card now lays out.
static void BM_AnswerCardMeasureMegabyte(benchmark::State &state)
{
    const QString answer = answerOfSize(1024 * 1024);
    const bool cut = state.range(0) != 0;
    const QRect screen(0, 0, 1440, 875);
    for (auto _ : state) {
        const QString shown = cut ? AnswerCardLayout::shownAnswer(answer) : answer;
        benchmark::DoNotOptimize(AnswerCardLayout::textAreaFor(shown, screen));
    }
}
BENCHMARK(BM_AnswerCardMeasureMegabyte)
    ->ArgName("cut")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The whole card for an answer of 5,000 characters to one megabyte, up to its first frame: the
// longest the main thread is held at once, by show() (measuring, the window and its views) or by
// one turn of the event loop (layout and drawing). It must stay under 50 ms for any answer.
static void BM_AnswerCardLongestMainThreadStall(benchmark::State &state)
{
    TestAppSettings settings(true);
    ManualClock clock;
    FakeOverlayWindowing windowing;
    FakePasteboard pasteboard;
    AnswerCardController::Services services;
    services.settings = settings.settings.get();
    services.l10n = &L10n::shared();
    services.clock = &clock;
    services.windowing = &windowing;
    services.pasteboard = &pasteboard;
    AnswerCardController card(services, std::make_unique<FakeAnswerSpeaker>());
    const QString answer = answerOfSize(state.range(0));
    const QString question = QStringLiteral("How does the road cross the valley?");
    // The first card of the process pays for the QML engine's caches once.
    card.show(question, answer);
    card.dismiss();

    for (auto _ : state) {
        QElapsedTimer block;
        block.start();
        card.show(question, answer);
        qint64 longest = block.nsecsElapsed();
        QQuickWindow *window = card.panel();
        bool drawn = false;
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [&drawn] { drawn = true; });
        QElapsedTimer waited;
        waited.start();
        while (!drawn && waited.elapsed() < 5000) {
            block.restart();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            longest = std::max(longest, block.nsecsElapsed());
        }
        state.SetIterationTime(double(longest) / 1e9);
        if (!drawn) {
            state.SkipWithError("the card never drew a frame");
            break;
        }
        // The card goes away outside the measured time.
        card.dismiss();
        clock.advance(AnswerCardLayout::fadeOutDuration + 2 * AnswerCardController::frameInterval);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_AnswerCardLongestMainThreadStall)
    ->Arg(5000)
    ->Arg(100 * 1000)
    ->Arg(1024 * 1024)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
