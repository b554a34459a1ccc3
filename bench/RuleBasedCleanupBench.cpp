#include "Base/Unicode.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"

#include <benchmark/benchmark.h>

namespace {

// Dictated sentences with the fillers, repeats and broken punctuation the rules repair.
const QString englishSentences[] = {
    QStringLiteral("Um, so I think we should, you know, move the the meeting to Friday , "),
    QStringLiteral("uh because the report is not ready yet,. "),
    QStringLiteral("It has been a very very long week and I had had enough er "),
    QStringLiteral("Her team will send the numbers tomorrow morning  before ten. "),
};
const QString japaneseSentences[] = {
    QStringLiteral("えーっと、今日の会議は、まあ、金曜日に移したいと思います。"),
    QStringLiteral("あの、資料がまだ、、できていないので、えー。"),
    QStringLiteral("なんか 明日の朝までには数字を送ります 。"),
    QStringLiteral("うーん、それでいいかどうか確認してください、"),
};

// Sentences of both sets in turn until the text holds at least `characters` characters.
QString transcript(qsizetype characters, bool english, bool japanese)
{
    QString text;
    for (int i = 0; Unicode::graphemeCount(text) < characters; ++i) {
        if (english) {
            text += englishSentences[i % 4];
        }
        if (japanese) {
            text += japaneseSentences[i % 4];
        }
    }
    return Unicode::graphemePrefix(text, characters);
}

void runClean(benchmark::State &state, const QString &text, const QString &locale)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(RuleBasedCleanup::clean(text, locale));
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}

// A long dictation: 5,000 characters.
void BM_RuleBasedCleanupEnglishTranscript(benchmark::State &state)
{
    static const QString text = transcript(5000, true, false);
    runClean(state, text, QStringLiteral("en-US"));
}
BENCHMARK(BM_RuleBasedCleanupEnglishTranscript)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_RuleBasedCleanupJapaneseTranscript(benchmark::State &state)
{
    static const QString text = transcript(5000, false, true);
    runClean(state, text, QStringLiteral("ja-JP"));
}
BENCHMARK(BM_RuleBasedCleanupJapaneseTranscript)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Throughput on about 1 MB (512 Ki UTF-16 code units) of mixed English and Japanese text, with the
// Japanese locale so that every rule runs.
void BM_RuleBasedCleanupMixedMegabyte(benchmark::State &state)
{
    static const QString text = [] {
        QString mixed;
        for (int i = 0; mixed.size() < 512 * 1024; ++i) {
            mixed += englishSentences[i % 4];
            mixed += japaneseSentences[i % 4];
        }
        return mixed;
    }();
    runClean(state, text, QStringLiteral("ja-JP"));
}
BENCHMARK(BM_RuleBasedCleanupMixedMegabyte)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Inputs on which some of the rules backtrack over the whole run from every start position, each
// of range(0) characters. Unbounded, they took seconds at 20,000 characters and about a minute at
// 100,000; the goal is under 200 ms each.
QString adversarialBlanks(qsizetype length)
{
    // A run of blanks followed by no punctuation and no line feed.
    return QStringLiteral("a") + QString(length - 2, QLatin1Char(' ')) + QStringLiteral("b");
}

QString adversarialCommas(qsizetype length)
{
    // Commas and ideographic commas that do not end the text.
    return QStringLiteral(",\u3001").repeated(length / 2 - 1) + QStringLiteral("ok");
}

QString adversarialApostrophes(qsizetype length)
{
    // One ASCII "word" of letters and apostrophes that never repeats.
    return QStringLiteral("a'").repeated(length / 2);
}

void BM_RuleBasedCleanupAdversarialBlanks(benchmark::State &state)
{
    runClean(state, adversarialBlanks(state.range(0)), QStringLiteral("en-US"));
}
BENCHMARK(BM_RuleBasedCleanupAdversarialBlanks)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_RuleBasedCleanupAdversarialCommas(benchmark::State &state)
{
    runClean(state, adversarialCommas(state.range(0)), QStringLiteral("ja-JP"));
}
BENCHMARK(BM_RuleBasedCleanupAdversarialCommas)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_RuleBasedCleanupAdversarialApostrophes(benchmark::State &state)
{
    runClean(state, adversarialApostrophes(state.range(0)), QStringLiteral("en-US"));
}
BENCHMARK(BM_RuleBasedCleanupAdversarialApostrophes)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
