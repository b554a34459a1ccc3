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

} // namespace
