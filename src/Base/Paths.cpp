#include "Base/Paths.h"

#include "Base/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString fromEnvironment(const char *name, const QString &fallbackBelowHome)
{
    const QString value = qEnvironmentVariable(name);
    // The XDG rules ignore relative values.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return QDir::cleanPath(value);
    }
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallbackBelowHome);
}

QString created(const QString &path)
{
    QDir().mkpath(path);
    return path;
}

} // namespace

QString Paths::applicationSupport()
{
    return fromEnvironment("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString Paths::supportFolder(const QString &name)
{
    return created(applicationSupport() + QLatin1Char('/') + name);
}

QString Paths::bundleSupportFolder()
{
    const QString identifier = AppInfo::bundleIdentifier();
    return supportFolder(identifier.isEmpty() ? QStringLiteral("Sonorvelle") : identifier);
}

QString Paths::configFolder()
{
    return created(fromEnvironment("XDG_CONFIG_HOME", QStringLiteral(".config")) + QLatin1Char('/')
                   + AppInfo::bundleIdentifier());
}

QString Paths::runtimeFolder()
{
    const QString value = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return value.isEmpty() ? QDir::tempPath() : value;
}

QString Paths::resourceFolder()
{
    const QString binDir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    const QString installed = QDir::cleanPath(binDir + QStringLiteral("/../share/sonorvelle"));
    if (QFileInfo(installed).isDir()) {
        return installed;
    }
    // Build tree: executables live in build/ or build/tests/, resources are staged in build/share.
    for (const QString &candidate : {binDir + QStringLiteral("/share/sonorvelle"),
                                     binDir + QStringLiteral("/../share/sonorvelle")}) {
        if (QFileInfo(candidate).isDir()) {
            return QDir::cleanPath(candidate);
        }
    }
    return installed;
}

bool Paths::setAsideUnreadable(const QString &path, const QDateTime &now, QString *movedTo)
{
    // A link counts as something there, dangling or not: it is what the next write would follow.
    const auto taken = [](const QString &name) {
        return QFileInfo::exists(name) || QFileInfo(name).isSymLink();
    };
    if (!taken(path)) {
        return true; // already gone
    }
    const QString stem = path + QStringLiteral(".unreadable-")
        + now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString target =
            attempt == 1 ? stem : stem + QLatin1Char('-') + QString::number(attempt);
        if (taken(target)) {
            continue;
        }
        // rename() never replaces what is at the target.
        if (QFile::rename(path, target)) {
            if (movedTo) {
                *movedTo = target;
            }
            return true;
        }
    }
    return false;
}
