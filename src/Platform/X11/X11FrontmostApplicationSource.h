#pragma once

#include "Platform/FrontmostApplicationSource.h"

#include <QHash>
#include <QString>

#include <optional>

class DesktopEntries;

// The frontmost application on an X11 desktop: the window named by the root window's
// _NET_ACTIVE_WINDOW, described by its properties (_NET_WM_NAME or WM_NAME, WM_CLASS, _NET_WM_PID,
// _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE) and by the desktop entry of its application.
class X11FrontmostApplicationSource final : public FrontmostApplicationSource
{
public:
    // What the active window says about itself.
    struct WindowProperties
    {
        std::optional<QString> title;
        QString instanceName; // WM_CLASS, first part
        QString className; // WM_CLASS, second part
        std::optional<qint64> pid;
        QString gtkApplicationID;
        QString kdeDesktopFile;
    };

    std::optional<FrontmostApplication> frontmostApplication() override;

    // The application behind a window. Its desktop entry is, in this order: the one it was
    // launched from (GIO_LAUNCHED_DESKTOP_FILE in the environment of the window's process, when
    // GIO_LAUNCHED_DESKTOP_FILE_PID names that process), the one named by the window
    // (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE), the one matching its class and then its
    // instance name, or the one of BAMF_DESKTOP_FILE_HINT. With an entry, the name is the entry's
    // name in `locale` and the identifier its id; without, both are the window's class (or
    // instance name). `environment` is the process's environment.
    static FrontmostApplication describe(const WindowProperties &window,
                                         const QHash<QString, QString> &environment,
                                         DesktopEntries &entries, const QString &locale);

    // The environment a process was started with; empty when it cannot be read.
    static QHash<QString, QString> processEnvironment(qint64 pid);
    // The user's language for messages: LC_ALL, else LC_MESSAGES, else LANG.
    static QString messagesLocale();
};
