#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// One application's desktop entry (a ".desktop" file as freedesktop.org defines desktop
// entries): what the desktop knows the application by.
struct DesktopEntry
{
    // The desktop file id without ".desktop": its path below the applications folder with "/"
    // turned into "-" ("org.gnome.TextEditor", "kde-kate").
    QString id;
    QString filePath;
    // "Name", and "Name[<locale>]" by locale ("de", "pt_BR", "sr@latin").
    QString name;
    QMap<QString, QString> localizedNames;
    // "StartupWMClass": the class of the windows it maps; empty when not given.
    QString startupWMClass;
    // "NoDisplay=true": a real application that menus do not list.
    bool noDisplay = false;

    // The "[Desktop Entry]" group of `contents`. Nothing when it is missing, is not of type
    // "Application", has no name, or is "Hidden" (deleted by the user).
    static std::optional<DesktopEntry> parse(const QByteArray &contents, const QString &id,
                                             const QString &filePath);

    // The name in the language of a POSIX locale ("de_AT.UTF-8@euro"), in freedesktop.org's
    // order: lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang, then the plain name.
    QString localizedName(const QString &locale) const;
};
