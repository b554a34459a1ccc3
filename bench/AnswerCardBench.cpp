#include "UI/AnswerCard/AnswerCardLayout.h"

#include <benchmark/benchmark.h>

// Sizing the card measures the whole answer before the window is built: for a long answer of
// 5,000 characters this must stay well under a frame's worth of delay (target under 10 ms).
static void BM_AnswerCardLayout5000Characters(benchmark::State &state)
{
    const QString sentence = QStringLiteral(
        "The river crosses the valley in wide bends, and the old bridge still carries the road. ");
    const QString answer = sentence.repeated(5000 / sentence.size() + 1).left(5000);
    const QRect screen(0, 0, 1440, 875);
    for (auto _ : state) {
        benchmark::DoNotOptimize(AnswerCardLayout::textAreaFor(answer, screen));
    }
}
BENCHMARK(BM_AnswerCardLayout5000Characters)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
