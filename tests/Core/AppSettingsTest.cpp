#include "Core/AppSettings.h"

#include "Base/Json.h"
#include "Fakes/TestAppSettings.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>

namespace {

// Collects the warnings written while it lives.
class WarningCapture
{
public:
    WarningCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&WarningCapture::handle);
    }
    ~WarningCapture() { qInstallMessageHandler(m_previous); }

    static QStringList lines() { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg) {
            s_lines.append(message);
        }
    }

    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

Replacement replacement(const char *phrase, const char *expansion)
{
    Replacement r;
    r.phrase = QString::fromUtf8(phrase);
    r.expansion = QString::fromUtf8(expansion);
    return r;
}

QByteArray encode(const QList<Replacement> &replacements)
{
    Json::Object array = Json::Object::array();
    for (const Replacement &r : replacements) {
        array.push_back(r.toJson());
    }
    return Json::serialize(array);
}

} // namespace

TEST(AppSettings, FreshDefaultsGiveTheDefaultsAndWriteOnlyLaunchAtLogin)
{
    TestAppSettings t(true);
    const AppSettings &s = *t.settings;

    EXPECT_FALSE(s.onboardingCompleted());
    EXPECT_TRUE(s.launchAtLogin());
    EXPECT_EQ(s.languageCode(), std::nullopt);
    EXPECT_EQ(s.speechLocaleID(), std::nullopt);
    EXPECT_EQ(s.microphoneUID(), std::nullopt);
    EXPECT_EQ(s.microphoneName(), std::nullopt);
    EXPECT_EQ(s.holdKey(), DictationHoldKey::rightCommand);
    EXPECT_EQ(s.askKey(), DictationHoldKey::rightOption);
    EXPECT_EQ(s.translateKey(), DictationHoldKey::none);
    EXPECT_EQ(s.translateTargetLang(), QStringLiteral("English"));
    EXPECT_TRUE(s.playSounds());
    EXPECT_TRUE(s.showVoiceBar());
    EXPECT_EQ(s.voiceBarStyle(), VoiceBarStyle::notch);
    EXPECT_EQ(AppSettings::maxSessionSeconds, 540.0);
    EXPECT_EQ(s.insertionMethod(), InsertionMethod::paste);
    EXPECT_TRUE(s.restoreClipboard());
    EXPECT_EQ(s.restoreClipboardDelayMs(), 800);
    EXPECT_FALSE(s.cloudSTT());
    EXPECT_EQ(s.cleanupMode(), CleanupMode::cloud);
    EXPECT_EQ(s.cleanupIntensity(), 2);
    EXPECT_EQ(s.customInstructions(), QString());
    EXPECT_FALSE(s.useFocusContext());
    EXPECT_TRUE(s.cloudLearning());
    EXPECT_EQ(s.historyRetentionDays(), 30);
    EXPECT_TRUE(s.historyEnabled());
    EXPECT_TRUE(s.crashReportingEnabled());
    EXPECT_TRUE(s.improveDataSharing());

    EXPECT_EQ(t.defaults.keys(), QStringList {QStringLiteral("launchAtLogin")});
    EXPECT_EQ(t.defaults.boolValue(QStringLiteral("launchAtLogin")), true);
    EXPECT_EQ(t.loginItem.calls, QStringList {QStringLiteral("register")});
    ASSERT_EQ(t.vocabulary.calls.size(), 1);
    EXPECT_TRUE(t.vocabulary.calls[0].terms.isEmpty());
    EXPECT_TRUE(t.vocabulary.calls[0].replacements.isEmpty());
    EXPECT_TRUE(t.enginePreparer.calls.isEmpty());
    EXPECT_EQ(t.usageQueue.clearCount, 0);
}

TEST(AppSettings, StoredLaunchAtLoginSkipsTheFirstRunStep)
{
    for (const QVariant &stored :
         {QVariant(false), QVariant(true), QVariant(QStringLiteral("no"))}) {
        TestAppSettings t;
        t.defaults.setValue(QStringLiteral("launchAtLogin"), stored);
        t.make();
        // Anything but a stored boolean reads as true, yet counts as stored.
        EXPECT_EQ(t->launchAtLogin(), stored.typeId() == QMetaType::Bool ? stored.toBool() : true);
        EXPECT_TRUE(t.loginItem.calls.isEmpty()) << stored.toString().toStdString();
        EXPECT_EQ(t.defaults.object(QStringLiteral("launchAtLogin")), stored);
    }
}

TEST(AppSettings, WithoutABundleIdentifierTheLoginItemIsNeverTouched)
{
    TestAppSettings t;
    t.bundleIdentifier.clear();
    t.make();
    EXPECT_EQ(t.defaults.boolValue(QStringLiteral("launchAtLogin")), true);
    t->setLaunchAtLogin(false);
    t->setLaunchAtLogin(true);
    EXPECT_TRUE(t.loginItem.calls.isEmpty());
}

TEST(AppSettings, StoredValuesAreReadAndRepairedInMemoryOnly)
{
    struct Case
    {
        const char *key;
        QVariant stored;
        std::function<QVariant(const AppSettings &)> read;
        QVariant expected;
    };
    const auto cleanup = [](const AppSettings &s) {
        return QVariant::fromValue(s.cleanupMode());
    };
    const auto intensity = [](const AppSettings &s) {
        return QVariant(s.cleanupIntensity());
    };
    const auto hold = [](const AppSettings &s) {
        return QVariant::fromValue(s.holdKey());
    };
    const auto ask = [](const AppSettings &s) {
        return QVariant::fromValue(s.askKey());
    };
    const auto translate = [](const AppSettings &s) {
        return QVariant::fromValue(s.translateKey());
    };
    const auto style = [](const AppSettings &s) {
        return QVariant::fromValue(s.voiceBarStyle());
    };
    const auto method = [](const AppSettings &s) {
        return QVariant::fromValue(s.insertionMethod());
    };
    const auto retention = [](const AppSettings &s) {
        return QVariant(s.historyRetentionDays());
    };
    const auto delay = [](const AppSettings &s) {
        return QVariant(s.restoreClipboardDelayMs());
    };
    const auto onboarding = [](const AppSettings &s) {
        return QVariant(s.onboardingCompleted());
    };
    const auto sounds = [](const AppSettings &s) {
        return QVariant(s.playSounds());
    };
    const auto stt = [](const AppSettings &s) {
        return QVariant(s.cloudSTT());
    };
    const auto target = [](const AppSettings &s) {
        return QVariant(s.translateTargetLang());
    };
    const auto language = [](const AppSettings &s) {
        return QVariant(s.languageCodeText());
    };
    const QVariant cloud = QVariant::fromValue(CleanupMode::cloud);

    const QList<Case> cases = {
        {"cleanupMode", QStringLiteral("nonsense"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("Cloud"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("rules"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("off"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("localModel"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("appleLLM"), cleanup, cloud},
        {"cleanupMode", QStringLiteral("rewrite"), cleanup, cloud},
        {"cleanupMode", 3, cleanup, cloud},
        {"cleanupMode", QStringLiteral("cloudRewrite"), cleanup,
         QVariant::fromValue(CleanupMode::cloudRewrite)},
        {"cleanupIntensity", 0, intensity, 2},
        {"cleanupIntensity", 4, intensity, 2},
        {"cleanupIntensity", -1, intensity, 2},
        {"cleanupIntensity", QStringLiteral("3"), intensity, 2},
        {"cleanupIntensity", 2.5, intensity, 2},
        {"cleanupIntensity", true, intensity, 2},
        {"cleanupIntensity", 1, intensity, 1},
        {"cleanupIntensity", 3, intensity, 3},
        {"cleanupIntensity", 3.0, intensity, 3},
        {"holdKey", QStringLiteral("capsLock"), hold,
         QVariant::fromValue(DictationHoldKey::rightCommand)},
        // X11 never sees fn: each task reads its default key, and "fn" stays stored.
        {"holdKey", QStringLiteral("fn"), hold,
         QVariant::fromValue(DictationHoldKey::rightCommand)},
        {"askKey", QStringLiteral("fn"), ask, QVariant::fromValue(DictationHoldKey::rightOption)},
        {"translateKey", QStringLiteral("fn"), translate,
         QVariant::fromValue(DictationHoldKey::none)},
        {"askKey", QStringLiteral("RightShift"), ask,
         QVariant::fromValue(DictationHoldKey::rightOption)},
        {"askKey", QStringLiteral("none"), ask, QVariant::fromValue(DictationHoldKey::none)},
        {"translateKey", QStringLiteral("x"), translate,
         QVariant::fromValue(DictationHoldKey::none)},
        {"translateKey", QStringLiteral("rightShift"), translate,
         QVariant::fromValue(DictationHoldKey::rightShift)},
        {"voiceBarStyle", QStringLiteral("classic"), style,
         QVariant::fromValue(VoiceBarStyle::classic)},
        {"voiceBarStyle", QStringLiteral("notch"), style,
         QVariant::fromValue(VoiceBarStyle::notch)},
        {"voiceBarStyle", QStringLiteral("Classic"), style,
         QVariant::fromValue(VoiceBarStyle::notch)},
        {"insertionMethod", QStringLiteral("type"), method,
         QVariant::fromValue(InsertionMethod::type)},
        {"insertionMethod", QStringLiteral("typing"), method,
         QVariant::fromValue(InsertionMethod::paste)},
        {"historyRetentionDays", 0, retention, 0},
        {"historyRetentionDays", -7, retention, -7},
        {"historyRetentionDays", QStringLiteral("7"), retention, 30},
        {"restoreClipboardDelayMs", 0, delay, 0},
        {"restoreClipboardDelayMs", 100000, delay, 100000},
        {"restoreClipboardDelayMs", 0.5, delay, 800},
        // Only onboardingCompleted reads booleans leniently.
        {"onboardingCompleted", QStringLiteral("YES"), onboarding, true},
        {"onboardingCompleted", QStringLiteral("true"), onboarding, true},
        {"onboardingCompleted", QStringLiteral(" +01"), onboarding, true},
        {"onboardingCompleted", 1, onboarding, true},
        {"onboardingCompleted", 0.5, onboarding, true},
        {"onboardingCompleted", QStringLiteral("no"), onboarding, false},
        {"onboardingCompleted", QStringLiteral("0"), onboarding, false},
        {"onboardingCompleted", 0, onboarding, false},
        {"onboardingCompleted", QStringList {QStringLiteral("true")}, onboarding, false},
        {"playSounds", false, sounds, false},
        {"playSounds", 0, sounds, true},
        {"playSounds", QStringLiteral("NO"), sounds, true},
        {"cloudSTT", true, stt, true},
        {"cloudSTT", 1, stt, false},
        {"cloudSTT", QStringLiteral("YES"), stt, false},
        {"translateTargetLang", QStringLiteral("日本語"), target, QStringLiteral("日本語")},
        {"translateTargetLang", 5, target, QStringLiteral("English")},
        {"languageCode", QStringLiteral("ja"), language, QStringLiteral("ja")},
        {"languageCode", false, language, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.stored.toString().toStdString());
        TestAppSettings t;
        const QString key = QString::fromLatin1(c.key);
        t.defaults.setValue(key, c.stored);
        t.make();
        EXPECT_EQ(c.read(*t.settings), c.expected);
        // The repaired value stays in memory; the stored one is left as it was.
        EXPECT_EQ(t.defaults.object(key), c.stored);
    }
}

TEST(AppSettings, EveryAssignmentWritesItsKeyAlsoForAnEqualValue)
{
    struct Case
    {
        const char *key;
        std::function<void(AppSettings &)> assign;
        QVariant stored;
    };
    const QList<Case> cases = {
        {"onboardingCompleted", [](AppSettings &s) { s.setOnboardingCompleted(false); }, false},
        {"launchAtLogin", [](AppSettings &s) { s.setLaunchAtLogin(true); }, true},
        {"languageCode", [](AppSettings &s) { s.setLanguageCode(QStringLiteral("ja")); },
         QStringLiteral("ja")},
        {"speechLocaleID", [](AppSettings &s) { s.setSpeechLocaleID(std::nullopt); }, QVariant()},
        {"holdKey", [](AppSettings &s) { s.setHoldKey(DictationHoldKey::rightCommand); },
         QStringLiteral("rightCommand")},
        {"askKey", [](AppSettings &s) { s.setAskKey(DictationHoldKey::rightOption); },
         QStringLiteral("rightOption")},
        {"translateKey", [](AppSettings &s) { s.setTranslateKey(DictationHoldKey::none); },
         QStringLiteral("none")},
        {"translateTargetLang",
         [](AppSettings &s) { s.setTranslateTargetLang(QStringLiteral("English")); },
         QStringLiteral("English")},
        {"playSounds", [](AppSettings &s) { s.setPlaySounds(true); }, true},
        {"showVoiceBar", [](AppSettings &s) { s.setShowVoiceBar(true); }, true},
        {"voiceBarStyle", [](AppSettings &s) { s.setVoiceBarStyle(VoiceBarStyle::notch); },
         QStringLiteral("notch")},
        {"insertionMethod", [](AppSettings &s) { s.setInsertionMethod(InsertionMethod::paste); },
         QStringLiteral("paste")},
        {"restoreClipboard", [](AppSettings &s) { s.setRestoreClipboard(true); }, true},
        {"restoreClipboardDelayMs", [](AppSettings &s) { s.setRestoreClipboardDelayMs(800); },
         QVariant::fromValue<qint64>(800)},
        {"cloudSTT", [](AppSettings &s) { s.setCloudSTT(false); }, false},
        {"cleanupMode", [](AppSettings &s) { s.setCleanupMode(CleanupMode::cloud); },
         QStringLiteral("cloud")},
        {"cleanupIntensity", [](AppSettings &s) { s.setCleanupIntensity(2); },
         QVariant::fromValue<qint64>(2)},
        {"customInstructions", [](AppSettings &s) { s.setCustomInstructions(QString()); },
         QStringLiteral("")},
        {"useFocusContext", [](AppSettings &s) { s.setUseFocusContext(false); }, false},
        {"cloudLearning", [](AppSettings &s) { s.setCloudLearning(true); }, true},
        {"historyRetentionDays", [](AppSettings &s) { s.setHistoryRetentionDays(30); },
         QVariant::fromValue<qint64>(30)},
        {"historyEnabled", [](AppSettings &s) { s.setHistoryEnabled(true); }, true},
        {"crashReportingEnabled", [](AppSettings &s) { s.setCrashReportingEnabled(true); }, true},
        {"improveDataSharing", [](AppSettings &s) { s.setImproveDataSharing(true); }, true},
    };
    TestAppSettings t(true);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        const QString key = QString::fromLatin1(c.key);
        // The property's own signal, found by the key: each property is named like its key.
        const QMetaProperty property =
            t->metaObject()->property(t->metaObject()->indexOfProperty(c.key));
        ASSERT_TRUE(property.hasNotifySignal());
        QSignalSpy written(&t.defaults, &UserDefaults::changed);
        QSignalSpy willChange(t.settings.get(), &AppSettings::willChange);
        QSignalSpy changed(t.settings.get(), property.notifySignal());

        c.assign(*t.settings);

        EXPECT_EQ(written.size(), 1);
        EXPECT_EQ(written.value(0).value(0).toString(), key);
        EXPECT_EQ(t.defaults.object(key), c.stored);
        EXPECT_EQ(willChange.size(), 1);
        EXPECT_EQ(changed.size(), 1);
    }
    // The two microphone keys change only through setMicrophone.
    EXPECT_EQ(
        t->metaObject()->property(t->metaObject()->indexOfProperty("microphoneUID")).isWritable(),
        false);
}

TEST(AppSettings, WillChangeComesBeforeTheChangeAndTheSignalCarriesTheNewValue)
{
    TestAppSettings t(true);
    QList<DictationHoldKey> seenAtWillChange;
    QList<DictationHoldKey> delivered;
    QObject::connect(t.settings.get(), &AppSettings::willChange,
                     [&] { seenAtWillChange.append(t->holdKey()); });
    QObject::connect(t.settings.get(), &AppSettings::holdKeyChanged,
                     [&](DictationHoldKey key) { delivered.append(key); });

    t->setHoldKey(DictationHoldKey::rightShift);

    EXPECT_EQ(seenAtWillChange, QList<DictationHoldKey> {DictationHoldKey::rightCommand});
    EXPECT_EQ(delivered, QList<DictationHoldKey> {DictationHoldKey::rightShift});
    EXPECT_EQ(t.defaults.string(QStringLiteral("holdKey")), QStringLiteral("rightShift"));
}

TEST(AppSettings, AssignedRepairedValuesReplaceTheStoredOnes)
{
    TestAppSettings t;
    t.defaults.setValue(QStringLiteral("cleanupMode"), QStringLiteral("rules"));
    t.defaults.setValue(QStringLiteral("cleanupIntensity"), 9);
    t.make();
    t->setCleanupMode(t->cleanupMode());
    t->setCleanupIntensity(t->cleanupIntensity());
    EXPECT_EQ(t.defaults.string(QStringLiteral("cleanupMode")), QStringLiteral("cloud"));
    EXPECT_EQ(t.defaults.integer(QStringLiteral("cleanupIntensity")), 2);
}

TEST(AppSettings, LaunchAtLoginAppliesTheLoginItemAtEveryAssignment)
{
    TestAppSettings t(true);
    t.loginItem.calls.clear();
    t->setLaunchAtLogin(true);
    t->setLaunchAtLogin(false);
    t->setLaunchAtLogin(false);
    EXPECT_EQ(t.loginItem.calls,
              (QStringList {QStringLiteral("register"), QStringLiteral("unregister"),
                            QStringLiteral("unregister")}));
}

TEST(AppSettings, AFailingLoginItemIsLoggedAndTheSettingKept)
{
    WarningCapture warnings;
    TestAppSettings t;
    t.loginItem.failure = QStringLiteral("permission denied");
    t.make();
    t->setLaunchAtLogin(false);

    EXPECT_FALSE(t->launchAtLogin());
    EXPECT_EQ(t.defaults.boolValue(QStringLiteral("launchAtLogin")), false);
    EXPECT_EQ(t.loginItem.calls,
              (QStringList {QStringLiteral("register"), QStringLiteral("unregister")}));
    EXPECT_EQ(
        warnings.lines(),
        QStringList(
            2, QStringLiteral("Sonorvelle: launch-at-login update failed: permission denied")));
}

TEST(AppSettings, SharingSwitchedOffClearsTheQueueEveryTime)
{
    TestAppSettings t(true);
    t->setImproveDataSharing(true);
    EXPECT_EQ(t.usageQueue.clearCount, 0);
    t->setImproveDataSharing(false);
    t->setImproveDataSharing(false);
    EXPECT_EQ(t.usageQueue.clearCount, 2);
    EXPECT_EQ(t.defaults.boolValue(QStringLiteral("improveDataSharing")), false);
}

TEST(AppSettings, AChangedLocalePreparesOnceAnUnchangedOneNever)
{
    TestAppSettings t;
    t.defaults.setValue(QStringLiteral("speechLocaleID"), QStringLiteral("en-US"));
    t.make();

    t->setSpeechLocaleID(QStringLiteral("en-US"));
    EXPECT_TRUE(t.enginePreparer.calls.isEmpty());

    t->setSpeechLocaleID(QStringLiteral("de-DE"));
    t->setSpeechLocaleID(QStringLiteral("de-DE"));
    t->setSpeechLocaleID(std::nullopt);
    t->setSpeechLocaleID(std::nullopt);
    // A failing preparation goes unnoticed.
    t.enginePreparer.fail = true;
    t->setSpeechLocaleID(QStringLiteral("fr-FR"));

    EXPECT_EQ(t.enginePreparer.calls,
              (QList<std::optional<QString>> {QStringLiteral("de-DE"), std::nullopt,
                                              QStringLiteral("fr-FR")}));
    EXPECT_EQ(t.defaults.string(QStringLiteral("speechLocaleID")), QStringLiteral("fr-FR"));
    // Every assignment still wrote.
    t->setSpeechLocaleID(std::nullopt);
    EXPECT_FALSE(t.defaults.contains(QStringLiteral("speechLocaleID")));
}

TEST(AppSettings, SetMicrophone)
{
    struct Case
    {
        const char *name;
        std::optional<QString> uid;
        std::optional<QString> deviceName;
        std::optional<QString> expectedUID;
        std::optional<QString> expectedName;
    };
    const QString oldUID = QStringLiteral("alsa_input.usb-old");
    const QString oldName = QStringLiteral("Old Mic");
    const QList<Case> cases = {
        {"both present", QStringLiteral("alsa_input.usb"), QStringLiteral("USB Mic"),
         QStringLiteral("alsa_input.usb"), QStringLiteral("USB Mic")},
        {"uid without name keeps the stored name", QStringLiteral("alsa_input.usb"), std::nullopt,
         QStringLiteral("alsa_input.usb"), oldName},
        {"no uid clears the name too", std::nullopt, QStringLiteral("USB Mic"), std::nullopt,
         std::nullopt},
        {"nothing", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestAppSettings t;
        t.defaults.setValue(QStringLiteral("microphoneUID"), oldUID);
        t.defaults.setValue(QStringLiteral("microphoneName"), oldName);
        t.make();
        QSignalSpy uidChanged(t.settings.get(), &AppSettings::microphoneUIDChanged);

        t->setMicrophone(c.uid, c.deviceName);

        EXPECT_EQ(t->microphoneUID(), c.expectedUID);
        EXPECT_EQ(t->microphoneName(), c.expectedName);
        EXPECT_EQ(t.defaults.string(QStringLiteral("microphoneUID")), c.expectedUID);
        EXPECT_EQ(t.defaults.string(QStringLiteral("microphoneName")), c.expectedName);
        EXPECT_EQ(uidChanged.size(), 1);
    }
}

TEST(AppSettings, LegacyVocabularyIsHandedOverAndLeftInPlace)
{
    const QStringList terms {QStringLiteral("Sonorvelle"), QStringLiteral("QCoro")};
    const QList<Replacement> replacements {replacement("brb", "be right back"),
                                           replacement("ゆーえすびー", "USB")};
    struct Case
    {
        const char *name;
        QVariant storedTerms;
        QVariant storedReplacements;
        QStringList expectedTerms;
        QList<Replacement> expectedReplacements;
    };
    const QList<Case> cases = {
        {"both", terms, encode(replacements), terms, replacements},
        {"undecodable data", terms, QByteArray("[{\"phrase\": 1}]"), terms, {}},
        {"not JSON", QVariant(), QByteArray("\xff\xfe"), {}, {}},
        {"an object, not an array", QVariant(), QByteArray("{}"), {}, {}},
        {"replacements stored as text",
         QVariant(),
         QString::fromUtf8(encode(replacements)),
         {},
         {}},
        {"terms of the wrong type",
         QStringLiteral("Sonorvelle"),
         encode(replacements),
         {},
         replacements},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestAppSettings t;
        t.defaults.setValue(QStringLiteral("dictionaryTerms"), c.storedTerms);
        t.defaults.setValue(QStringLiteral("replacements"), c.storedReplacements);
        t.make();
        ASSERT_EQ(t.vocabulary.calls.size(), 1);
        EXPECT_EQ(t.vocabulary.calls[0].terms, c.expectedTerms);
        EXPECT_EQ(t.vocabulary.calls[0].replacements, c.expectedReplacements);
        EXPECT_EQ(t.defaults.object(QStringLiteral("dictionaryTerms")), c.storedTerms);
        EXPECT_EQ(t.defaults.object(QStringLiteral("replacements")), c.storedReplacements);
    }
}

TEST(AppSettings, AWronglyTypedDefaultsFileLoadsDefaultsForTheBadValuesAndLosesNothingElse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    const QByteArray file = R"({
        "launchAtLogin": false,
        "holdKey": {"nested": true},
        "askKey": "rightShift",
        "playSounds": "sometimes",
        "showVoiceBar": false,
        "restoreClipboardDelayMs": [1, 2],
        "historyRetentionDays": 14,
        "cleanupIntensity": "high",
        "customInstructions": 42,
        "languageCode": ["ja"],
        "translateTargetLang": "German",
        "testerModeEnabled": true,
        "crashInstallID": "0F8FAD5B-D9CB-469F-A165-70867728950E"
    })";
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file);
    }
    UserDefaults defaults(path);
    const QStringList storedKeys = defaults.keys();
    TestAppSettings t;
    auto services = t.services();
    {
        AppSettings s(defaults, services);
        EXPECT_FALSE(s.launchAtLogin());
        EXPECT_EQ(s.holdKey(), DictationHoldKey::rightCommand);
        EXPECT_EQ(s.askKey(), DictationHoldKey::rightShift);
        EXPECT_TRUE(s.playSounds());
        EXPECT_FALSE(s.showVoiceBar());
        EXPECT_EQ(s.restoreClipboardDelayMs(), 800);
        EXPECT_EQ(s.historyRetentionDays(), 14);
        EXPECT_EQ(s.cleanupIntensity(), 2);
        EXPECT_EQ(s.customInstructions(), QString());
        EXPECT_EQ(s.languageCode(), std::nullopt);
        EXPECT_EQ(s.translateTargetLang(), QStringLiteral("German"));
        s.setPlaySounds(false);
    }

    defaults.flush();
    UserDefaults reread(path);
    EXPECT_EQ(reread.keys(), storedKeys);
    EXPECT_EQ(reread.boolValue(QStringLiteral("playSounds")), false);
    EXPECT_EQ(reread.boolValue(QStringLiteral("testerModeEnabled")), true);
    EXPECT_EQ(reread.string(QStringLiteral("crashInstallID")),
              QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    EXPECT_EQ(reread.dictionary(QStringLiteral("holdKey")),
              (QVariantMap {{QStringLiteral("nested"), true}}));
    EXPECT_EQ(reread.integer(QStringLiteral("customInstructions")), 42);
    EXPECT_EQ(reread.stringArray(QStringLiteral("languageCode")),
              QStringList {QStringLiteral("ja")});
    EXPECT_TRUE(t.loginItem.calls.isEmpty());
}

TEST(AppSettings, AnUnreadableDefaultsFileLoadsTheDefaults)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    for (const QByteArray &content :
         {QByteArray("{\"holdKey\": \"fn\", "), QByteArray("[1, 2]"), QByteArray("\x00\xff", 2)}) {
        SCOPED_TRACE(content.toStdString());
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content);
        out.close();
        UserDefaults defaults(path);
        TestAppSettings t;
        AppSettings s(defaults, t.services());
        EXPECT_EQ(s.holdKey(), DictationHoldKey::rightCommand);
        EXPECT_TRUE(s.launchAtLogin());
        EXPECT_EQ(s.cleanupMode(), CleanupMode::cloud);
    }
}

TEST(AppSettings, QmlFormsOfTheOptionalTexts)
{
    TestAppSettings t(true);
    EXPECT_TRUE(t->setProperty("languageCode", QStringLiteral("de")));
    EXPECT_EQ(t->languageCode(), QStringLiteral("de"));
    EXPECT_EQ(t->property("languageCode").toString(), QStringLiteral("de"));
    EXPECT_TRUE(t->setProperty("languageCode", QString()));
    EXPECT_EQ(t->languageCode(), std::nullopt);
    EXPECT_FALSE(t.defaults.contains(QStringLiteral("languageCode")));

    EXPECT_TRUE(t->setProperty("holdKey", QVariant::fromValue(DictationHoldKey::rightControl)));
    EXPECT_EQ(t->holdKey(), DictationHoldKey::rightControl);
    EXPECT_EQ(t->property("maxSessionSeconds").toDouble(), 540.0);
}

TEST(AppSettings, SharedInstanceCanBeReplacedByATest)
{
    TestAppSettings t(true);
    AppSettings::overrideSharedForTesting(t.settings.get());
    EXPECT_EQ(&AppSettings::shared(), t.settings.get());
    AppSettings::overrideSharedForTesting(nullptr);
}
