#include "Base/ManualClock.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Keychain.h"
#include "Core/Permissions.h"
#include "Core/SharedVocabulary.h"
#include "Core/TesterMode.h"
#include "Fakes/FakeAudioHardware.h"
#include "Fakes/FakeCleanupMemoryReset.h"
#include "Fakes/FakeKeychainBackend.h"
#include "Fakes/FakePermissionSystem.h"
#include "Fakes/FakeUrlOpener.h"
#include "Fakes/TestAppSettings.h"
#include "Platform/Appcast/Updater.h"
#include "Platform/Qt/ProcessLogRing.h"
#include "Support/L10n.h"
#include "UI/Pills/SettingsTheme.h"
#include "UI/Settings/AboutTabModel.h"
#include "UI/Settings/GeneralTabModel.h"
#include "UI/Settings/SettingsRouter.h"
#include "UI/Settings/SettingsWindowController.h"
#include "UI/Settings/SettingsWindowModel.h"
#include "UI/Settings/TesterTapCounter.h"

#include "TestSupport/ConnectWarnings.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QuickItems.h"

#include "TestSupport/Appearance.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QPointer>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;

namespace {

// The real window over a test's own settings, router and clock. The account is signed out unless
// the rig is made with a token; the cloud is the loopback service.
struct WindowRig
{
    FakeCloudService cloud;
    TestAppSettings store {true};
    SettingsRouter router;
    ManualClock clock;
    FakeUrlOpener opener;
    FakeAudioHardware hardware;
    std::unique_ptr<MicrophoneDevices> microphones;
    // The AI Cleanup tab's account (signed out until a test stores a token) and its reset.
    FakeKeychainBackend keychainBackend;
    Keychain keychain {&keychainBackend, clock};
    CloudSession session {cloud.baseURL()};
    CloudAccount account {{&keychain, &session, &opener}};
    FakeCleanupMemoryReset memoryReset;
    // The Dictionary tab's lists, kept with the settings.
    SharedVocabulary vocabulary {{&store.defaults, &session, &account, &clock}};
    // The Account tab's switch, on the same defaults as the settings.
    CloudSync sync {{store.settings.get(), &store.defaults, &session, &account, &clock}};
    // A US layout (no key kept for typing), with recognisers for US English and German.
    HotkeyLayout layout;
    QList<SpeechLocale> recognizers {SpeechLocale(QStringLiteral("en-US")),
                                     SpeechLocale(QStringLiteral("de-DE"))};
    // The sidebar's ring; its uploads go to the loopback service.
    ProcessLogRing processLog {ProcessLogRing::defaultCapacity, &clock};
    TesterMode tester {store.defaults, clock, processLog, session};
    ConnectWarnings connectWarnings;
    // The About tab's update row, there only when the rig is made with a feed.
    std::unique_ptr<Updater> updater;
    std::unique_ptr<SettingsWindowController> controller;

    static constexpr char feedPath[] = "/appcast.xml";

    explicit WindowRig(std::optional<QString> token = std::nullopt, QString email = QString(),
                       bool withFeed = false)
    {
        if (token) {
            keychainBackend.items.insert(CloudAccount::tokenKey, token->toUtf8());
            keychainBackend.items.insert(CloudAccount::emailKey, email.toUtf8());
        }
        L10n::shared().apply(QStringLiteral("en"));
        SettingsWindowController::Services services;
        services.settings = store.settings.get();
        services.l10n = &L10n::shared();
        services.router = &router;
        services.clock = &clock;
        microphones = std::make_unique<MicrophoneDevices>(hardware, clock);
        services.microphones = microphones.get();
        services.urlOpener = &opener;
        services.shortVersion = QStringLiteral("2.0");
        QCoro::waitFor(keychain.load());
        services.account = &account;
        services.memoryReset = &memoryReset;
        services.vocabulary = &vocabulary;
        services.sync = &sync;
        services.session = &session;
        services.hotkeyLayout = &layout;
        services.recognizerLocales = [this] {
            return recognizers;
        };
        services.testerMode = &tester;
        if (withFeed) {
            updater =
                std::make_unique<Updater>(cloud.baseURL().resolved(QUrl(feedPath)),
                                          QStringLiteral("2.0"), opener, store.defaults, clock);
            services.updater = updater.get();
        }
        controller = std::make_unique<SettingsWindowController>(services);
    }

    ~WindowRig()
    {
        controller.reset();
        L10n::shared().apply(QStringLiteral("en"));
    }

    QQuickView &open(std::optional<SettingsTab> tab = std::nullopt)
    {
        controller->show(tab);
        QQuickView *view = controller->window();
        EXPECT_NE(view, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        settle();
        return *view;
    }

    void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(1);
        QCoreApplication::processEvents();
    }

    QQuickItem *item(const char *name)
    {
        QQuickView *view = controller->window();
        return view ? findVisible(view->contentItem(), QString::fromLatin1(name)) : nullptr;
    }

    // Scrolls the content pane, as a user would, until `target` is in view.
    void reveal(QQuickItem *target)
    {
        QQuickItem *pane = item("contentPane");
        if (!pane || !pane->isAncestorOf(target)) {
            return;
        }
        auto *content = pane->property("contentItem").value<QQuickItem *>();
        const qreal y = target->mapToItem(content, QPointF(0, 0)).y();
        const qreal most = std::max<qreal>(0, content->height() - pane->height());
        pane->setProperty("contentY", std::clamp<qreal>(y - pane->height() / 3, 0, most));
        settle();
    }

    // A real click at the centre of the item, through the window's hit-testing.
    void click(QQuickItem *target, QPointF offset = {})
    {
        ASSERT_NE(target, nullptr);
        reveal(target);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2) + offset);
        QTest::mouseClick(controller->window(), Qt::LeftButton, {}, centre.toPoint());
        settle();
    }

    // Clicks a dropdown and then the menu entry of `value`.
    void choose(const char *dropdown, const QString &value)
    {
        click(item(dropdown));
        // The menu takes clicks once its opening transition has ended.
        QObject *menu = item(dropdown)->findChild<QObject *>(QStringLiteral("dropdownMenu"));
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->property("opened").toBool(); }));
        // Entries made again while the menu was closed (the language changed) are placed at the
        // next frame.
        frame();
        // Only this menu's current entries count.
        QQuickItem *entry = findVisible(menu->property("contentItem").value<QQuickItem *>(),
                                        QStringLiteral("option_") + value);
        ASSERT_NE(entry, nullptr) << value.toStdString();
        const bool pickable = entry->isEnabled();
        click(entry);
        if (!pickable) {
            return;
        }
        // A pick closes the menu, also one that relabels the window.
        EXPECT_TRUE(QTest::qWaitFor([menu] { return !menu->property("visible").toBool(); }))
            << "the menu stayed open after " << value.toStdString() << " was picked";
    }

    // Draws the window in the light and the dark appearance, in English and in German (long
    // labels); with SONORVELLE_SCREEN_DIR set each frame is kept as "<name>-<language>-<light or
    // dark>.png" for a look by eye. The appearance and the language are put back afterwards.
    void keepAppearances(const QString &name)
    {
        const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
        const QPalette original = QGuiApplication::palette();
        for (const bool dark : {false, true}) {
            useAppearance(dark, original);
            for (const char *code : {"en", "de"}) {
                L10n::shared().apply(QString::fromLatin1(code));
                settle();
                if (!dir.isEmpty()) {
                    controller->window()->grabWindow().save(
                        QStringLiteral("%1/%2-%3-%4.png")
                            .arg(dir, name, QString::fromLatin1(code),
                                 dark ? QStringLiteral("dark") : QStringLiteral("light")));
                }
            }
        }
        QGuiApplication::setPalette(original);
        L10n::shared().apply(QStringLiteral("en"));
        settle();
    }

    // The window logged no QML warning since it was made, and no connection failed.
    void expectNoQmlWarnings() const
    {
        EXPECT_TRUE(controller->qmlWarnings().isEmpty())
            << controller->qmlWarnings().join('\n').toStdString();
        EXPECT_TRUE(connectWarnings.messages().isEmpty())
            << connectWarnings.messages().join('\n').toStdString();
    }

    // Waits for the next frame: rows a list gained are laid out (and found) only then.
    void frame()
    {
        QTest::qWait(30);
        settle();
    }

    // Types into the focused item, a key at a time.
    void type(const QString &text)
    {
        for (const QChar c : text) {
            QTest::keyClick(controller->window(), c.toLatin1());
        }
        frame();
    }

    void press(Qt::Key key)
    {
        QTest::keyClick(controller->window(), key);
        frame();
    }

    // The vocabulary as the next launch reads it.
    std::unique_ptr<SharedVocabulary> rereadVocabulary()
    {
        return std::make_unique<SharedVocabulary>(
            SharedVocabulary::Services {&store.defaults, &session, &account, &clock});
    }

    // The settings as the next launch reads them.
    std::unique_ptr<AppSettings> reread()
    {
        return std::make_unique<AppSettings>(store.defaults, store.services());
    }
};

// Counts the dividers of a card that show.
int visibleDividers(QQuickItem *card)
{
    int count = 0;
    const auto rows = card->childItems().value(0)->childItems();
    for (QQuickItem *child : rows) {
        count += child->isVisible()
            && QByteArray(child->metaObject()->className()).startsWith("RowDivider");
    }
    return count;
}

} // namespace

TEST(SettingsWindowModel, SidebarRowsFollowTheTabOrderWithDividersAboveHistoryPermissionsAccount)
{
    SettingsRouter router;
    ManualClock clock;
    L10n::shared().apply(QStringLiteral("en"));
    SettingsWindowModel model(router, L10n::shared(), clock, {});

    const QVariantList tabs = model.tabs();
    ASSERT_EQ(tabs.size(), 8);
    const QStringList expected = {"general", "dictation",   "cleanup", "dictionary",
                                  "history", "permissions", "account", "about"};
    QStringList names;
    QStringList dividers;
    for (const QVariant &tab : tabs) {
        const QVariantMap row = tab.toMap();
        names << row.value("name").toString();
        if (row.value("dividerAbove").toBool()) {
            dividers << row.value("name").toString();
        }
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(dividers, QStringList({"history", "permissions", "account"}));
    EXPECT_EQ(tabs.at(1).toMap().value("title").toString(), QStringLiteral("Dictation"));
    EXPECT_EQ(SettingsWindowModel::chipColors(SettingsTab::permissions)[0], QColor(255, 179, 64));
    EXPECT_EQ(SettingsWindowModel::chipColors(SettingsTab::about)[1], QColor(94, 92, 230));
    EXPECT_EQ(SettingsWindowModel::versionText(QString()), QStringLiteral("0.1.0"));
    EXPECT_EQ(SettingsWindowModel::versionText(QStringLiteral("2.3.4")), QStringLiteral("2.3.4"));

    QSignalSpy headings(&model, &SettingsWindowModel::headingChanged);
    model.setSelectedIndex(4);
    EXPECT_EQ(router.selectedTab(), SettingsTab::history);
    EXPECT_EQ(model.heading(), QStringLiteral("History"));
    model.setSelectedIndex(99);
    EXPECT_EQ(router.selectedTab(), SettingsTab::history);

    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_GE(headings.count(), 2);
    EXPECT_NE(model.heading(), QStringLiteral("History"));
    L10n::shared().apply(QStringLiteral("en"));
}

TEST(TesterTapCounter, EightTapsWithinTwoSecondsEachSwitchAndAPauseStartsAgain)
{
    ManualClock clock;
    TesterTapCounter taps(clock);

    // Seven quick taps, a pause of just over two seconds, then one tap: a new run of one.
    for (int i = 0; i < 7; ++i) {
        EXPECT_FALSE(taps.tap());
        clock.advance(100ms);
    }
    clock.advance(2001ms);
    EXPECT_FALSE(taps.tap());
    EXPECT_EQ(taps.count(), 1);

    // Gaps of exactly two seconds continue the run.
    TesterTapCounter exact(clock);
    int switches = 0;
    for (int i = 0; i < 8; ++i) {
        switches += exact.tap() ? 1 : 0;
        clock.advance(2000ms);
    }
    EXPECT_EQ(switches, 1);

    // Sixteen quick taps switch twice.
    TesterTapCounter quick(clock);
    switches = 0;
    for (int i = 0; i < 16; ++i) {
        switches += quick.tap() ? 1 : 0;
        clock.advance(10ms);
    }
    EXPECT_EQ(switches, 2);
    EXPECT_EQ(quick.count(), 0);
}

TEST(GeneralTabModel, LanguageOptionsAndStoredValuesOutOfRange)
{
    L10n::shared().apply(QStringLiteral("en"));
    const auto options = GeneralTabModel::languageOptions(L10n::shared());
    ASSERT_EQ(options.size(), 15);
    EXPECT_EQ(options.at(0), (SettingsOption {QString(), QStringLiteral("System")}));
    EXPECT_EQ(options.at(2), (SettingsOption {QStringLiteral("ja"), QStringLiteral("日本語")}));
    EXPECT_EQ(options.at(9),
              (SettingsOption {QStringLiteral("pt-BR"), QStringLiteral("Português (Brasil)")}));
    EXPECT_EQ(options.at(14), (SettingsOption {QStringLiteral("tr"), QStringLiteral("Türkçe")}));

    struct Case
    {
        std::optional<QString> stored;
        int index;
    };
    const Case cases[] = {{std::nullopt, 0},         {QString(), 0},
                          {QStringLiteral("de"), 6}, {QStringLiteral("zh-Hant"), 5},
                          {QStringLiteral("xx"), 0}, {QStringLiteral("DE"), 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(GeneralTabModel::languageIndexFor(c.stored), c.index)
            << c.stored.value_or(QStringLiteral("<none>")).toStdString();
    }

    // An unknown stored code shows the system entry and is not rewritten until the user picks.
    TestAppSettings t;
    t.defaults.setValue(QStringLiteral("languageCode"), QStringLiteral("xx"));
    t.make();
    GeneralTabModel model(*t.settings, L10n::shared());
    EXPECT_EQ(model.languageIndex(), 0);
    EXPECT_EQ(t.defaults.string(QStringLiteral("languageCode")),
              std::optional<QString>(QStringLiteral("xx")));
    model.chooseStyle(5);
    EXPECT_EQ(t.settings->voiceBarStyle(), VoiceBarStyle::notch);
}

TEST(SettingsWindow, OpensAt760By520WithA220Sidebar_KeepsItsTabAcrossCloses)
{
    WindowRig rig;
    QQuickView &view = rig.open();
    EXPECT_EQ(view.size(), QSize(760, 520));
    EXPECT_EQ(view.minimumSize(), QSize(720, 480));
    ASSERT_NE(rig.item("sidebar"), nullptr);
    EXPECT_EQ(rig.item("sidebar")->width(), 220);
    EXPECT_EQ(rig.router.selectedTab(), SettingsTab::general);
    EXPECT_NE(rig.item("launchAtLoginSwitch"), nullptr);

    rig.click(rig.item("sidebarRow_history"));
    EXPECT_EQ(rig.router.selectedTab(), SettingsTab::history);
    EXPECT_EQ(rig.item("heading")->property("text").toString(), QStringLiteral("History"));
    EXPECT_EQ(rig.item("launchAtLoginSwitch"), nullptr);

    QSignalSpy closed(rig.controller.get(), &SettingsWindowController::windowClosed);
    view.close();
    rig.settle();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rig.controller->window(), nullptr);

    rig.open();
    EXPECT_EQ(rig.router.selectedTab(), SettingsTab::history);
    rig.open(SettingsTab::general);
    EXPECT_EQ(rig.item("heading")->property("text").toString(), QStringLiteral("General"));
    rig.expectNoQmlWarnings();
}

// A closed window is deleted on a later turn; when its controller goes first, the window goes with
// it, since its views read the services the controller was given (the router, the settings), which
// may go right after.
TEST(SettingsWindow, AClosedWindowGoesWithItsControllerBeforeItsTurnComes)
{
    WindowRig rig;
    QPointer<QQuickView> view(&rig.open(SettingsTab::dictation));
    view->close();
    ASSERT_FALSE(view.isNull()) << "deleted at once, within its own close";
    rig.controller.reset();
    EXPECT_TRUE(view.isNull());
    // A new language asks every living view for its texts again.
    L10n::shared().apply(QStringLiteral("de"));
}

TEST(SettingsWindow, TheSidebarRingFollowsTesterModeEveryEightTaps)
{
    WindowRig rig;
    rig.open();
    QSignalSpy uploads(&rig.tester, &TesterMode::uploadFinished);
    QQuickItem *ring = rig.item("testerRing");
    ASSERT_NE(ring, nullptr);
    EXPECT_DOUBLE_EQ(ring->opacity(), 0.0);
    for (const bool on : {true, false}) {
        for (int tap = 0; tap < 8; ++tap) {
            rig.click(rig.item("testerIcon"));
        }
        EXPECT_EQ(rig.tester.enabled(), on);
        EXPECT_DOUBLE_EQ(ring->opacity(), on ? 1.0 : 0.0);
    }
    // Each switch sent its upload; none may be on its way when the rig goes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return uploads.count() >= 2; }, 10000));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, GeneralTabWritesEveryChoiceThroughRealClicks)
{
    WindowRig rig;
    rig.open(SettingsTab::general);

    const bool sounds = rig.store->playSounds();
    rig.click(rig.item("soundsSwitch"));
    EXPECT_EQ(rig.reread()->playSounds(), !sounds);

    // The design row goes with the voice bar and comes back with it.
    ASSERT_TRUE(rig.store->showVoiceBar());
    EXPECT_NE(rig.item("voiceBarStyleRow"), nullptr);
    rig.choose("stylePicker", QStringLiteral("classic"));
    EXPECT_EQ(rig.reread()->voiceBarStyle(), VoiceBarStyle::classic);
    rig.click(rig.item("voiceBarSwitch"));
    EXPECT_FALSE(rig.reread()->showVoiceBar());
    EXPECT_EQ(rig.item("voiceBarStyleRow"), nullptr);

    // The whole pill opens the menu, also near its leading edge.
    QQuickItem *picker = rig.item("languagePicker");
    rig.click(picker, QPointF(-picker->width() / 2 + 6, 0));
    EXPECT_TRUE(picker->property("menuOpen").toBool());
    QTest::keyClick(rig.controller->window(), Qt::Key_Escape);
    rig.settle();

    rig.choose("languagePicker", QStringLiteral("de"));
    EXPECT_EQ(rig.reread()->languageCode(), std::optional<QString>(QStringLiteral("de")));
    EXPECT_EQ(L10n::shared().languageCode(), QStringLiteral("de"));
    EXPECT_EQ(rig.item("heading")->property("text").toString(), QStringLiteral("Allgemein"));
    EXPECT_EQ(picker->property("label").toString(), QStringLiteral("Deutsch"));

    rig.choose("languagePicker", QString());
    EXPECT_EQ(rig.reread()->languageCode(), std::nullopt);
    rig.expectNoQmlWarnings();
}

// The Dictation and Cleanup tabs are taller than the window: the scroll bar shows as long as
// they are, and Tab walks the keyboard focus through the sidebar and down the tab, onto controls
// below the fold too, each of which the pane scrolls into sight. A tab that fits shows no scroll
// bar (the General tab fits).
TEST(SettingsWindow, ATallTabShowsItsScrollBarAndFollowsTheKeyboardFocus)
{
    for (const SettingsTab tab : {SettingsTab::dictation, SettingsTab::cleanup}) {
        SCOPED_TRACE(int(tab));
        WindowRig rig;
        QQuickView &view = rig.open(tab);
        QQuickItem *pane = rig.item("contentPane");
        ASSERT_NE(pane, nullptr);
        const qreal fold = pane->height();
        ASSERT_GT(pane->property("contentHeight").toReal(), fold) << "the tab fits the window";
        QQuickItem *bar = rig.item("contentScrollBar");
        ASSERT_NE(bar, nullptr) << "no scroll bar over a tab taller than the window";
        EXPECT_GT(bar->width(), 0);
        EXPECT_GT(bar->opacity(), 0.5) << "the scroll bar shows only while the pane moves";

        auto *content = pane->property("contentItem").value<QQuickItem *>();
        ASSERT_NE(content, nullptr);
        int belowTheFold = 0;
        for (int step = 0; step < 40; ++step) {
            rig.press(Qt::Key_Tab);
            QQuickItem *focused = view.activeFocusItem();
            if (!focused || !content->isAncestorOf(focused)) {
                continue;
            }
            const QRectF place = focused->mapRectToItem(content, focused->boundingRect());
            belowTheFold += place.bottom() > fold;
            // Where the control is drawn now, in the pane's own frame.
            const qreal top = place.top() - pane->property("contentY").toReal();
            EXPECT_GE(top, 0) << "focused control above the pane: "
                              << focused->objectName().toStdString();
            EXPECT_LE(top + place.height(), fold + 0.5)
                << "focused control below the pane: " << focused->objectName().toStdString();
        }
        // Signed out, the Cleanup tab's controls all lie above its fold, with text below.
        if (tab == SettingsTab::dictation) {
            EXPECT_GT(belowTheFold, 0) << "Tab never reached a control below the fold";
        }
        rig.expectNoQmlWarnings();
    }

    WindowRig rig;
    rig.open(SettingsTab::general);
    QQuickItem *pane = rig.item("contentPane");
    ASSERT_NE(pane, nullptr);
    ASSERT_LE(pane->property("contentHeight").toReal(), pane->height());
    EXPECT_EQ(rig.item("contentScrollBar"), nullptr) << "a scroll bar over a tab that fits";
}

TEST(SettingsWindow, AFailedLaunchAtLoginChangeSaysSoAndTheSwitchShowsTheRealState)
{
    WindowRig rig;
    rig.open(SettingsTab::general);
    QQuickItem *toggle = rig.item("launchAtLoginSwitch");
    ASSERT_NE(toggle, nullptr);
    ASSERT_TRUE(toggle->property("checked").toBool());
    auto note = [&rig] {
        return rig.item("launchAtLoginRow")->property("subtitle").toString();
    };
    EXPECT_EQ(note(), QString());

    const struct
    {
        bool fails;
        bool shown;
        const char *note;
    } steps[] = {
        {true, true, "gen.launchLoginOffFailed"},
        {false, false, nullptr},
        {true, false, "gen.launchLoginOnFailed"},
        {false, true, nullptr},
    };
    for (const auto &step : steps) {
        rig.store.loginItem.failure = step.fails ? QStringLiteral("read-only folder") : QString();
        rig.click(toggle);
        EXPECT_EQ(toggle->property("checked").toBool(), step.shown) << step.note;
        EXPECT_EQ(note(),
                  step.note ? L10n::shared().string(QString::fromLatin1(step.note)) : QString());
    }
    rig.expectNoQmlWarnings();
}

TEST(SettingsTheme, FollowsThePaletteWindowColour)
{
    SettingsTheme palette;
    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    light.setColor(QPalette::WindowText, QColor(0, 0, 0));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255));
    palette.follow(light);
    EXPECT_FALSE(palette.dark());
    QSignalSpy changed(&palette, &SettingsTheme::changed);
    palette.follow(dark);
    EXPECT_TRUE(palette.dark());
    EXPECT_EQ(palette.foreground(), QColor(255, 255, 255));
    EXPECT_EQ(changed.count(), 1);
}

// Every appearance and language draws a window that is not blank, and the sidebar follows a
// palette change at once. With SONORVELLE_SCREEN_DIR set the frames are kept for a look by eye.
TEST(SettingsWindow, DrawsInLightAndDarkInEveryLanguageTried)
{
    WindowRig rig;
    const QPalette original = QGuiApplication::palette();
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    for (const bool dark : {false, true}) {
        useAppearance(dark, original);
        for (const char *code : {"en", "de", "ja"}) {
            L10n::shared().apply(QString::fromLatin1(code));
            QQuickView &view = rig.open(SettingsTab::general);
            rig.settle();
            const QImage frame = view.grabWindow();
            ASSERT_FALSE(frame.isNull());
            const QColor corner = frame.pixelColor(frame.width() - 5, frame.height() - 5);
            EXPECT_EQ(corner.lightness() < 128, dark) << code;
            if (!dir.isEmpty()) {
                frame.save(QStringLiteral("%1/general-%2-%3.png")
                               .arg(dir, QString::fromLatin1(code),
                                    dark ? QStringLiteral("dark") : QStringLiteral("light")));
                for (const auto &[tab, name] : {std::pair {SettingsTab::about, "about"},
                                                std::pair {SettingsTab::permissions, "permissions"},
                                                std::pair {SettingsTab::dictation, "dictation"},
                                                std::pair {SettingsTab::cleanup, "cleanup"},
                                                std::pair {SettingsTab::dictionary, "dictionary"},
                                                std::pair {SettingsTab::account, "account"}}) {
                    rig.open(tab);
                    rig.settle();
                    view.grabWindow().save(
                        QStringLiteral("%1/%2-%3-%4.png")
                            .arg(dir, QString::fromLatin1(name), QString::fromLatin1(code),
                                 dark ? QStringLiteral("dark") : QStringLiteral("light")));
                }
            }
        }
    }
    QGuiApplication::setPalette(original);
    rig.expectNoQmlWarnings();
}

TEST(AboutTabModel, VersionLineFollowsTheLanguageAndFallsBackForABuildWithoutVersion)
{
    L10n::shared().apply(QStringLiteral("en"));
    EXPECT_EQ(AboutTabModel::versionLine(L10n::shared(), QStringLiteral("2.0")),
              QStringLiteral("Version 2.0"));
    EXPECT_EQ(AboutTabModel::versionLine(L10n::shared(), QString()),
              QStringLiteral("Version 0.1.0 (dev)"));
    L10n::shared().apply(QStringLiteral("de"));
    const QString german = AboutTabModel::versionLine(L10n::shared(), QStringLiteral("2.0"));
    EXPECT_TRUE(german.contains(QStringLiteral("2.0")));
    EXPECT_FALSE(german.contains(QStringLiteral("%@")));
    L10n::shared().apply(QStringLiteral("en"));
}

TEST(SettingsWindow, AboutTabWithoutFeedShowsOnlyThePrivacySwitches)
{
    WindowRig rig;
    rig.open(SettingsTab::about);
    EXPECT_EQ(rig.item("versionLine")->property("text").toString(), QStringLiteral("Version 2.0"));
    EXPECT_EQ(rig.item("updateRow"), nullptr);
    EXPECT_EQ(rig.item("autoCheckSwitch"), nullptr);

    ASSERT_TRUE(rig.store->improveDataSharing());
    rig.click(rig.item("improveSwitch"));
    EXPECT_FALSE(rig.reread()->improveDataSharing());
    const bool crash = rig.store->crashReportingEnabled();
    rig.click(rig.item("crashReportsSwitch"));
    EXPECT_EQ(rig.reread()->crashReportingEnabled(), !crash);

    rig.click(rig.item("webLink"));
    ASSERT_EQ(rig.opener.opened.size(), 1);
    EXPECT_EQ(rig.opener.opened.at(0), QUrl(QStringLiteral("https://sonorvelle.org")));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, AboutTabWithAFeedSwitchesAutomaticChecksAndChecksNow)
{
    WindowRig rig(std::nullopt, QString(), true);
    rig.open(SettingsTab::about);
    ASSERT_NE(rig.item("updateRow"), nullptr);
    QQuickItem *toggle = rig.item("autoCheckSwitch");
    ASSERT_NE(toggle, nullptr);
    ASSERT_FALSE(toggle->property("checked").toBool());

    // The switch is the updater's own preference, kept for the next launch's updater.
    for (const bool on : {true, false}) {
        rig.click(toggle);
        EXPECT_EQ(toggle->property("checked").toBool(), on);
        Updater next(rig.updater->feedURL(), QStringLiteral("2.0"), rig.opener, rig.store.defaults,
                     rig.clock);
        EXPECT_EQ(next.automaticallyChecksForUpdates(), on);
    }

    // "Check now" asks the feed at once.
    rig.click(rig.item("checkNowButton"));
    EXPECT_TRUE(rig.cloud.waitForRequests(WindowRig::feedPath, 1));
    EXPECT_TRUE(QTest::qWaitFor([&rig] { return !rig.updater->isChecking(); }));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, PermissionsTabFollowsTheSystemEverySecondAndPromptsOnce)
{
    WindowRig rig;
    FakePermissionSystem system;
    system.busEnabled = false;
    system.modelInstalled = false;
    Permissions::TestScope scope(system, rig.clock);
    rig.open(SettingsTab::permissions);

    EXPECT_NE(rig.item("micGranted"), nullptr);
    ASSERT_NE(rig.item("axAllow"), nullptr);
    ASSERT_NE(rig.item("speechAllow"), nullptr);
    EXPECT_EQ(rig.item("languageModelCard"), nullptr);

    rig.click(rig.item("axAllow"));
    rig.click(rig.item("axAllow"));
    EXPECT_EQ(system.busEnables, 1);

    // Granted elsewhere: the tab shows it within a second, without a click.
    system.modelInstalled = true;
    rig.clock.advance(1s);
    rig.clock.advance(1s);
    rig.settle();
    EXPECT_NE(rig.item("axGranted"), nullptr);
    EXPECT_NE(rig.item("speechGranted"), nullptr);
    EXPECT_EQ(rig.item("speechAllow"), nullptr);

    // Leaving the tab drops its timer with it.
    rig.click(rig.item("sidebarRow_general"));
    rig.clock.advance(3s);
    rig.settle();
    rig.expectNoQmlWarnings();
}

// A bus that is slow to answer never holds the window: the tab shows the last answer and asks
// again without waiting, one read at a time.
TEST(SettingsWindow, PermissionsTabNeverWaitsOnTheAccessibilityBus)
{
    WindowRig rig;
    FakePermissionSystem system;
    system.holdBusReads = true;
    Permissions::TestScope scope(system, rig.clock);
    rig.open(SettingsTab::permissions);
    EXPECT_NE(rig.item("axAllow"), nullptr);
    for (int second = 0; second < 3; ++second) {
        rig.clock.advance(1s);
        rig.settle();
    }
    EXPECT_EQ(system.busReads, 0) << "a read that waits on the bus";
    EXPECT_EQ(system.busAsyncReads, 1) << "one read out at a time";

    system.busAnswers.open();
    rig.settle();
    EXPECT_NE(rig.item("axGranted"), nullptr);
    // Switched off elsewhere: the next second's read shows it.
    system.busEnabled = false;
    rig.clock.advance(1s);
    rig.settle();
    EXPECT_NE(rig.item("axAllow"), nullptr);
    EXPECT_EQ(system.busReads, 0);
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, DictationTabWritesEveryChoiceAndShowsRowsThatDependOnOthers)
{
    WindowRig rig;
    rig.open(SettingsTab::dictation);

    // The usage hints show the dictation key's label: once, "esc", then twice.
    rig.choose("holdKeyPicker", QStringLiteral("rightShift"));
    EXPECT_EQ(rig.reread()->holdKey(), DictationHoldKey::rightShift);
    QQuickItem *hints = rig.item("usageHints");
    ASSERT_NE(hints, nullptr);
    QStringList chips;
    std::function<void(QQuickItem *)> collect = [&](QQuickItem *item) {
        if (item->objectName() == QLatin1String("keyChip")) {
            chips << item->childItems().value(0)->property("text").toString();
        }
        for (QQuickItem *child : item->childItems()) {
            collect(child);
        }
    };
    collect(hints);
    EXPECT_EQ(chips, QStringList({"Right Shift", "esc", "Right Shift", "Right Shift"}));
    EXPECT_EQ(visibleDividers(rig.item("hotkeyCard")), 1);
    rig.choose("holdKeyPicker", QStringLiteral("none"));
    EXPECT_EQ(rig.item("usageHints"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("hotkeyCard")), 0);

    // The target language row comes with a translate key.
    EXPECT_EQ(rig.item("targetLanguageRow"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("taskKeyCard")), 1);
    rig.choose("translateKeyPicker", QStringLiteral("rightCommand"));
    EXPECT_EQ(visibleDividers(rig.item("taskKeyCard")), 2);
    rig.choose("targetLanguagePicker", QStringLiteral("German"));
    rig.choose("askKeyPicker", QStringLiteral("rightCommand"));
    auto stored = rig.reread();
    EXPECT_EQ(stored->translateKey(), DictationHoldKey::rightCommand);
    EXPECT_EQ(stored->askKey(), DictationHoldKey::rightCommand);
    EXPECT_EQ(stored->translateTargetLang(), QStringLiteral("German"));

    rig.choose("localePicker", QStringLiteral("de-DE"));
    EXPECT_EQ(rig.reread()->speechLocaleID(), std::optional<QString>(QStringLiteral("de-DE")));
    rig.choose("localePicker", QString());
    EXPECT_FALSE(rig.store.defaults.contains(QStringLiteral("speechLocaleID")));

    rig.click(rig.item("cloudSTTSwitch"));
    EXPECT_TRUE(rig.reread()->cloudSTT());
    rig.choose("insertionPicker", QStringLiteral("type"));
    EXPECT_EQ(rig.reread()->insertionMethod(), InsertionMethod::type);
    rig.expectNoQmlWarnings();
}

// Switching cloud recognition on while signed out shows the tab's note that it needs an account,
// with a Sign in button, as the Cleanup tab does; signed in, or switched off, the note goes.
TEST(SettingsWindow, CloudRecognitionSwitchedOnWhileSignedOutOffersTheSignIn)
{
    WindowRig rig;
    rig.open(SettingsTab::dictation);
    EXPECT_EQ(rig.item("cloudSTTSignInNote"), nullptr);

    rig.click(rig.item("cloudSTTSwitch"));
    ASSERT_TRUE(rig.reread()->cloudSTT());
    rig.frame();
    QQuickItem *note = rig.item("cloudSTTSignInNote");
    ASSERT_NE(note, nullptr) << "switched on while signed out, and nothing says it needs sign-in";
    rig.click(findVisible(note, QStringLiteral("signInButton")));
    ASSERT_EQ(rig.opener.opened.size(), 1);
    EXPECT_EQ(rig.opener.opened.at(0).path(), QStringLiteral("/app/connect"));
    rig.keepAppearances(QStringLiteral("dictation-cloud-signed-out"));

    rig.keychain.set(QStringLiteral("token-1"), CloudAccount::tokenKey);
    Q_EMIT rig.account.stateChanged();
    rig.frame();
    EXPECT_EQ(rig.item("cloudSTTSignInNote"), nullptr);
    rig.keychain.remove(CloudAccount::tokenKey);
    Q_EMIT rig.account.stateChanged();
    rig.click(rig.item("cloudSTTSwitch"));
    rig.frame();
    EXPECT_EQ(rig.item("cloudSTTSignInNote"), nullptr);
    rig.expectNoQmlWarnings();
}

// A button that hands something to the desktop says so in the window when nothing could open
// it: the sign-in and the web link. The notice follows the language, goes with a click on it or
// with a later hand-off that works.
TEST(SettingsWindow, AHandOffThatOpensNothingIsToldInTheWindow)
{
    WindowRig rig;
    rig.opener.accepts = false;
    rig.open(SettingsTab::account);
    EXPECT_EQ(rig.item("handOffNotice"), nullptr);

    rig.click(rig.item("signInButton"));
    ASSERT_EQ(rig.opener.opened.size(), 1);
    ASSERT_NE(rig.item("handOffNotice"), nullptr);
    EXPECT_EQ(rig.item("handOffNoticeText")->property("text").toString(),
              QStringLiteral("No web browser could be opened. Install one (or the xdg-utils "
                             "package) and try again."));
    L10n::shared().apply(QStringLiteral("de"));
    rig.settle();
    EXPECT_TRUE(rig.item("handOffNoticeText")
                    ->property("text")
                    .toString()
                    .startsWith(QStringLiteral("Es konnte kein Webbrowser")));
    L10n::shared().apply(QStringLiteral("en"));
    rig.settle();
    rig.keepAppearances(QStringLiteral("handoff-failed"));

    rig.click(rig.item("handOffNotice"));
    EXPECT_EQ(rig.item("handOffNotice"), nullptr);

    // The web link of the About tab; a later link that opens takes the notice away.
    rig.open(SettingsTab::about);
    rig.click(rig.item("webLink"));
    EXPECT_EQ(rig.opener.opened.size(), 2);
    EXPECT_NE(rig.item("handOffNotice"), nullptr);
    rig.opener.accepts = true;
    rig.click(rig.item("webLink"));
    EXPECT_EQ(rig.item("handOffNotice"), nullptr);
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, TheDictationTabMarksWhatCannotWorkAndTakesNoPickOfIt)
{
    WindowRig rig;
    // A German layout, where Right Alt (the default ask key) is AltGr.
    rig.layout.setReservedKeys({DictationHoldKey::rightOption});
    rig.open(SettingsTab::dictation);
    EXPECT_EQ(rig.item("askKeyPicker")->property("label").toString(), QStringLiteral("None"));
    EXPECT_EQ(rig.item("holdKeyPicker")->property("label").toString(),
              QStringLiteral("Right Super"));

    // The marked entry is shown and greyed; a click on it stores nothing.
    const auto pickDisabled = [&](const char *picker, const QString &value, const char *label) {
        SCOPED_TRACE(picker);
        rig.choose(picker, value);
        QObject *menu = rig.item(picker)->findChild<QObject *>(QStringLiteral("dropdownMenu"));
        ASSERT_NE(menu, nullptr);
        QQuickItem *entry = findVisible(menu->property("contentItem").value<QQuickItem *>(),
                                        QStringLiteral("option_") + value);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->property("text").toString(), QString::fromUtf8(label));
        EXPECT_FALSE(entry->isEnabled());
        if (QLatin1String(picker) == QLatin1String("askKeyPicker")) {
            // The frames show the menu open: the mark is what the user must see.
            rig.keepAppearances(QStringLiteral("dictation-altgr"));
        } else {
            rig.keepAppearances(QStringLiteral("dictation-languages"));
        }
        rig.press(Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([menu] { return !menu->property("visible").toBool(); }));
    };
    pickDisabled("askKeyPicker", QStringLiteral("rightOption"),
                 "Right Alt (AltGr on this keyboard)");
    pickDisabled("localePicker", QStringLiteral("fr-FR"), "Français (no recognizer installed)");
    auto stored = rig.reread();
    EXPECT_FALSE(rig.store.defaults.contains(QStringLiteral("askKey")));
    EXPECT_FALSE(rig.store.defaults.contains(QStringLiteral("speechLocaleID")));

    // Another key can be picked; the layout switched back to US is followed at once.
    rig.choose("askKeyPicker", QStringLiteral("rightShift"));
    EXPECT_EQ(rig.reread()->askKey(), DictationHoldKey::rightShift);
    rig.choose("holdKeyPicker", QStringLiteral("rightCommand"));
    rig.layout.setReservedKeys({});
    rig.settle();
    rig.choose("askKeyPicker", QStringLiteral("rightOption"));
    EXPECT_EQ(rig.reread()->askKey(), DictationHoldKey::rightOption);
    EXPECT_EQ(rig.item("askKeyPicker")->property("label").toString(), QStringLiteral("Right Alt"));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, TheRestoreDelayRowIsDimmedAndTakesNoClickWhileRestoreIsOff)
{
    WindowRig rig;
    rig.open(SettingsTab::dictation);
    rig.choose("delayPicker", QStringLiteral("1500"));
    EXPECT_EQ(rig.reread()->restoreClipboardDelayMs(), 1500);

    rig.click(rig.item("restoreClipboardSwitch"));
    EXPECT_FALSE(rig.reread()->restoreClipboard());
    QQuickItem *row = rig.item("restoreDelayRow");
    ASSERT_NE(row, nullptr);
    EXPECT_DOUBLE_EQ(row->opacity(), 0.4);
    QQuickItem *picker = rig.item("delayPicker");
    rig.click(picker);
    EXPECT_FALSE(picker->property("menuOpen").toBool());
    EXPECT_EQ(rig.reread()->restoreClipboardDelayMs(), 1500);
    // Nor does a screen reader's press open it.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(picker);
    ASSERT_NE(accessible, nullptr);
    ASSERT_NE(accessible->actionInterface(), nullptr);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    rig.settle();
    EXPECT_FALSE(picker->property("menuOpen").toBool());

    // Keystrokes leave the row as it is: it follows the restore switch only.
    rig.click(rig.item("restoreClipboardSwitch"));
    rig.choose("insertionPicker", QStringLiteral("type"));
    EXPECT_DOUBLE_EQ(row->opacity(), 1.0);
    rig.click(picker);
    EXPECT_TRUE(picker->property("menuOpen").toBool());
    QTest::keyClick(rig.controller->window(), Qt::Key_Escape);
    rig.settle();
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, TheMicrophoneListFollowsDevicesWhileTheTabIsOpen)
{
    WindowRig rig;
    rig.hardware.setDevices({{"usb-1", "USB Mic", 1}, {"builtin", "Built-in Audio", 2}});
    rig.microphones->refresh();
    rig.open(SettingsTab::dictation);

    rig.choose("microphonePicker", QStringLiteral("usb-1"));
    auto stored = rig.reread();
    EXPECT_EQ(stored->microphoneUID(), std::optional<QString>(QStringLiteral("usb-1")));
    EXPECT_EQ(stored->microphoneName(), std::optional<QString>(QStringLiteral("USB Mic")));

    // Unplugged: the pill names it "(not connected)" and the setting stays.
    rig.hardware.setDevices({{"builtin", "Built-in Audio", 2}});
    rig.microphones->refresh();
    rig.settle();
    QQuickItem *picker = rig.item("microphonePicker");
    EXPECT_EQ(picker->property("label").toString(), QStringLiteral("USB Mic (not connected)"));
    EXPECT_EQ(rig.reread()->microphoneUID(), std::optional<QString>(QStringLiteral("usb-1")));

    // From the keyboard this time: the menu opens on its first entry, "System".
    rig.click(picker);
    QObject *menu = picker->findChild<QObject *>(QStringLiteral("dropdownMenu"));
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->property("opened").toBool(); }));
    QTest::keyClick(rig.controller->window(), Qt::Key_Down);
    QTest::keyClick(rig.controller->window(), Qt::Key_Return);
    rig.settle();
    stored = rig.reread();
    EXPECT_EQ(stored->microphoneUID(), std::nullopt);
    EXPECT_EQ(stored->microphoneName(), std::nullopt);
    EXPECT_EQ(picker->property("label").toString(), QStringLiteral("System"));
    rig.expectNoQmlWarnings();
}

// The window may close while a permission request is still out: its answer then finds no tab.
TEST(PermissionsTabModel, AnAnswerThatComesAfterTheWindowClosedIsDropped)
{
    WindowRig rig;
    FakePermissionSystem system;
    Permissions::TestScope scope(system, rig.clock);
    QQuickView &view = rig.open(SettingsTab::permissions);
    QObject *model = nullptr;
    for (QObject *candidate : view.findChildren<QObject *>()) {
        if (qstrcmp(candidate->metaObject()->className(), "PermissionsTabModel") == 0) {
            model = candidate;
        }
    }
    ASSERT_NE(model, nullptr);
    QPointer<QObject> tab(model);
    QMetaObject::invokeMethod(model, "grantMicrophone");
    QMetaObject::invokeMethod(model, "grantSpeech");
    view.close();
    // Only the window goes now; the microphone's answer comes on a later turn.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(tab.isNull());
    EXPECT_EQ(rig.controller->window(), nullptr);
    // Every state read is stale by now: the answer would make a living tab ask the system again.
    rig.clock.advance(2s);
    const int asked = system.busReads + system.busAsyncReads + system.modelChecks;
    rig.settle();
    rig.clock.advance(2s);
    rig.settle();
    EXPECT_EQ(system.busReads + system.busAsyncReads + system.modelChecks, asked);
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, CleanupTabWritesEveryControlAndOffersSignInWhenSignedOut)
{
    WindowRig rig;
    rig.open(SettingsTab::cleanup);

    // Signed out, the cloud rows give way to the sign-in note between two dividers.
    EXPECT_EQ(rig.item("intensityBlock"), nullptr);
    EXPECT_EQ(rig.item("learnRow"), nullptr);
    EXPECT_EQ(rig.item("resetRow"), nullptr);
    EXPECT_EQ(rig.item("privacyNote"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("cleanupCard")), 2);
    rig.click(rig.item("signInButton"));
    ASSERT_EQ(rig.opener.opened.size(), 1);

    // The rewrite switch stores the two cloud modes and brings the slider with it.
    rig.click(rig.item("polishSwitch"));
    EXPECT_EQ(rig.reread()->cleanupMode(), CleanupMode::cloudRewrite);
    QQuickItem *slider = rig.item("intensitySlider");
    ASSERT_NE(slider, nullptr);
    const qreal half = slider->width() / 2 - 3;
    struct Stop
    {
        qreal offset;
        int stored;
        const char *caption;
    };
    for (const Stop &stop :
         {Stop {half, 3, "Full rewrite: restructure freely"}, Stop {-half, 1, "Light: remove"},
          Stop {0, 2, "Standard: also merge restatements"}}) {
        rig.click(rig.item("intensitySlider"), QPointF(stop.offset, 0));
        EXPECT_EQ(rig.reread()->cleanupIntensity(), stop.stored) << stop.offset;
        EXPECT_TRUE(rig.item("intensityCaption")
                        ->property("text")
                        .toString()
                        .startsWith(QString::fromLatin1(stop.caption)))
            << stop.caption;
    }
    // The keyboard moves it a stop at a time.
    rig.item("intensitySlider")->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(rig.controller->window(), Qt::Key_Right);
    rig.settle();
    EXPECT_EQ(rig.reread()->cleanupIntensity(), 3);
    rig.click(rig.item("polishSwitch"));
    EXPECT_EQ(rig.reread()->cleanupMode(), CleanupMode::cloud);
    EXPECT_EQ(rig.item("intensityBlock"), nullptr);
    // A hidden row keeps its value.
    EXPECT_EQ(rig.reread()->cleanupIntensity(), 3);

    rig.click(rig.item("focusContextSwitch"));
    EXPECT_TRUE(rig.reread()->useFocusContext());

    // Each keystroke of the instructions is kept at once; an emptied editor stores the empty text.
    QQuickItem *editor = rig.item("instructionsEditor");
    ASSERT_NE(editor, nullptr);
    rig.click(editor);
    EXPECT_TRUE(editor->hasActiveFocus());
    // A window takes key clicks one character at a time.
    auto type = [&](const char *text) {
        for (const char *c = text; *c; ++c) {
            QTest::keyClick(rig.controller->window(), *c);
        }
    };
    type("Be");
    rig.settle();
    EXPECT_EQ(rig.reread()->customInstructions(), QStringLiteral("Be"));
    type(" brief");
    rig.settle();
    EXPECT_EQ(rig.reread()->customInstructions(), QStringLiteral("Be brief"));
    QTest::keyClick(rig.controller->window(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(rig.controller->window(), Qt::Key_Backspace);
    rig.settle();
    EXPECT_EQ(rig.reread()->customInstructions(), QString());
    // Tab leaves the editor rather than typing into it.
    QTest::keyClick(rig.controller->window(), Qt::Key_Tab);
    rig.settle();
    EXPECT_FALSE(editor->hasActiveFocus());
    EXPECT_EQ(rig.reread()->customInstructions(), QString());
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, CleanupTabSignedInLearnsAndResetsAndSaysWhenAResetFailed)
{
    WindowRig rig;
    QQuickView &view = rig.open(SettingsTab::cleanup);
    rig.keychain.set(QStringLiteral("token-1"), CloudAccount::tokenKey);
    Q_EMIT rig.account.stateChanged();
    // The rows that appeared are placed by the next frame.
    QTest::qWait(50);
    rig.settle();

    // Learning is on by default: its row, the reset row and the privacy note, no sign-in note.
    EXPECT_EQ(rig.item("signInNote"), nullptr);
    EXPECT_NE(rig.item("privacyNote"), nullptr);
    EXPECT_NE(rig.item("resetRow"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("cleanupCard")), 3);
    rig.click(rig.item("learnSwitch"));
    EXPECT_FALSE(rig.reread()->cloudLearning());
    EXPECT_EQ(rig.item("resetRow"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("cleanupCard")), 2);
    rig.click(rig.item("learnSwitch"));
    EXPECT_TRUE(rig.reread()->cloudLearning());

    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    auto keep = [&](const QString &name) {
        if (!dir.isEmpty()) {
            view.grabWindow().save(QStringLiteral("%1/%2.png").arg(dir, name));
        }
    };

    // The button reads "Clearing…" and takes no click while the reset runs.
    QQuickItem *button = rig.item("resetButton");
    ASSERT_NE(button, nullptr);
    rig.click(button);
    EXPECT_EQ(button->property("title").toString(), QStringLiteral("Clearing…"));
    EXPECT_FALSE(button->isEnabled());
    rig.click(button);
    EXPECT_EQ(rig.memoryReset.calls, 1);
    keep(QStringLiteral("cleanup-signed-in-resetting"));

    // A failed reset says so under the row; the next success takes the note away.
    rig.memoryReset.answer(false);
    rig.settle();
    EXPECT_EQ(button->property("title").toString(), QStringLiteral("Reset"));
    EXPECT_EQ(rig.item("resetRow")->property("subtitle").toString(),
              L10n::shared().string(QStringLiteral("clean.resetFailed")));
    keep(QStringLiteral("cleanup-signed-in-reset-failed"));
    rig.click(button);
    rig.memoryReset.answer(true);
    rig.settle();
    EXPECT_EQ(rig.item("resetRow")->property("subtitle").toString(),
              QStringLiteral("Clear the vocabulary and style learned so far"));
    EXPECT_TRUE(rig.reread()->cloudLearning());

    // Every control is reached by Tab and named for a screen reader.
    rig.click(rig.item("polishSwitch"));
    QSet<QQuickItem *> reached;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(&view, Qt::Key_Tab);
        if (QQuickItem *focused = view.activeFocusItem()) {
            reached << focused;
        }
    }
    for (const char *name : {"polishSwitch", "intensitySlider", "learnSwitch", "resetButton",
                             "focusContextSwitch", "instructionsEditor"}) {
        QQuickItem *control = rig.item(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(reached.contains(control)) << name;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr) << name;
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
    }

    rig.keepAppearances(QStringLiteral("cleanup-signed-in"));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, CleanupTabStartsWithoutARunningOrFailedResetEachTimeItIsSelected)
{
    WindowRig rig(QStringLiteral("token-1"));
    rig.open(SettingsTab::cleanup);
    const QString failed = L10n::shared().string(QStringLiteral("clean.resetFailed"));
    auto reselect = [&rig] {
        rig.click(rig.item("sidebarRow_general"));
        rig.click(rig.item("sidebarRow_cleanup"));
        rig.frame();
    };

    // Failed, then selected again: the note has gone.
    rig.click(rig.item("resetButton"));
    rig.memoryReset.answer(false);
    rig.settle();
    ASSERT_EQ(rig.item("resetRow")->property("subtitle").toString(), failed);
    reselect();
    EXPECT_NE(rig.item("resetRow")->property("subtitle").toString(), failed);

    // Running, then selected again: the button takes a click, and the old answer shows nothing.
    rig.click(rig.item("resetButton"));
    EXPECT_FALSE(rig.item("resetButton")->isEnabled());
    reselect();
    QQuickItem *button = rig.item("resetButton");
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(button->property("title").toString(), QStringLiteral("Reset"));
    rig.memoryReset.answer(false);
    rig.settle();
    EXPECT_NE(rig.item("resetRow")->property("subtitle").toString(), failed);
    EXPECT_TRUE(rig.item("resetButton")->isEnabled());
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, DictionaryTabAddsEditsAndDeletesThroughRealClicksAndKeys)
{
    WindowRig rig;
    QQuickView &view = rig.open(SettingsTab::dictionary);
    EXPECT_EQ(rig.item("termsEmpty")->property("text").toString(), QStringLiteral("No terms yet"));
    EXPECT_NE(rig.item("replacementsEmpty"), nullptr);
    EXPECT_EQ(rig.item("termsList"), nullptr);

    // Return in the term field adds the trimmed term and empties the field.
    rig.click(rig.item("termField"));
    rig.type(QStringLiteral("  Kubernetes "));
    rig.press(Qt::Key_Return);
    EXPECT_EQ(rig.rereadVocabulary()->terms(), QStringList {QStringLiteral("Kubernetes")});
    EXPECT_EQ(rig.item("termField")->property("text").toString(), QString());
    EXPECT_EQ(rig.item("termsEmpty"), nullptr);

    // The same again with the Add pill: the orange note, the text kept; a keystroke clears it.
    rig.type(QStringLiteral("Kubernetes"));
    rig.click(rig.item("addTermButton"));
    rig.frame();
    ASSERT_NE(rig.item("duplicateNote"), nullptr);
    EXPECT_EQ(rig.item("duplicateNoteText")->property("text").toString(),
              QStringLiteral("“Kubernetes” is already in the list"));
    EXPECT_EQ(rig.item("termField")->property("text").toString(), QStringLiteral("Kubernetes"));
    rig.click(rig.item("termField"));
    rig.type(QStringLiteral("x"));
    EXPECT_EQ(rig.item("duplicateNote"), nullptr);
    rig.click(rig.item("addTermButton"));
    EXPECT_EQ(rig.rereadVocabulary()->terms(),
              QStringList({QStringLiteral("Kubernetes"), QStringLiteral("Kubernetesx")}));

    // Return in the phrase field does not add; Return in the replacement text does.
    rig.click(rig.item("phraseField"));
    rig.type(QStringLiteral("w/o"));
    rig.press(Qt::Key_Return);
    EXPECT_TRUE(rig.rereadVocabulary()->replacements().isEmpty());
    rig.click(rig.item("expansionField"));
    rig.type(QStringLiteral("without"));
    rig.press(Qt::Key_Return);
    ASSERT_EQ(rig.rereadVocabulary()->replacements().size(), 1);
    EXPECT_EQ(rig.rereadVocabulary()->replacements()[0].expansion, QStringLiteral("without"));

    // A rule switched off is kept, dimmed, and still takes edits.
    ASSERT_NE(rig.item("replacementSwitch"), nullptr);
    rig.click(rig.item("replacementSwitch"));
    EXPECT_FALSE(rig.rereadVocabulary()->replacements()[0].isEnabled);
    EXPECT_DOUBLE_EQ(rig.item("replacementContent")->opacity(), 0.5);
    rig.click(rig.item("replacementExpansion"));
    QTest::keyClick(&view, Qt::Key_End);
    rig.type(QStringLiteral("!"));
    EXPECT_EQ(rig.rereadVocabulary()->replacements()[0].expansion, QStringLiteral("without!"));

    // Each keystroke in a listed term is stored as typed.
    const QList<QQuickItem *> termTexts = findAllVisible(rig.item("termsList"), "termText");
    ASSERT_EQ(termTexts.size(), 2);
    rig.click(termTexts[1]);
    QTest::keyClick(&view, Qt::Key_End);
    rig.press(Qt::Key_Backspace);
    EXPECT_EQ(rig.rereadVocabulary()->terms(),
              QStringList({QStringLiteral("Kubernetes"), QStringLiteral("Kubernetes")}));
    EXPECT_EQ(rig.item("duplicateNote"), nullptr) << "the note belongs to adding only";

    rig.click(rig.item("termField"));
    rig.type(QStringLiteral("Kubernetes"));
    rig.click(rig.item("addTermButton"));
    rig.keepAppearances(QStringLiteral("dictionary-filled"));

    // Every control is reached by Tab and named for a screen reader.
    rig.click(rig.item("termField"));
    QSet<QQuickItem *> reached;
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(&view, Qt::Key_Tab);
        if (QQuickItem *focused = view.activeFocusItem()) {
            reached << focused;
        }
    }
    for (const char *name : {"termField", "addTermButton", "termText", "termDelete", "phraseField",
                             "expansionField", "addReplacementButton", "replacementSwitch",
                             "replacementPhrase", "replacementExpansion", "replacementDelete"}) {
        QQuickItem *control = rig.item(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(reached.contains(control)) << name;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr) << name;
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
    }

    // Deleting the first row moves the next one to the top; the last delete brings the note back.
    rig.click(findAllVisible(rig.item("termsList"), "termDelete").value(0));
    EXPECT_EQ(rig.rereadVocabulary()->terms(), QStringList {QStringLiteral("Kubernetes")});
    rig.click(rig.item("replacementDelete"));
    EXPECT_TRUE(rig.rereadVocabulary()->replacements().isEmpty());
    EXPECT_NE(rig.item("replacementsEmpty"), nullptr);
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, DictionaryTabFollowsAListReplacedUnderItAndStartsAfreshWhenReopened)
{
    WindowRig rig;
    rig.vocabulary.setTerms({QStringLiteral("Alpha"), QStringLiteral("Beta")});
    QQuickView &view = rig.open(SettingsTab::dictionary);
    rig.click(rig.item("termField"));
    rig.type(QStringLiteral("Gam"));

    // The user types into the first row when the list is replaced from elsewhere.
    QQuickItem *alpha = findAllVisible(rig.item("termsList"), "termText").value(0);
    rig.click(alpha);
    QTest::keyClick(&view, Qt::Key_End);
    rig.type(QStringLiteral("s"));
    rig.vocabulary.setTerms({QStringLiteral("Delta"), QStringLiteral("Beta")});
    rig.settle();
    rig.type(QStringLiteral("t"));
    EXPECT_EQ(rig.rereadVocabulary()->terms(),
              QStringList({QStringLiteral("Delta"), QStringLiteral("Beta")}));
    QStringList shown;
    for (QQuickItem *field : findAllVisible(rig.item("termsList"), "termText")) {
        shown << field->property("text").toString();
    }
    EXPECT_EQ(shown, QStringList({QStringLiteral("Delta"), QStringLiteral("Beta")}));

    // Another tab and back: the entry field starts empty again.
    rig.open(SettingsTab::general);
    rig.open(SettingsTab::dictionary);
    EXPECT_EQ(rig.item("termField")->property("text").toString(), QString());
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, DictionaryTabKeepsARuleWhosePhraseWasClearedWhenReopened)
{
    WindowRig rig;
    const Replacement btw {QUuid::createUuid(), QStringLiteral("btw"), QStringLiteral("by the way"),
                           true};
    rig.vocabulary.setReplacements({btw});
    QQuickView &view = rig.open(SettingsTab::dictionary);

    rig.click(rig.item("replacementPhrase"));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    rig.press(Qt::Key_Backspace);
    EXPECT_EQ(rig.item("replacementPhrase")->property("text").toString(), QString());

    rig.open(SettingsTab::general);
    rig.open(SettingsTab::dictionary);
    ASSERT_NE(rig.item("replacementExpansion"), nullptr);
    EXPECT_EQ(rig.item("replacementPhrase")->property("text").toString(), QString());
    EXPECT_EQ(rig.item("replacementExpansion")->property("text").toString(),
              QStringLiteral("by the way"));
    Replacement unspoken = btw;
    unspoken.phrase.clear();
    EXPECT_EQ(rig.rereadVocabulary()->replacements(), QList<Replacement>({unspoken}));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, AccountTabSignedOutOffersSignInAndNothingElse)
{
    WindowRig rig;
    rig.open(SettingsTab::account);
    EXPECT_EQ(rig.item("heading")->property("text").toString(), QStringLiteral("Account"));

    // One row with the sign-in pill; no sync row, no usage card, the footer below.
    ASSERT_NE(rig.item("signedOutRow"), nullptr);
    EXPECT_EQ(rig.item("signedOutRow")->property("title").toString(),
              QStringLiteral("Not signed in"));
    EXPECT_EQ(rig.item("accountRow"), nullptr);
    EXPECT_EQ(rig.item("syncRow"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("accountCard")), 0);
    EXPECT_EQ(rig.item("usageCard"), nullptr);
    ASSERT_NE(rig.item("accountFooter"), nullptr);
    EXPECT_EQ(rig.item("accountFooter")->property("text").toString(),
              QStringLiteral("Sign-in opens your browser. Sonorvelle never sees your password."));

    // Sign-in opens the browser and leaves the row as it is until the callback comes back.
    rig.click(rig.item("signInButton"));
    ASSERT_EQ(rig.opener.opened.size(), 1);
    EXPECT_EQ(rig.opener.opened.at(0).path(), QStringLiteral("/app/connect"));
    EXPECT_NE(rig.item("signedOutRow"), nullptr);
    rig.click(rig.item("signInButton"));
    EXPECT_EQ(rig.opener.opened.size(), 2);
    EXPECT_TRUE(rig.cloud.requests("/api/cleanup/usage").empty());

    rig.keepAppearances(QStringLiteral("account-signed-out"));

    // Tab reaches the pill, which is named for a screen reader.
    QSet<QQuickItem *> reached;
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(rig.controller->window(), Qt::Key_Tab);
        reached << rig.controller->window()->activeFocusItem();
    }
    EXPECT_TRUE(reached.contains(rig.item("signInButton")));
    QAccessibleInterface *accessible =
        QAccessible::queryAccessibleInterface(rig.item("signInButton"));
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Sign in"));
    rig.expectNoQmlWarnings();
}

TEST(SettingsWindow, AccountTabSignedInShowsTheUsageSwitchesSyncAndSignsOut)
{
    WindowRig rig(QStringLiteral("tok-1"));
    Reply usage = Reply::json(R"({"tier":"free","requests":{"used":160,"limit":200},)"
                              R"("costMicros":{"used":125,"limit":1000},)"
                              R"("resetAt":"2026-12-10T00:00:00Z"})");
    usage.delay = 200ms;
    rig.cloud.script("/api/cleanup/usage", usage);
    QQuickView &view = rig.open(SettingsTab::account);

    // An account without an e-mail reads "Signed in"; the tier is not shown.
    ASSERT_NE(rig.item("accountRow"), nullptr);
    EXPECT_EQ(rig.item("accountRow")->property("title").toString(), QStringLiteral("Signed in"));
    EXPECT_EQ(rig.item("signedOutRow"), nullptr);
    EXPECT_NE(rig.item("syncRow"), nullptr);
    EXPECT_EQ(visibleDividers(rig.item("accountCard")), 1);

    // The card reads "Loading…" until the service answers, then shows both meters.
    ASSERT_NE(rig.item("usageCard"), nullptr);
    ASSERT_NE(rig.item("usageStatus"), nullptr);
    EXPECT_EQ(rig.item("usageStatus")->property("text").toString(), QStringLiteral("Loading…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.item("requestsMeter") != nullptr; }, 5000));
    rig.settle();
    EXPECT_EQ(rig.item("usageStatus"), nullptr);
    const auto requests = rig.cloud.requests("/api/cleanup/usage");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().header("Authorization"), "Bearer tok-1");

    QQuickItem *requestsMeter = rig.item("requestsMeter");
    QQuickItem *costMeter = rig.item("costMeter");
    ASSERT_NE(costMeter, nullptr);
    EXPECT_EQ(
        findVisible(requestsMeter, QStringLiteral("meterDetail"))->property("text").toString(),
        QStringLiteral("160 / 200"));
    EXPECT_EQ(findVisible(costMeter, QStringLiteral("meterDetail"))->property("text").toString(),
              QStringLiteral("13%"));
    // 0.8 of the requests is in the warning colour, an eighth of the cost in the accent.
    QQuickItem *requestsFill = findVisible(requestsMeter, QStringLiteral("meterFill"));
    QQuickItem *costFill = findVisible(costMeter, QStringLiteral("meterFill"));
    QQuickItem *track = findVisible(costMeter, QStringLiteral("meterTrack"));
    ASSERT_TRUE(requestsFill && costFill && track);
    EXPECT_EQ(requestsFill->property("color").value<QColor>(), QColor(255, 149, 0));
    EXPECT_EQ(costFill->property("color").value<QColor>(), QColor(10, 132, 255));
    EXPECT_EQ(track->height(), 6);
    EXPECT_NEAR(costFill->width(), track->width() * 0.125, 0.01);
    EXPECT_NEAR(requestsFill->width(), track->width() * 0.8, 0.01);
    ASSERT_NE(rig.item("resetLine"), nullptr);
    EXPECT_TRUE(rig.item("resetLine")
                    ->property("text")
                    .toString()
                    .startsWith(QStringLiteral("Resets daily at ")));

    rig.keepAppearances(QStringLiteral("account-signed-in"));

    // Every control is reached by Tab and named for a screen reader.
    QSet<QQuickItem *> reached;
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(&view, Qt::Key_Tab);
        reached << view.activeFocusItem();
    }
    for (const char *name : {"signOutButton", "syncSwitch"}) {
        QQuickItem *control = rig.item(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(reached.contains(control)) << name;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr) << name;
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
    }

    // The switch writes the sync setting, as the next launch reads it.
    ASSERT_TRUE(rig.sync.enabled());
    rig.click(rig.item("syncSwitch"));
    EXPECT_FALSE(rig.sync.enabled());
    CloudSync reread(
        {rig.store.settings.get(), &rig.store.defaults, &rig.session, &rig.account, &rig.clock});
    EXPECT_FALSE(reread.enabled());
    EXPECT_FALSE(rig.item("syncSwitch")->property("checked").toBool());

    // Signing out takes the rows and the card away at once.
    rig.click(rig.item("signOutButton"));
    EXPECT_NE(rig.item("signedOutRow"), nullptr);
    EXPECT_EQ(rig.item("accountRow"), nullptr);
    EXPECT_EQ(rig.item("syncRow"), nullptr);
    EXPECT_EQ(rig.item("usageCard"), nullptr);
    EXPECT_FALSE(rig.account.storedToken());
    EXPECT_TRUE(rig.cloud.waitForRequests("/api/app/logout", 1));
    EXPECT_EQ(rig.cloud.requests("/api/cleanup/usage").size(), 1u);
    rig.expectNoQmlWarnings();
}

// A refused query says so in the card; the user stays signed in. Showing the tab again asks anew.
TEST(SettingsWindow, AccountTabSaysWhenTheUsageCouldNotBeLoadedAndAsksAgainWhenShownAgain)
{
    WindowRig rig(QStringLiteral("tok-1"), QStringLiteral("ada@example.org"));
    rig.cloud.script("/api/cleanup/usage", Reply::json(R"({"error":"expired"})", 401));
    rig.cloud.script("/api/cleanup/usage",
                     Reply::json(R"({"tier":"free","requests":{"used":5,"limit":0},)"
                                 R"("costMicros":{"used":0,"limit":1000},"resetAt":""})"));
    rig.open(SettingsTab::account);
    EXPECT_EQ(rig.item("accountRow")->property("title").toString(),
              QStringLiteral("ada@example.org"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QQuickItem *status = rig.item("usageStatus");
            return status
                && status->property("text").toString() == QStringLiteral("Could not load usage");
        },
        5000));
    EXPECT_EQ(rig.item("requestsMeter"), nullptr);
    EXPECT_TRUE(rig.account.isSignedIn());
    EXPECT_NE(rig.item("accountRow"), nullptr);
    EXPECT_TRUE(rig.cloud.requests("/api/app/logout").empty());
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    if (!dir.isEmpty()) {
        rig.controller->window()->grabWindow().save(
            QStringLiteral("%1/account-usage-failed.png").arg(dir));
    }

    // Another tab and back: a new query, this time answered. No limit: "5 / 0", no fill, and no
    // reset line for an empty reset time.
    rig.click(rig.item("sidebarRow_general"));
    rig.click(rig.item("sidebarRow_account"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.item("requestsMeter") != nullptr; }, 5000));
    rig.settle();
    EXPECT_EQ(rig.cloud.requests("/api/cleanup/usage").size(), 2u);
    QQuickItem *meter = rig.item("requestsMeter");
    EXPECT_EQ(findVisible(meter, QStringLiteral("meterDetail"))->property("text").toString(),
              QStringLiteral("5 / 0"));
    EXPECT_EQ(findVisible(meter, QStringLiteral("meterFill"))->width(), 0);
    EXPECT_EQ(rig.item("resetLine"), nullptr);
    rig.expectNoQmlWarnings();
}
