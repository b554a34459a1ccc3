#include "Core/ImproveReporter.h"

#include "Base/Clock.h"
#include "Base/UserDefaults.h"
#include "Core/CloudSession.h"
#include "Core/ImproveConfig.h"
#include "TestSupport/FakeCloudService.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>

// The usage-event reporter's cost where it matters: recording one event on the caller's thread
// (the dictation controller calls from the main thread) while the queue file is long, and one
// flush of a full batch, the server's own time taken off. The flush also reports the processor
// time of the whole process (every thread: the serial queue's file and JSON work, the request
// layer, and the in-process fake service), which stays clear of the waits of a loopback transfer.

namespace {

QByteArray eventLine(double t, int index)
{
    return QStringLiteral(R"({"t":%1,"n":"dictation.result","p":{"ok":true,"path":"local",)"
                          R"("task":"cleanup","mode":"rules","durationSec":4,"totalMs":%2,)"
                          R"("app":"org.kde.kate","engine":"pocketsphinx","locale":"en-US"}})")
        .arg(QString::number(t, 'f', 3))
        .arg(index)
        .toUtf8();
}

double processCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void writeQueue(const QString &path, int lines)
{
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (int i = 0; i < lines; ++i) {
        file.write(eventLine(now - 3600 + i * 0.01, i) + '\n');
    }
}

const QVariantMap kResultProperties {
    {QStringLiteral("ok"), true},
    {QStringLiteral("path"), QStringLiteral("local")},
    {QStringLiteral("task"), QStringLiteral("cleanup")},
    {QStringLiteral("mode"), QStringLiteral("rules")},
    {QStringLiteral("intensity"), 2},
    {QStringLiteral("cloudSTT"), false},
    {QStringLiteral("durationSec"), 4},
    {QStringLiteral("totalMs"), 312},
    {QStringLiteral("insertMethod"), QStringLiteral("paste")},
    {QStringLiteral("app"), QStringLiteral("org.kde.kate")},
    {QStringLiteral("engine"), QStringLiteral("pocketsphinx")},
    {QStringLiteral("rawLen"), 48},
    {QStringLiteral("outLen"), 46},
    {QStringLiteral("locale"), QStringLiteral("en-US")},
};

void BM_RecordWithTenThousandQueuedLines(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/improve-queue.jsonl");
    writeQueue(path, 10000);
    FakeCloudService service;
    CloudSession session(service.baseURL());
    UserDefaults defaults;
    ImproveReporter reporter({&session, &defaults, &Clock::system(), path});
    for (auto _ : state) {
        reporter.record(QStringLiteral("dictation.result"), kResultProperties);
    }
    reporter.waitForQueuedWork();
}
BENCHMARK(BM_RecordWithTenThousandQueuedLines)->Unit(benchmark::kMicrosecond)->Repetitions(5);

void BM_FlushOfTwoHundredEvents(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/improve-queue.jsonl");
    FakeCloudService service;
    CloudSession session(service.baseURL());
    UserDefaults defaults;
    // The user has seen the consent page: the batch may leave.
    ImproveConfig::setConsentShown(defaults, true);
    ImproveReporter reporter({&session, &defaults, &Clock::system(), path});
    reporter.setTokenProvider([] { return QStringLiteral("benchmark-token"); });
    double cpuMs = 0;
    for (auto _ : state) {
        writeQueue(path, 200);
        const size_t before = service.requestCount();
        QElapsedTimer timer;
        const double cpuBefore = processCpuMs();
        timer.start();
        reporter.flushNow(true);
        const qint64 total = timer.nsecsElapsed();
        cpuMs += processCpuMs() - cpuBefore;
        const auto requests = service.requests();
        if (requests.size() != before + 1 || QFile::exists(path)) {
            state.SkipWithError("the flush did not deliver the batch");
            break;
        }
        state.SetIterationTime(double(total - requests[before].serverTime.count()) / 1e9);
    }
    state.counters["process_cpu_ms"] =
        benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FlushOfTwoHundredEvents)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

} // namespace
