#pragma once

#include <QString>

#include <optional>

// The application that owns the active window, as the window manager and the desktop's application
// entries describe it. Every field may be absent.
struct FrontmostApplication
{
    // Its display name in the user's language (the "Name" of its desktop entry, else the window's
    // class).
    std::optional<QString> localizedName;
    // What stands for a bundle identifier: its desktop entry id without ".desktop"
    // ("org.gnome.TextEditor", "firefox_firefox"), else the window's class.
    std::optional<QString> bundleIdentifier;
    std::optional<qint64> processIdentifier;
    // The active window's own title, as the window manager shows it.
    std::optional<QString> windowTitle;
};
