#include "Platform/Xdg/DesktopEntries.h"

#include "Base/BoundedFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <functional>

namespace {

const QString desktopSuffix = QStringLiteral(".desktop");

QString withoutSuffix(const QString &id)
{
    return id.endsWith(desktopSuffix) ? id.chopped(desktopSuffix.size()) : id;
}

// The desktop file id of a file below an application folder: its relative path with "/" as "-".
QString idBelow(const QString &folder, const QString &filePath)
{
    return withoutSuffix(
        QDir(folder).relativeFilePath(filePath).replace(QLatin1Char('/'), QLatin1Char('-')));
}

std::optional<DesktopEntry> readEntry(const QString &filePath, const QString &id)
{
    // An entry is a few kilobytes; a link to a device in a folder of entries must not hang the
    // lookup or exhaust memory.
    const BoundedFile::Result file = BoundedFile::read(filePath, 1024 * 1024);
    if (!file.isRead()) {
        return std::nullopt;
    }
    return DesktopEntry::parse(file.bytes, id, filePath);
}

std::optional<DesktopEntry> firstListed(const QList<DesktopEntry> &entries,
                                        const std::function<bool(const DesktopEntry &)> &matches)
{
    const DesktopEntry *unlisted = nullptr;
    for (const DesktopEntry &entry : entries) {
        if (!matches(entry)) {
            continue;
        }
        if (!entry.noDisplay) {
            return entry;
        }
        if (!unlisted) {
            unlisted = &entry;
        }
    }
    return unlisted ? std::optional<DesktopEntry>(*unlisted) : std::nullopt;
}

} // namespace

QStringList DesktopEntries::applicationFolders()
{
    QStringList bases;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    bases << (QDir::isAbsolutePath(dataHome) ? dataHome
                                             : QDir::homePath() + QStringLiteral("/.local/share"));
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) {
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    }
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir)) {
            bases << dir;
        }
    }
    QStringList folders;
    for (const QString &base : std::as_const(bases)) {
        const QString folder = QDir::cleanPath(base + QStringLiteral("/applications"));
        if (!folders.contains(folder)) {
            folders << folder;
        }
    }
    return folders;
}

DesktopEntries &DesktopEntries::shared()
{
    static DesktopEntries entries;
    return entries;
}

std::optional<DesktopEntry> DesktopEntries::find(const QString &id)
{
    const QString wanted = withoutSuffix(id);
    if (wanted.isEmpty()) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    refreshLocked();
    for (const DesktopEntry &entry : std::as_const(m_entries)) {
        if (entry.id == wanted) {
            return entry;
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::fromFile(const QString &filePath)
{
    if (!filePath.endsWith(desktopSuffix) || !QDir::isAbsolutePath(filePath)) {
        return std::nullopt;
    }
    const QString cleanPath = QDir::cleanPath(filePath);
    for (const QString &folder : applicationFolders()) {
        if (cleanPath.startsWith(folder + QLatin1Char('/'))) {
            return readEntry(cleanPath, idBelow(folder, cleanPath));
        }
    }
    return readEntry(cleanPath, withoutSuffix(QFileInfo(cleanPath).fileName()));
}

std::optional<DesktopEntry> DesktopEntries::findByWindowClass(const QString &windowClass)
{
    if (windowClass.isEmpty()) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    refreshLocked();
    const QString dottedClass = QLatin1Char('.') + windowClass;
    const std::function<bool(const DesktopEntry &)> rules[] = {
        [&](const DesktopEntry &e) { return e.startupWMClass == windowClass; },
        [&](const DesktopEntry &e) { return e.id.compare(windowClass, Qt::CaseInsensitive) == 0; },
        [&](const DesktopEntry &e) {
            return e.startupWMClass.compare(windowClass, Qt::CaseInsensitive) == 0;
        },
        [&](const DesktopEntry &e) { return e.id.endsWith(dottedClass, Qt::CaseInsensitive); },
    };
    for (const auto &rule : rules) {
        if (std::optional<DesktopEntry> entry = firstListed(m_entries, rule)) {
            return entry;
        }
    }
    return std::nullopt;
}

DesktopEntries::Signature DesktopEntries::currentSignature(const QStringList &folders)
{
    // Adding, removing or renaming an entry changes the modification time of its folder.
    Signature signature;
    for (const QString &folder : folders) {
        const QFileInfo info(folder);
        signature.append({folder, info.isDir() ? info.lastModified() : QDateTime()});
        if (!info.isDir()) {
            continue;
        }
        QDirIterator below(folder, QDir::Dirs | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (below.hasNext()) {
            below.next();
            signature.append({below.filePath(), below.fileInfo().lastModified()});
        }
    }
    return signature;
}

void DesktopEntries::refreshLocked()
{
    const QStringList folders = applicationFolders();
    Signature signature = currentSignature(folders);
    if (m_loaded && signature == m_signature) {
        return;
    }
    QList<DesktopEntry> entries;
    QSet<QString> seenIds;
    for (const QString &folder : folders) {
        QList<QPair<QString, QString>> files; // id, path
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            files.append({idBelow(folder, path), path});
        }
        std::sort(files.begin(), files.end());
        for (const auto &[id, path] : std::as_const(files)) {
            // Any file of an id hides the later folders' ones, also a hidden or broken one.
            if (seenIds.contains(id)) {
                continue;
            }
            seenIds.insert(id);
            if (std::optional<DesktopEntry> entry = readEntry(path, id)) {
                entries.append(std::move(*entry));
            }
        }
    }
    m_entries = std::move(entries);
    m_signature = std::move(signature);
    m_loaded = true;
}
