#include "Core/Hotkey/HotkeyManager.h"

#include "Base/ManualClock.h"
#include "Core/DebugLogCapture.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Permissions.h"
#include "Fakes/FakeKeyEventTap.h"
#include "Fakes/FakePermissionSystem.h"
#include "Fakes/TestAppSettings.h"
#include "TestSupport/QtPrinters.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

using Key = FakeKeyEventTap::Key;
using Modifier = KeyEventTap::Modifier;
using Modifiers = KeyEventTap::Modifiers;

namespace {

QCoro::Task<bool> answer(bool trusted)
{
    co_return trusted;
}

QString taskName(DictationTask task)
{
    switch (task) {
    case DictationTask::cleanup:
        return QStringLiteral("cleanup");
    case DictationTask::ask:
        return QStringLiteral("ask");
    case DictationTask::translate:
        return QStringLiteral("translate");
    }
    return {};
}

QStringList describe(const QList<HotkeyManager::Binding> &bindings)
{
    QStringList result;
    for (const HotkeyManager::Binding &binding : bindings) {
        result << RawEnum::rawValue(binding.key) + u' ' + taskName(binding.task);
    }
    return result;
}

// A manager on fakes, recording every report as "down <task>", "up <task>" or "escape".
class HotkeyManagerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        manager.onKeyDown = [this](DictationTask task) {
            reports << QStringLiteral("down ") + taskName(task);
        };
        manager.onKeyUp = [this](DictationTask task) {
            reports << QStringLiteral("up ") + taskName(task);
        };
        manager.onEscape = [this] {
            reports << QStringLiteral("escape");
        };
    }

    void setKeys(DictationHoldKey hold, DictationHoldKey ask, DictationHoldKey translate)
    {
        settings->setHoldKey(hold);
        settings->setAskKey(ask);
        settings->setTranslateKey(translate);
    }

    // Runs what the manager queued to the main loop.
    static void flush() { QCoreApplication::processEvents(); }

    TestAppSettings settings {true};
    FakeKeyEventTap tap;
    HotkeyLayout layout;
    bool trusted = true;
    HotkeyManager manager {
        {settings.settings.get(), &tap, [this] { return answer(trusted); }, &layout}};
    QStringList reports;
};

} // namespace

TEST(HotkeyBindings, SettingsResolveInPriorityOrderWithoutDuplicatesOrUnseenKeys)
{
    using K = DictationHoldKey;
    struct Case
    {
        K hold, ask, translate;
        QStringList expected;
    };
    const QList<Case> cases = {
        {K::rightCommand, K::rightOption, K::none, {"rightCommand cleanup", "rightOption ask"}},
        {K::rightShift,
         K::rightCommand,
         K::rightControl,
         {"rightShift cleanup", "rightCommand ask", "rightControl translate"}},
        // The dictation key wins over ask and translate, ask wins over translate.
        {K::rightOption,
         K::rightOption,
         K::rightShift,
         {"rightOption cleanup", "rightShift translate"}},
        {K::none, K::rightControl, K::rightControl, {"rightControl ask"}},
        {K::rightShift, K::none, K::rightShift, {"rightShift cleanup"}},
        {K::none, K::none, K::none, {}},
        // X11 never sees fn: it binds nothing, and takes no key from a later setting either.
        {K::fn, K::rightOption, K::fn, {"rightOption ask"}},
        {K::fn, K::fn, K::fn, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(describe(HotkeyManager::resolveBindings(c.hold, c.ask, c.translate))
                         .join(u", ")
                         .toStdString());
        EXPECT_EQ(describe(HotkeyManager::resolveBindings(c.hold, c.ask, c.translate)), c.expected);
    }
}

TEST_F(HotkeyManagerTest, EachBoundKeyIsReportedDownAndUpFromTheMainLoop)
{
    using K = DictationHoldKey;
    struct Case
    {
        K setting;
        Key key;
    };
    const QList<Case> cases = {
        {K::rightCommand, FakeKeyEventTap::superRight},
        {K::rightOption, FakeKeyEventTap::altRight},
        {K::rightControl, FakeKeyEventTap::controlRight},
        {K::rightShift, FakeKeyEventTap::shiftRight},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(RawEnum::rawValue(c.setting).toStdString() + " key "
                     + std::to_string(c.key.keycode));
        manager.tearDownTap();
        setKeys(K::none, c.setting, K::none);
        flush();
        reports.clear();
        manager.start();
        ASSERT_TRUE(manager.hasTap());

        tap.press(c.key);
        EXPECT_TRUE(reports.isEmpty()) << "reported from inside the listener";
        EXPECT_EQ(manager.heldTask(), DictationTask::ask);
        flush();
        EXPECT_EQ(reports, QStringList {"down ask"});
        tap.release(c.key);
        flush();
        EXPECT_EQ(reports, (QStringList {"down ask", "up ask"}));
        EXPECT_EQ(manager.heldTask(), std::nullopt);
    }
}

TEST_F(HotkeyManagerTest, LeftHandAndUnboundKeysAreIgnored)
{
    manager.start(); // right Command for dictation, right Option for ask
    for (const Key &key :
         {FakeKeyEventTap::superLeft, FakeKeyEventTap::altLeft, FakeKeyEventTap::controlLeft,
          FakeKeyEventTap::shiftLeft, FakeKeyEventTap::controlRight, FakeKeyEventTap::shiftRight}) {
        tap.press(key);
        tap.release(key);
    }
    flush();
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u", ").toStdString();
}

TEST_F(HotkeyManagerTest, TheFirstKeyDownOwnsTheSessionUntilItGoesUp)
{
    manager.start();
    tap.press(FakeKeyEventTap::superRight);
    tap.press(FakeKeyEventTap::altRight);
    tap.release(FakeKeyEventTap::altRight);
    tap.press(FakeKeyEventTap::altRight);
    tap.release(FakeKeyEventTap::superRight);
    // Still down, but it went down while another key owned the session.
    tap.release(FakeKeyEventTap::altRight);
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
}

TEST_F(HotkeyManagerTest, OneKeyForTwoSettingsAlwaysStartsADictation)
{
    setKeys(DictationHoldKey::rightOption, DictationHoldKey::rightOption, DictationHoldKey::none);
    manager.start();
    EXPECT_EQ(describe(manager.bindings()), QStringList {"rightOption cleanup"});
    tap.press(FakeKeyEventTap::altRight);
    tap.release(FakeKeyEventTap::altRight);
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
}

TEST_F(HotkeyManagerTest, NoBoundKeyMeansNoListenerAndNoEscape)
{
    setKeys(DictationHoldKey::none, DictationHoldKey::none, DictationHoldKey::none);
    manager.start();
    manager.setSessionState(DictationState::recording);
    manager.start();
    EXPECT_FALSE(manager.hasTap());
    EXPECT_EQ(tap.installs, 0);
    EXPECT_FALSE(tap.escapeTaken);
    EXPECT_TRUE(manager.bindings().isEmpty());
}

TEST_F(HotkeyManagerTest, ATaskSetToFnGetsItsDefaultKey)
{
    // An older version or another computer may have stored fn, which X11 never sees.
    setKeys(DictationHoldKey::fn, DictationHoldKey::fn, DictationHoldKey::fn);
    manager.start();
    EXPECT_EQ(describe(manager.bindings()),
              (QStringList {"rightCommand cleanup", "rightOption ask"}));
    tap.press(FakeKeyEventTap::superRight);
    tap.release(FakeKeyEventTap::superRight);
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
}

TEST_F(HotkeyManagerTest, AKeyTheLayoutTypesWithIsNeverBoundAndTheLayoutIsFollowed)
{
    QSignalSpy published(&layout, &HotkeyLayout::reservedKeysChanged);
    manager.start(); // right Command for dictation, right Option for ask
    EXPECT_TRUE(layout.reservedKeys().isEmpty());

    // A US layout: Right Alt is a plain Alt and asks.
    tap.press(FakeKeyEventTap::altRight);
    tap.release(FakeKeyEventTap::altRight);
    flush();
    EXPECT_EQ(reports, (QStringList {"down ask", "up ask"}));

    // Switched to German while running: Right Alt is AltGr, and "@" is AltGr+Q.
    reports.clear();
    tap.switchLayout(Modifier::option);
    EXPECT_EQ(layout.reservedKeys(), QSet<DictationHoldKey> {DictationHoldKey::rightOption});
    EXPECT_EQ(layout.bound(DictationHoldKey::rightOption), DictationHoldKey::none);
    for (const Key &key : {FakeKeyEventTap::altGr, FakeKeyEventTap::levelThree}) {
        tap.press(key);
        EXPECT_EQ(manager.heldTask(), std::nullopt);
        tap.release(key);
    }
    // The other keys keep working, also while AltGr is held for a character.
    tap.press(FakeKeyEventTap::altGr);
    tap.press(FakeKeyEventTap::superRight);
    tap.release(FakeKeyEventTap::superRight);
    tap.release(FakeKeyEventTap::altGr);
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));

    // Back to US: Right Alt asks again, and the settings were never touched.
    reports.clear();
    tap.switchLayout({});
    EXPECT_TRUE(layout.reservedKeys().isEmpty());
    tap.press(FakeKeyEventTap::altRight);
    tap.release(FakeKeyEventTap::altRight);
    flush();
    EXPECT_EQ(reports, (QStringList {"down ask", "up ask"}));
    EXPECT_FALSE(settings.defaults.contains(QStringLiteral("askKey")));
    EXPECT_EQ(published.count(), 2);
}

TEST_F(HotkeyManagerTest, EscapeIsTakenOnlyWhileASessionRunsOrTheOwnerWantsIt)
{
    manager.start();
    // Idle without escapeAlsoActive: Escape belongs to the focused application.
    EXPECT_FALSE(tap.escapeTaken);
    EXPECT_FALSE(tap.pressEscape());

    bool cardUp = false;
    manager.escapeAlsoActive = [&] {
        return cardUp;
    };
    manager.refreshEscape();
    EXPECT_FALSE(tap.escapeTaken);
    EXPECT_FALSE(tap.pressEscape());
    cardUp = true;
    manager.refreshEscape();
    EXPECT_TRUE(tap.pressEscape());
    flush();
    EXPECT_EQ(reports, QStringList {"escape"});
    cardUp = false;
    manager.refreshEscape();
    EXPECT_FALSE(tap.escapeTaken);

    for (const DictationState state : {DictationState::recording, DictationState::processing}) {
        reports.clear();
        manager.setSessionState(state);
        EXPECT_TRUE(tap.pressEscape());
        EXPECT_TRUE(reports.isEmpty()) << "reported from inside the listener";
        flush();
        EXPECT_EQ(reports, QStringList {"escape"});
    }
    manager.setSessionState(DictationState::idle);
    EXPECT_FALSE(tap.escapeTaken) << "Escape stayed taken after the session";
    EXPECT_FALSE(tap.pressEscape());
    EXPECT_EQ(tap.escapesPassedOn, 3);
}

TEST_F(HotkeyManagerTest, AnUnannouncedChangeOfTheOwnersWishIsSeenAtTheNextStart)
{
    bool cardUp = false;
    manager.escapeAlsoActive = [&] {
        return cardUp;
    };
    manager.start();
    cardUp = true;
    manager.start();
    EXPECT_TRUE(tap.escapeTaken);
    cardUp = false;
    manager.start();
    EXPECT_FALSE(tap.escapeTaken);
}

TEST_F(HotkeyManagerTest, EscapeWithAnotherModifierThanTheHeldHotkeysIsPassedOn)
{
    using K = DictationHoldKey;
    struct Case
    {
        K setting;
        std::optional<Key> held;
        Modifiers allowed;
    };
    const QList<Case> cases = {
        {K::rightCommand, std::nullopt, {}},
        {K::rightCommand, FakeKeyEventTap::superRight, Modifier::command},
        {K::rightOption, FakeKeyEventTap::altRight, Modifier::option},
        {K::rightControl, FakeKeyEventTap::controlRight, Modifier::control},
        {K::rightShift, FakeKeyEventTap::shiftRight, Modifier::shift},
    };
    const QList<Modifier> each = {Modifier::shift, Modifier::control, Modifier::option,
                                  Modifier::command};
    manager.setSessionState(DictationState::recording);
    for (const Case &c : cases) {
        SCOPED_TRACE(RawEnum::rawValue(c.setting).toStdString() + (c.held ? " held" : " not held"));
        manager.tearDownTap();
        setKeys(c.setting, K::none, K::none);
        flush();
        manager.start();
        if (c.held) {
            tap.press(*c.held);
        }
        EXPECT_TRUE(tap.escapeTaken);
        EXPECT_EQ(tap.escapeAllowed, c.allowed);
        EXPECT_TRUE(tap.pressEscape()) << "plain Escape";
        for (const Modifier modifier : each) {
            EXPECT_EQ(tap.pressEscape(modifier), c.allowed.testFlag(modifier))
                << "with modifier " << int(modifier);
        }
        if (c.held) {
            tap.release(*c.held);
            EXPECT_EQ(tap.escapeAllowed, Modifiers()) << "the released key's modifier still counts";
        }
        flush();
        reports.clear();
    }
}

// The listener takes Escape ahead of the press; should the state have moved on in between, the
// press it took is not reported.
TEST_F(HotkeyManagerTest, AnEscapeTakenByAStaleGrabIsNotReported)
{
    manager.start();
    manager.setSessionState(DictationState::recording);
    tap.press(FakeKeyEventTap::altRight);
    // A press with a blocking modifier, as if the grab had been made for other modifiers.
    Q_EMIT tap.escapePressed(Modifier::command);
    tap.release(FakeKeyEventTap::altRight);
    flush();
    reports.clear();

    manager.setSessionState(DictationState::idle);
    Q_EMIT tap.escapePressed({});
    flush();
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u", ").toStdString();
    EXPECT_FALSE(tap.escapeTaken);
}

TEST_F(HotkeyManagerTest, EscapeRefusedByTheDisplayIsLoggedOnce)
{
    DebugLogCapture log;
    tap.refuseEscape = true;
    manager.start();
    for (int i = 0; i < 3; ++i) {
        manager.setSessionState(DictationState::recording);
        manager.setSessionState(DictationState::idle);
    }
    EXPECT_EQ(log.messages().filter(QStringLiteral("Escape")),
              QStringList {"hotkey: another program holds Escape; it cannot be taken to cancel"});
}

TEST_F(HotkeyManagerTest, AChangedKeySettingReleasesTheHeldKeyAndRebuilds)
{
    manager.start();
    tap.press(FakeKeyEventTap::superRight);
    flush();
    settings->setTranslateKey(DictationHoldKey::rightShift);
    EXPECT_EQ(reports, QStringList {"down cleanup"}) << "rebuilt inside the settings change";
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
    EXPECT_EQ(tap.installs, 2);
    EXPECT_EQ(describe(manager.bindings()),
              (QStringList {"rightCommand cleanup", "rightOption ask", "rightShift translate"}));
    EXPECT_EQ(manager.heldTask(), std::nullopt);
    // The physical release after the rebuild ends nothing more.
    tap.release(FakeKeyEventTap::superRight);
    flush();
    EXPECT_EQ(reports.size(), 2);

    // Assigning the keys they already have rebuilds nothing.
    settings->setHoldKey(DictationHoldKey::rightCommand);
    settings->setTranslateKey(DictationHoldKey::rightShift);
    flush();
    EXPECT_EQ(tap.installs, 2);
}

TEST_F(HotkeyManagerTest, SettingAllKeysToNoneRemovesTheListener)
{
    manager.start();
    manager.setSessionState(DictationState::recording);
    ASSERT_TRUE(tap.escapeTaken);
    setKeys(DictationHoldKey::none, DictationHoldKey::none, DictationHoldKey::none);
    flush();
    EXPECT_FALSE(manager.hasTap());
    EXPECT_FALSE(tap.escapeTaken);
}

TEST_F(HotkeyManagerTest, TrustGrantedLaterInstallsAndARegrantRebuildsWithADirectRelease)
{
    trusted = false;
    manager.start();
    EXPECT_FALSE(manager.hasTap());
    trusted = true;
    manager.start();
    ASSERT_TRUE(manager.hasTap());
    EXPECT_EQ(tap.installs, 1);

    tap.press(FakeKeyEventTap::altRight);
    flush();
    // Revoked: the listener stays as it is.
    trusted = false;
    manager.start();
    EXPECT_EQ(tap.installs, 1);
    EXPECT_TRUE(manager.hasTap());
    // Granted again: rebuilt, and the release is reported before start() returns.
    trusted = true;
    manager.start();
    EXPECT_EQ(reports, (QStringList {"down ask", "up ask"}));
    EXPECT_EQ(tap.installs, 2);
    EXPECT_TRUE(manager.hasTap());

    // Trusted and working: repeated starts leave it alone.
    manager.start();
    manager.start();
    EXPECT_EQ(tap.installs, 2);
}

// The trust is asked of the session bus without waiting: start() returns at once, starts while
// the question is out add no read of their own, and the listener comes with the answer. A manager
// gone by then is left alone.
TEST(HotkeyManagerTrust, ALateAnswerInstallsTheListenerWhenItComes)
{
    TestAppSettings settings {true};
    FakeKeyEventTap tap;
    FakeKeyEventTap otherTap;
    FakePermissionSystem system;
    system.holdBusReads = true;
    ManualClock clock;
    Permissions::TestScope scope(system, clock);
    const auto readTrust = [] {
        return Permissions::readAccessibility();
    };
    HotkeyManager manager {{settings.settings.get(), &tap, readTrust}};
    auto gone = std::make_unique<HotkeyManager>(
        HotkeyManager::Services {settings.settings.get(), &otherTap, readTrust});

    manager.start();
    gone->start();
    for (int second = 0; second < 3; ++second) {
        clock.advance(Permissions::recheckInterval);
        manager.start();
    }
    EXPECT_FALSE(manager.hasTap());
    EXPECT_EQ(system.busReads, 0) << "a read that waits on the bus";
    EXPECT_EQ(system.busAsyncReads, 1) << "one read out at a time";

    gone.reset();
    system.busAnswers.open();
    EXPECT_TRUE(manager.hasTap());
    EXPECT_EQ(tap.installs, 1) << "the starts that waited together install once";
    EXPECT_EQ(otherTap.installs, 0);

    // Taken away later: the next answer says so, and the listener stays as it is.
    system.busEnabled = false;
    clock.advance(Permissions::recheckInterval);
    manager.start();
    EXPECT_TRUE(manager.hasTap());
    EXPECT_EQ(system.busAsyncReads, 2);
    EXPECT_EQ(system.busReads, 0);
}

TEST_F(HotkeyManagerTest, AListenerThatStoppedWorkingIsReplacedAtTheNextStart)
{
    manager.start();
    tap.press(FakeKeyEventTap::superRight);
    flush();
    tap.working = false; // the connection to the display broke; the release is lost
    manager.start();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
    EXPECT_EQ(tap.installs, 2);
    EXPECT_TRUE(tap.isWorking());
}

// A press still queued when a rebuild releases the key must reach the owner first: reported the
// other way round, the owner would start a session after its release and record on with no
// release to come.
TEST_F(HotkeyManagerTest, ARebuildNeverReportsTheReleaseAheadOfItsPress)
{
    manager.start();
    tap.press(FakeKeyEventTap::superRight);
    trusted = false;
    manager.start();
    trusted = true;
    manager.start(); // the rebuild, before the main loop delivered the press
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));
    flush();
    EXPECT_EQ(reports, (QStringList {"down cleanup", "up cleanup"}));

    // The same through a changed setting.
    reports.clear();
    tap.press(FakeKeyEventTap::altRight);
    settings->setAskKey(DictationHoldKey::rightControl);
    flush();
    EXPECT_EQ(reports, (QStringList {"down ask", "up ask"}));
}

TEST_F(HotkeyManagerTest, AFailedInstallIsRetriedByTheNextStart)
{
    tap.installSucceeds = false;
    manager.start();
    EXPECT_FALSE(manager.hasTap());
    EXPECT_TRUE(manager.bindings().isEmpty());
    tap.installSucceeds = true;
    manager.start();
    EXPECT_TRUE(manager.hasTap());
    EXPECT_EQ(tap.installs, 2);
}

TEST_F(HotkeyManagerTest, TearDownForgetsTheHeldKeyWithoutAReportAndGivesEscapeBack)
{
    manager.start();
    manager.setSessionState(DictationState::recording);
    tap.press(FakeKeyEventTap::superRight);
    flush();
    manager.cancelSubscription();
    manager.tearDownTap();
    EXPECT_FALSE(manager.hasTap());
    EXPECT_FALSE(tap.escapeTaken);
    EXPECT_EQ(manager.heldTask(), std::nullopt);
    EXPECT_TRUE(manager.bindings().isEmpty());
    // No subscription any more: a changed setting brings nothing back.
    settings->setHoldKey(DictationHoldKey::rightShift);
    flush();
    EXPECT_FALSE(manager.hasTap());
    EXPECT_EQ(reports, QStringList {"down cleanup"});
}

TEST_F(HotkeyManagerTest, CancellingTheSubscriptionDropsARebuildAlreadyQueued)
{
    manager.start();
    settings->setHoldKey(DictationHoldKey::rightShift);
    manager.cancelSubscription();
    flush();
    EXPECT_EQ(tap.installs, 1);
    EXPECT_EQ(describe(manager.bindings()),
              (QStringList {"rightCommand cleanup", "rightOption ask"}));
}

TEST_F(HotkeyManagerTest, MissingCallbacksAreSkipped)
{
    manager.onKeyDown = nullptr;
    manager.onKeyUp = nullptr;
    manager.onEscape = nullptr;
    manager.start();
    manager.setSessionState(DictationState::recording);
    tap.press(FakeKeyEventTap::superRight);
    EXPECT_TRUE(tap.pressEscape());
    tap.release(FakeKeyEventTap::superRight);
    tap.press(FakeKeyEventTap::superRight);
    flush();
    trusted = false;
    manager.start();
    trusted = true;
    manager.start();
    EXPECT_TRUE(reports.isEmpty());
}
