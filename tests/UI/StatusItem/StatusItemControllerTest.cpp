#include "UI/StatusItem/StatusItemController.h"

#include "Platform/MotionPreference.h"
#include "Support/L10n.h"
#include "UI/StatusItem/AlertBadge.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/StatusItem/StatusButtonLayer.h"
#include "UI/StatusItem/StatusMenuRig.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using IconState = MenuBarIcon::State;

namespace {

class StillMotion final : public MotionPreference
{
public:
    bool reduceMotion() override { return true; }
};

QStringList actionTexts(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *action : menu.actions()) {
        texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return texts;
}

QAction *actionNamed(const QMenu &menu, const QString &text)
{
    for (QAction *action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

bool hasBadge(StatusItemController &item)
{
    for (const StatusButtonLayer *layer : item.button().sublayers()) {
        if (layer->name() == AlertBadge::layerName) {
            return true;
        }
    }
    return false;
}

class StatusItemControllerTest : public testing::Test
{
protected:
    bool hasBadge() { return ::hasBadge(item); }

    IconState drawnState() { return item.lastDrawn().value().state; }

    // Pixels of the glyph drawn on the icon offered to the tray (22 pixels, black ink).
    QImage trayPicture() { return item.trayIcon().icon().pixmap(QSize(22, 22)).toImage(); }

    StatusMenuRig env;
    DictationController &controller = env.rig.c();
    StillMotion motion;
    StatusItemController item {env.services(), env.rig.clock, motion};
};

} // namespace

TEST(StatusItemIcon, StateFollowsPauseThenPermissionsThenRecording)
{
    using S = DictationState;
    struct Case
    {
        S state;
        bool paused;
        bool needsPermissions;
        IconState icon;
    };
    const Case cases[] = {
        {S::idle, false, false, IconState::normal},
        {S::processing, false, false, IconState::normal},
        {S::recording, false, false, IconState::recording},
        {S::recording, false, true, IconState::permissionWarning},
        {S::idle, false, true, IconState::permissionWarning},
        {S::idle, true, true, IconState::paused},
        {S::recording, true, false, IconState::paused},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(StatusItemController::iconState(c.state, c.paused, c.needsPermissions), c.icon)
            << int(c.state) << c.paused << c.needsPermissions;
    }
}

TEST_F(StatusItemControllerTest, IdleWithEveryPermissionIsThePlainIcon)
{
    ASSERT_TRUE(item.lastDrawn().has_value()) << "drawn at construction";
    EXPECT_EQ(drawnState(), IconState::normal);
    EXPECT_FALSE(item.lastDrawn()->needsPermissions);
    EXPECT_FALSE(hasBadge());
    EXPECT_EQ(item.button().toolTip(), QStringLiteral("Sonorvelle"));
    EXPECT_EQ(item.trayIcon().toolTip(), QStringLiteral("Sonorvelle"));
    EXPECT_TRUE(MenuBarIcon::isTemplate(item.button().image()));
    EXPECT_FALSE(item.trayIcon().icon().isNull());
}

TEST_F(StatusItemControllerTest, TheIconFollowsTheSessionAndThePause)
{
    controller.startRecording(DictationTrigger::menu);
    env.rig.settle();
    EXPECT_EQ(drawnState(), IconState::recording);
    const QImage recording = trayPicture();

    controller.setPaused(true);
    EXPECT_EQ(drawnState(), IconState::paused);
    const QImage paused = trayPicture();
    controller.setPaused(false);
    controller.cancel(true);
    EXPECT_EQ(drawnState(), IconState::normal);
    const QImage normal = trayPicture();

    EXPECT_NE(recording, normal);
    EXPECT_NE(paused, normal);
    EXPECT_NE(paused, recording);
}

TEST_F(StatusItemControllerTest, MissingPermissionShowsTheBadgeAlsoWhilePaused)
{
    env.setTrusted(false);
    item.refreshIcon();
    EXPECT_EQ(drawnState(), IconState::permissionWarning);
    EXPECT_TRUE(hasBadge());
    EXPECT_EQ(item.button().toolTip(), QStringLiteral("Sonorvelle — Permissions Required"));
    EXPECT_EQ(item.trayIcon().toolTip(), item.button().toolTip());

    controller.setPaused(true);
    EXPECT_EQ(drawnState(), IconState::paused);
    EXPECT_TRUE(hasBadge());

    // The badge is red in the picture offered to the tray, at (16, 6.1) of the 22-point button.
    const QImage picture = item.trayIcon().icon().pixmap(QSize(44, 44)).toImage();
    const QColor badge = picture.pixelColor(32, 12);
    EXPECT_GT(badge.red(), 200);
    EXPECT_LT(badge.green(), 100);

    env.setTrusted(true);
    item.refreshIcon();
    EXPECT_FALSE(hasBadge());
    EXPECT_EQ(item.button().toolTip(), QStringLiteral("Sonorvelle"));
}

TEST_F(StatusItemControllerTest, NothingIsRedrawnWhenNothingChanged)
{
    QSignalSpy displays(&item.button(), &StatusButton::needsDisplay);
    item.refreshIcon();
    item.refreshIcon();
    controller.setSessionTask(DictationTask::ask);
    EXPECT_EQ(displays.count(), 0);
}

TEST_F(StatusItemControllerTest, ALanguageChangeRelabelsTheTooltipAtOnce)
{
    env.setTrusted(false);
    item.refreshIcon();
    QSignalSpy displays(&item.button(), &StatusButton::needsDisplay);
    L10n::shared().apply(QStringLiteral("ja"));
    EXPECT_EQ(item.lastDrawn()->lang, AppLanguage(AppLanguage::ja));
    EXPECT_GT(displays.count(), 0) << "redrawn for the new language";
    EXPECT_EQ(item.trayIcon().toolTip(),
              QStringLiteral("Sonorvelle — ")
                  + L10n::lookup(QStringLiteral("menu.need_permissions"), AppLanguage::ja));
}

TEST_F(StatusItemControllerTest, AGrantedTrustShowsHalfASecondAfterItIsSeen)
{
    env.setTrusted(false);
    item.refreshIcon();
    ASSERT_TRUE(hasBadge());

    env.permissionSystem.busEnabled = true;
    // Seen at the next look, after the permission cache's own interval.
    env.rig.advance(StatusItemController::trustPollInterval);
    EXPECT_TRUE(hasBadge()) << "not at once";
    env.rig.advance(StatusItemController::accessibilityRedrawDelay - 1ms);
    EXPECT_TRUE(hasBadge());
    env.rig.advance(1ms);
    EXPECT_FALSE(hasBadge());
    EXPECT_EQ(drawnState(), IconState::normal);

    // And a loss of trust the same way.
    env.permissionSystem.busEnabled = false;
    env.rig.advance(StatusItemController::trustPollInterval
                    + StatusItemController::accessibilityRedrawDelay);
    EXPECT_TRUE(hasBadge());
}

// The trust is asked of the session bus without waiting. While an answer is out, the polls, the
// permission timer's refresh and the menu go on with the last answer known and ask nothing more
// of the bus; the answer shows when it comes, after the usual delay. The first answer a status
// item gets shows at once: the icon drawn before it could only guess.
TEST(StatusItemTrust, ABusThatAnswersLateHoldsNothingUp)
{
    StatusMenuRig env;
    env.permissionSystem.holdBusReads = true;
    env.permissionSystem.busEnabled = false;
    env.rig.advance(Permissions::recheckInterval);
    StillMotion motion;
    StatusItemController item(env.services(), env.rig.clock, motion);
    EXPECT_FALSE(hasBadge(item)) << "drawn with the last answer known";

    for (int second = 0; second < 3; ++second) {
        env.rig.advance(StatusItemController::trustPollInterval);
        item.refreshIcon();
    }
    Q_EMIT item.menu().aboutToShow();
    EXPECT_EQ(actionNamed(item.menu(), QStringLiteral("Set Up Permissions…")), nullptr);
    EXPECT_FALSE(hasBadge(item));
    EXPECT_EQ(env.permissionSystem.busReads, 0) << "a read that waits on the bus";
    EXPECT_EQ(env.permissionSystem.busAsyncReads, 2) << "the rig's own, then one out at a time";

    env.permissionSystem.busAnswers.open();
    EXPECT_TRUE(hasBadge(item)) << "the item's first answer shows at once";
    Q_EMIT item.menu().aboutToShow();
    EXPECT_NE(actionNamed(item.menu(), QStringLiteral("Set Up Permissions…")), nullptr);

    // Later answers are changes, shown after the delay.
    env.permissionSystem.busEnabled = true;
    env.rig.advance(StatusItemController::trustPollInterval);
    EXPECT_TRUE(hasBadge(item));
    env.rig.advance(StatusItemController::accessibilityRedrawDelay);
    EXPECT_FALSE(hasBadge(item));
    EXPECT_EQ(env.permissionSystem.busReads, 0);
}

TEST_F(StatusItemControllerTest, OpeningTheMenuRebuildsItAndRefreshesTheIcon)
{
    env.permissionSystem.busEnabled = false;
    env.rig.advance(Permissions::recheckInterval);
    Q_EMIT item.menu().aboutToShow();
    EXPECT_TRUE(hasBadge()) << "the icon is refreshed before the menu is built";
    EXPECT_EQ(actionTexts(item.menu()),
              QStringList({"Start / Stop Dictation (Right Super)", "Cancel", "---", "Pause",
                           "Microphone", "History", "---", "Settings…", "Getting Started Guide",
                           "Set Up Permissions…", "About Sonorvelle", "---", "Quit Sonorvelle"}));
    EXPECT_FALSE(actionNamed(item.menu(), QStringLiteral("Cancel"))->isEnabled());
    EXPECT_EQ(actionNamed(item.menu(), QStringLiteral("Quit Sonorvelle"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(actionNamed(item.menu(), QStringLiteral("Settings…"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+,")));

    QMenu *microphones = actionNamed(item.menu(), QStringLiteral("Microphone"))->menu();
    ASSERT_NE(microphones, nullptr);
    EXPECT_EQ(actionTexts(*microphones),
              QStringList({"System", "---", "USB Microphone", "Built-in Audio"}));
    EXPECT_TRUE(actionNamed(*microphones, QStringLiteral("System"))->isChecked());

    // The second opening starts from an empty menu again and leaves no old submenu behind.
    const QPointer<QMenu> oldSubmenu = microphones;
    env.addRecord(QStringLiteral("one dictation"));
    Q_EMIT item.menu().aboutToShow();
    EXPECT_EQ(actionTexts(item.menu()).size(), 13);
    EXPECT_TRUE(oldSubmenu.isNull());
    QMenu *history = actionNamed(item.menu(), QStringLiteral("History"))->menu();
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(actionTexts(*history), QStringList({"one dictation", "---", "Show All History…"}));
}

TEST_F(StatusItemControllerTest, MenuEntriesRunTheirActions)
{
    Q_EMIT item.menu().aboutToShow();
    QMenu *microphones = actionNamed(item.menu(), QStringLiteral("Microphone"))->menu();
    actionNamed(*microphones, QStringLiteral("USB Microphone"))->trigger();
    EXPECT_EQ(env.rig.appSettings().microphoneUID(), QStringLiteral("usb-1"));

    actionNamed(item.menu(), QStringLiteral("Pause"))->trigger();
    EXPECT_TRUE(controller.isPaused());
    EXPECT_EQ(drawnState(), IconState::paused);

    int guides = 0;
    item.setOnShowOnboarding([&guides] { ++guides; });
    actionNamed(item.menu(), QStringLiteral("Getting Started Guide"))->trigger();
    EXPECT_EQ(guides, 1);

    actionNamed(item.menu(), QStringLiteral("Quit Sonorvelle"))->trigger();
    EXPECT_EQ(env.calls, QStringList({"quit"}));
}

namespace {

class MovingMotion final : public MotionPreference
{
public:
    bool reduceMotion() override { return reduce; }
    bool reduce = false;
};

// How many new icons the tray is sent over `duration`, looked at every 10 ms.
int iconsSent(StatusMenuRig &env, StatusItemController &item, std::chrono::milliseconds duration)
{
    int sent = 0;
    qint64 key = item.trayIcon().icon().cacheKey();
    for (auto elapsed = 0ms; elapsed < duration; elapsed += 10ms) {
        env.rig.clock.advance(10ms);
        const qint64 now = item.trayIcon().icon().cacheKey();
        if (now != key) {
            ++sent;
            key = now;
        }
    }
    return sent;
}

} // namespace

// While a permission is missing the badge beats for as long as the process runs: the tray gets a
// few icons a second at most, none while the beat rests, and none at all for a still badge.
TEST(StatusItemTray, TheBeatingBadgeSendsAFewIconsASecondAtMost)
{
    StatusMenuRig env;
    env.setTrusted(false);
    MovingMotion motion;
    StatusItemController item(env.services(), env.rig.clock, motion);
    ASSERT_TRUE(item.button().isAnimating());
    const int sent = iconsSent(env, item, 16000ms);
    EXPECT_LE(sent, 16 * 5);
    EXPECT_GE(sent, 10 * 3) << "each of the ten beats still shows";
}

TEST(StatusItemTray, AStillBadgeSendsNoIconAfterTheFirst)
{
    StatusMenuRig env;
    env.setTrusted(false);
    MovingMotion motion;
    motion.reduce = true;
    StatusItemController item(env.services(), env.rig.clock, motion);
    EXPECT_EQ(iconsSent(env, item, 16000ms), 0);
    item.refreshIcon();
    EXPECT_EQ(iconsSent(env, item, 10ms), 0);
}

// Every state of the menu reads in both appearances: the Pause entry's check box, ticked or not,
// stands out from the menu behind it. With SONORVELLE_SCREEN_DIR set the menu is kept as
// "tray-menu-<language>-<light or dark>-<paused or running>.png".
TEST_F(StatusItemControllerTest, ThePauseCheckBoxReadsInLightAndDark)
{
    const QPalette original = QGuiApplication::palette();
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    const QString pauseKey = QStringLiteral("menu.pause");
    for (const bool dark : {false, true}) {
        // A whole desktop palette, every role worked out from the window colour, as a desktop
        // theme hands it over.
        QGuiApplication::setPalette(dark ? QPalette(QColor(45, 45, 45)) : original);
        for (const char *code : {"en", "de"}) {
            L10n::shared().apply(QString::fromLatin1(code));
            for (const bool paused : {false, true}) {
                SCOPED_TRACE(std::string(code) + (dark ? " dark" : " light")
                             + (paused ? " paused" : " running"));
                controller.setPaused(paused);
                QMenu &menu = item.menu();
                menu.setPalette(QGuiApplication::palette());
                item.menuNeedsUpdate();
                menu.adjustSize();
                QAction *pause = actionNamed(menu, L10n::shared().string(pauseKey));
                ASSERT_NE(pause, nullptr);
                EXPECT_EQ(pause->isChecked(), paused);
                const QImage shot = menu.grab().toImage();
                if (!dir.isEmpty()) {
                    QDir().mkpath(dir);
                    shot.save(
                        QStringLiteral("%1/tray-menu-%2-%3-%4.png")
                            .arg(dir, QString::fromLatin1(code),
                                 dark ? QStringLiteral("dark") : QStringLiteral("light"),
                                 paused ? QStringLiteral("paused") : QStringLiteral("running")));
                }
                // The check box sits in the row's leading part; the row's far end is plain
                // menu.
                const QRect row = menu.actionGeometry(pause);
                const QColor plain = shot.pixelColor(row.right() - 2, row.center().y());
                int marked = 0;
                for (int y = row.top(); y <= row.bottom(); ++y) {
                    for (int x = row.left(); x < row.left() + row.height() + 4; ++x) {
                        const QColor c = shot.pixelColor(x, y);
                        marked += std::abs(c.lightness() - plain.lightness()) > 90;
                    }
                }
                EXPECT_GT(marked, 12) << "the check box does not stand out from the menu";
            }
        }
    }
    controller.setPaused(false);
    L10n::shared().apply(QStringLiteral("en"));
    QGuiApplication::setPalette(original);
}
