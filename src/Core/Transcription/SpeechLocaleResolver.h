#pragma once

#include "Core/Transcription/SpeechLocale.h"

#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

class AppSettings;
class TranscriptionEngine;

// Keeps the recognition locale setting on a locale the speech engine supports: when the stored
// locale is not supported (or none is stored), picks the best supported locale from the user's
// preferred languages, stores it and says so.
//
// Identifiers are compared in one normal form, ignoring letter case, so that "en_US", "en-US" and
// "EN-us" are the same locale.
namespace SpeechLocaleResolver {

// The name of the notice that the recognition locale was switched automatically; the dictation
// controller posts it through SpeechLocaleNotifications with the new locale's display name.
inline const QString didSwitch = QStringLiteral("Sonorvelle.speechLocaleSwitched");

struct Resolution
{
    SpeechLocale locale;
    bool changed = false;
};

// The locale to use with `engine`, and whether the stored setting was changed to it. Reads and
// writes AppSettings::shared(); main thread.
QCoro::Task<Resolution> ensureConfigured(std::shared_ptr<TranscriptionEngine> engine);
// The same over explicit settings and candidate languages.
QCoro::Task<Resolution> ensureConfigured(std::shared_ptr<TranscriptionEngine> engine,
                                         AppSettings &settings, QStringList candidates);

// The user's languages in order of preference: the desktop session's own list, then the
// preferred languages as the application sees them (the interface-language override first), then
// "en-US"; each kept once, at its first occurrence and in its spelling there. The language the
// user picked for the menus says less about the language they speak than the session's list, so
// it only comes after it.
QStringList candidates();
// The same over explicit lists.
QStringList candidates(const QStringList &systemLanguages, const QStringList &preferredLanguages);

// The comparison key of an identifier: its language in lower case, with the script when the
// second subtag is one ("zh-Hant-TW" and "zh_Hant" give "zh-hant", "pt_BR" gives "pt").
QString languageKey(const QString &identifier);

// The supported identifier to use: for each candidate in order, the first supported identifier
// equal to it, else the first with the same language key. Absent when no candidate matches.
std::optional<QString> resolve(const QStringList &candidates, const QStringList &supported);

} // namespace SpeechLocaleResolver
