#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The user's preferred languages as the desktop session gives them, most preferred first, as
// BCP 47 identifiers ("en-US", "zh-TW", "de").
//
// Sources, in order: the application's own language list "AppleLanguages" in the standard user
// defaults (set when the user picks an interface language in the app), the gettext variables
// LANGUAGE (colon-separated), LC_ALL, LC_MESSAGES and LANG, and then the languages Qt reports for
// the system locale. Duplicates are dropped, keeping the first; "C" and "POSIX" name no language.
namespace PreferredLanguages {

QStringList list();

// The same composition over explicit sources.
QStringList fromSources(const QStringList &appLanguages, const QProcessEnvironment &environment,
                        const QStringList &systemLanguages);

// A POSIX locale name or BCP 47 identifier in BCP 47 form: "en_US.UTF-8" and "en_US@euro" give
// "en-US"; "C", "POSIX" and "" give an empty text.
QString normalize(const QString &identifier);

} // namespace PreferredLanguages
