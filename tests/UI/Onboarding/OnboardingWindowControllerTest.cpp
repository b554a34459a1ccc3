#include "UI/Onboarding/OnboardingWindowController.h"

#include "Base/ManualClock.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/ImproveConfig.h"
#include "Core/Permissions.h"
#include "Fakes/FakePermissionSystem.h"
#include "Fakes/TestAppSettings.h"
#include "Support/AppLanguage.h"
#include "Support/L10n.h"
#include "UI/Onboarding/FirstRunContent.h"
#include "UI/Onboarding/OKTheme.h"
#include "UI/Onboarding/OnboardingFlow.h"
#include "UI/Onboarding/OnboardingKitController.h"

#include "TestSupport/ConnectWarnings.h"
#include "TestSupport/QuickItems.h"

#include "TestSupport/Appearance.h"

#include <QAccessible>
#include <QDir>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

using namespace std::chrono_literals;

namespace {

// Every visible item that a keyboard or a screen reader must reach.
void collectControls(QQuickItem *root, QList<QQuickItem *> &out)
{
    if (!root || !root->isVisible()) {
        return;
    }
    if (root->activeFocusOnTab()) {
        out << root;
    }
    for (QQuickItem *child : root->childItems()) {
        collectControls(child, out);
    }
}

// The first-run onboarding over a test's own settings and a fake desktop session on a manual
// clock. The session starts with everything granted but Accessibility.
struct OnboardingRig
{
    TestAppSettings store {true};
    ManualClock clock;
    // The keys the keyboard layout keeps for typing: none, as on a US layout.
    HotkeyLayout layout;
    FakePermissionSystem system;
    std::optional<Permissions::TestScope> scope;
    AppleIntelligence::Status modelStatus = AppleIntelligence::Status::notSupported;
    int finished = 0;
    ConnectWarnings connectWarnings;
    std::unique_ptr<OnboardingWindowController> controller;

    OnboardingRig()
    {
        L10n::shared().apply(QStringLiteral("en"));
        system.busEnabled = false;
        scope.emplace(system, clock);
        OnboardingWindowController::Services services;
        services.settings = store.settings.get();
        services.defaults = &store.defaults;
        services.clock = &clock;
        services.layout = &layout;
        services.modelStatus = [this] {
            return modelStatus;
        };
        controller = std::make_unique<OnboardingWindowController>(services);
        controller->onFinished = [this] {
            ++finished;
        };
    }

    ~OnboardingRig()
    {
        controller.reset();
        settle();
        L10n::shared().apply(QStringLiteral("en"));
    }

    QQuickView *window() const { return controller->kit() ? controller->kit()->window() : nullptr; }

    QQuickView &open(bool startAtPermissions = false)
    {
        controller->show(startAtPermissions);
        QQuickView *view = window();
        EXPECT_NE(view, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        settle();
        return *view;
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(5);
        QCoreApplication::processEvents();
    }

    // A tick of the pages and of the permission layer's cache.
    void tick()
    {
        clock.advance(1s);
        settle();
    }

    int page() const
    {
        return controller->kit() && controller->kit()->flow() ? controller->kit()->flow()->index()
                                                              : -1;
    }

    QQuickItem *item(const char *name) const
    {
        QQuickView *view = window();
        return view ? findVisible(view->contentItem(), QString::fromLatin1(name)) : nullptr;
    }

    QString text(const char *name) const
    {
        QQuickItem *found = item(name);
        return found ? found->property("text").toString()
                     : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }

    // A real click at the centre of the item, through the window's hit-testing.
    void click(QQuickItem *target)
    {
        ASSERT_NE(target, nullptr);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(target->window(), Qt::LeftButton, {}, centre.toPoint());
        settle();
    }

    void click(const char *name) { click(item(name)); }

    std::unique_ptr<AppSettings> reread()
    {
        return std::make_unique<AppSettings>(store.defaults, store.services());
    }

    // The window's QML warnings and every connection that failed.
    QStringList warnings() const
    {
        return (controller->kit() ? controller->kit()->qmlWarnings() : lastWarnings)
            + connectWarnings.messages();
    }

    QStringList lastWarnings;
};

} // namespace

TEST(FirstRunContent, TheKeycapNamesTheHoldKeyAsLinuxKeyboardsDo)
{
    L10n::shared().apply(QStringLiteral("en"));
    struct Case
    {
        DictationHoldKey key;
        const char *label;
    };
    const Case cases[] = {
        {DictationHoldKey::fn, "fn"},
        {DictationHoldKey::rightCommand, "Right Super"},
        {DictationHoldKey::rightOption, "Right Alt"},
        {DictationHoldKey::rightControl, "Right Ctrl"},
        {DictationHoldKey::rightShift, "Right Shift"},
        {DictationHoldKey::none, "None"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FirstRunContent::hotkeyLabel(c.key), QString::fromUtf8(c.label))
            << RawEnum::rawValue(c.key).toStdString();
    }
    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_NE(FirstRunContent::hotkeyLabel(DictationHoldKey::rightOption),
              QStringLiteral("Right Alt"));
    L10n::shared().apply(QStringLiteral("en"));

    for (const auto &[caption, padding] :
         {std::pair {"esc", 8}, {"⌥", 0}, {"e\u0301", 0}, {"🇩🇪", 0}, {"fn", 8}, {"", 0}}) {
        EXPECT_EQ(OKTheme::captionPadding(QString::fromUtf8(caption)), padding) << caption;
    }
}

// The permission rule asks the microphone, then Accessibility, then the recogniser, and stops at
// the first that is missing; the on-device model never counts.
TEST(FirstRunContent, ThePermissionRuleNeedsAccessibilityAndARecogniser)
{
    ManualClock clock;
    FakePermissionSystem system;
    Permissions::TestScope scope(system, clock);
    struct Case
    {
        const char *name;
        PermissionSystem::DisplayServer display;
        bool bus;
        bool model;
        bool granted;
        int modelChecks;
    };
    const Case cases[] = {
        {"all there", PermissionSystem::DisplayServer::x11, true, true, true, 1},
        {"accessibility bus off", PermissionSystem::DisplayServer::x11, false, true, false, 0},
        {"no recogniser", PermissionSystem::DisplayServer::x11, true, false, false, 1},
        {"wayland", PermissionSystem::DisplayServer::wayland, true, true, false, 0},
    };
    for (const Case &c : cases) {
        FakePermissionSystem session;
        session.display = c.display;
        session.busEnabled = c.bus;
        session.modelInstalled = c.model;
        Permissions::TestScope inner(session, clock);
        EXPECT_EQ(FirstRunContent::permissionsGranted(), c.granted) << c.name;
        EXPECT_EQ(session.modelChecks, c.modelChecks) << c.name;
    }
}

// The whole first run by real clicks: welcome; permissions, waiting for Accessibility until the
// grant is given and then moving on by itself; the tutorial with the hold key; consent, whose
// switches store at once; then the end, which marks onboarding done once.
TEST(OnboardingWindow, ClickingThroughTheFourPagesCompletesOnboardingOnce)
{
    OnboardingRig rig;
    ASSERT_FALSE(rig.store->onboardingCompleted());
    rig.open();
    EXPECT_EQ(rig.page(), 0);
    EXPECT_EQ(rig.text("welcomeTitle"), QStringLiteral("Just speak — type anywhere."));
    EXPECT_EQ(rig.item("backButton"), nullptr);
    rig.click("primaryButton");

    ASSERT_EQ(rig.page(), 1);
    EXPECT_NE(rig.item("waitingDots"), nullptr);
    EXPECT_EQ(rig.item("primaryButton"), nullptr) << "no primary button while waiting";
    EXPECT_EQ(rig.item("laterButton"), nullptr) << "the permissions page offers no skip";
    EXPECT_NE(rig.item("backButton"), nullptr);
    EXPECT_NE(rig.item("micGranted"), nullptr);
    EXPECT_NE(rig.item("speechGranted"), nullptr);
    ASSERT_NE(rig.item("axGrant"), nullptr);
    EXPECT_EQ(rig.item("aiRow"), nullptr) << "no on-device model on this system";

    // The prompt enables the accessibility bus once per process, however often it is pressed.
    rig.click("axGrant");
    rig.click("axGrant");
    EXPECT_EQ(rig.system.busEnables, 1);
    rig.click("settingsLink");
    EXPECT_EQ(
        rig.system.openedPanes,
        QList<PermissionSystem::SettingsPane> {PermissionSystem::SettingsPane::accessibility});
    EXPECT_EQ(rig.page(), 1) << "the page moves on at the tick, not at the click";
    rig.tick();
    ASSERT_EQ(rig.page(), 2);

    EXPECT_EQ(rig.item("holdKeycap")->property("text").toString(), QStringLiteral("Right Super"));
    EXPECT_EQ(rig.item("escKeycap")->property("text").toString(), QStringLiteral("esc"));
    rig.click("primaryButton");

    ASSERT_EQ(rig.page(), 3);
    EXPECT_EQ(rig.item("primaryButton")->property("title").toString(),
              QStringLiteral("Get Started"));
    ASSERT_TRUE(rig.store->improveDataSharing());
    ASSERT_TRUE(rig.store->crashReportingEnabled());
    rig.click("improveSwitch");
    EXPECT_FALSE(rig.reread()->improveDataSharing()) << "stored the moment it moved";
    EXPECT_TRUE(rig.reread()->crashReportingEnabled());
    EXPECT_EQ(rig.store.usageQueue.clearCount, 1) << "switching off empties the unsent events";
    EXPECT_FALSE(rig.reread()->onboardingCompleted());

    const QStringList warnings = rig.warnings();
    QTest::mouseDClick(rig.window(), Qt::LeftButton, {},
                       rig.item("primaryButton")
                           ->mapToScene(QPointF(rig.item("primaryButton")->width() / 2, 10))
                           .toPoint());
    rig.settle();
    EXPECT_TRUE(rig.reread()->onboardingCompleted());
    EXPECT_EQ(rig.finished, 1);
    EXPECT_EQ(rig.controller->kit(), nullptr);
    rig.clock.advance(3s);
    EXPECT_EQ(rig.finished, 1);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

// Closing counts as done on any page; it never reports completion; the next window starts afresh.
TEST(OnboardingWindow, ClosingOnTheFirstPageMarksOnboardingDoneWithoutFinishing)
{
    OnboardingRig rig;
    QQuickView &view = rig.open();
    const QStringList warnings = rig.warnings();
    view.close();
    rig.settle();
    EXPECT_TRUE(rig.reread()->onboardingCompleted());
    EXPECT_EQ(rig.finished, 0);
    EXPECT_EQ(rig.controller->kit(), nullptr);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();

    // Started at permissions; a second show keeps the page, whatever it asks.
    rig.open(true);
    EXPECT_EQ(rig.page(), 1);
    rig.click("backButton");
    rig.controller->show(true);
    EXPECT_EQ(rig.page(), 0);
}

// Nothing is uploaded before the consent page has shown: a guide closed before it leaves both
// sharing switches off and no consent recorded; reaching the page records it, whatever the user
// then does; a guide closed later, or by someone who consented before, changes no switch.
TEST(OnboardingWindow, OnlyTheConsentPageGivesConsentAndClosingBeforeItSwitchesSharingOff)
{
    {
        OnboardingRig rig;
        ASSERT_FALSE(ImproveConfig::consentGiven(rig.store.defaults));
        QQuickView &view = rig.open();
        rig.click("primaryButton");
        ASSERT_EQ(rig.page(), 1);
        view.close();
        rig.settle();
        EXPECT_TRUE(rig.reread()->onboardingCompleted());
        EXPECT_FALSE(rig.reread()->improveDataSharing());
        EXPECT_FALSE(rig.reread()->crashReportingEnabled());
        EXPECT_FALSE(ImproveConfig::consentGiven(rig.store.defaults))
            << "a guide closed early counts as consent";

        // Shown again from the tray, the guide reaches the page: consent is given, the switches
        // stay as the user leaves them.
        rig.open(true);
        rig.system.busEnabled = true;
        rig.tick();
        ASSERT_EQ(rig.page(), 2);
        EXPECT_FALSE(ImproveConfig::consentGiven(rig.store.defaults));
        rig.click("primaryButton");
        ASSERT_EQ(rig.page(), 3);
        EXPECT_TRUE(ImproveConfig::consentGiven(rig.store.defaults));
        rig.window()->close();
        rig.settle();
        EXPECT_TRUE(ImproveConfig::consentGiven(rig.store.defaults));
        EXPECT_FALSE(rig.reread()->improveDataSharing());
    }
    {
        // Someone who went through the guide before the page was tracked reruns it and closes it
        // at once: nothing changes.
        OnboardingRig rig;
        rig.store->setOnboardingCompleted(true);
        ASSERT_TRUE(ImproveConfig::consentGiven(rig.store.defaults));
        rig.open().close();
        rig.settle();
        EXPECT_TRUE(rig.reread()->improveDataSharing());
        EXPECT_TRUE(rig.reread()->crashReportingEnabled());
        EXPECT_TRUE(ImproveConfig::consentGiven(rig.store.defaults));
    }
}

// The link to the system settings says so on the page when the desktop has no settings program.
TEST(OnboardingWindow, ASettingsLinkThatOpensNothingSaysSo)
{
    OnboardingRig rig;
    rig.system.settingsFound = false;
    rig.open(true);
    EXPECT_EQ(rig.item("settingsLinkNotice"), nullptr);
    rig.click("settingsLink");
    EXPECT_EQ(rig.system.openedPanes.size(), 1);
    EXPECT_EQ(rig.text("settingsLinkNotice"),
              QStringLiteral("No settings program was found. Open your desktop’s settings "
                             "yourself."));
    rig.system.settingsFound = true;
    rig.click("settingsLink");
    EXPECT_EQ(rig.item("settingsLinkNotice"), nullptr);
    EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
}

TEST(OnboardingWindow, APermissionsPageReachedWithEverythingGrantedWaitsForTheClick)
{
    OnboardingRig rig;
    rig.system.busEnabled = true;
    rig.open(true);
    ASSERT_EQ(rig.page(), 1);
    EXPECT_EQ(rig.item("waitingDots"), nullptr);
    EXPECT_NE(rig.item("axGranted"), nullptr);
    EXPECT_EQ(rig.text("axGranted"), QStringLiteral("Allowed"));
    // Nothing is needed and nothing moves on by itself: the page says so.
    EXPECT_EQ(rig.text("stepTitle"), QStringLiteral("Permissions granted"));
    EXPECT_EQ(rig.text("stepBody"),
              QStringLiteral("Everything dictation needs is allowed. Continue when you’re ready."));
    if (const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR"); !dir.isEmpty()) {
        QDir().mkpath(dir);
        rig.window()->grabWindow().save(dir
                                        + QStringLiteral("/onboarding-permissions-granted.png"));
    }
    rig.tick();
    rig.tick();
    EXPECT_EQ(rig.page(), 1);
    rig.click("primaryButton");
    EXPECT_EQ(rig.page(), 2);
}

// A bus that is slow to answer never holds the window: the page shows the last answer, asks
// again without waiting, and moves on once the answer says yes.
TEST(OnboardingWindow, ThePermissionsPageNeverWaitsOnTheAccessibilityBus)
{
    OnboardingRig rig;
    rig.system.busEnabled = true;
    rig.system.holdBusReads = true;
    rig.open(true);
    ASSERT_EQ(rig.page(), 1);
    EXPECT_NE(rig.item("axGrant"), nullptr);
    EXPECT_EQ(rig.text("stepTitle"), QStringLiteral("Permissions needed"));
    for (int second = 0; second < 3; ++second) {
        rig.tick();
    }
    EXPECT_EQ(rig.page(), 1);
    EXPECT_EQ(rig.system.busReads, 0) << "a read that waits on the bus";
    EXPECT_EQ(rig.system.busAsyncReads, 1) << "one read out at a time";

    rig.system.busAnswers.open();
    rig.settle();
    EXPECT_NE(rig.item("axGranted"), nullptr);
    EXPECT_EQ(rig.text("stepTitle"), QStringLiteral("Permissions granted"));
    rig.tick();
    EXPECT_EQ(rig.page(), 2);
    EXPECT_EQ(rig.system.busReads, 0);
    EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
}

// Without the recogniser's model nothing in the page can meet the requirement: the page says
// what is missing and offers to go on without it. Accessibility alone is within reach.
TEST(OnboardingWindow, AMissingRecogniserModelIsNamedAndThePageCanBeLeftForLater)
{
    struct Case
    {
        const char *name;
        bool bus;
        bool model;
        bool later;
    };
    const Case cases[] = {
        {"no model", true, false, true},
        {"no model, no accessibility", false, false, true},
        {"no accessibility", false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OnboardingRig rig;
        rig.system.busEnabled = c.bus;
        rig.system.modelInstalled = c.model;
        rig.open(true);
        ASSERT_EQ(rig.page(), 1);
        EXPECT_EQ(rig.item("primaryButton"), nullptr);
        EXPECT_EQ(rig.item("laterButton") != nullptr, c.later);
        EXPECT_EQ(rig.item("missingNote") != nullptr, !c.model);
        if (!c.model) {
            EXPECT_EQ(rig.text("missingNote"),
                      L10n::shared().string(QStringLiteral("onb.permModelMissing")));
        }
        rig.tick();
        EXPECT_EQ(rig.page(), 1);
        if (c.later) {
            rig.click("laterButton");
            EXPECT_EQ(rig.page(), 2);
        }
        EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
    }
}

TEST(OnboardingWindow, TheModelRowFollowsItsStatusAndNeverHoldsThePage)
{
    struct Case
    {
        AppleIntelligence::Status status;
        const char *shown;
    };
    const Case cases[] = {
        {AppleIntelligence::Status::notSupported, nullptr},
        {AppleIntelligence::Status::disabled, "aiOpen"},
        {AppleIntelligence::Status::downloading, "aiPreparing"},
        {AppleIntelligence::Status::ready, "aiReady"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        OnboardingRig rig;
        rig.system.busEnabled = true;
        rig.modelStatus = c.status;
        rig.open(true);
        EXPECT_EQ(rig.item("aiRow") != nullptr, c.shown != nullptr);
        for (const char *part : {"aiOpen", "aiPreparing", "aiReady"}) {
            EXPECT_EQ(rig.item(part) != nullptr, c.shown && qstrcmp(part, c.shown) == 0) << part;
        }
        EXPECT_NE(rig.item("primaryButton"), nullptr);
        EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
    }
}

// Every button and switch of every page is reached by Tab, is named for screen readers, and does
// its work when a screen reader presses it.
TEST(OnboardingWindow, EveryControlIsReachedByKeyboardAndNamedForScreenReaders)
{
    OnboardingRig rig;
    rig.modelStatus = AppleIntelligence::Status::disabled;
    QQuickView &view = rig.open();
    view.requestActivate();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
    for (int page = 0; page < 4; ++page) {
        if (page == 1) {
            rig.system.busEnabled = true;
            rig.tick(); // granted meanwhile: the page moves on by itself
            rig.click("backButton");
        }
        ASSERT_EQ(rig.page(), page);
        QList<QQuickItem *> controls;
        collectControls(view.contentItem(), controls);
        ASSERT_FALSE(controls.isEmpty());
        QSet<QQuickItem *> reached;
        for (int i = 0; i < controls.size() + 2; ++i) {
            QTest::keyClick(&view, Qt::Key_Tab);
            if (QQuickItem *focused = view.activeFocusItem()) {
                reached << focused;
            }
        }
        for (QQuickItem *control : controls) {
            const QString name = control->objectName();
            EXPECT_TRUE(reached.contains(control)) << "page " << page << ": " << name.toStdString();
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr) << name.toStdString();
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name.toStdString();
            EXPECT_TRUE(accessible->role() == QAccessible::Button
                        || accessible->role() == QAccessible::CheckBox
                        || accessible->role() == QAccessible::Link)
                << name.toStdString() << " has role " << int(accessible->role());
            ASSERT_NE(accessible->actionInterface(), nullptr) << name.toStdString();
        }
        if (page == 3) {
            // A screen reader's toggle flips the setting once; the keyboard's space does too.
            QAccessibleInterface *improve =
                QAccessible::queryAccessibleInterface(rig.item("improveSwitch"));
            improve->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            rig.settle();
            EXPECT_FALSE(rig.reread()->improveDataSharing());
            rig.item("crashSwitch")->forceActiveFocus();
            QTest::keyClick(&view, Qt::Key_Space);
            rig.settle();
            EXPECT_FALSE(rig.reread()->crashReportingEnabled());
        }
        // The primary button answers a screen reader's press.
        QAccessibleInterface *primary =
            QAccessible::queryAccessibleInterface(rig.item("primaryButton"));
        primary->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        rig.settle();
    }
    EXPECT_TRUE(rig.reread()->onboardingCompleted());
    EXPECT_EQ(rig.finished, 1);
}

// Each page in light and dark, English and German (long labels): drawn, not blank, following the
// appearance. With SONORVELLE_SCREEN_DIR set the frames are kept for a look by eye.
TEST(OnboardingWindow, OnAnAltGrLayoutTheTutorialSaysWhichKeyStartsNothing)
{
    const QPalette original = QGuiApplication::palette();
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    for (const bool dark : {false, true}) {
        useAppearance(dark, original);
        for (const char *code : {"en", "de"}) {
            SCOPED_TRACE(std::string(code) + (dark ? " dark" : " light"));
            OnboardingRig rig;
            // A German layout: Right Alt, the default ask key, is AltGr.
            rig.layout.setReservedKeys({DictationHoldKey::rightOption});
            L10n::shared().apply(QString::fromLatin1(code));
            QQuickView &view = rig.open();
            rig.click("primaryButton");
            rig.system.busEnabled = true;
            rig.tick();
            ASSERT_EQ(rig.page(), 2);
            QTest::qWait(OnboardingFlow::moveDuration.count() + 50);
            EXPECT_EQ(
                rig.text("layoutNote"),
                L10n::shared().string(QStringLiteral("onb.tutAltGr"),
                                      FirstRunContent::hotkeyLabel(DictationHoldKey::rightOption)));
            if (!dir.isEmpty()) {
                view.grabWindow().save(
                    QStringLiteral("%1/tutorial-altgr-%2-%3.png")
                        .arg(dir, QString::fromLatin1(code),
                             dark ? QStringLiteral("dark") : QStringLiteral("light")));
            }
            if (!dark && QLatin1String(code) == QLatin1String("en")) {
                EXPECT_EQ(rig.text("layoutNote"),
                          QStringLiteral("Right Alt is AltGr on this keyboard, so it starts "
                                         "nothing. Choose another key in the settings."));
                // Dictation on Right Alt has no key either; a switch to a US layout is followed.
                rig.store->setHoldKey(DictationHoldKey::rightOption);
                rig.settle();
                EXPECT_EQ(rig.text("holdKeycap"), QStringLiteral("None"));
                rig.layout.setReservedKeys({});
                rig.settle();
                EXPECT_EQ(rig.text("holdKeycap"), QStringLiteral("Right Alt"));
                EXPECT_EQ(rig.item("layoutNote"), nullptr);
            }
            EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
        }
    }
    QGuiApplication::setPalette(original);
}

// The window keeps one size that the window manager can neither resize nor maximise, and every
// page fits it in every interface language, in its tallest state: the permissions page with the
// recogniser's model missing and Accessibility not yet allowed (its note, the waiting dots and
// the later button), the tutorial with the note of an AltGr layout. Nothing scrolls, and the
// primary button stays at one place on every page that shows the back button.
TEST(OnboardingWindow, EveryPageFitsTheOneWindowSizeInEveryLanguage)
{
    qreal tallest = 0;
    QString tallestAt;
    for (const AppLanguage &language : AppLanguage::allCases()) {
        OnboardingRig rig;
        rig.system.modelInstalled = false;
        rig.layout.setReservedKeys({DictationHoldKey::rightOption});
        L10n::shared().apply(language.rawValue());
        QQuickView &view = rig.open();
        const QSize size(OnboardingKitController::windowWidth,
                         OnboardingWindowController::windowHeight);
        EXPECT_EQ(view.size(), size);
        EXPECT_EQ(view.minimumSize(), size) << "the window can be made smaller";
        EXPECT_EQ(view.maximumSize(), size) << "the window can be made larger or maximised";

        std::optional<qreal> primaryTop;
        const char *names[] = {"welcome", "permissions", "tutorial", "consent"};
        for (int page = 0; page < 4; ++page) {
            SCOPED_TRACE(language.rawValue().toStdString() + " " + names[page]);
            ASSERT_EQ(rig.page(), page);
            QTest::qWait(OnboardingFlow::moveDuration.count() + 20);
            QQuickItem *root = rig.item("onboardingRoot");
            ASSERT_NE(root, nullptr);
            const qreal natural =
                root->property("contentHeight").toReal() + root->property("footerHeight").toReal();
            if (natural > tallest) {
                tallest = natural;
                tallestAt = language.rawValue() + u' ' + QString::fromLatin1(names[page]);
            }
            EXPECT_LE(natural, OnboardingWindowController::windowHeight);
            EXPECT_TRUE(root->property("fits").toBool()) << "the page scrolls";
            EXPECT_EQ(view.size(), size) << "the window changed its size";
            QQuickItem *primary = rig.item("primaryButton");
            if (primary && page > 1) {
                const qreal top = primary->mapToScene(QPointF(0, 0)).y();
                EXPECT_EQ(top, primaryTop.value_or(top)) << "the primary button moved";
                primaryTop = top;
            }
            if (page == 1) {
                rig.click("laterButton");
            } else if (page < 3) {
                rig.click("primaryButton");
            }
        }
        EXPECT_TRUE(rig.warnings().isEmpty()) << rig.warnings().join('\n').toStdString();
    }
    std::printf("tallest onboarding page: %.0f of %d at %s\n", tallest,
                OnboardingWindowController::windowHeight, qPrintable(tallestAt));
}

TEST(OnboardingWindow, EveryPageDrawsInLightAndDarkInEnglishAndGerman)
{
    const QPalette original = QGuiApplication::palette();
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
    }
    const char *names[] = {"welcome", "permissions", "tutorial", "consent"};
    for (const bool dark : {false, true}) {
        useAppearance(dark, original);
        for (const char *code : {"en", "de"}) {
            OnboardingRig rig;
            L10n::shared().apply(QString::fromLatin1(code));
            QQuickView &view = rig.open();
            for (int page = 0; page < 4; ++page) {
                SCOPED_TRACE(std::string(code) + (dark ? " dark " : " light ") + names[page]);
                if (page == 2) {
                    rig.system.busEnabled = true;
                    rig.tick();
                }
                ASSERT_EQ(rig.page(), page);
                QTest::qWait(OnboardingFlow::moveDuration.count() + 50);
                const QImage frame = view.grabWindow();
                ASSERT_FALSE(frame.isNull());
                const QColor corner = frame.pixelColor(frame.width() - 3, frame.height() - 3);
                EXPECT_EQ(corner.lightness() < 128, dark);
                EXPECT_EQ(frame.width(), OnboardingKitController::windowWidth);
                if (!dir.isEmpty()) {
                    frame.save(QStringLiteral("%1/onboarding-%2-%3-%4.png")
                                   .arg(dir, QString::fromLatin1(names[page]),
                                        QString::fromLatin1(code),
                                        dark ? QStringLiteral("dark") : QStringLiteral("light")));
                }
                if (page != 1 && page != 3) {
                    rig.click("primaryButton");
                } else if (page == 3) {
                    EXPECT_TRUE(rig.warnings().isEmpty())
                        << rig.warnings().join('\n').toStdString();
                }
            }
        }
    }
    QGuiApplication::setPalette(original);
}
