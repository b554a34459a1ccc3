#include "UI/Settings/DictationTabModel.h"
#include "Base/ManualClock.h"
#include "Core/Audio/MicrophoneDevices.h"
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
    const auto keys = DictationTabModel::holdKeyOptions(l10n);
    EXPECT_EQ(labels(keys),
              QStringList({"fn", "Right Super", "Right Alt", "Right Ctrl", "Right Shift", "None"}));
    EXPECT_EQ(keys.at(1).value, QStringLiteral("rightCommand"));
    EXPECT_EQ(keys.at(5).value, QStringLiteral("none"));

    const auto locales = DictationTabModel::localeOptions(l10n);
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
    EXPECT_EQ(model.holdKeyIndex(), 1);
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
