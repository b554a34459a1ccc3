#include "Core/Learning/CorrectionMatcher.h"

#include <benchmark/benchmark.h>

namespace {

// Text of about `length` characters mixing Japanese and Latin words, varied enough that no
// stretch repeats.
QString prose(int length, int seed)
{
    const QString words[] = {
        QStringLiteral("会議"),     QStringLiteral("は"),     QStringLiteral("明日"),
        QStringLiteral("の"),       QStringLiteral("午後"),   QStringLiteral("から"),
        QStringLiteral("です"),     QStringLiteral("。"),     QStringLiteral("資料"),
        QStringLiteral("を"),       QStringLiteral("確認"),   QStringLiteral("して"),
        QStringLiteral("meeting "), QStringLiteral("draft "), QStringLiteral("review "),
        QStringLiteral("、"),       QStringLiteral("予定"),   QStringLiteral("更新"),
    };
    QString text;
    quint32 state = quint32(seed) * 2654435761u + 1;
    while (text.size() < length) {
        state = state * 1664525u + 1013904223u;
        text += words[(state >> 16) % (sizeof words / sizeof words[0])];
    }
    return text.left(length);
}

// The inserted text was edited in the middle of a long field: nothing matches verbatim, so both
// alignments run over the whole field.
void BM_MatchEditedInLongField(benchmark::State &state)
{
    const QString inserted = prose(600, 1);
    QString edited = inserted;
    edited.replace(300, 4, QStringLiteral("XXXXXX"));
    const QString field = prose(1700, 2) + edited + prose(1700, 3);
    if (CorrectionMatcher::match(inserted, field, std::nullopt).kind
        != CorrectionMatcher::Match::Kind::edited) {
        state.SkipWithError("the edited copy was not found");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(CorrectionMatcher::match(inserted, field, std::nullopt));
    }
    state.counters["inserted"] = double(inserted.size());
    state.counters["field"] = double(field.size());
}
BENCHMARK(BM_MatchEditedInLongField)->Unit(benchmark::kMillisecond)->Repetitions(5);

} // namespace
