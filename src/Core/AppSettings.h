#pragma once

#include "Base/AppInfo.h"
#include "Core/Models/CleanupMode.h"
#include "Core/Models/DictationHoldKey.h"
#include "Core/Models/InsertionMethod.h"
#include "Core/Models/VoiceBarStyle.h"

#include <QObject>
#include <QString>

#include <optional>

class LoginItem;
class SpeechEnginePreparer;
class UsageEventQueue;
class UserDefaults;
class VocabularyMigrator;

// Every user setting of the application, each an observable property persisted in the user
// defaults under a key equal to its name.
//
// The stored values are read once, when the object is made; missing, mistyped, unknown or
// out-of-range values are repaired in memory only (the stored key keeps its content until the
// setting is next assigned). Afterwards every assignment, also of the value a setting already has,
// writes its key at once and notifies: first the object-level willChange(), then the setting's own
// changed signal with the new value. Changes made to the defaults by other means are not seen.
//
// Optional texts are std::optional<QString> in C++; QML sees them as QString properties in which
// the empty string stands for absent.
//
// Main thread only: made, read, assigned and observed there.
class AppSettings : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool onboardingCompleted READ onboardingCompleted WRITE setOnboardingCompleted NOTIFY
                   onboardingCompletedChanged)
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool launchAtLoginFailed READ launchAtLoginFailed NOTIFY launchAtLoginFailedChanged)
    Q_PROPERTY(QString languageCode READ languageCodeText WRITE setLanguageCodeText NOTIFY
                   languageCodeChanged)
    Q_PROPERTY(QString speechLocaleID READ speechLocaleIDText WRITE setSpeechLocaleIDText NOTIFY
                   speechLocaleIDChanged)
    Q_PROPERTY(QString microphoneUID READ microphoneUIDText NOTIFY microphoneUIDChanged)
    Q_PROPERTY(QString microphoneName READ microphoneNameText NOTIFY microphoneNameChanged)
    Q_PROPERTY(DictationHoldKeyNS::DictationHoldKey holdKey READ holdKey WRITE setHoldKey NOTIFY
                   holdKeyChanged)
    Q_PROPERTY(DictationHoldKeyNS::DictationHoldKey askKey READ askKey WRITE setAskKey NOTIFY
                   askKeyChanged)
    Q_PROPERTY(DictationHoldKeyNS::DictationHoldKey translateKey READ translateKey WRITE
                   setTranslateKey NOTIFY translateKeyChanged)
    Q_PROPERTY(QString translateTargetLang READ translateTargetLang WRITE setTranslateTargetLang
                   NOTIFY translateTargetLangChanged)
    Q_PROPERTY(bool playSounds READ playSounds WRITE setPlaySounds NOTIFY playSoundsChanged)
    Q_PROPERTY(bool showVoiceBar READ showVoiceBar WRITE setShowVoiceBar NOTIFY showVoiceBarChanged)
    Q_PROPERTY(VoiceBarStyleNS::VoiceBarStyle voiceBarStyle READ voiceBarStyle WRITE
                   setVoiceBarStyle NOTIFY voiceBarStyleChanged)
    Q_PROPERTY(double maxSessionSeconds READ maxSessionSecondsValue CONSTANT)
    Q_PROPERTY(InsertionMethodNS::InsertionMethod insertionMethod READ insertionMethod WRITE
                   setInsertionMethod NOTIFY insertionMethodChanged)
    Q_PROPERTY(bool restoreClipboard READ restoreClipboard WRITE setRestoreClipboard NOTIFY
                   restoreClipboardChanged)
    Q_PROPERTY(qint64 restoreClipboardDelayMs READ restoreClipboardDelayMs WRITE
                   setRestoreClipboardDelayMs NOTIFY restoreClipboardDelayMsChanged)
    Q_PROPERTY(bool cloudSTT READ cloudSTT WRITE setCloudSTT NOTIFY cloudSTTChanged)
    Q_PROPERTY(CleanupModeNS::CleanupMode cleanupMode READ cleanupMode WRITE setCleanupMode NOTIFY
                   cleanupModeChanged)
    Q_PROPERTY(int cleanupIntensity READ cleanupIntensity WRITE setCleanupIntensity NOTIFY
                   cleanupIntensityChanged)
    Q_PROPERTY(QString customInstructions READ customInstructions WRITE setCustomInstructions NOTIFY
                   customInstructionsChanged)
    Q_PROPERTY(bool useFocusContext READ useFocusContext WRITE setUseFocusContext NOTIFY
                   useFocusContextChanged)
    Q_PROPERTY(
        bool cloudLearning READ cloudLearning WRITE setCloudLearning NOTIFY cloudLearningChanged)
    Q_PROPERTY(qint64 historyRetentionDays READ historyRetentionDays WRITE setHistoryRetentionDays
                   NOTIFY historyRetentionDaysChanged)
    Q_PROPERTY(bool historyEnabled READ historyEnabled WRITE setHistoryEnabled NOTIFY
                   historyEnabledChanged)
    Q_PROPERTY(bool crashReportingEnabled READ crashReportingEnabled WRITE setCrashReportingEnabled
                   NOTIFY crashReportingEnabledChanged)
    Q_PROPERTY(bool improveDataSharing READ improveDataSharing WRITE setImproveDataSharing NOTIFY
                   improveDataSharingChanged)

public:
    // The longest a dictation session may record, in seconds. Not persisted.
    static constexpr double maxSessionSeconds = 540.0;

    // What the settings call beyond the user defaults. Every pointer must be set and outlive the
    // settings object.
    struct Services
    {
        // Receives the legacy vocabulary keys once, when the settings are made.
        VocabularyMigrator *vocabulary = nullptr;
        // Cleared when usage reporting is switched off.
        UsageEventQueue *usageQueue = nullptr;
        // Prepares a newly chosen recognition locale in the background.
        SpeechEnginePreparer *enginePreparer = nullptr;
        // Registered or unregistered with launchAtLogin.
        LoginItem *loginItem = nullptr;
        // The login item is left alone when the application has no identifier.
        QString bundleIdentifier = AppInfo::bundleIdentifier();
    };

    // Reads every setting from `defaults`, hands the legacy vocabulary to the migrator and, when
    // "launchAtLogin" was never stored, stores true and registers the login item.
    AppSettings(UserDefaults &defaults, const Services &services, QObject *parent = nullptr);
    ~AppSettings() override;

    // The start-up hands over the services once, before the first use of shared().
    static void configureShared(const Services &services);
    // The process-wide settings on UserDefaults::standard(), made at the first call (which must
    // come after configureShared()).
    static AppSettings &shared();
    // Puts a test's own object in place of the shared one; nullptr goes back to the real one.
    static void overrideSharedForTesting(AppSettings *settings);

    bool onboardingCompleted() const { return m_onboardingCompleted; }
    void setOnboardingCompleted(bool value);

    bool launchAtLogin() const { return m_launchAtLogin; }
    // Also registers (true) or unregisters (false) the login item, every time.
    void setLaunchAtLogin(bool value);
    // The last registration or unregistration of this run failed: the login item is as it was,
    // the opposite of launchAtLogin.
    bool launchAtLoginFailed() const { return m_launchAtLoginFailed; }

    // The interface language; absent follows the system language.
    const std::optional<QString> &languageCode() const { return m_languageCode; }
    void setLanguageCode(const std::optional<QString> &value);

    // The recognition locale; absent uses the current locale. A value that differs from the
    // previous one starts preparing a speech engine for it in the background.
    const std::optional<QString> &speechLocaleID() const { return m_speechLocaleID; }
    void setSpeechLocaleID(const std::optional<QString> &value);

    // The chosen input device; absent is the system's default input. Changed only through
    // setMicrophone().
    const std::optional<QString> &microphoneUID() const { return m_microphoneUID; }
    const std::optional<QString> &microphoneName() const { return m_microphoneName; }
    // An absent uid clears the name too; a present uid with an absent name keeps the stored name.
    void setMicrophone(const std::optional<QString> &uid, const std::optional<QString> &name);

    // The three task keys are never fn, which X11 does not see: a stored or assigned fn reads as
    // the task's default key (right Command, right Option, none).
    DictationHoldKey holdKey() const { return m_holdKey; }
    void setHoldKey(DictationHoldKey value);
    DictationHoldKey askKey() const { return m_askKey; }
    void setAskKey(DictationHoldKey value);
    DictationHoldKey translateKey() const { return m_translateKey; }
    void setTranslateKey(DictationHoldKey value);

    QString translateTargetLang() const { return m_translateTargetLang; }
    void setTranslateTargetLang(const QString &value);

    bool playSounds() const { return m_playSounds; }
    void setPlaySounds(bool value);
    bool showVoiceBar() const { return m_showVoiceBar; }
    void setShowVoiceBar(bool value);
    VoiceBarStyle voiceBarStyle() const { return m_voiceBarStyle; }
    void setVoiceBarStyle(VoiceBarStyle value);

    InsertionMethod insertionMethod() const { return m_insertionMethod; }
    void setInsertionMethod(InsertionMethod value);
    bool restoreClipboard() const { return m_restoreClipboard; }
    void setRestoreClipboard(bool value);
    qint64 restoreClipboardDelayMs() const { return m_restoreClipboardDelayMs; }
    void setRestoreClipboardDelayMs(qint64 value);

    bool cloudSTT() const { return m_cloudSTT; }
    void setCloudSTT(bool value);
    CleanupMode cleanupMode() const { return m_cleanupMode; }
    // The mode this computer uses for a stored or synced one: the on-device modes are no longer
    // offered, and their users get the cloud cleanup.
    static CleanupMode offeredCleanupMode(CleanupMode mode);
    void setCleanupMode(CleanupMode value);
    int cleanupIntensity() const { return m_cleanupIntensity; }
    void setCleanupIntensity(int value);
    QString customInstructions() const { return m_customInstructions; }
    void setCustomInstructions(const QString &value);
    bool useFocusContext() const { return m_useFocusContext; }
    void setUseFocusContext(bool value);
    bool cloudLearning() const { return m_cloudLearning; }
    void setCloudLearning(bool value);

    qint64 historyRetentionDays() const { return m_historyRetentionDays; }
    void setHistoryRetentionDays(qint64 value);
    bool historyEnabled() const { return m_historyEnabled; }
    void setHistoryEnabled(bool value);

    bool crashReportingEnabled() const { return m_crashReportingEnabled; }
    void setCrashReportingEnabled(bool value);
    bool improveDataSharing() const { return m_improveDataSharing; }
    // An assigned false also clears the queued usage events, every time.
    void setImproveDataSharing(bool value);

    // QML forms of the optional texts: empty stands for absent.
    QString languageCodeText() const { return m_languageCode.value_or(QString()); }
    void setLanguageCodeText(const QString &value);
    QString speechLocaleIDText() const { return m_speechLocaleID.value_or(QString()); }
    void setSpeechLocaleIDText(const QString &value);
    QString microphoneUIDText() const { return m_microphoneUID.value_or(QString()); }
    QString microphoneNameText() const { return m_microphoneName.value_or(QString()); }
    double maxSessionSecondsValue() const { return maxSessionSeconds; }

Q_SIGNALS:
    // Before any setting changes; once per assignment.
    void willChange();

    void onboardingCompletedChanged(bool value);
    void launchAtLoginChanged(bool value);
    void launchAtLoginFailedChanged(bool failed);
    void languageCodeChanged(const std::optional<QString> &value);
    void speechLocaleIDChanged(const std::optional<QString> &value);
    void microphoneUIDChanged(const std::optional<QString> &value);
    void microphoneNameChanged(const std::optional<QString> &value);
    void holdKeyChanged(DictationHoldKey value);
    void askKeyChanged(DictationHoldKey value);
    void translateKeyChanged(DictationHoldKey value);
    void translateTargetLangChanged(const QString &value);
    void playSoundsChanged(bool value);
    void showVoiceBarChanged(bool value);
    void voiceBarStyleChanged(VoiceBarStyle value);
    void insertionMethodChanged(InsertionMethod value);
    void restoreClipboardChanged(bool value);
    void restoreClipboardDelayMsChanged(qint64 value);
    void cloudSTTChanged(bool value);
    void cleanupModeChanged(CleanupMode value);
    void cleanupIntensityChanged(int value);
    void customInstructionsChanged(const QString &value);
    void useFocusContextChanged(bool value);
    void cloudLearningChanged(bool value);
    void historyRetentionDaysChanged(qint64 value);
    void historyEnabledChanged(bool value);
    void crashReportingEnabledChanged(bool value);
    void improveDataSharingChanged(bool value);

private:
    template<typename T, typename Signal>
    void assign(T &field, const T &value, const QString &key, Signal changed);
    void store(const QString &key, bool value);
    void store(const QString &key, int value);
    void store(const QString &key, qint64 value);
    void store(const QString &key, const QString &value);
    void store(const QString &key, const std::optional<QString> &value);
    template<typename E>
    void store(const QString &key, E value) requires RawEnum::Enabled<E>;

    void applyLaunchAtLogin();
    void prepareSpeechEngine(const std::optional<QString> &localeIdentifier);

    UserDefaults &m_defaults;
    Services m_services;

    bool m_onboardingCompleted = false;
    bool m_launchAtLogin = true;
    bool m_launchAtLoginFailed = false;
    std::optional<QString> m_languageCode;
    std::optional<QString> m_speechLocaleID;
    std::optional<QString> m_microphoneUID;
    std::optional<QString> m_microphoneName;
    DictationHoldKey m_holdKey = DictationHoldKey::rightCommand;
    DictationHoldKey m_askKey = DictationHoldKey::rightOption;
    DictationHoldKey m_translateKey = DictationHoldKey::none;
    QString m_translateTargetLang = QStringLiteral("English");
    bool m_playSounds = true;
    bool m_showVoiceBar = true;
    VoiceBarStyle m_voiceBarStyle = VoiceBarStyle::notch;
    InsertionMethod m_insertionMethod = InsertionMethod::paste;
    bool m_restoreClipboard = true;
    qint64 m_restoreClipboardDelayMs = 800;
    bool m_cloudSTT = false;
    CleanupMode m_cleanupMode = CleanupMode::cloud;
    int m_cleanupIntensity = 2;
    QString m_customInstructions;
    bool m_useFocusContext = false;
    bool m_cloudLearning = true;
    qint64 m_historyRetentionDays = 30;
    bool m_historyEnabled = true;
    bool m_crashReportingEnabled = true;
    bool m_improveDataSharing = true;
};
