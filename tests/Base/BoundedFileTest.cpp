#include "Base/BoundedFile.h"

#include "TestSupport/OddFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(BoundedFile, ReadsARegularFileUpToItsBoundAndNothingElse)
{
    using Status = BoundedFile::Status;
    QTemporaryDir dir;
    const QString exact = dir.filePath(QStringLiteral("exact"));
    writeFile(exact, "12345");
    const QString linked = dir.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(exact, linked));
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dangling));
    const QString empty = dir.filePath(QStringLiteral("empty"));
    writeFile(empty, "");

    struct Case
    {
        const char *name;
        QString path;
        qint64 limit;
        Status status;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"a file of the bound's size", exact, 5, Status::read, "12345"},
        {"a file one byte over", exact, 4, Status::unreadable, {}},
        {"a link to a file", linked, 5, Status::read, "12345"},
        {"an empty file", empty, 5, Status::read, {}},
        {"nothing there", dir.filePath(QStringLiteral("missing")), 5, Status::missing, {}},
        {"a link to nothing", dangling, 5, Status::unreadable, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const BoundedFile::Result result = BoundedFile::read(c.path, c.limit);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.bytes, c.bytes);
        EXPECT_EQ(result.status == Status::unreadable, !result.error.isEmpty());
    }

    for (const OddFile &odd : OddFile::all()) {
        SCOPED_TRACE(odd.name);
        QTemporaryDir oddDir;
        const QString path = oddDir.filePath(QStringLiteral("file"));
        odd.make(path);
        const BoundedFile::Result result = BoundedFile::read(path, 1 << 20);
        EXPECT_EQ(result.status, Status::unreadable);
        EXPECT_TRUE(result.bytes.isEmpty());
        odd.isIntact(path);
    }
}

TEST(BoundedFile, ATailReadTakesTheNewestBytesOfALargerFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("queue"));
    writeFile(path, "one\ntwo\nthree\n");
    const BoundedFile::Result tail = BoundedFile::readTail(path, 6);
    EXPECT_TRUE(tail.isRead());
    EXPECT_EQ(tail.bytes, "three\n");
    EXPECT_EQ(tail.fileSize, 14);
    EXPECT_EQ(BoundedFile::readTail(path, 100).bytes, "one\ntwo\nthree\n");
}

// Files under /proc tell no size; they are read up to the bound all the same.
TEST(BoundedFile, AFileThatTellsNoSizeIsReadUpToTheBound)
{
    const BoundedFile::Result environment =
        BoundedFile::read(QStringLiteral("/proc/self/environ"), 4 << 20);
    ASSERT_TRUE(environment.isRead()) << environment.error.toStdString();
    EXPECT_TRUE(environment.bytes.contains("PATH="));
    EXPECT_EQ(BoundedFile::read(QStringLiteral("/proc/self/environ"), 4).status,
              BoundedFile::Status::unreadable);
}
