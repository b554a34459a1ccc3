#include "UI/StatusItem/StatusMenuModel.h"

#include "Fakes/TestGate.h"
#include "UI/StatusItem/StatusMenuRig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Action = StatusMenuItem::Action;

namespace {

QStringList titles(const QList<StatusMenuItem> &items)
{
    QStringList result;
    for (const StatusMenuItem &item : items) {
        result << (item.isSeparator ? QStringLiteral("---") : item.title);
    }
    return result;
}

const StatusMenuItem *find(const QList<StatusMenuItem> &items, Action action)
{
    for (const StatusMenuItem &item : items) {
        if (item.action == action) {
            return &item;
        }
    }
    return nullptr;
}

class StatusMenuModelTest : public testing::Test
{
protected:
    StatusMenuRig env;
    DictationController &controller = env.rig.c();
    AppSettings &settings = env.rig.appSettings();
    StatusMenuModel model {env.services()};
};

} // namespace

TEST_F(StatusMenuModelTest, IdleMenuWithEveryPermissionGranted)
{
    ASSERT_FALSE(StatusMenuModel::needsPermissions());
    const QList<StatusMenuItem> items = model.items();
    EXPECT_EQ(titles(items),
              QStringList({
                  "Start / Stop Dictation (Right Super)",
                  "Cancel",
                  "---",
                  "Pause",
                  "Microphone",
                  "History",
                  "---",
                  "Settings…",
                  "Getting Started Guide",
                  "About Sonorvelle",
                  "---",
                  "Quit Sonorvelle",
              }));
    EXPECT_TRUE(find(items, Action::toggleDictation)->enabled);
    EXPECT_FALSE(find(items, Action::cancelDictation)->enabled);
    const StatusMenuItem *pause = find(items, Action::togglePause);
    EXPECT_TRUE(pause->checkable);
    EXPECT_FALSE(pause->checked);
    EXPECT_EQ(find(items, Action::showSettings)->keyEquivalent, QStringLiteral(","));
    EXPECT_EQ(find(items, Action::quit)->keyEquivalent, QStringLiteral("q"));
    for (const StatusMenuItem &item : items) {
        if (!item.isSeparator) {
            EXPECT_TRUE(item.enabled || item.action == Action::cancelDictation)
                << item.title.toStdString();
        }
    }
}

TEST_F(StatusMenuModelTest, PermissionAndUpdateEntriesAppearOnlyWhenTheyApply)
{
    env.setTrusted(false);
    ASSERT_TRUE(StatusMenuModel::needsPermissions());
    auto services = env.services();
    int checks = 0;
    services.checkForUpdates = [&checks] {
        ++checks;
    };
    StatusMenuModel withUpdater(services);

    const QStringList lower = titles(withUpdater.items()).mid(7);
    EXPECT_EQ(lower,
              QStringList({"Settings…", "Getting Started Guide", "Set Up Permissions…",
                           "Check for Updates…", "About Sonorvelle", "---", "Quit Sonorvelle"}));

    withUpdater.perform(Action::checkForUpdates);
    EXPECT_EQ(checks, 1);
    withUpdater.perform(Action::openPermissions);
    // Always the Accessibility pane.
    EXPECT_EQ(
        env.permissionSystem.openedPanes,
        QList<PermissionSystem::SettingsPane>({PermissionSystem::SettingsPane::accessibility}));
}

TEST_F(StatusMenuModelTest, TheToggleAndCancelFollowTheSession)
{
    env.rig.cleanup.gate = std::make_shared<TestGate>();

    model.perform(Action::toggleDictation);
    env.rig.settle();
    ASSERT_EQ(controller.state(), DictationState::recording);
    EXPECT_EQ(controller.sessionTrigger(), DictationTrigger::menu);
    auto items = model.items();
    EXPECT_TRUE(find(items, Action::toggleDictation)->enabled);
    EXPECT_TRUE(find(items, Action::cancelDictation)->enabled);

    env.rig.say(EngineUpdate::makeFinalized(QStringLiteral("hello there")));
    env.rig.advance(1s);
    model.perform(Action::toggleDictation);
    ASSERT_EQ(controller.state(), DictationState::processing);
    items = model.items();
    EXPECT_FALSE(find(items, Action::toggleDictation)->enabled);
    EXPECT_TRUE(find(items, Action::cancelDictation)->enabled);
    // Toggling while processing does nothing.
    model.perform(Action::toggleDictation);
    EXPECT_EQ(controller.state(), DictationState::processing);

    model.perform(Action::cancelDictation);
    EXPECT_EQ(controller.state(), DictationState::idle);
    EXPECT_EQ(env.rig.sounds.played.last(), QStringLiteral("Bottle")) << "not a silent cancel";
    env.rig.cleanup.gate->open();
    env.rig.pump();
    EXPECT_TRUE(env.rig.insertion.calls.filter("paste").isEmpty());
}

TEST_F(StatusMenuModelTest, TheMenuStartsAPlainDictationWhateverTheLastTask)
{
    controller.setSessionTask(DictationTask::ask);
    model.perform(Action::toggleDictation);
    env.rig.settle();
    EXPECT_EQ(controller.state(), DictationState::recording);
    EXPECT_EQ(controller.sessionTask(), DictationTask::cleanup);
    controller.cancel(true);
}

TEST_F(StatusMenuModelTest, PauseIsCheckedAndToggled)
{
    model.perform(Action::togglePause);
    EXPECT_TRUE(controller.isPaused());
    EXPECT_TRUE(find(model.items(), Action::togglePause)->checked);
    model.perform(Action::togglePause);
    EXPECT_FALSE(controller.isPaused());
}

TEST_F(StatusMenuModelTest, HoldKeyHintNamesTheDictationKey)
{
    struct Case
    {
        DictationHoldKey key;
        const char *title;
    };
    const Case cases[] = {
        // X11 never sees fn: the menu names the key that really starts a dictation.
        {DictationHoldKey::fn, "Start / Stop Dictation (Right Super)"},
        {DictationHoldKey::rightCommand, "Start / Stop Dictation (Right Super)"},
        {DictationHoldKey::rightOption, "Start / Stop Dictation (Right Alt)"},
        {DictationHoldKey::rightControl, "Start / Stop Dictation (Right Ctrl)"},
        {DictationHoldKey::rightShift, "Start / Stop Dictation (Right Shift)"},
        {DictationHoldKey::none, "Start / Stop Dictation"},
    };
    for (const Case &c : cases) {
        settings.setHoldKey(c.key);
        EXPECT_EQ(model.items().first().title, QString::fromUtf8(c.title));
    }

    // Where Right Alt is AltGr it starts nothing, and the menu names no key.
    settings.setHoldKey(DictationHoldKey::rightOption);
    env.layout.setReservedKeys({DictationHoldKey::rightOption});
    EXPECT_EQ(model.items().first().title, QStringLiteral("Start / Stop Dictation"));
}

TEST_F(StatusMenuModelTest, MicrophoneSubmenuChecksTheStoredDevice)
{
    StatusMenuItem mic = model.microphoneItem();
    EXPECT_EQ(mic.title, QStringLiteral("Microphone"));
    EXPECT_EQ(mic.action, Action::none);
    EXPECT_EQ(titles(mic.submenu),
              QStringList({"System", "---", "USB Microphone", "Built-in Audio"}));
    EXPECT_TRUE(mic.submenu[0].checked) << "no stored device: the system default";
    EXPECT_FALSE(mic.submenu[2].checked);

    model.perform(Action::selectMicrophone, mic.submenu[3].representedObject);
    EXPECT_EQ(settings.microphoneUID(), QStringLiteral("builtin"));
    EXPECT_EQ(settings.microphoneName(), QStringLiteral("Built-in Audio"));
    mic = model.microphoneItem();
    EXPECT_FALSE(mic.submenu[0].checked);
    EXPECT_FALSE(mic.submenu[2].checked);
    EXPECT_TRUE(mic.submenu[3].checked);

    // "System" carries nothing, and anything unexpected also means the system default.
    for (const QVariant &object :
         {mic.submenu[0].representedObject, QVariant(QStringLiteral("usb-1"))}) {
        settings.setMicrophone(QStringLiteral("builtin"), QStringLiteral("Built-in Audio"));
        model.perform(Action::selectMicrophone, object);
        EXPECT_EQ(settings.microphoneUID(), std::nullopt);
        EXPECT_EQ(settings.microphoneName(), std::nullopt);
    }
}

TEST_F(StatusMenuModelTest, MicrophoneSubmenuRelistsAndShowsAStoredDeviceThatIsGone)
{
    settings.setMicrophone(QStringLiteral("headset"), QStringLiteral("Headset"));
    StatusMenuItem mic = model.microphoneItem();
    EXPECT_EQ(titles(mic.submenu),
              QStringList({"System", "---", "USB Microphone", "Built-in Audio",
                           "Headset (not connected)"}));
    const StatusMenuItem &gone = mic.submenu.last();
    EXPECT_FALSE(gone.enabled);
    EXPECT_TRUE(gone.checked);
    EXPECT_FALSE(mic.submenu[0].checked);

    // The list is read again when the menu opens, without waiting for the poll.
    env.hardware.setDevices({{QStringLiteral("headset"), QStringLiteral("Headset"), 1}});
    mic = model.microphoneItem();
    EXPECT_EQ(titles(mic.submenu), QStringList({"System", "---", "Headset"}));
    EXPECT_TRUE(mic.submenu[2].checked);

    // No devices, a stored uid without a name: "System" and the uid, with no separator.
    env.hardware.setDevices({});
    settings.setMicrophone(std::nullopt, std::nullopt);
    settings.setMicrophone(QStringLiteral("usb-9"), std::nullopt);
    mic = model.microphoneItem();
    EXPECT_EQ(titles(mic.submenu), QStringList({"System", "usb-9 (not connected)"}));
    EXPECT_FALSE(mic.submenu[0].checked);
    EXPECT_TRUE(mic.submenu[1].checked);
    EXPECT_FALSE(mic.submenu[1].enabled);
}

TEST_F(StatusMenuModelTest, HistoryTitlesAreOneTrimmedLineOfAtMostFortyCharacters)
{
    const QString forty(40, QLatin1Char('a'));
    struct Case
    {
        QString text;
        QString title;
    };
    const QList<Case> cases = {
        {forty, forty},
        {forty + QStringLiteral("b"), forty + QStringLiteral("…")},
        {QStringLiteral("\t  first line\nsecond line \t"),
         QStringLiteral("first line second line")},
        {QStringLiteral("\nline\n"), QStringLiteral("line")},
        // Characters are what the user sees: an emoji family or an accented letter counts once.
        {QString(39, QLatin1Char('x')) + QStringLiteral("👨‍👩‍👧e\u0301"),
         QString(39, QLatin1Char('x')) + QStringLiteral("👨‍👩‍👧…")},
        // Only blanks and tabs are trimmed; a no-break space is text.
        {QStringLiteral("\u00a0kept\u00a0"), QStringLiteral("\u00a0kept\u00a0")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(StatusMenuModel::historyTitle(c.text), c.title) << c.text.toStdString();
    }
}

TEST_F(StatusMenuModelTest, HistorySubmenuListsTheFiveNewestAndCopiesTheWholeText)
{
    StatusMenuItem history = model.historyItem();
    EXPECT_EQ(titles(history.submenu), QStringList({"No History Yet", "---", "Show All History…"}));
    EXPECT_FALSE(history.submenu[0].enabled);

    for (int i = 1; i <= 7; ++i) {
        env.addRecord(QStringLiteral("dictation %1").arg(i));
    }
    const QString multiLine =
        QStringLiteral("  Dear team,\nthe meeting moved to Friday at ten o'clock sharp.\n");
    env.addRecord(multiLine);
    history = model.historyItem();
    EXPECT_EQ(
        titles(history.submenu),
        QStringList({"Dear team, the meeting moved to Friday a…", "dictation 7", "dictation 6",
                     "dictation 5", "dictation 4", "---", "Show All History…"}));

    model.perform(history.submenu[0].action, history.submenu[0].representedObject);
    ASSERT_EQ(env.pasteboard.writes.size(), 1);
    EXPECT_EQ(env.pasteboard.writes[0],
              Pasteboard::Snapshot({{{Pasteboard::plainTextType, multiLine.toUtf8()}}}));

    // Anything but a text copies nothing.
    model.perform(Action::copyHistoryItem, QVariant(42));
    model.perform(Action::copyHistoryItem, QVariant());
    EXPECT_EQ(env.pasteboard.writes.size(), 1);
}

TEST_F(StatusMenuModelTest, AFailedCopyLeavesTheClipboardAsItWas)
{
    const Pasteboard::Snapshot before = {{{Pasteboard::plainTextType, QByteArray("kept")}}};
    env.pasteboard.content = before;
    env.pasteboard.failingWrites = 1;
    model.perform(Action::copyHistoryItem, QStringLiteral("new text"));
    EXPECT_EQ(env.pasteboard.content, before);
    EXPECT_FALSE(env.pasteboard.calls.contains(QStringLiteral("clear")));
}

TEST_F(StatusMenuModelTest, WindowEntriesOpenTheirTargets)
{
    int guides = 0;
    model.perform(Action::showGuide); // no hook yet: nothing
    model.setOnShowOnboarding([&guides] { ++guides; });
    model.perform(Action::showGuide);
    model.perform(Action::showHistory);
    model.perform(Action::showSettings);
    model.perform(Action::showAbout);
    model.perform(Action::quit);
    EXPECT_EQ(guides, 1);
    EXPECT_EQ(env.settingsWindow.shown, QStringList({"history", "-"}));
    EXPECT_EQ(env.calls, QStringList({"about", "quit"}));
}

TEST_F(StatusMenuModelTest, WithoutASettingsWindowItsEntriesAreDisabled)
{
    auto services = env.services();
    services.settingsWindow = nullptr;
    StatusMenuModel bare(services);
    const auto items = bare.items();
    EXPECT_FALSE(find(items, Action::showSettings)->enabled);
    EXPECT_FALSE(bare.historyItem().submenu.last().enabled);
    bare.perform(Action::showSettings);
    bare.perform(Action::showHistory);
    EXPECT_TRUE(env.settingsWindow.shown.isEmpty());
}

TEST_F(StatusMenuModelTest, TitlesFollowTheInterfaceLanguage)
{
    L10n::shared().apply(QStringLiteral("de"));
    const auto items = model.items();
    EXPECT_EQ(items.last().title, L10n::lookup(QStringLiteral("menu.quit"), AppLanguage::de));
    EXPECT_NE(items.last().title, QStringLiteral("Quit Sonorvelle"));
    EXPECT_TRUE(items.first().title.startsWith(
        L10n::lookup(QStringLiteral("menu.toggle_dictation"), AppLanguage::de)));
    EXPECT_TRUE(items.first().title.endsWith(
        L10n::lookup(QStringLiteral("hotkey.right_command"), AppLanguage::de)
        + QStringLiteral(")")));
}
