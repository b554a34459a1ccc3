#include "Core/AppSettings.h"

#include "Base/Json.h"
#include "Base/UserDefaults.h"
#include "Core/SpeechEnginePreparer.h"
#include "Core/UsageEventQueue.h"
#include "Core/VocabularyMigrator.h"
#include "Platform/LoginItem.h"

#include <QtDebug>

#include <exception>
#include <memory>
#include <vector>

namespace {

const QString kOnboardingCompleted = QStringLiteral("onboardingCompleted");
const QString kLaunchAtLogin = QStringLiteral("launchAtLogin");
const QString kLanguageCode = QStringLiteral("languageCode");
const QString kSpeechLocaleID = QStringLiteral("speechLocaleID");
const QString kMicrophoneUID = QStringLiteral("microphoneUID");
const QString kMicrophoneName = QStringLiteral("microphoneName");
const QString kHoldKey = QStringLiteral("holdKey");
const QString kAskKey = QStringLiteral("askKey");
const QString kTranslateKey = QStringLiteral("translateKey");
const QString kTranslateTargetLang = QStringLiteral("translateTargetLang");
const QString kPlaySounds = QStringLiteral("playSounds");
const QString kShowVoiceBar = QStringLiteral("showVoiceBar");
const QString kVoiceBarStyle = QStringLiteral("voiceBarStyle");
const QString kInsertionMethod = QStringLiteral("insertionMethod");
const QString kRestoreClipboard = QStringLiteral("restoreClipboard");
const QString kRestoreClipboardDelayMs = QStringLiteral("restoreClipboardDelayMs");
const QString kCloudSTT = QStringLiteral("cloudSTT");
const QString kCleanupMode = QStringLiteral("cleanupMode");
const QString kCleanupIntensity = QStringLiteral("cleanupIntensity");
const QString kCustomInstructions = QStringLiteral("customInstructions");
const QString kUseFocusContext = QStringLiteral("useFocusContext");
const QString kCloudLearning = QStringLiteral("cloudLearning");
const QString kHistoryRetentionDays = QStringLiteral("historyRetentionDays");
const QString kHistoryEnabled = QStringLiteral("historyEnabled");
const QString kCrashReportingEnabled = QStringLiteral("crashReportingEnabled");
const QString kImproveDataSharing = QStringLiteral("improveDataSharing");
const QString kLegacyDictionaryTerms = QStringLiteral("dictionaryTerms");
const QString kLegacyReplacements = QStringLiteral("replacements");

// The user-defaults boolean conversion, lenient where a setting has always been read that way: a
// number is true when it is not zero; a text is true when, after leading blanks, an optional sign
// and leading zeros, it starts with Y, T or a digit 1-9 ("YES", "true", "1"); anything else, and
// nothing, is false.
bool lenientBool(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString();
        qsizetype i = 0;
        while (i < text.size() && text.at(i).isSpace()) {
            ++i;
        }
        if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
            ++i;
        }
        while (i < text.size() && text.at(i) == u'0') {
            ++i;
        }
        if (i >= text.size()) {
            return false;
        }
        const QChar c = text.at(i);
        return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
    }
    default:
        return false;
    }
}

template<typename E>
E storedCase(const UserDefaults &defaults, const QString &key, E fallback)
{
    const auto text = defaults.string(key);
    if (!text) {
        return fallback;
    }
    return RawEnum::fromRawValue<E>(*text).value_or(fallback);
}

QCoro::Task<> prepareDetached(SpeechEnginePreparer *preparer,
                              std::optional<QString> localeIdentifier)
{
    try {
        co_await preparer->prepare(std::move(localeIdentifier));
    } catch (...) {
        // Only a warm-up: the next dictation reports the same problem if it persists.
    }
}

// X11 never sees the fn key: a task set to it (by an older version, or synced from another
// computer) gets its default key. The stored text stays until the user picks a key.
DictationHoldKey usableKey(DictationHoldKey key, DictationHoldKey fallback)
{
    return key == DictationHoldKey::fn ? fallback : key;
}

std::optional<QString> absentWhenEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

std::optional<AppSettings::Services> g_sharedServices;
AppSettings *g_sharedOverride = nullptr;

} // namespace

AppSettings::AppSettings(UserDefaults &defaults, const Services &services, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_services(services)
{
    // The shared vocabulary and the usage reporter belong to subsystems a build may not have yet;
    // without them there is nothing to hand the legacy vocabulary to and no queue to clear.
    if (!services.enginePreparer || !services.loginItem) {
        qFatal("AppSettings: the engine preparer and the login item must be given");
    }

    m_onboardingCompleted = lenientBool(m_defaults.object(kOnboardingCompleted));

    const bool launchAtLoginStored = m_defaults.contains(kLaunchAtLogin);
    m_launchAtLogin = m_defaults.boolValue(kLaunchAtLogin).value_or(true);

    m_languageCode = m_defaults.string(kLanguageCode);
    m_speechLocaleID = m_defaults.string(kSpeechLocaleID);
    m_microphoneUID = m_defaults.string(kMicrophoneUID);
    m_microphoneName = m_defaults.string(kMicrophoneName);

    m_holdKey = usableKey(storedCase(m_defaults, kHoldKey, DictationHoldKey::rightCommand),
                          DictationHoldKey::rightCommand);
    m_askKey = usableKey(storedCase(m_defaults, kAskKey, DictationHoldKey::rightOption),
                         DictationHoldKey::rightOption);
    m_translateKey = usableKey(storedCase(m_defaults, kTranslateKey, DictationHoldKey::none),
                               DictationHoldKey::none);
    m_translateTargetLang =
        m_defaults.string(kTranslateTargetLang).value_or(QStringLiteral("English"));
    m_playSounds = m_defaults.boolValue(kPlaySounds).value_or(true);
    m_showVoiceBar = m_defaults.boolValue(kShowVoiceBar).value_or(true);
    m_voiceBarStyle = m_defaults.string(kVoiceBarStyle) == QStringLiteral("classic")
        ? VoiceBarStyle::classic
        : VoiceBarStyle::notch;
    m_insertionMethod = m_defaults.string(kInsertionMethod) == QStringLiteral("type")
        ? InsertionMethod::type
        : InsertionMethod::paste;
    m_restoreClipboard = m_defaults.boolValue(kRestoreClipboard).value_or(true);
    m_restoreClipboardDelayMs = m_defaults.integer(kRestoreClipboardDelayMs).value_or(800);
    m_cleanupMode = offeredCleanupMode(storedCase(m_defaults, kCleanupMode, CleanupMode::cloud));
    m_cloudSTT = m_defaults.boolValue(kCloudSTT).value_or(false);
    const auto intensity = m_defaults.integer(kCleanupIntensity);
    m_cleanupIntensity = intensity && *intensity >= 1 && *intensity <= 3 ? int(*intensity) : 2;
    m_customInstructions = m_defaults.string(kCustomInstructions).value_or(QString());
    m_useFocusContext = m_defaults.boolValue(kUseFocusContext).value_or(false);
    m_cloudLearning = m_defaults.boolValue(kCloudLearning).value_or(true);

    // Older versions kept the vocabulary here; the keys are left in place for them.
    if (m_services.vocabulary) {
        m_services.vocabulary->migrateIfNeeded(
            m_defaults.stringArray(kLegacyDictionaryTerms).value_or(QStringList()),
            Replacement::decodeList(m_defaults.data(kLegacyReplacements).value_or(QByteArray())));
    }

    m_historyRetentionDays = m_defaults.integer(kHistoryRetentionDays).value_or(30);
    m_historyEnabled = m_defaults.boolValue(kHistoryEnabled).value_or(true);
    m_crashReportingEnabled = m_defaults.boolValue(kCrashReportingEnabled).value_or(true);
    m_improveDataSharing = m_defaults.boolValue(kImproveDataSharing).value_or(true);

    if (!launchAtLoginStored) {
        store(kLaunchAtLogin, true);
        applyLaunchAtLogin();
    }
}

AppSettings::~AppSettings() = default;

void AppSettings::configureShared(const Services &services)
{
    g_sharedServices = services;
}

AppSettings &AppSettings::shared()
{
    if (g_sharedOverride) {
        return *g_sharedOverride;
    }
    if (!g_sharedServices) {
        qFatal("AppSettings::shared() used before AppSettings::configureShared()");
    }
    static AppSettings *instance = new AppSettings(UserDefaults::standard(), *g_sharedServices);
    return *instance;
}

void AppSettings::overrideSharedForTesting(AppSettings *settings)
{
    g_sharedOverride = settings;
}

template<typename T, typename Signal>
void AppSettings::assign(T &field, const T &value, const QString &key, Signal changed)
{
    Q_EMIT willChange();
    field = value;
    store(key, field);
    Q_EMIT(this->*changed)(field);
}

void AppSettings::store(const QString &key, bool value)
{
    m_defaults.setValue(key, value);
}

void AppSettings::store(const QString &key, int value)
{
    m_defaults.setValue(key, QVariant::fromValue<qint64>(value));
}

void AppSettings::store(const QString &key, qint64 value)
{
    m_defaults.setValue(key, QVariant::fromValue<qint64>(value));
}

void AppSettings::store(const QString &key, const QString &value)
{
    m_defaults.setValue(key, value);
}

void AppSettings::store(const QString &key, const std::optional<QString> &value)
{
    if (value) {
        m_defaults.setValue(key, *value);
    } else {
        m_defaults.remove(key);
    }
}

template<typename E>
void AppSettings::store(const QString &key, E value) requires RawEnum::Enabled<E>
{
    m_defaults.setValue(key, RawEnum::rawValue(value));
}

void AppSettings::setOnboardingCompleted(bool value)
{
    assign(m_onboardingCompleted, value, kOnboardingCompleted,
           &AppSettings::onboardingCompletedChanged);
}

void AppSettings::setLaunchAtLogin(bool value)
{
    assign(m_launchAtLogin, value, kLaunchAtLogin, &AppSettings::launchAtLoginChanged);
    applyLaunchAtLogin();
}

void AppSettings::setLanguageCode(const std::optional<QString> &value)
{
    assign(m_languageCode, value, kLanguageCode, &AppSettings::languageCodeChanged);
}

void AppSettings::setSpeechLocaleID(const std::optional<QString> &value)
{
    const std::optional<QString> previous = m_speechLocaleID;
    assign(m_speechLocaleID, value, kSpeechLocaleID, &AppSettings::speechLocaleIDChanged);
    if (value != previous) {
        prepareSpeechEngine(value);
    }
}

void AppSettings::setMicrophone(const std::optional<QString> &uid,
                                const std::optional<QString> &name)
{
    if (!uid) {
        assign(m_microphoneName, std::optional<QString>(), kMicrophoneName,
               &AppSettings::microphoneNameChanged);
    } else if (name) {
        assign(m_microphoneName, name, kMicrophoneName, &AppSettings::microphoneNameChanged);
    }
    assign(m_microphoneUID, uid, kMicrophoneUID, &AppSettings::microphoneUIDChanged);
}

void AppSettings::setHoldKey(DictationHoldKey value)
{
    assign(m_holdKey, usableKey(value, DictationHoldKey::rightCommand), kHoldKey,
           &AppSettings::holdKeyChanged);
}

void AppSettings::setAskKey(DictationHoldKey value)
{
    assign(m_askKey, usableKey(value, DictationHoldKey::rightOption), kAskKey,
           &AppSettings::askKeyChanged);
}

void AppSettings::setTranslateKey(DictationHoldKey value)
{
    assign(m_translateKey, usableKey(value, DictationHoldKey::none), kTranslateKey,
           &AppSettings::translateKeyChanged);
}

void AppSettings::setTranslateTargetLang(const QString &value)
{
    assign(m_translateTargetLang, value, kTranslateTargetLang,
           &AppSettings::translateTargetLangChanged);
}

void AppSettings::setPlaySounds(bool value)
{
    assign(m_playSounds, value, kPlaySounds, &AppSettings::playSoundsChanged);
}

void AppSettings::setShowVoiceBar(bool value)
{
    assign(m_showVoiceBar, value, kShowVoiceBar, &AppSettings::showVoiceBarChanged);
}

void AppSettings::setVoiceBarStyle(VoiceBarStyle value)
{
    assign(m_voiceBarStyle, value, kVoiceBarStyle, &AppSettings::voiceBarStyleChanged);
}

void AppSettings::setInsertionMethod(InsertionMethod value)
{
    assign(m_insertionMethod, value, kInsertionMethod, &AppSettings::insertionMethodChanged);
}

void AppSettings::setRestoreClipboard(bool value)
{
    assign(m_restoreClipboard, value, kRestoreClipboard, &AppSettings::restoreClipboardChanged);
}

void AppSettings::setRestoreClipboardDelayMs(qint64 value)
{
    assign(m_restoreClipboardDelayMs, value, kRestoreClipboardDelayMs,
           &AppSettings::restoreClipboardDelayMsChanged);
}

void AppSettings::setCloudSTT(bool value)
{
    assign(m_cloudSTT, value, kCloudSTT, &AppSettings::cloudSTTChanged);
}

CleanupMode AppSettings::offeredCleanupMode(CleanupMode mode)
{
    return CleanupModeNS::isCloud(mode) ? mode : CleanupMode::cloud;
}

void AppSettings::setCleanupMode(CleanupMode value)
{
    assign(m_cleanupMode, value, kCleanupMode, &AppSettings::cleanupModeChanged);
}

void AppSettings::setCleanupIntensity(int value)
{
    assign(m_cleanupIntensity, value, kCleanupIntensity, &AppSettings::cleanupIntensityChanged);
}

void AppSettings::setCustomInstructions(const QString &value)
{
    assign(m_customInstructions, value, kCustomInstructions,
           &AppSettings::customInstructionsChanged);
}

void AppSettings::setUseFocusContext(bool value)
{
    assign(m_useFocusContext, value, kUseFocusContext, &AppSettings::useFocusContextChanged);
}

void AppSettings::setCloudLearning(bool value)
{
    assign(m_cloudLearning, value, kCloudLearning, &AppSettings::cloudLearningChanged);
}

void AppSettings::setHistoryRetentionDays(qint64 value)
{
    assign(m_historyRetentionDays, value, kHistoryRetentionDays,
           &AppSettings::historyRetentionDaysChanged);
}

void AppSettings::setHistoryEnabled(bool value)
{
    assign(m_historyEnabled, value, kHistoryEnabled, &AppSettings::historyEnabledChanged);
}

void AppSettings::setCrashReportingEnabled(bool value)
{
    assign(m_crashReportingEnabled, value, kCrashReportingEnabled,
           &AppSettings::crashReportingEnabledChanged);
}

void AppSettings::setImproveDataSharing(bool value)
{
    assign(m_improveDataSharing, value, kImproveDataSharing,
           &AppSettings::improveDataSharingChanged);
    if (!value && m_services.usageQueue) {
        m_services.usageQueue->clearQueue();
    }
}

void AppSettings::setLanguageCodeText(const QString &value)
{
    setLanguageCode(absentWhenEmpty(value));
}

void AppSettings::setSpeechLocaleIDText(const QString &value)
{
    setSpeechLocaleID(absentWhenEmpty(value));
}

void AppSettings::applyLaunchAtLogin()
{
    if (m_services.bundleIdentifier.isEmpty()) {
        return;
    }
    QString error;
    const bool done = m_launchAtLogin ? m_services.loginItem->registerItem(error)
                                      : m_services.loginItem->unregisterItem(error);
    if (!done) {
        qWarning().noquote() << QStringLiteral("Sonorvelle: launch-at-login update failed: ")
                + error;
    }
    if (m_launchAtLoginFailed != !done) {
        m_launchAtLoginFailed = !done;
        Q_EMIT launchAtLoginFailedChanged(m_launchAtLoginFailed);
    }
}

void AppSettings::prepareSpeechEngine(const std::optional<QString> &localeIdentifier)
{
    // Not awaited: the task keeps itself alive until the preparation has finished.
    prepareDetached(m_services.enginePreparer, localeIdentifier);
}
