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
// of a large owner.

namespace {

constexpr int answerTimeoutMs = 10000;

// The paste target fixture the tests build beside the benchmarks.
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
        const QString program =
            QDir(QCoreApplication::applicationDirPath())
                .filePath(QStringLiteral("../tests/fixtures/sonorvelle_paste_target"));
        m_process.start(program, {});
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

} // namespace
