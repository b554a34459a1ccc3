#pragma once

#include "Base/Json.h"
#include "Core/Models/Replacement.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class AppSettings;

// The thirteen settings that travel between the computers of one account, as settings sync sends
// and receives them. The vocabulary travels on its own (SharedVocabulary); its two keys are
// accepted here for older copies and ignored.
//
// JSON: the keys are the field names. "languageCode", "speechLocaleID", "dictionaryTerms" and
// "replacements" may be missing (or null); every other key is required, with its JSON type (true
// or false for a flag, a whole number for an integer, a text for the enumerations): a copy without
// one, or with a wrong type, does not decode at all. Unknown keys are ignored. The enumerations
// travel as their raw texts and are kept as texts, so that a value this version does not know
// still decodes; apply() decides what to do with it.
struct SyncPayload
{
    // The restore delays and retention periods the settings window offers reach from 300 to
    // 3000 ms and from 1 to 30 days (or for ever, stored as 0).
    static constexpr qint64 minRestoreDelayMs = 300;
    static constexpr qint64 maxRestoreDelayMs = 3000;
    static constexpr qint64 maxRetentionDays = 30;

    std::optional<QString> languageCode;
    std::optional<QString> speechLocaleID;
    QString holdKey;
    bool playSounds = true;
    bool showVoiceBar = true;
    QString insertionMethod;
    bool restoreClipboard = true;
    qint64 restoreClipboardDelayMs = 0;
    QString cleanupMode;
    QString customInstructions;
    bool useFocusContext = false;
    std::optional<QStringList> dictionaryTerms;
    std::optional<QList<Replacement>> replacements;
    qint64 historyRetentionDays = 0;
    bool historyEnabled = true;

    friend bool operator==(const SyncPayload &, const SyncPayload &) = default;

    // The current values of the settings (never the vocabulary keys).
    static SyncPayload from(const AppSettings &settings);
    // The same as they travel from this computer, given the copy it last sent or received: a
    // cleanup mode of that copy which this computer does not offer, and only mapped to the one it
    // uses, travels on as it came, so that this computer's pushes keep the other one's choice.
    static SyncPayload from(const AppSettings &settings, const std::optional<QString> &baseBlob);

    // Assigns the thirteen settings in field order through their setters, each also when it is
    // unchanged, so that each is stored and runs its own change handling. A value the settings do
    // not accept is made one they do, so a bad copy from another computer cannot break dictation:
    // - an unknown hold key, insertion method or cleanup mode keeps the current value;
    // - a cleanup mode this computer does not offer becomes the one it uses instead, by the rule
    //   the settings apply to a stored one (AppSettings::offeredCleanupMode);
    // - the fn key, which X11 does not report, becomes the default hold key;
    // - the restore delay is clamped to minRestoreDelayMs...maxRestoreDelayMs;
    // - a retention below 1 day is "for ever" (0), and so is one above maxRetentionDays: a shorter
    //   period would delete history that the other computer meant to keep.
    void apply(AppSettings &settings) const;

    Json::Object toJson() const;
    // Throws Json::DecodeError as described above.
    static SyncPayload fromJson(const Json::Object &json);

    // The settings sync blob: compact JSON, keys sorted.
    QString blob() const;
    // Nothing when the text is not JSON or not a payload.
    static std::optional<SyncPayload> decodeBlob(const QString &blob);
};
