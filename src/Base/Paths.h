#pragma once

#include <QDateTime>
#include <QString>

// Where the application keeps its files. Every folder is computed from the environment at each
// call (tests point XDG_DATA_HOME and XDG_CONFIG_HOME elsewhere), and the folder-returning calls
// create the folder when it is missing, ignoring failure.
class Paths
{
public:
    // $XDG_DATA_HOME, or ~/.local/share: the user's application-support folder.
    static QString applicationSupport();
    // A sub-folder of applicationSupport(), created when missing.
    static QString supportFolder(const QString &name);
    // The folder named after the bundle identifier (debug log and other per-bundle files).
    static QString bundleSupportFolder();
    // $XDG_CONFIG_HOME/<bundle identifier>, created when missing (user defaults).
    static QString configFolder();
    // $XDG_RUNTIME_DIR, or the temporary folder when the session has none.
    static QString runtimeFolder();
    // share/sonorvelle next to the executable: <prefix>/bin/sonorvelle ->
    // <prefix>/share/sonorvelle; in the build tree the folder the build copies resources to. Not
    // created.
    static QString resourceFolder();

    // Moves an unreadable file out of the way, to "<path>.unreadable-<UTC time>" ("-2" to "-100"
    // appended when that name is taken), never replacing anything. True when nothing is at `path`
    // any more; `movedTo` then names where the file went (empty when nothing was there).
    static bool setAsideUnreadable(const QString &path, const QDateTime &now,
                                   QString *movedTo = nullptr);
};
