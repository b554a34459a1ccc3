#include "Core/DictationTrace.h"

#include "Base/ManualClock.h"
#include "Base/Timer.h"
#include "Base/UserDefaults.h"
#include "Core/DebugLogCapture.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QList>

#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A clock that reads out a scripted list of uptimes, to put marks against their clock order the
// way two racing threads can.
class ScriptedClock final : public Clock
{
public:
    explicit ScriptedClock(QList<qint64> readings)
        : m_readings(std::move(readings))
    { }
    QDateTime now() const override { return {}; }
    std::chrono::nanoseconds uptime() const override
    {
        return std::chrono::nanoseconds(m_readings.at(m_next++));
    }
    std::unique_ptr<Timer> makeTimer() override { return nullptr; }

private:
    QList<qint64> m_readings;
    mutable qsizetype m_next = 0;
};

class DictationTraceTest : public ::testing::Test
{
protected:
    void SetUp() override { UserDefaults::overrideStandard(&m_defaults); }
    void TearDown() override { UserDefaults::overrideStandard(nullptr); }

    void setTesterMode(bool on) { m_defaults.setValue(QStringLiteral("testerModeEnabled"), on); }

    // Advances the clock to `atMillis` after the trace's creation, then marks.
    void markAt(DictationTrace &trace, double atMillis, const QString &name,
                const std::optional<QString> &detail = std::nullopt)
    {
        const auto target = std::chrono::nanoseconds(qint64(atMillis * 1'000'000));
        m_clock.advance(target - (m_clock.uptime() - std::chrono::nanoseconds(trace.origin())));
        trace.mark(name, detail);
    }

    UserDefaults m_defaults;
    ManualClock m_clock;
    DebugLogCapture m_log;
};

TEST_F(DictationTraceTest, StartsWithKeydownAtOrigin)
{
    DictationTrace trace(4, m_clock);
    EXPECT_EQ(trace.id(), 4);
    EXPECT_EQ(trace.origin(), quint64(std::chrono::nanoseconds(1000s).count()));
    EXPECT_EQ(trace.marks(),
              (QList<DictationTrace::Mark> {{QStringLiteral("keydown"), trace.origin(), {}}}));
}

TEST_F(DictationTraceTest, SummaryOfAFullSession)
{
    DictationTrace trace(12, m_clock);
    markAt(trace, 120, QStringLiteral("audio.start"));
    markAt(trace, 2000, QStringLiteral("keyup"));
    markAt(trace, 2010, QStringLiteral("audio.stop"));
    markAt(trace, 2015, QStringLiteral("wav.finish"), QStringLiteral("1.98s"));
    markAt(trace, 2400, QStringLiteral("stream.drain"));
    markAt(trace, 2900, QStringLiteral("dictate.done"));
    markAt(trace, 2910, QStringLiteral("cleanup.begin"));
    markAt(trace, 3410, QStringLiteral("cleanup.done"));
    markAt(trace, 3420, QStringLiteral("insert.begin"));
    markAt(trace, 3470, QStringLiteral("insert.cmdV"));
    markAt(trace, 3720, QStringLiteral("insert.restore"));
    m_clock.advance(10ms);
    trace.flush(QStringLiteral("done"));

    EXPECT_EQ(trace.marks().last().name, QStringLiteral("done"));
    EXPECT_EQ(m_log.lines(),
              std::vector<std::string> {
                  ("trace #12 summary: mic=0.12s hold=2.00s finalize=0.39s dictate=0.89s "
                   "cleanup=0.50s insert=0.05s restore=0.25s VISIBLE(離す→⌘V)=1.47s "
                   "total(離す→完了)=1.73s")});
}

TEST_F(DictationTraceTest, SummaryItemsFollowTheMarks)
{
    struct Case
    {
        const char *what;
        QList<std::pair<double, const char *>> marks; // (ms after creation, name)
        QString expected;
    };
    const QList<Case> cases {
        {"cancelled before release: no hold, no VISIBLE, no total",
         {{150, "audio.start"}, {300, "insert.cmdV"}},
         QStringLiteral("trace #1 summary: mic=0.15s")},
        {"nothing to measure: the message ends in the blank",
         {},
         QStringLiteral("trace #1 summary: ")},
        {"first mark of a name for the items, latest keyup and cmdV for VISIBLE and total",
         {{1000, "keyup"},
          {1100, "insert.begin"},
          {1200, "insert.cmdV"},
          {1300, "keyup"},
          {1500, "insert.cmdV"},
          {1600, "insert.restore"}},
         QStringLiteral("trace #1 summary: hold=1.00s insert=0.10s restore=0.40s "
                        "VISIBLE(離す→⌘V)=0.20s total(離す→完了)=0.30s")},
        {"an end before its start leaves the item out",
         {{100, "cleanup.done"}, {200, "cleanup.begin"}, {300, "audio.start"}},
         QStringLiteral("trace #1 summary: mic=0.30s")},
        {"a detached local finalisation renames the item",
         {{500, "audio.stop"}, {510, "localFinalize.detached"}, {900, "stream.drain"}},
         QStringLiteral("trace #1 summary: finalize(並走)=0.40s")},
        {"keyup without a paste: total only",
         {{800, "keyup"}},
         QStringLiteral("trace #1 summary: hold=0.80s total(離す→完了)=0.00s")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DebugLogCapture log;
        DictationTrace trace(1, m_clock);
        for (const auto &[at, name] : c.marks) {
            markAt(trace, at, QString::fromUtf8(name));
        }
        trace.flush(QStringLiteral("end"));
        EXPECT_EQ(log.lines(), DebugLogCapture::toStd({c.expected}));
    }
}

TEST_F(DictationTraceTest, TesterModeLogsTheTimelineBeforeTheSummary)
{
    setTesterMode(true);
    const QString longName = QStringLiteral("engine.startSession.prewarmed1");
    ASSERT_EQ(longName.size(), 30);

    DictationTrace trace(7, m_clock);
    markAt(trace, 12.34, QStringLiteral("audio.start"));
    markAt(trace, 112.34, longName, QStringLiteral("x=1"));
    markAt(trace, 112.84, QStringLiteral("stage"), QString());
    m_clock.advance(2ms);
    trace.flush(QStringLiteral("done"));

    const QStringList timeline {
        QStringLiteral("trace #7 — 口述タイムライン (ms: 押下からの累計 / 直前からの差)"),
        QStringLiteral("        0.0       +0.0  keydown                 "),
        QStringLiteral("       12.3      +12.3  audio.start             "),
        QStringLiteral("      112.3     +100.0  engine.startSession.prewarmed1  x=1"),
        QStringLiteral("      112.8       +0.5  stage                     "),
        QStringLiteral("      114.8       +2.0  done                    "),
    };
    EXPECT_EQ(m_log.lines(),
              DebugLogCapture::toStd({timeline.join(QLatin1Char('\n')),
                                      QStringLiteral("trace #7 summary: mic=0.01s")}));
}

TEST_F(DictationTraceTest, TesterModeOffLogsOnlyTheSummary)
{
    setTesterMode(false);
    DictationTrace trace(2, m_clock);
    trace.flush(QStringLiteral("cancel"));
    EXPECT_EQ(m_log.lines(), std::vector<std::string> {"trace #2 summary: "});
}

TEST_F(DictationTraceTest, ClosesAtTheFirstFlush)
{
    setTesterMode(true);
    DictationTrace trace(3, m_clock);
    trace.flush(QStringLiteral("done"));
    const auto marks = trace.marks();
    const auto messages = m_log.messages();
    ASSERT_EQ(messages.size(), 2);

    m_clock.advance(5ms);
    trace.mark(QStringLiteral("insert.restore"));
    trace.mark(QStringLiteral("keyup"));
    trace.flush(QStringLiteral("again"));

    EXPECT_TRUE(trace.isFlushed());
    EXPECT_EQ(trace.marks(), marks);
    EXPECT_EQ(m_log.lines(), DebugLogCapture::toStd(messages));
}

TEST_F(DictationTraceTest, OutOfOrderMarksNeitherTrapNorWrap)
{
    // keydown at 10 s; "keyup" read at 12 s but appended after "insert.cmdV" read at 11.5 s; the
    // flush reason reads 11 s: negative steps and a negative VISIBLE and total.
    ScriptedClock clock({10'000'000'000, 12'000'000'000, 11'500'000'000, 11'000'000'000});
    setTesterMode(true);
    DictationTrace trace(9, clock);
    trace.mark(QStringLiteral("keyup"));
    trace.mark(QStringLiteral("insert.cmdV"));
    trace.flush(QStringLiteral("done"));

    const auto messages = m_log.messages();
    ASSERT_EQ(messages.size(), 2);
    const QStringList lines = messages[0].split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[3], QStringLiteral("     1500.0     -500.0  insert.cmdV             "));
    EXPECT_EQ(lines[4], QStringLiteral("     1000.0     -500.0  done                    "));
    EXPECT_EQ(messages[1],
              QStringLiteral("trace #9 summary: hold=2.00s VISIBLE(離す→⌘V)=-0.50s "
                             "total(離す→完了)=-1.00s"));
}

TEST_F(DictationTraceTest, MarksFromManyThreadsAreAllKept)
{
    DictationTrace trace(5);
    constexpr int threads = 8;
    constexpr int perThread = 500;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&trace, t] {
            for (int i = 0; i < perThread; ++i) {
                trace.mark(i % 2 ? QStringLiteral("keyup") : QStringLiteral("insert.cmdV"),
                           QString::number(t));
            }
        });
    }
    for (auto &worker : workers) {
        worker.join();
    }
    trace.flush(QStringLiteral("done"));
    EXPECT_EQ(trace.marks().size(), 1 + threads * perThread + 1);
    const QStringList messages = m_log.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("VISIBLE(離す→⌘V)=")))
        << messages[0].toStdString();
}

} // namespace
