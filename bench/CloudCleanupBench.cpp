#include "Core/CloudDictate.h"
#include "Core/TextCleanup/ContextComposer.h"

#include <QUuid>

#include <benchmark/benchmark.h>

#include <malloc.h>

// What the cloud path adds on the machine before a byte leaves it: the multipart body of the
// longest session, and the context text of a long field.

namespace {

// The longest session: 540 s of 16 kHz mono 16-bit samples behind a 44-byte header.
QByteArray longestWav()
{
    QByteArray wav(44 + 540 * 16000 * 2, '\x11');
    wav.replace(0, 4, "RIFF");
    return wav;
}

void multipartBodyOfTheLongestSession(benchmark::State &state)
{
    const QByteArray wav = longestWav();
    const QByteArray boundary = CloudDictate::boundary(QUuid::createUuid());
    const QByteArray meta =
        R"({"task":"cleanup","style":"faithful","lang":"en-US","context":"APP: Mail"})";
    size_t peakExtra = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        QByteArray body = CloudDictate::multipartBody(boundary, meta, wav);
        benchmark::DoNotOptimize(body.data());
        peakExtra = std::max(peakExtra, mallinfo2().uordblks - before);
    }
    // One copy of the recording is the floor: the body must hold it.
    state.counters["extraMB"] = double(peakExtra) / 1e6;
    state.counters["wavCopies"] = double(peakExtra) / double(wav.size());
}
BENCHMARK(multipartBodyOfTheLongestSession)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void contextOfALongField(benchmark::State &state)
{
    FocusContext focus;
    focus.appName = QStringLiteral("Mail");
    focus.windowTitle = QStringLiteral("Re: the quarterly figures");
    QString text;
    while (text.size() < 10000) {
        text += QStringLiteral(
            "Thanks for the draft, the numbers look right to me. 数字は合っています。 ");
    }
    text.truncate(10000);
    focus.fieldText = text;
    focus.caretLocation = 6000;
    const QStringList recent = {QStringLiteral("see you on Monday"),
                                QStringLiteral("the report is attached")};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ContextComposer::composed(focus, recent));
    }
}
BENCHMARK(contextOfALongField)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace
