#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

// What a store may find in place of its file besides a file it wrote: a folder, a link to a
// device that never ends, a file far larger than any the store writes (sparse: it costs no disk),
// a named pipe that would block whoever opens it. Each case makes the thing at a path, and checks
// that what was made is still there, as it was, at another path (where the store kept it aside)
// or the same one.
struct OddFile
{
    const char *name;
    std::function<void(const QString &path)> make;
    std::function<void(const QString &path)> isIntact;

    static constexpr qint64 sparseSize = qint64(1) << 30;

    static QList<OddFile> all()
    {
        return {
            {"a folder",
             [](const QString &path) {
                 ASSERT_TRUE(QDir().mkpath(path));
                 QFile inside(path + QStringLiteral("/inside"));
                 ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
                 inside.write("kept");
             },
             [](const QString &path) {
                 EXPECT_TRUE(QFileInfo(path).isDir()) << path.toStdString();
                 QFile inside(path + QStringLiteral("/inside"));
                 EXPECT_TRUE(inside.open(QIODevice::ReadOnly) && inside.readAll() == "kept");
             }},
            {"a link to /dev/zero",
             [](const QString &path) {
                 ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
             },
             [](const QString &path) {
                 EXPECT_EQ(QFileInfo(path).symLinkTarget(), QStringLiteral("/dev/zero"))
                     << path.toStdString();
             }},
            {"a sparse file of 1 GB",
             [](const QString &path) {
                 QFile file(path);
                 ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                 ASSERT_TRUE(file.resize(sparseSize));
             },
             [](const QString &path) {
                 EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
                 EXPECT_EQ(QFileInfo(path).size(), sparseSize) << path.toStdString();
             }},
            {"a named pipe",
             [](const QString &path) {
                 ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
             },
             [](const QString &path) {
                 struct stat found
                 {
                 };
                 EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &found), 0)
                     << path.toStdString();
                 EXPECT_TRUE(S_ISFIFO(found.st_mode)) << path.toStdString();
             }},
        };
    }
};
