#include "Core/TextCleanup/FidelityGuard.h"

#include <QFile>
#include <benchmark/benchmark.h>

#include <cstring>

namespace {

// The callers' worst case: a first-stage text of 3000 characters against a candidate of twice
// that plus 64, which only adds commas and line breaks, so the walk runs to the end.
struct Pair
{
    QString original;
    QString polished;
};

Pair worstCase()
{
    const QString kana =
        QStringLiteral("今日はいい天気ですね明日も晴れるでしょうか会議は午後三時からです");
    Pair pair;
    for (int i = 0; i < 3000; ++i) {
        const QChar c = kana[(i * 7) % kana.size()];
        pair.original += c;
        pair.polished += c;
        if (i % 3 == 2) {
            pair.polished += QChar(u'\u3001');
        }
    }
    while (pair.polished.size() < 6064) {
        pair.polished += QChar(u'\n');
    }
    return pair;
}

// A field of /proc/self/status in kilobytes, or -1.
long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// How far one call raises the resident size above what it was before: the peak is reset (writing
// 5 to clear_refs), then read back after the call.
double peakGrowthOfOneCallMB(const Pair &pair)
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1) {
        return -1;
    }
    clearRefs.close();
    const long before = statusKilobytes("VmRSS:");
    benchmark::DoNotOptimize(FidelityGuard::isFaithful(pair.original, pair.polished));
    const long peak = statusKilobytes("VmHWM:");
    return before < 0 || peak < 0 ? -1 : double(peak - before) / 1024.0;
}

void BM_IsFaithfulWorstCase(benchmark::State &state)
{
    const Pair pair = worstCase();
    const double peakGrowth = peakGrowthOfOneCallMB(pair);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FidelityGuard::isFaithful(pair.original, pair.polished));
    }
    state.counters["original"] = double(pair.original.size());
    state.counters["polished"] = double(pair.polished.size());
    state.counters["peakGrowthMB"] = peakGrowth;
}
BENCHMARK(BM_IsFaithfulWorstCase)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_VerifyTypicalCleanup(benchmark::State &state)
{
    const QString original = QStringLiteral(
        "えーと、明日の会議は午後3時からで、資料は https://example.com/docs/v2 に置いてあります。"
        "バージョン 1.4.2 の変更点は API の互換性と 50 percent の高速化です。");
    const QString polished = QStringLiteral(
        "明日の会議は午後3時からです。資料は https://example.com/docs/v2 に置いてあります。"
        "バージョン 1.4.2 の変更点は、API の互換性と 50% の高速化です。");
    for (auto _ : state) {
        benchmark::DoNotOptimize(FidelityGuard::verify(original, polished, EditContract::faithful));
    }
}
BENCHMARK(BM_VerifyTypicalCleanup)->Unit(benchmark::kMicrosecond);

// One run of letters and digits with no "@": the e-mail anchor backtracks over the rest of the run
// from every start position. The polished text is the original itself. The goal is under 200 ms.
void BM_VerifyAdversarialLetterDigitRun(benchmark::State &state)
{
    const QString original = QStringLiteral("user42").repeated(int(state.range(0) / 6));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FidelityGuard::verify(original, original, EditContract::faithful));
    }
}
BENCHMARK(BM_VerifyAdversarialLetterDigitRun)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
