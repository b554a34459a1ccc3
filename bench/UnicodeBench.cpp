#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <benchmark/benchmark.h>

namespace {

// About 1 MB of UTF-16 text shaped like a debug log that also records transcripts: mostly ASCII
// lines with Japanese, accented text, emoji sequences and flags mixed in.
QString mixedText(qsizetype minimumUnits)
{
    const QString lines[] = {
        QStringLiteral("2024-05-01 12:00:00.123 [recorder] level=-23.5 dB frames=4096\r\n"),
        QStringLiteral(
            "transcript: \u4ECA\u65E5\u306F\u3044\u3044\u5929\u6C17\u3067\u3059\u306D\u3002"
            "\u660E\u65E5\u3082\u6674\u308C\u308B\u3067\u3057\u3087\u3046\u3002\n"),
        QStringLiteral("cleanup: caf\u00E9 na\u00EFve e\u0301t\u00E9 \U0001F468\u200D\U0001F469"
                       "\u200D\U0001F467 \U0001F1EF\U0001F1F5 \U0001F44D\U0001F3FD done\n"),
        QStringLiteral("\uD55C\uAD6D\uC5B4 \u1100\u1161\u11A8 \U00020BB7 ok\n"),
    };
    QString text;
    text.reserve(minimumUnits + 200);
    for (int i = 0; text.size() < minimumUnits; ++i) {
        text += lines[i % 4];
    }
    return text;
}

const QString &megabyteOfText()
{
    static const QString text = mixedText(512 * 1024); // 512 Ki code units = 1 MiB
    return text;
}

void BM_GraphemeSuffix(benchmark::State &state)
{
    const QString &text = megabyteOfText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Unicode::graphemeSuffix(text, 262144));
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_GraphemeSuffix)->Unit(benchmark::kMillisecond);

void BM_GraphemeCount(benchmark::State &state)
{
    const QString &text = megabyteOfText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Unicode::graphemeCount(text));
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_GraphemeCount)->Unit(benchmark::kMillisecond);

void BM_RegexReplaceAll(benchmark::State &state)
{
    const QString text = mixedText(5 * 1024); // 10 KB
    // Matches often (every number and every run of white space), like the cleanup rules do on
    // dictated text.
    static const Regex regex(QStringLiteral("(\\d+)|\\s+"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(regex.replaceAll(text, QStringLiteral("<$1>")));
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_RegexReplaceAll)->Unit(benchmark::kMicrosecond);

} // namespace
