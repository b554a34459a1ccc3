#include "Base/Paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

TEST(Paths, FoldersFollowTheEnvironmentAndAreCreated)
{
    QTemporaryDir dir;
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());

    EXPECT_EQ(Paths::applicationSupport(), dir.filePath(QStringLiteral("data")));
    const QString bundle = Paths::bundleSupportFolder();
    EXPECT_EQ(bundle, dir.filePath(QStringLiteral("data/org.sonorvelle.Sonorvelle")));
    EXPECT_TRUE(QFileInfo(bundle).isDir());
    EXPECT_TRUE(QFileInfo(Paths::supportFolder(QStringLiteral("Sonorvelle"))).isDir());
    EXPECT_EQ(Paths::configFolder(),
              dir.filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle")));

    // A relative value is not a valid XDG folder and falls back to the home folder.
    qputenv("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(Paths::applicationSupport(), QDir::homePath() + QStringLiteral("/.local/share"));

    qputenv("XDG_DATA_HOME", savedData);
    qputenv("XDG_CONFIG_HOME", savedConfig);
}
