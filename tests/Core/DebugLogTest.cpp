#include "Core/DebugLog.h"

#include "Base/AppInfo.h"
#include "Base/Json.h"
#include "TestSupport/OddFiles.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>
#include <thread>
#include <vector>

namespace {

// Each test gets an empty data folder of its own; the log finds it anew at every use.
class DebugLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DebugLog::flush(); // lines of an earlier test land in that test's folder
        ASSERT_TRUE(m_data.isValid());
        m_previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
    }

    void TearDown() override
    {
        DebugLog::flush();
        DebugLog::setRotationThresholdForTesting(0);
        qputenv("XDG_DATA_HOME", m_previousDataHome);
    }

    QString folder() const
    {
        return m_data.path() + QLatin1Char('/') + AppInfo::bundleIdentifier();
    }
    QString current() const { return folder() + QStringLiteral("/tester.log"); }
    QString previous() const { return folder() + QStringLiteral("/tester.log.1"); }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void write(const QString &path, const QByteArray &bytes) const
    {
        QDir().mkpath(folder());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // The messages of the file's lines, after checking that each line is "<stamp> <message>".
    static QStringList messages(const QByteArray &bytes)
    {
        QStringList result;
        QString text = QString::fromUtf8(bytes);
        EXPECT_TRUE(text.isEmpty() || text.endsWith(QLatin1Char('\n')));
        text.chop(1);
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            const auto stamp = Json::parseIso8601WithFractionalSeconds(line.left(24));
            EXPECT_TRUE(stamp.has_value() && line.size() > 24 && line.at(24) == QLatin1Char(' '))
                << qPrintable(line);
            result << line.mid(25);
        }
        return result;
    }

    QTemporaryDir m_data;
    QByteArray m_previousDataHome;
};

TEST_F(DebugLogTest, FirstUseCreatesTheFolderAndAFileHoldingExactlyTheLine)
{
    ASSERT_FALSE(QFileInfo::exists(folder()));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    DebugLog::log(QStringLiteral("dictation: start"));
    DebugLog::flush();
    const QDateTime after = QDateTime::currentDateTimeUtc();

    ASSERT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_EQ(DebugLog::folder(), folder());
    const QByteArray bytes = read(current());
    ASSERT_EQ(bytes.size(), 24 + 1 + 16 + 1) << bytes.constData();
    const auto stamp = Json::parseIso8601WithFractionalSeconds(QString::fromLatin1(bytes.left(24)));
    ASSERT_TRUE(stamp.has_value()) << bytes.constData();
    EXPECT_TRUE(bytes.left(24).endsWith('Z'));
    EXPECT_GE(*stamp, before);
    EXPECT_LE(*stamp, after);
    EXPECT_EQ(bytes.mid(24), QByteArray(" dictation: start\n"));
    EXPECT_FALSE(QFileInfo::exists(previous()));
}

TEST_F(DebugLogTest, MessagesAreWrittenAsGiven)
{
    DebugLog::log(QStringLiteral("paste: 貼り付け ✓"));
    DebugLog::log(QString());
    DebugLog::log(QStringLiteral("trace #3\n  12.0  +12.0  keydown"));
    DebugLog::flush();
    const QByteArray bytes = read(current());
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 5); // four physical lines and the empty rest after the last feed
    EXPECT_TRUE(lines[0].endsWith(QByteArray(" paste: 貼り付け ✓")));
    EXPECT_EQ(lines[1].size(), 25); // stamp and blank, nothing else
    EXPECT_TRUE(lines[2].endsWith(QByteArray(" trace #3")));
    EXPECT_EQ(lines[3], QByteArray("  12.0  +12.0  keydown")); // continuation carries no stamp
    EXPECT_TRUE(lines[4].isEmpty());
}

TEST_F(DebugLogTest, RotatesOnlyAFileLargerThanTheThreshold)
{
    // A file of exactly the threshold is kept and appended to.
    QByteArray full(DebugLog::rotationThreshold - 1, 'x');
    full.append('\n');
    write(current(), full);
    DebugLog::log(QStringLiteral("at the boundary"));
    DebugLog::flush();
    QByteArray grown = read(current());
    EXPECT_TRUE(grown.startsWith(full));
    EXPECT_EQ(messages(grown.mid(full.size())), QStringList {QStringLiteral("at the boundary")});
    EXPECT_FALSE(QFileInfo::exists(previous()));

    // Now larger: the next line goes to a fresh file, the old one becomes the previous generation.
    write(previous(), "older generation\n");
    DebugLog::log(QStringLiteral("after rotation"));
    DebugLog::flush();
    EXPECT_EQ(read(previous()), grown);
    EXPECT_EQ(messages(read(current())), QStringList {QStringLiteral("after rotation")});
}

TEST_F(DebugLogTest, KeepsOnlyTwoGenerations)
{
    DebugLog::setRotationThresholdForTesting(1);
    for (const char *message : {"one", "two", "three"}) {
        DebugLog::log(QString::fromLatin1(message));
    }
    DebugLog::flush();
    EXPECT_EQ(messages(read(previous())), QStringList {QStringLiteral("two")});
    EXPECT_EQ(messages(read(current())), QStringList {QStringLiteral("three")});
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("tester.log"), QStringLiteral("tester.log.1")}));
}

TEST_F(DebugLogTest, AFailedRotationLosesNoLine)
{
    // A previous generation that cannot be removed (a non-empty folder) blocks the rotation.
    ASSERT_TRUE(QDir().mkpath(previous() + QStringLiteral("/blocker")));
    DebugLog::setRotationThresholdForTesting(1);
    DebugLog::log(QStringLiteral("first"));
    DebugLog::log(QStringLiteral("second"));
    DebugLog::flush();
    EXPECT_EQ(messages(read(current())), QStringList({"first", "second"}));
}

TEST_F(DebugLogTest, TailOfMissingAndSingleFiles)
{
    EXPECT_EQ(DebugLog::tail(), QString());

    write(previous(), "old only\n");
    EXPECT_EQ(DebugLog::tail(), QStringLiteral("old only\n"));

    QFile::remove(previous());
    write(current(), "new only\n");
    EXPECT_EQ(DebugLog::tail(), QStringLiteral("new only\n"));
}

TEST_F(DebugLogTest, TailJoinsTheOlderFileFirst)
{
    write(previous(), "older 1\nolder 2\n");
    write(current(), "newer 1\n");
    EXPECT_EQ(DebugLog::tail(), QStringLiteral("older 1\nolder 2\nnewer 1\n"));
}

TEST_F(DebugLogTest, TailReturnsExactlyTheLastCharactersEvenMidLine)
{
    // 99 characters and a line feed per line: 262,144 is not a line boundary.
    QByteArray older;
    QByteArray newer;
    for (int i = 0; i < 2000; ++i) {
        older += QByteArray::number(i).leftJustified(99, 'o') + '\n';
        newer += QByteArray::number(i).leftJustified(99, 'n') + '\n';
    }
    write(previous(), older);
    write(current(), newer);
    const QString joined = QString::fromLatin1(older + newer);
    ASSERT_GT(joined.size(), DebugLog::tailLength);
    const QString tail = DebugLog::tail();
    EXPECT_EQ(tail.size(), DebugLog::tailLength);
    EXPECT_EQ(tail, joined.right(DebugLog::tailLength));
    EXPECT_NE(tail.at(0), QLatin1Char('\n'));
    EXPECT_NE(joined.at(joined.size() - DebugLog::tailLength - 1), QLatin1Char('\n'));
}

TEST_F(DebugLogTest, TailCountsUserPerceivedCharactersAndNeverSplitsOne)
{
    // One to eight UTF-8 bytes, one or two UTF-16 units, one or more scalars per character.
    const QStringList unit = {QStringLiteral("a"),
                              QStringLiteral("é"),
                              QStringLiteral("日"),
                              QStringLiteral("👍"),
                              QStringLiteral("e\u0301"),
                              QStringLiteral("🇯🇵"),
                              QStringLiteral("👨‍👩‍👧")};
    const qsizetype total = DebugLog::tailLength + 3; // the tail starts inside a unit
    QString text;
    for (qsizetype i = 0; i < total; ++i) {
        text += unit[i % unit.size()];
    }
    const qsizetype half = text.size() / 2;
    // Split the files between two characters.
    qsizetype split = 0;
    {
        QString prefix;
        for (qsizetype i = 0; prefix.size() < half; ++i) {
            prefix += unit[i % unit.size()];
        }
        split = prefix.size();
    }
    write(previous(), text.left(split).toUtf8());
    write(current(), text.mid(split).toUtf8());

    QString expected;
    for (qsizetype i = total - DebugLog::tailLength; i < total; ++i) {
        expected += unit[i % unit.size()];
    }
    const QString tail = DebugLog::tail();
    EXPECT_EQ(tail.size(), expected.size());
    EXPECT_TRUE(tail == expected);
    EXPECT_TRUE(tail.startsWith(unit[3 % unit.size()]));
}

TEST_F(DebugLogTest, TailIncludesALineLoggedJustBefore)
{
    for (int i = 0; i < 200; ++i) {
        DebugLog::log(QStringLiteral("audio: buffer %1").arg(i));
    }
    DebugLog::log(QStringLiteral("tester: upload"));
    const QString tail = DebugLog::tail(); // no flush of our own
    EXPECT_TRUE(tail.endsWith(QStringLiteral(" tester: upload\n"))) << qPrintable(tail.right(80));
    EXPECT_EQ(tail.count(QLatin1Char('\n')), 201);
}

TEST_F(DebugLogTest, AFileThatIsNotUtf8ContributesNothing)
{
    const struct
    {
        QByteArray older;
        QByteArray newer;
        QString expected;
    } cases[] = {
        {QByteArray("old \xff line\n"), QByteArray("new line\n"), QStringLiteral("new line\n")},
        {QByteArray("old line\n"), QByteArray("new \xc3\x28 line\n"), QStringLiteral("old line\n")},
        // Cut in the middle of a three-byte character, as a crash during a write leaves it.
        {QByteArray("old line\n"), QByteArray("new \xe6\x97"), QStringLiteral("old line\n")},
        {QByteArray("\xed\xa0\x80"), QByteArray("\xc0\xaf"), QString()}, // surrogate, overlong
    };
    for (const auto &c : cases) {
        write(previous(), c.older);
        write(current(), c.newer);
        EXPECT_EQ(DebugLog::tail(), c.expected) << c.older.toHex().constData();
    }
}

TEST_F(DebugLogTest, AMessageWithALoneSurrogateKeepsTheFileReadable)
{
    DebugLog::log(QStringLiteral("before"));
    DebugLog::log(QString(QChar(0xD83D)) + QStringLiteral(" half an emoji"));
    DebugLog::log(QStringLiteral("after"));
    const QString tail = DebugLog::tail();
    EXPECT_TRUE(tail.contains(QStringLiteral(" before\n")));
    EXPECT_TRUE(tail.contains(QStringLiteral(" half an emoji\n")));
    EXPECT_TRUE(tail.endsWith(QStringLiteral(" after\n")));
}

TEST_F(DebugLogTest, FindsTheFolderAgainAtEveryUse)
{
    DebugLog::log(QStringLiteral("here"));
    DebugLog::flush();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    qputenv("XDG_DATA_HOME", elsewhere.path().toUtf8());
    DebugLog::log(QStringLiteral("there"));
    DebugLog::flush();
    const QString otherFile =
        elsewhere.path() + QLatin1Char('/') + AppInfo::bundleIdentifier() + "/tester.log";
    EXPECT_EQ(messages(read(otherFile)), QStringList {QStringLiteral("there")});
    qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
    EXPECT_EQ(messages(read(current())), QStringList {QStringLiteral("here")});
}

TEST_F(DebugLogTest, ConcurrentCallersKeepEveryLineWholeAndInTheirOrder)
{
    constexpr int threads = 8;
    constexpr int linesPerThread = 400;
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t) {
        callers.emplace_back([t] {
            for (int i = 0; i < linesPerThread; ++i) {
                DebugLog::log(QStringLiteral("thread %1 line %2 %3")
                                  .arg(t)
                                  .arg(i)
                                  .arg(QString(40, QLatin1Char('a' + t))));
            }
        });
    }
    for (auto &caller : callers) {
        caller.join();
    }
    DebugLog::flush();

    const QStringList lines = messages(read(current()));
    ASSERT_EQ(lines.size(), threads * linesPerThread);
    std::map<int, int> next; // per thread, the line number expected next
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 5) << qPrintable(line);
        const int t = parts[1].toInt();
        EXPECT_EQ(parts[3].toInt(), next[t]++) << qPrintable(line);
        EXPECT_EQ(parts[4], QString(40, QLatin1Char('a' + t))) << qPrintable(line);
    }
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(next[t], linesPerThread);
    }
}

// A device that never ends in the log's place is read no further than a bound, and a pipe would
// hold the log's queue for ever: what is not a file is kept aside as found and a new log starts.
TEST_F(DebugLogTest, AnythingButAFileInTheLogsPlaceIsKeptAsideAndTheLogGoesOn)
{
    for (const OddFile &odd : OddFile::all()) {
        SCOPED_TRACE(odd.name);
        QDir(folder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder()));
        odd.make(current());
        EXPECT_LE(DebugLog::tail().size(), DebugLog::tailLength);

        DebugLog::log(QStringLiteral("after"));
        EXPECT_TRUE(DebugLog::tail().endsWith(QStringLiteral(" after\n")));
        EXPECT_EQ(messages(read(current())), QStringList {QStringLiteral("after")});
        const QStringList kept = QDir(folder()).entryList(
            {QStringLiteral("tester.log.unreadable-*")}, QDir::AllEntries | QDir::System);
        if (kept.isEmpty()) {
            // A file is the log's own: far past the rotation size, it became the older one.
            EXPECT_EQ(odd.name, std::string("a sparse file of 1 GB"));
            odd.isIntact(previous());
        } else {
            odd.isIntact(folder() + QLatin1Char('/') + kept.value(0));
        }
    }
}

} // namespace
