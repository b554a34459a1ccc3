#include "UI/Settings/DictationTabModel.h"
#include "Base/ManualClock.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Fakes/FakeAudioHardware.h"
#include "Fakes/TestAppSettings.h"
#include "Support/L10n.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QStringList labels(const QList<SettingsOption> &options)
{
    QStringList list;
    for (const SettingsOption &option : options) {
        list << option.label;
    }
    return list;
}

QStringList labels(const QVariantList &options)
{
    QStringList list;
    for (const QVariant &option : options) {
        list << option.toMap().value(QStringLiteral("label")).toString();
    }
    return list;
}

QStringList availableValues(const QList<SettingsOption> &options)
{
    QStringList list;
    for (const SettingsOption &option : options) {
        if (option.available) {
            list << option.value;
        }
    }
    return list;
}

struct EnglishInterface
{
    EnglishInterface() { L10n::shared().apply(QStringLiteral("en")); }
    ~EnglishInterface() { L10n::shared().apply(QStringLiteral("en")); }
};

} // namespace

TEST(DictationTabModel, OptionListsNameTheKeysAsALinuxKeyboardDoes)
{
    EnglishInterface english;
    const L10n &l10n = L10n::shared();
    // X11 never sees fn, so it is not offered.
    const auto keys = DictationTabModel::holdKeyOptions(l10n);
    EXPECT_EQ(labels(keys),
              QStringList({"Right Super", "Right Alt", "Right Ctrl", "Right Shift", "None"}));
    EXPECT_EQ(keys.at(0).value, QStringLiteral("rightCommand"));
    EXPECT_EQ(keys.at(4).value, QStringLiteral("none"));

    const auto locales = DictationTabModel::localeOptions(l10n, {{}, true, true});
    ASSERT_EQ(locales.size(), 9);
    EXPECT_EQ(locales.at(0), (SettingsOption {QString(), QStringLiteral("System")}));
    EXPECT_EQ(locales.at(4),
              (SettingsOption {QStringLiteral("zh-CN"), QStringLiteral("中文（简体）")}));
    EXPECT_EQ(locales.at(8), (SettingsOption {QStringLiteral("es-ES"), QStringLiteral("Español")}));

    const auto targets = DictationTabModel::targetLanguageOptions();
    ASSERT_EQ(targets.size(), 7);
    EXPECT_EQ(targets.at(2), (SettingsOption {QStringLiteral("Chinese"), QStringLiteral("中文")}));
    EXPECT_EQ(labels(DictationTabModel::delayOptions()),
              QStringList({"300 ms", "800 ms", "1500 ms", "3000 ms"}));
    EXPECT_EQ(labels(DictationTabModel::insertionOptions(l10n)),
              QStringList({"Paste (Ctrl+V)", "Keystrokes"}));

    // The language labels of the target list stay in their own languages; the keys follow.
    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_EQ(DictationTabModel::targetLanguageOptions().at(6).label, QStringLiteral("Deutsch"));
    EXPECT_NE(DictationTabModel::keyLabel(l10n, DictationHoldKey::none), QStringLiteral("None"));
}

TEST(DictationTabModel, MicrophoneOptionsKeepAStoredDeviceThatIsGoneAsTheLastEntry)
{
    EnglishInterface english;
    const QList<AudioInputDevice> devices = {{"usb-1", "USB Mic"}, {"builtin", "Built-in"}};
    struct Case
    {
        const char *name;
        QList<AudioInputDevice> devices;
        std::optional<QString> uid;
        std::optional<QString> storedName;
        QStringList labels;
    };
    const Case cases[] = {
        {"no devices, nothing stored", {}, std::nullopt, std::nullopt, {"System"}},
        {"no devices, a stored device",
         {},
         "usb-1",
         "USB Mic",
         {"System", "USB Mic (not connected)"}},
        {"the stored device is listed",
         devices,
         "builtin",
         "Built-in",
         {"System", "USB Mic", "Built-in"}},
        {"the stored device is gone",
         devices,
         "usb-2",
         "Headset",
         {"System", "USB Mic", "Built-in", "Headset (not connected)"}},
        {"gone, and no name was stored",
         devices,
         "usb-2",
         std::nullopt,
         {"System", "USB Mic", "Built-in", "usb-2 (not connected)"}},
        {"the identifier differs only in case",
         devices,
         "USB-1",
         "USB Mic",
         {"System", "USB Mic", "Built-in", "USB Mic (not connected)"}},
    };
    for (const Case &c : cases) {
        const auto options =
            DictationTabModel::microphoneOptions(L10n::shared(), c.devices, c.uid, c.storedName);
        EXPECT_EQ(labels(options), c.labels) << c.name;
        EXPECT_EQ(options.last().value, c.uid.value_or(options.last().value)) << c.name;
    }

    using Choice = std::pair<std::optional<QString>, std::optional<QString>>;
    EXPECT_EQ(DictationTabModel::microphoneChoice(devices, QString()),
              Choice(std::nullopt, std::nullopt));
    EXPECT_EQ(DictationTabModel::microphoneChoice(devices, "builtin"),
              Choice(QStringLiteral("builtin"), QStringLiteral("Built-in")));
    EXPECT_EQ(DictationTabModel::microphoneChoice(devices, "usb-2"),
              Choice(QStringLiteral("usb-2"), std::nullopt));
}

TEST(DictationTabModel, StoredValuesOffTheListsShowASaneEntryAndStayUntilThePick)
{
    EnglishInterface english;
    struct DelayCase
    {
        qint64 stored;
        int index;
    };
    for (const DelayCase &c :
         {DelayCase {-5, 0}, DelayCase {300, 0}, DelayCase {800, 1}, DelayCase {1000, 1},
          DelayCase {1200, 2}, DelayCase {3000, 3}, DelayCase {99999, 3}}) {
        EXPECT_EQ(DictationTabModel::delayIndexFor(c.stored), c.index) << c.stored;
    }

    TestAppSettings t;
    t.defaults.setValue(QStringLiteral("restoreClipboardDelayMs"), qint64(-5));
    t.defaults.setValue(QStringLiteral("holdKey"), QStringLiteral("leftPinky"));
    t.defaults.setValue(QStringLiteral("speechLocaleID"), QStringLiteral("xx-YY"));
    t.defaults.setValue(QStringLiteral("translateTargetLang"), QStringLiteral("Klingon"));
    t.defaults.setValue(QStringLiteral("microphoneUID"), QStringLiteral("usb-2"));
    t.defaults.setValue(QStringLiteral("microphoneName"), QStringLiteral("Headset"));
    t.make();
    FakeAudioHardware hardware;
    hardware.setDevices({{"usb-1", "USB Mic", 1}});
    ManualClock clock;
    MicrophoneDevices microphones(hardware, clock);
    DictationTabModel model(*t.settings, microphones, L10n::shared());

    EXPECT_EQ(model.delayIndex(), 0);
    EXPECT_EQ(model.holdKeyIndex(), 0);
    EXPECT_EQ(model.holdKeyLabel(), QStringLiteral("Right Super"));
    EXPECT_EQ(model.localeIndex(), -1);
    EXPECT_EQ(model.targetLanguageIndex(), -1);
    EXPECT_EQ(model.microphoneIndex(), 2);
    EXPECT_EQ(model.microphoneOptionList().at(2).toMap().value("label").toString(),
              QStringLiteral("Headset (not connected)"));
    // Showing them wrote nothing.
    EXPECT_EQ(t.defaults.integer(QStringLiteral("restoreClipboardDelayMs")), qint64(-5));
    EXPECT_EQ(t.defaults.string(QStringLiteral("holdKey")), QStringLiteral("leftPinky"));
    EXPECT_EQ(t.defaults.string(QStringLiteral("speechLocaleID")), QStringLiteral("xx-YY"));

    // Picking the "(not connected)" entry keeps the stored name; a position no entry has
    // changes nothing.
    model.chooseMicrophone(2);
    EXPECT_EQ(t.settings->microphoneName(), std::optional<QString>(QStringLiteral("Headset")));
    model.chooseDelay(9);
    model.chooseHoldKey(-1);
    model.chooseLocale(42);
    EXPECT_EQ(t.defaults.integer(QStringLiteral("restoreClipboardDelayMs")), qint64(-5));
    EXPECT_EQ(t.defaults.string(QStringLiteral("holdKey")), QStringLiteral("leftPinky"));

    // A device plugged in while the tab is open joins the list, and the stored one when it
    // comes back is no longer "not connected".
    QSignalSpy changed(&model, &DictationTabModel::microphonesChanged);
    hardware.setDevices({{"usb-1", "USB Mic", 1}, {"usb-2", "Headset", 2}});
    microphones.refresh();
    EXPECT_EQ(changed.count(), 1);
    const QVariantList options = model.microphoneOptionList();
    ASSERT_EQ(options.size(), 3);
    EXPECT_EQ(options.at(2).toMap().value("label").toString(), QStringLiteral("Headset"));
    EXPECT_EQ(model.microphoneIndex(), 2);
}

TEST(DictationTabModel, AKeyTheLayoutTypesWithIsMarkedAndItsTaskShowsNoKey)
{
    EnglishInterface english;
    TestAppSettings t;
    t.defaults.setValue(QStringLiteral("holdKey"), QStringLiteral("fn"));
    t.make();
    FakeAudioHardware hardware;
    ManualClock clock;
    MicrophoneDevices microphones(hardware, clock);
    HotkeyLayout layout;
    DictationTabModel::Sources sources;
    sources.layout = &layout;
    DictationTabModel model(*t.settings, microphones, L10n::shared(), sources);

    // A stored fn shows the key that really dictates; Right Alt asks on a US layout.
    EXPECT_EQ(model.holdKeyIndex(), 0);
    EXPECT_EQ(model.holdKeyLabel(), QStringLiteral("Right Super"));
    EXPECT_EQ(model.askKeyIndex(), 1);

    // A German layout: Right Alt is AltGr.
    QSignalSpy keys(&model, &DictationTabModel::keysChanged);
    QSignalSpy options(&model, &DictationTabModel::keyOptionsChanged);
    layout.setReservedKeys({DictationHoldKey::rightOption});
    EXPECT_EQ(keys.count(), 1);
    EXPECT_EQ(options.count(), 1);
    const QVariantList list = model.keyOptionList();
    EXPECT_EQ(labels(list),
              QStringList({"Right Super", "Right Alt (AltGr on this keyboard)", "Right Ctrl",
                           "Right Shift", "None"}));
    EXPECT_FALSE(list.at(1).toMap().value(QStringLiteral("available")).toBool());
    EXPECT_TRUE(list.at(0).toMap().value(QStringLiteral("available")).toBool());
    EXPECT_EQ(model.askKeyIndex(), 4) << "the ask key shows as not set";
    EXPECT_EQ(model.holdKeyIndex(), 0);

    // The marked key cannot be picked for any task; another key can.
    model.chooseHoldKey(1);
    model.chooseTranslateKey(1);
    EXPECT_EQ(t->holdKey(), DictationHoldKey::rightCommand);
    EXPECT_EQ(t->translateKey(), DictationHoldKey::none);
    EXPECT_EQ(t.defaults.string(QStringLiteral("holdKey")), QStringLiteral("fn"));
    EXPECT_FALSE(t.defaults.contains(QStringLiteral("askKey")));
    model.chooseAskKey(3);
    EXPECT_EQ(t->askKey(), DictationHoldKey::rightShift);
    EXPECT_EQ(model.askKeyIndex(), 3);

    // Dictation left on Right Alt from a US layout has no key here: no usage hints.
    t->setHoldKey(DictationHoldKey::rightOption);
    EXPECT_EQ(model.holdKeyIndex(), 4);
    EXPECT_FALSE(model.showUsageHints());
    layout.setReservedKeys({});
    EXPECT_EQ(model.holdKeyIndex(), 1);
    EXPECT_TRUE(model.showUsageHints());
    EXPECT_EQ(model.holdKeyLabel(), QStringLiteral("Right Alt"));
}

TEST(DictationTabModel, ALanguageIsOfferedOnlyWhereSomethingCanHearIt)
{
    EnglishInterface english;
    const QList<SpeechLocale> installed {SpeechLocale(QStringLiteral("en_US"))};
    const QStringList all {"",      "ja-JP", "en-US", "en-GB", "zh-CN",
                           "ko-KR", "de-DE", "fr-FR", "es-ES"};
    struct Case
    {
        const char *name;
        DictationTabModel::Recognition recognition;
        QStringList available;
        // The label of German, which only the cloud hears.
        const char *german;
    };
    const QList<Case> cases = {
        {"on-device only",
         {installed, false, false},
         {"", "en-US"},
         "Deutsch (no recognizer installed)"},
        {"signed in without cloud recognition",
         {installed, false, true},
         {"", "en-US"},
         "Deutsch (no recognizer installed)"},
        {"cloud recognition signed out",
         {installed, true, false},
         {"", "en-US"},
         "Deutsch (sign in for cloud recognition)"},
        {"cloud recognition signed in", {installed, true, true}, all, "Deutsch"},
        {"no recogniser at all, cloud signed in", {{}, true, true}, all, "Deutsch"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto options = DictationTabModel::localeOptions(L10n::shared(), c.recognition);
        EXPECT_EQ(availableValues(options), c.available);
        EXPECT_EQ(options.at(6).label, QString::fromUtf8(c.german));
    }

    // The tab follows the cloud switch, and an unavailable language cannot be picked.
    TestAppSettings t {true};
    FakeAudioHardware hardware;
    ManualClock clock;
    MicrophoneDevices microphones(hardware, clock);
    DictationTabModel::Sources sources;
    sources.installedLocales = [&] {
        return installed;
    };
    DictationTabModel model(*t.settings, microphones, L10n::shared(), sources);
    model.chooseLocale(6);
    EXPECT_FALSE(t.defaults.contains(QStringLiteral("speechLocaleID")));
    model.chooseLocale(2);
    EXPECT_EQ(t->speechLocaleID(), std::optional<QString>(QStringLiteral("en-US")));
    QSignalSpy changed(&model, &DictationTabModel::localeOptionsChanged);
    t->setCloudSTT(true);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(labels(model.localeOptionList()).at(6),
              QStringLiteral("Deutsch (sign in for cloud recognition)"));
}
