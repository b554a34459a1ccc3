#include "Platform/Xdg/XdgAutostartLoginItem.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString execLine(const QString &entry)
{
    for (const QString &line : entry.split(u'\n')) {
        if (line.startsWith(QStringLiteral("Exec="))) {
            return line.mid(5);
        }
    }
    return {};
}

} // namespace

TEST(XdgAutostartLoginItem, RegisterWritesTheEntryAndUnregisterRemovesIt)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("config/autostart"));
    XdgAutostartLoginItem item(folder, QStringLiteral("/opt/sonorvelle/bin/sonorvelle"));
    EXPECT_EQ(item.entryPath(), folder + QStringLiteral("/org.sonorvelle.Sonorvelle.desktop"));

    QString error;
    ASSERT_TRUE(item.registerItem(error)) << error.toStdString();
    ASSERT_TRUE(item.registerItem(error)) << "registering twice";
    const QString entry = readAll(item.entryPath());
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_EQ(execLine(entry), QStringLiteral("/opt/sonorvelle/bin/sonorvelle"));

    ASSERT_TRUE(item.unregisterItem(error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(item.entryPath()));
    EXPECT_TRUE(item.unregisterItem(error)) << "unregistering what is not there";
}

TEST(XdgAutostartLoginItem, ExecQuotesPathsWithReservedCharacters)
{
    struct Case
    {
        QString path;
        QString exec;
    };
    const QList<Case> cases = {
        {QStringLiteral("/home/a b/sonorvelle"), QStringLiteral("\"/home/a b/sonorvelle\"")},
        {QStringLiteral("/home/$x/s\"q"), QStringLiteral("\"/home/\\\\$x/s\\\\\"q\"")},
        {QStringLiteral("/home/a\\b c"), QStringLiteral("\"/home/a\\\\\\\\b c\"")},
        {QStringLiteral("/home/100%/s"), QStringLiteral("/home/100%%/s")},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        XdgAutostartLoginItem item(dir.path(), c.path);
        QString error;
        ASSERT_TRUE(item.registerItem(error));
        EXPECT_EQ(execLine(readAll(item.entryPath())), c.exec);
    }
}

TEST(XdgAutostartLoginItem, FailuresCarryAReason)
{
    QTemporaryDir dir;
    // A file where the folder should be.
    const QString blocked = dir.filePath(QStringLiteral("autostart"));
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QString error;
    EXPECT_FALSE(
        XdgAutostartLoginItem(blocked, QStringLiteral("/usr/bin/sonorvelle")).registerItem(error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(XdgAutostartLoginItem(dir.path(), QString()).registerItem(error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(XdgAutostartLoginItem(dir.path(), QStringLiteral("/a\nb")).registerItem(error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(XdgAutostartLoginItem, DefaultFolderFollowsXdgConfigHome)
{
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const XdgAutostartLoginItem item;
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(item.entryPath(),
              dir.path() + QStringLiteral("/autostart/org.sonorvelle.Sonorvelle.desktop"));
}
