#include "Base/ManualClock.h"
#include "Core/DictationRig.h"
#include "Core/History/HistoryStore.h"
#include "Core/IslandBridge.h"
#include "Core/WidgetProtocol.h"
#include "Fakes/FakeCompanionHost.h"
#include "Platform/Qt/QtCompanionSocket.h"
#include "TestSupport/ResidentMemory.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A companion host on its own thread that accepts one client and reads everything it sends, so
// the measured side never waits for a full buffer.
class DrainingHost
{
public:
    explicit DrainingHost(const QString &path)
    {
        m_listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        ::listen(m_listener, 1);
        m_thread = std::thread([this] {
            const int client = ::accept(m_listener, nullptr, nullptr);
            char buffer[65536];
            while (client >= 0 && ::read(client, buffer, sizeof(buffer)) > 0) {
                m_received += 1;
            }
            if (client >= 0) {
                ::close(client);
            }
        });
    }

    ~DrainingHost()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }

private:
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<int> m_received {0};
};

WidgetMessage levelUpdate(double level)
{
    WidgetMessage message;
    message.type = QStringLiteral("widget.state");
    message.app = QStringLiteral("org.sonorvelle.Sonorvelle");
    message.name = QStringLiteral("Sonorvelle");
    WidgetEar ear;
    ear.symbol = QStringLiteral("mic.fill");
    ear.text = QStringLiteral("Voice input");
    ear.level = level;
    ear.tint = 0xFF5B52;
    ear.priority = 45;
    ear.sprite = QStringLiteral("voice/listening");
    ear.meta = QStringLiteral("0:42");
    message.ear = ear;
    message.status =
        WidgetStatus {QStringLiteral("voice/listening"), QStringLiteral("Voice input \u00B7 0:42")};
    return message;
}

// One live-state update as the recording sends it 20 times a second: encoded and written.
void BM_BridgeLevelUpdate(benchmark::State &state)
{
    QTemporaryDir folder(QStringLiteral("/tmp/sv-bench-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("bridge.sock"));
    DrainingHost host(path);
    QtCompanionSocket socket;
    if (!socket.connectTo(path)) {
        state.SkipWithError("no connection to the host");
        return;
    }
    double level = 0;
    for (auto _ : state) {
        level = level > 0.9 ? 0 : level + 0.01;
        QByteArray line = *WidgetProtocol::encode(levelUpdate(level));
        line.append('\n');
        benchmark::DoNotOptimize(socket.write(line));
    }
}
BENCHMARK(BM_BridgeLevelUpdate);

// One heartbeat on a live link with ten history entries: hello and the items message.
void BM_BridgeHeartbeatWithTenItems(benchmark::State &state)
{
    QTemporaryDir folder(QStringLiteral("/tmp/sv-bench-XXXXXX"));
    ManualClock clock;
    HistoryStore history(folder.filePath(QStringLiteral("history.json")), clock,
                         [] { return qint64(0); });
    for (int i = 0; i < 10; ++i) {
        TranscriptRecord record;
        record.date = clock.now().addSecs(-60 * i);
        record.cleanedText = QStringLiteral("A dictated sentence of ordinary length, number %1, "
                                            "with a second clause after it.")
                                 .arg(i);
        record.appName = QStringLiteral("Editor");
        record.durationSeconds = 4.2 + i;
        history.add(record);
    }
    QDir(folder.path()).mkpath(QStringLiteral("Velmoor"));
    const QString path = folder.filePath(QStringLiteral("Velmoor/bridge.sock"));
    DrainingHost host(path);
    IslandBridge::Services services;
    services.clock = &clock;
    services.socket = std::make_unique<QtCompanionSocket>();
    services.history = &history;
    services.socketPath = path;
    services.appID = QStringLiteral("org.sonorvelle.Sonorvelle");
    IslandBridge bridge(std::move(services));
    bridge.start(nullptr, nullptr);
    if (!bridge.isConnected()) {
        state.SkipWithError("no connection to the host");
        return;
    }
    for (auto _ : state) {
        clock.advance(IslandBridge::heartbeatInterval);
    }
}
BENCHMARK(BM_BridgeHeartbeatWithTenItems);

// Runs the event loop until `done` holds, waking for events rather than polling; false after 5 s.
template<typename Predicate>
bool runUntil(Predicate done)
{
    const QDeadlineTimer deadline(5000);
    QTimer wake;
    wake.start(100);
    QEventLoop loop;
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// 100 sessions started and cancelled by a companion host through the bridge, each pair after the
// last session has stopped, on a dictation controller over the tests' fakes. Reports the resident
// memory after the run and its growth over it.
void BM_BridgeStartCancelPairs(benchmark::State &state)
{
    DictationRig rig;
    FakeCompanionHost host;
    if (!host.start()) {
        state.SkipWithError("the host does not listen");
        return;
    }
    IslandBridge::Services services;
    services.clock = &rig.clock;
    services.socket = std::make_unique<QtCompanionSocket>();
    services.history = &rig.history;
    services.socketPath = host.socketPath();
    services.appID = QStringLiteral("org.sonorvelle.Sonorvelle");
    IslandBridge bridge(std::move(services));
    bridge.start(&rig.c(), &rig.appSettings());
    if (!bridge.isConnected() || !runUntil([&] { return bool(host.client); })) {
        state.SkipWithError("no connection to the host");
        return;
    }
    const QByteArray toggle = R"({"v":1,"type":"widget.command","app":"h","actionId":"toggle"})"
                              "\n";
    const QByteArray cancel = R"({"v":1,"type":"widget.command","app":"h","actionId":"cancel"})"
                              "\n";
    DictationController &controller = rig.c();
    const qint64 before = residentMemoryBytes();
    for (auto _ : state) {
        for (int pair = 0; pair < 100; ++pair) {
            host.send(toggle);
            const bool started =
                runUntil([&] { return controller.state() == DictationState::recording; });
            host.send(cancel);
            const bool stopped = runUntil([&] {
                return controller.state() == DictationState::idle && !controller.isStopping();
            });
            host.lines.clear();
            if (!started || !stopped) {
                state.SkipWithError("a session did not start or stop");
                return;
            }
        }
    }
    constexpr double megabyte = 1024.0 * 1024.0;
    const qint64 after = residentMemoryBytes();
    state.counters["rss_after_mb"] = double(after) / megabyte;
    state.counters["rss_growth_mb"] = double(after - before) / megabyte;
    state.counters["sessions"] = double(rig.engines.made.size());
}
BENCHMARK(BM_BridgeStartCancelPairs)->Unit(benchmark::kMillisecond);

} // namespace
