#include "Core/SyncPayload.h"

#include "Base/RawEnum.h"
#include "Core/AppSettings.h"
#include "Core/VersionedBlobSync.h"

#include <algorithm>
#include <exception>

namespace {

// The hold key of a fresh installation.
constexpr DictationHoldKey defaultHoldKey = DictationHoldKey::rightCommand;

template<typename E>
QString raw(E value)
{
    return RawEnum::rawValue(value);
}

std::optional<QStringList> optionalTerms(const Json::Object &json, const char *key)
{
    const auto found = json.find(key);
    if (found == json.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_array()) {
        throw Json::DecodeError(std::string("key \"") + key + "\" must be a list of texts");
    }
    QStringList terms;
    for (const auto &item : *found) {
        if (!item.is_string()) {
            throw Json::DecodeError(std::string("key \"") + key + "\" must be a list of texts");
        }
        terms.append(Json::fromStd(item.get_ref<const std::string &>()));
    }
    return terms;
}

std::optional<QList<Replacement>> optionalReplacements(const Json::Object &json, const char *key)
{
    const auto found = json.find(key);
    if (found == json.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_array()) {
        throw Json::DecodeError(std::string("key \"") + key + "\" must be a list of rules");
    }
    return Replacement::fromJsonList(*found);
}

qint64 acceptedRetention(qint64 days)
{
    return days < 1 || days > SyncPayload::maxRetentionDays ? 0 : days;
}

} // namespace

SyncPayload SyncPayload::from(const AppSettings &settings)
{
    SyncPayload payload;
    payload.languageCode = settings.languageCode();
    payload.speechLocaleID = settings.speechLocaleID();
    payload.holdKey = raw(settings.holdKey());
    payload.playSounds = settings.playSounds();
    payload.showVoiceBar = settings.showVoiceBar();
    payload.insertionMethod = raw(settings.insertionMethod());
    payload.restoreClipboard = settings.restoreClipboard();
    payload.restoreClipboardDelayMs = settings.restoreClipboardDelayMs();
    payload.cleanupMode = raw(settings.cleanupMode());
    payload.customInstructions = settings.customInstructions();
    payload.useFocusContext = settings.useFocusContext();
    payload.historyRetentionDays = settings.historyRetentionDays();
    payload.historyEnabled = settings.historyEnabled();
    return payload;
}

SyncPayload SyncPayload::from(const AppSettings &settings, const std::optional<QString> &baseBlob)
{
    SyncPayload payload = from(settings);
    const std::optional<SyncPayload> base = baseBlob ? decodeBlob(*baseBlob) : std::nullopt;
    if (!base) {
        return payload;
    }
    const std::optional<CleanupMode> sent = RawEnum::fromRawValue<CleanupMode>(base->cleanupMode);
    if (sent && *sent != settings.cleanupMode()
        && AppSettings::offeredCleanupMode(*sent) == settings.cleanupMode()) {
        payload.cleanupMode = base->cleanupMode;
    }
    return payload;
}

void SyncPayload::apply(AppSettings &settings) const
{
    settings.setLanguageCode(languageCode);
    settings.setSpeechLocaleID(speechLocaleID);

    DictationHoldKey key =
        RawEnum::fromRawValue<DictationHoldKey>(holdKey).value_or(settings.holdKey());
    if (key == DictationHoldKey::fn) {
        key = defaultHoldKey;
    }
    settings.setHoldKey(key);

    settings.setPlaySounds(playSounds);
    settings.setShowVoiceBar(showVoiceBar);
    settings.setInsertionMethod(RawEnum::fromRawValue<InsertionMethod>(insertionMethod)
                                    .value_or(settings.insertionMethod()));
    settings.setRestoreClipboard(restoreClipboard);
    settings.setRestoreClipboardDelayMs(
        std::clamp(restoreClipboardDelayMs, minRestoreDelayMs, maxRestoreDelayMs));
    settings.setCleanupMode(AppSettings::offeredCleanupMode(
        RawEnum::fromRawValue<CleanupMode>(cleanupMode).value_or(settings.cleanupMode())));
    settings.setCustomInstructions(customInstructions);
    settings.setUseFocusContext(useFocusContext);
    settings.setHistoryRetentionDays(acceptedRetention(historyRetentionDays));
    settings.setHistoryEnabled(historyEnabled);
}

Json::Object SyncPayload::toJson() const
{
    Json::Object json = Json::Object::object();
    Json::putOptional(json, "languageCode", languageCode);
    Json::putOptional(json, "speechLocaleID", speechLocaleID);
    Json::putString(json, "holdKey", holdKey);
    Json::putBool(json, "playSounds", playSounds);
    Json::putBool(json, "showVoiceBar", showVoiceBar);
    Json::putString(json, "insertionMethod", insertionMethod);
    Json::putBool(json, "restoreClipboard", restoreClipboard);
    Json::putInt64(json, "restoreClipboardDelayMs", restoreClipboardDelayMs);
    Json::putString(json, "cleanupMode", cleanupMode);
    Json::putString(json, "customInstructions", customInstructions);
    Json::putBool(json, "useFocusContext", useFocusContext);
    if (dictionaryTerms) {
        Json::Object terms = Json::Object::array();
        for (const QString &term : *dictionaryTerms) {
            terms.push_back(Json::toStd(term));
        }
        json["dictionaryTerms"] = std::move(terms);
    }
    if (replacements) {
        json["replacements"] = Replacement::toJsonList(*replacements);
    }
    Json::putInt64(json, "historyRetentionDays", historyRetentionDays);
    Json::putBool(json, "historyEnabled", historyEnabled);
    return json;
}

SyncPayload SyncPayload::fromJson(const Json::Object &json)
{
    Json::requireObject(json, "the settings");
    SyncPayload payload;
    payload.languageCode = Json::optionalString(json, "languageCode");
    payload.speechLocaleID = Json::optionalString(json, "speechLocaleID");
    payload.holdKey = Json::requireString(json, "holdKey");
    payload.playSounds = Json::requireBool(json, "playSounds");
    payload.showVoiceBar = Json::requireBool(json, "showVoiceBar");
    payload.insertionMethod = Json::requireString(json, "insertionMethod");
    payload.restoreClipboard = Json::requireBool(json, "restoreClipboard");
    payload.restoreClipboardDelayMs = Json::requireInt64(json, "restoreClipboardDelayMs");
    payload.cleanupMode = Json::requireString(json, "cleanupMode");
    payload.customInstructions = Json::requireString(json, "customInstructions");
    payload.useFocusContext = Json::requireBool(json, "useFocusContext");
    payload.dictionaryTerms = optionalTerms(json, "dictionaryTerms");
    payload.replacements = optionalReplacements(json, "replacements");
    payload.historyRetentionDays = Json::requireInt64(json, "historyRetentionDays");
    payload.historyEnabled = Json::requireBool(json, "historyEnabled");
    return payload;
}

QString SyncPayload::blob() const
{
    return VersionedBlobSync::encodeBlob(toJson());
}

std::optional<SyncPayload> SyncPayload::decodeBlob(const QString &blob)
{
    try {
        return fromJson(Json::parse(blob.toUtf8()));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}
