#pragma once

#include "Platform/Xdg/DesktopEntry.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

// The installed applications' desktop entries, found in the XDG application folders. An entry in
// an earlier folder hides one of the same id in a later folder (the user's own folder comes first).
// Read at first use and again whenever one of the folders changed. Safe to use from any thread.
class DesktopEntries
{
public:
    // $XDG_DATA_HOME/applications (default ~/.local/share/applications), then "applications" in
    // each folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share), each folder once.
    static QStringList applicationFolders();

    static DesktopEntries &shared();

    // The entry with this id, with or without ".desktop".
    std::optional<DesktopEntry> find(const QString &id);
    // The entry in this file, which may lie outside the application folders; its id is its path
    // below an application folder, else its file name.
    std::optional<DesktopEntry> fromFile(const QString &filePath);
    // The application whose windows carry this class (WM_CLASS): first an entry whose
    // StartupWMClass equals it, then one whose id equals it ignoring case, then one whose
    // StartupWMClass equals it ignoring case, then one whose id ends in "." and the class ignoring
    // case ("org.gnome.gedit" for "Gedit"). Entries that menus list win over NoDisplay ones.
    std::optional<DesktopEntry> findByWindowClass(const QString &windowClass);

private:
    using Signature = QList<QPair<QString, QDateTime>>;

    static Signature currentSignature(const QStringList &folders);
    void refreshLocked();

    std::mutex m_mutex;
    bool m_loaded = false;
    Signature m_signature;
    QList<DesktopEntry> m_entries; // lookup order: folder order, then id
};
