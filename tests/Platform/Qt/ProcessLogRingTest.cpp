#include "Platform/Qt/ProcessLogRing.h"

#include "Base/ManualClock.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QStringList>

#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

Q_LOGGING_CATEGORY(lcRingTest, "ring.test")

// Stands in for whatever handled messages before the ring: records what reaches it, prints
// nothing.
std::mutex g_seenLock;
QStringList g_seen;
void recordingHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard lock(g_seenLock);
    g_seen << message;
}

class ProcessLogRingTest : public ::testing::Test
{
protected:
    ProcessLogRingTest()
    {
        {
            std::lock_guard lock(g_seenLock);
            g_seen.clear();
        }
        m_outer = qInstallMessageHandler(&recordingHandler);
    }
    ~ProcessLogRingTest() override { qInstallMessageHandler(m_outer); }

    static QStringList seen()
    {
        std::lock_guard lock(g_seenLock);
        return g_seen;
    }

    static QStringList messages(const QList<ProcessLogRing::Entry> &entries)
    {
        QStringList result;
        for (const auto &entry : entries) {
            result << entry.message;
        }
        return result;
    }

    ManualClock clock;

private:
    QtMessageHandler m_outer = nullptr;
};

TEST_F(ProcessLogRingTest, InstalledRingKeepsMessagesAndHandsThemOn)
{
    ProcessLogRing ring(100, &clock);
    ring.install();
    EXPECT_TRUE(ring.isInstalled());
    qCWarning(lcRingTest).noquote() << "disk almost full";
    clock.advance(2s);
    qInfo().noquote() << "plain message";
    ring.uninstall();
    EXPECT_FALSE(ring.isInstalled());
    qInfo().noquote() << "after uninstall";

    const auto entries = ring.entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].category, QStringLiteral("ring.test"));
    EXPECT_EQ(entries[0].message, QStringLiteral("disk almost full"));
    EXPECT_EQ(entries[0].time, QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC));
    EXPECT_EQ(entries[1].category, QStringLiteral("default"));
    EXPECT_EQ(entries[1].time, QDateTime(QDate(2026, 1, 1), QTime(9, 0, 2), Qt::UTC));
    // The previous handler saw everything, and got its place back.
    EXPECT_EQ(seen(),
              (QStringList {QStringLiteral("disk almost full"), QStringLiteral("plain message"),
                            QStringLiteral("after uninstall")}));
}

TEST_F(ProcessLogRingTest, SecondRingTakesOverAndStillChains)
{
    ProcessLogRing first(10, &clock);
    ProcessLogRing second(10, &clock);
    first.install();
    second.install();
    EXPECT_FALSE(first.isInstalled());
    EXPECT_TRUE(second.isInstalled());
    qInfo().noquote() << "one";
    second.uninstall();
    qInfo().noquote() << "two";

    EXPECT_TRUE(first.entries().isEmpty());
    EXPECT_EQ(messages(second.entries()), QStringList {QStringLiteral("one")});
    EXPECT_EQ(seen(), (QStringList {QStringLiteral("one"), QStringLiteral("two")}));
}

TEST_F(ProcessLogRingTest, KeepsOnlyTheNewestMessages)
{
    ProcessLogRing ring(3, &clock);
    for (int i = 1; i <= 5; ++i) {
        ring.record(QStringLiteral("c"), QString::number(i));
    }
    EXPECT_EQ(messages(ring.entries()),
              (QStringList {QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")}));
}

TEST_F(ProcessLogRingTest, EntriesSinceAWindowStartOldestFirstAndLimited)
{
    ProcessLogRing ring(100, &clock);
    ring.record(QStringLiteral("c"), QStringLiteral("before"));
    clock.advance(1s);
    const QDateTime since = clock.now();
    ring.record(QStringLiteral("c"), QStringLiteral("at the start"));
    clock.advance(1s);
    ring.record(QStringLiteral("c"), QStringLiteral("later"));
    ring.record(QStringLiteral("c"), QStringLiteral("latest"));

    EXPECT_EQ(messages(ring.entriesSince(since, 10)),
              (QStringList {QStringLiteral("at the start"), QStringLiteral("later"),
                            QStringLiteral("latest")}));
    EXPECT_EQ(messages(ring.entriesSince(since, 2)),
              (QStringList {QStringLiteral("at the start"), QStringLiteral("later")}));
    EXPECT_TRUE(ring.entriesSince(clock.now().addMSecs(1), 10).isEmpty());
}

TEST_F(ProcessLogRingTest, OverlongMessageIsClippedWithoutSplittingACharacter)
{
    ProcessLogRing ring(10, &clock);
    // A surrogate pair straddles the limit.
    const QString text = QString(ProcessLogRing::maxMessageLength - 1, QLatin1Char('x'))
        + QString::fromUtf8("😀") + QStringLiteral("tail");
    ring.record(QStringLiteral("c"), text);
    const QString kept = ring.entries().at(0).message;
    EXPECT_EQ(kept,
              QString(ProcessLogRing::maxMessageLength - 1, QLatin1Char('x')) + QChar(0x2026));
}

TEST_F(ProcessLogRingTest, MessagesFromManyThreads)
{
    ProcessLogRing ring(1000); // system clock: stamped from every thread
    ring.install();
    constexpr int threads = 8;
    constexpr int perThread = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                qCInfo(lcRingTest).noquote() << QStringLiteral("%1:%2").arg(t).arg(i);
            }
        });
    }
    for (auto &writer : writers) {
        writer.join();
    }
    ring.uninstall();

    EXPECT_EQ(seen().size(), threads * perThread);
    const auto kept = ring.entries();
    ASSERT_EQ(kept.size(), 1000);
    // Each writer's messages stay in its own order.
    QList<int> last(threads, -1);
    for (const auto &entry : kept) {
        const QStringList parts = entry.message.split(QLatin1Char(':'));
        ASSERT_EQ(parts.size(), 2);
        const int t = parts[0].toInt();
        const int i = parts[1].toInt();
        EXPECT_GT(i, last[t]);
        last[t] = i;
    }
}

} // namespace
