#include "Base/Clock.h"
#include "Core/Insertion/PasteInserter.h"
#include "Core/Insertion/UnicodeTyper.h"
#include "Platform/X11/X11Keyboard.h"
#include "Platform/X11/X11Pasteboard.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>

#include <QCoro/QCoroTask>

#include <benchmark/benchmark.h>

// Text insertion on a real X11 display (run under scripts/test's session, or with DISPLAY set):
// from the inserter's call to the text in a Qt application's field, and the clipboard snapshot
// of a large owner and of a slow one against the snapshot's deadline.

namespace {

constexpr int answerTimeoutMs = 10000;

// A fixture program the tests build beside the benchmarks.
QString fixture(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("../tests/fixtures/") + name);
}

// The paste target fixture.
class Target
{
public:
    ~Target()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool start()
    {
        m_process.start(fixture(QStringLiteral("sonorvelle_paste_target")), {});
        return waitUntil([this] { return m_lines.contains("ready"); });
    }

    bool clear()
    {
        m_lines.clear();
        m_process.write("clear\n");
        return waitUntil([this] { return m_lines.contains("cleared"); });
    }

    bool waitForText(const QString &text)
    {
        const QByteArray line = "text " + text.toUtf8().toBase64();
        return waitUntil([&] { return m_lines.contains(line); });
    }

private:
    template<typename Condition>
    bool waitUntil(Condition condition)
    {
        QDeadlineTimer deadline(answerTimeoutMs);
        while (!condition()) {
            if (deadline.hasExpired()) {
                return false;
            }
            m_process.waitForReadyRead(5);
            while (m_process.canReadLine()) {
                m_lines.append(m_process.readLine().trimmed());
            }
            QCoreApplication::processEvents();
        }
        return true;
    }

    QProcess m_process;
    QList<QByteArray> m_lines;
};

// The slow clipboard owner fixture, owning the clipboard until it ends.
class SlowOwner
{
public:
    ~SlowOwner()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool start(bool serial)
    {
        QStringList arguments {QStringLiteral("--targets"), QStringLiteral("5"),
                               QStringLiteral("--delay-ms"), QStringLiteral("150")};
        if (serial) {
            arguments.append(QStringLiteral("--serial"));
        }
        m_process.start(fixture(QStringLiteral("sonorvelle_slow_clipboard_owner")), arguments);
        QDeadlineTimer deadline(answerTimeoutMs);
        while (!deadline.hasExpired()) {
            m_process.waitForReadyRead(5);
            while (m_process.canReadLine()) {
                if (m_process.readLine().trimmed() == "ready") {
                    return true;
                }
            }
        }
        return false;
    }

private:
    QProcess m_process;
};

// Lets the event loop run for a while (the clipboard's reads resume on it).
void spin(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

bool displayReady(benchmark::State &state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("X11 display: DISPLAY is not set (run under scripts/test's session)");
        return false;
    }
    return true;
}

void measureInsertion(benchmark::State &state, const QString &text, bool typed)
{
    if (!displayReady(state)) {
        return;
    }
    X11Pasteboard pasteboard;
    X11Keyboard keyboard;
    PasteInserter::SharedState shared;
    Target target;
    if (!target.start()) {
        state.SkipWithError("fixture sonorvelle_paste_target did not start or got no focus");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        target.clear();
        state.ResumeTiming();
        const bool inserted = typed
            ? QCoro::waitFor(UnicodeTyper::type(keyboard, Clock::system(), text))
            : QCoro::waitFor(PasteInserter::insert({pasteboard, keyboard, Clock::system(), shared},
                                                   text, false, 0, std::nullopt, {}));
        if (!inserted || !target.waitForText(text)) {
            state.SkipWithError("the text did not arrive in the field");
            return;
        }
    }
}

void BM_PasteIntoField(benchmark::State &state)
{
    measureInsertion(state, QStringLiteral("Dictated text for the benchmark, héllo 世界 🎉"), false);
}
BENCHMARK(BM_PasteIntoField)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TypeIntoField200(benchmark::State &state)
{
    // 200 characters: mostly keys of the layout, some through spare keys.
    QString text;
    const QString pieces[] = {QStringLiteral("The quick brown fox "), QStringLiteral("jumps — "),
                              QStringLiteral("über den Zaun; "), QStringLiteral("日本語 "),
                              QStringLiteral("and back again. ")};
    for (int i = 0; text.size() < 200; ++i) {
        text += pieces[i % 5];
    }
    text.truncate(200);
    measureInsertion(state, text, true);
}
BENCHMARK(BM_TypeIntoField200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SnapshotOfLargeOwner(benchmark::State &state)
{
    if (!displayReady(state)) {
        return;
    }
    QString large;
    while (large.size() < 1024 * 1024) {
        large += QStringLiteral("one megabyte of clipboard text, line after line\n");
    }
    large.truncate(1024 * 1024);
    X11Pasteboard owner;
    X11Pasteboard reader;
    if (!owner.writeItems({{{Pasteboard::plainTextType, large.toUtf8(), {}, 8}}})) {
        state.SkipWithError("X11 display: could not take the clipboard");
        return;
    }
    for (auto _ : state) {
        const auto snapshot = QCoro::waitFor(reader.readItems());
        if (!snapshot || snapshot->isEmpty()) {
            state.SkipWithError("the snapshot failed");
            return;
        }
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_SnapshotOfLargeOwner)->Unit(benchmark::kMillisecond)->UseRealTime();

// An owner taking 150 ms over each request (its list of targets, then five targets), read at the
// key release: the time until the snapshot holds its content, against the 400 ms deadline.
// Argument 0: the owner answers requests side by side; 1: one after the other.
void BM_SnapshotOfSlowOwnerAtRelease(benchmark::State &state)
{
    if (!displayReady(state)) {
        return;
    }
    const bool serial = state.range(0) == 1;
    SlowOwner owner;
    if (!owner.start(serial)) {
        state.SkipWithError("fixture sonorvelle_slow_clipboard_owner did not take the clipboard");
        return;
    }
    X11Pasteboard reader;
    if (!reader.isAvailable()) {
        state.SkipWithError("X11 display: the clipboard layer reached no display");
        return;
    }
    for (auto _ : state) {
        const auto snapshot = QCoro::waitFor(reader.readItems());
        if (!snapshot || snapshot->value(0).size() != 5) {
            state.SkipWithError("the slow owner could not be read");
            return;
        }
    }
    state.counters["deadline_ms"] = double(PasteInserter::snapshotDeadline.count());
}
BENCHMARK(BM_SnapshotOfSlowOwnerAtRelease)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The owner that answers one request after the other (0.9 s in all), read from the key down a
// second before the release: the time from the release until the snapshot is there.
void BM_SnapshotOfSlowOwnerReadFromKeyDown(benchmark::State &state)
{
    if (!displayReady(state)) {
        return;
    }
    SlowOwner owner;
    if (!owner.start(true)) {
        state.SkipWithError("fixture sonorvelle_slow_clipboard_owner did not take the clipboard");
        return;
    }
    X11Pasteboard pasteboard;
    if (!pasteboard.isAvailable()) {
        state.SkipWithError("X11 display: the clipboard layer reached no display");
        return;
    }
    X11Keyboard keyboard;
    PasteInserter::SharedState shared;
    const PasteInserter::Services services {pasteboard, keyboard, Clock::system(), shared};
    const auto awaitSnapshot = [](PasteInserter::SnapshotTask snapshot)
        -> QCoro::Task<std::optional<Pasteboard::Snapshot>> {
        co_return co_await snapshot;
    };
    for (auto _ : state) {
        state.PauseTiming();
        PasteInserter::readAhead(services);
        spin(1000);
        state.ResumeTiming();
        const auto snapshot = QCoro::waitFor(awaitSnapshot(PasteInserter::beginSnapshot(services)));
        if (!snapshot || snapshot->value(0).size() != 5) {
            state.SkipWithError("the snapshot missed its deadline");
            return;
        }
    }
    state.counters["deadline_ms"] = double(PasteInserter::snapshotDeadline.count());
}
BENCHMARK(BM_SnapshotOfSlowOwnerReadFromKeyDown)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
