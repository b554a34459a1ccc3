#include "Support/L10n.h"

#include <benchmark/benchmark.h>

// A lookup is a handful of hash reads; views look texts up on every relabel.
static void BM_L10nString(benchmark::State &state)
{
    const QString present = QStringLiteral("error.locale_not_supported");
    const QString missing = QStringLiteral("no.such_key");
    L10n::shared().string(present); // the tables are built once, outside the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(L10n::shared().string(present));
        benchmark::DoNotOptimize(L10n::shared().string(missing));
    }
}
BENCHMARK(BM_L10nString);
