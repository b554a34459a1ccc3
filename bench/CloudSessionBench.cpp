#include "Core/CloudSession.h"

#include "TestSupport/FakeCloudService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <QCoro/QCoroTask>
#include <benchmark/benchmark.h>

#include <unistd.h>

// The request layer's own cost against a loopback service: one JSON POST with a bearer token
// and a small JSON answer, the time the server spent on it taken off; and the memory the layer
// holds after many sequential requests.

namespace {

CloudRequest smallPost(CloudSession &session)
{
    CloudRequest request = session.request(QStringLiteral("cleanup"));
    request.method = "POST";
    request.setBearer(QStringLiteral("benchmark-token"));
    Json::Object body = Json::Object::object();
    Json::putString(body, "text", QStringLiteral("um so I think we should meet tomorrow"));
    request.setJsonBody(body);
    return request;
}

void BM_CloudRequestOverhead(benchmark::State &state)
{
    FakeCloudService service;
    service.respond(
        "/api/cleanup",
        FakeCloudService::Reply::json(R"({"text":"I think we should meet tomorrow."})"));
    CloudSession session(service.baseURL());
    // The first request opens the connection; the others reuse it, as a dictation's do.
    QCoro::waitFor(session.perform(smallPost(session)));
    for (auto _ : state) {
        const size_t before = service.requestCount();
        QElapsedTimer timer;
        timer.start();
        const CloudReply reply = QCoro::waitFor(session.perform(smallPost(session)));
        const qint64 total = timer.nsecsElapsed();
        if (reply.status != 200) {
            state.SkipWithError("the request failed");
            break;
        }
        const auto requests = service.requests();
        const qint64 server = requests.size() > before ? requests[before].serverTime.count() : 0;
        state.SetIterationTime(double(total - server) / 1e9);
    }
}
BENCHMARK(BM_CloudRequestOverhead)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5);

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Resident memory before and after 1,000 sequential requests (after a warm-up of 100, so the
// connection pool and the allocators have settled); growth would mean the layer keeps something
// per request.
void BM_CloudRequestMemory(benchmark::State &state)
{
    FakeCloudService service;
    CloudSession session(service.baseURL());
    const auto run = [&](int count) {
        for (int i = 0; i < count; ++i) {
            QCoro::waitFor(session.perform(smallPost(session)));
        }
        // Replies are released with deleteLater.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    for (auto _ : state) {
        run(100);
        service.clearRequests();
        const qint64 start = residentBytes();
        run(1000);
        service.clearRequests();
        const qint64 afterFirst = residentBytes();
        run(1000);
        service.clearRequests();
        const qint64 afterSecond = residentBytes();
        // The first thousand may still settle the allocators; the second must not grow.
        state.counters["rss_growth_first_1000_kB"] = double(afterFirst - start) / 1024.0;
        state.counters["rss_growth_second_1000_kB"] = double(afterSecond - afterFirst) / 1024.0;
        state.counters["in_flight"] = session.transfersInFlight();
    }
}
BENCHMARK(BM_CloudRequestMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
