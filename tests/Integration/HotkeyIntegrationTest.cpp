// Global hotkeys against the real display: key presses injected through XTest reach the manager
// as XInput 2 raw events, and Escape is grabbed only while a session runs, as another window and
// another client see it. A key the keyboard layout types with (Right Alt as AltGr on a German
// layout) is never a hotkey, and a layout switched while running is followed.

#include "FixtureProgram.h"
#include "Integration/X11TestSupport.h"

#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Hotkey/HotkeyManager.h"
#include "Core/Permissions.h"
#include "Fakes/TestAppSettings.h"
#include "Platform/X11/X11KeyEventTap.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/TestTime.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int answerTimeoutMs = 5000;
// Long enough for the manager to see a key and move its Escape grab before the next key.
constexpr int settleMs = 200;

// Whether another client could grab Escape right now with `modifiers`: the grab of a client that
// still holds it is refused.
bool escapeIsFree(quint32 escapeKeycode, quint16 modifiers)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    xcb_generic_error_t *error = xcb_request_check(
        connection.get(),
        xcb_grab_key_checked(connection.get(), 0, root, modifiers, xcb_keycode_t(escapeKeycode),
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (error) {
        std::free(error);
        return false;
    }
    // The probe lets go before it answers, so its own grab takes no later key.
    xcb_ungrab_key(connection.get(), xcb_keycode_t(escapeKeycode), root, modifiers);
    std::free(xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()),
                                        nullptr));
    return true;
}

bool inject(const QStringList &steps)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(FixtureProgram::path(u"sonorvelle_key_injector"), steps);
    // The event loop keeps running meanwhile: the manager must see each key as it comes, as it
    // would with a person at the keyboard, to move its Escape grab in time.
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, answerTimeoutMs)
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString down(quint32 keycode)
{
    return QStringLiteral("down:%1").arg(keycode);
}
QString up(quint32 keycode)
{
    return QStringLiteral("up:%1").arg(keycode);
}
QString tap(quint32 keycode)
{
    return QStringLiteral("tap:%1").arg(keycode);
}
QString settle()
{
    return QStringLiteral("sleep:%1").arg(settleMs);
}

// Another application's window with the focus: counts the Escape presses that reach it.
class EscapeWindow : public QWidget
{
public:
    int escapes = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape) {
            ++escapes;
        }
        QWidget::keyPressEvent(event);
    }
};

// Runs setxkbmap with `arguments`; true when it succeeded.
bool setxkbmap(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("setxkbmap"), arguments);
    return process.waitForFinished(answerTimeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// Switches the display's keyboard layout and puts the keymap it found back, exactly, when it goes:
// the tests after this one rely on the display's own keymap.
class LayoutSwitch
{
public:
    LayoutSwitch()
    {
        m_saved = m_folder.filePath(QStringLiteral("display.xkb"));
        m_display = qEnvironmentVariable("DISPLAY");
        QProcess save;
        save.start(QStringLiteral("xkbcomp"), {QStringLiteral("-xkb"), m_display, m_saved});
        m_ok = save.waitForFinished(answerTimeoutMs) && save.exitStatus() == QProcess::NormalExit
            && save.exitCode() == 0;
    }
    ~LayoutSwitch()
    {
        if (m_ok) {
            QProcess restore;
            restore.start(QStringLiteral("xkbcomp"), {m_saved, m_display});
            restore.waitForFinished(answerTimeoutMs);
        }
    }
    // The display's keymap was saved, so it can be put back.
    bool saved() const { return m_ok; }
    bool use(const char *layout)
    {
        return setxkbmap({QStringLiteral("-option"), QString(), QStringLiteral("-layout"),
                          QString::fromLatin1(layout)});
    }

private:
    QTemporaryDir m_folder;
    QString m_saved;
    QString m_display;
    bool m_ok = false;
};

class HotkeyIntegrationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the hotkey tests need the X11 session of scripts/test";
        ASSERT_TRUE(Permissions::accessibilityGranted())
            << "Accessibility trust: X11 with XTest and XInput 2 and the AT-SPI bus enabled";
        ASSERT_FALSE(FixtureProgram::path(u"sonorvelle_key_injector").isEmpty())
            << "fixture program sonorvelle_key_injector was not built";
        superRight = keycodeFor(XKB_KEY_Super_R);
        ASSERT_NE(superRight, 0u) << "the display's keymap has no Super_R";
        optionRight = keycodeFor(XKB_KEY_Alt_R);
        if (optionRight == 0) {
            optionRight = keycodeFor(XKB_KEY_ISO_Level3_Shift);
        }
        ASSERT_NE(optionRight, 0u) << "the display's keymap has neither Alt_R nor AltGr";
        escape = keycodeFor(XKB_KEY_Escape);
        ASSERT_NE(escape, 0u) << "the display's keymap has no Escape";
        controlLeft = keycodeFor(XKB_KEY_Control_L);
        ASSERT_NE(controlLeft, 0u) << "the display's keymap has no Control_L";

        manager.onKeyDown = [this](DictationTask task) {
            reports << QStringLiteral("down %1").arg(int(task));
        };
        manager.onKeyUp = [this](DictationTask task) {
            reports << QStringLiteral("up %1").arg(int(task));
        };
        manager.onEscape = [this] {
            reports << QStringLiteral("escape");
        };
    }

    void TearDown() override
    {
        manager.cancelSubscription();
        manager.tearDownTap();
        EXPECT_TRUE(escapeIsFree(escape, 0)) << "Escape stayed grabbed";
    }

    // Starts the manager; the trust is asked of the bus without waiting, so the listener comes
    // with the answer.
    bool startListening()
    {
        manager.start();
        return QTest::qWaitFor([this] { return manager.hasTap(); }, answerTimeoutMs);
    }

    bool waitForReports(qsizetype count)
    {
        return QTest::qWaitFor([&] { return reports.size() >= count; }, answerTimeoutMs);
    }

    TestAppSettings settings {true};
    X11KeyEventTap keyTap;
    HotkeyLayout layout;
    HotkeyManager manager {{settings.settings.get(), &keyTap,
                            [] { return Permissions::readAccessibility(); }, &layout}};
    QStringList reports;
    quint32 superRight = 0;
    quint32 optionRight = 0;
    quint32 escape = 0;
    quint32 controlLeft = 0;

    const QString cleanupDown = QStringLiteral("down %1").arg(int(DictationTask::cleanup));
    const QString cleanupUp = QStringLiteral("up %1").arg(int(DictationTask::cleanup));
};

} // namespace

TEST_F(HotkeyIntegrationTest, HoldingRightSuperGivesOneCleanupSession)
{
    ASSERT_TRUE(startListening()) << "the XInput 2 listener could not be installed";
    ASSERT_TRUE(keyTap.isWorking());

    ASSERT_TRUE(inject({down(superRight), settle(), up(superRight)}));
    ASSERT_TRUE(waitForReports(2)) << reports.join(u", ").toStdString();
    EXPECT_EQ(reports, (QStringList {cleanupDown, cleanupUp}));
}

TEST_F(HotkeyIntegrationTest, TheSecondHotkeyWhileOneIsHeldIsIgnored)
{
    ASSERT_TRUE(startListening());
    // Right Option is the ask key by default.
    ASSERT_TRUE(inject({down(superRight), settle(), down(optionRight), settle(), up(optionRight),
                        settle(), up(superRight)}));
    ASSERT_TRUE(waitForReports(2)) << reports.join(u", ").toStdString();
    QTest::qWait(settleMs);
    EXPECT_EQ(reports, (QStringList {cleanupDown, cleanupUp}));
}

TEST_F(HotkeyIntegrationTest, EscapeIsTakenOnlyWhileASessionRuns)
{
    EscapeWindow window;
    window.setWindowTitle(QStringLiteral("Sonorvelle escape target"));
    window.resize(320, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, TestTime::scaledMs(answerTimeoutMs)))
        << "the target window never got the focus";

    ASSERT_TRUE(startListening());
    EXPECT_TRUE(escapeIsFree(escape, 0));

    // Idle: Escape belongs to the focused window.
    ASSERT_TRUE(inject({tap(escape)}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.escapes == 1; }, answerTimeoutMs));
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u", ").toStdString();

    // A session runs: plain Escape is taken and reported, and no other client can grab it.
    manager.setSessionState(DictationState::recording);
    EXPECT_FALSE(escapeIsFree(escape, 0));
    ASSERT_TRUE(inject({tap(escape)}));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reports, QStringList {"escape"});

    // Control+Escape is someone else's shortcut: passed on.
    ASSERT_TRUE(inject({down(controlLeft), tap(escape), up(controlLeft)}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.escapes == 2; }, answerTimeoutMs));

    // With the dictation key (right Super) held, Super+Escape still cancels.
    reports.clear();
    ASSERT_TRUE(inject({down(superRight), settle(), tap(escape), settle(), up(superRight)}));
    ASSERT_TRUE(waitForReports(3)) << reports.join(u", ").toStdString();
    EXPECT_EQ(reports, (QStringList {cleanupDown, QStringLiteral("escape"), cleanupUp}));
    EXPECT_EQ(window.escapes, 2);

    // Back to idle: given back at once, to the window and to every other client.
    manager.setSessionState(DictationState::idle);
    EXPECT_TRUE(escapeIsFree(escape, 0));
    reports.clear();
    ASSERT_TRUE(inject({tap(escape)}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.escapes == 3; }, answerTimeoutMs));
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u", ").toStdString();
}

TEST_F(HotkeyIntegrationTest, AltGrTypesOnAGermanLayoutAndRightAltAsksOnAUsLayout)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty())
        << "setxkbmap (x11-xkb-utils) is needed to switch the keyboard layout";
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xkbcomp")).isEmpty())
        << "xkbcomp (x11-xkb-utils) is needed to put the display's keymap back";
    LayoutSwitch layouts;
    ASSERT_TRUE(layouts.saved()) << "the display's keymap could not be saved";
    ASSERT_TRUE(layouts.use("us"));
    // Right Alt by its place on the keyboard, and Q and E, which German has in the same places.
    const quint32 rightAlt = keycodeFor(XKB_KEY_Alt_R);
    const quint32 q = keycodeFor(XKB_KEY_q);
    const quint32 e = keycodeFor(XKB_KEY_e);
    ASSERT_NE(rightAlt, 0u);
    ASSERT_NE(q, 0u);
    ASSERT_NE(e, 0u);

    // The user's field, with the keyboard.
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("Sonorvelle AltGr target"));
    field.resize(320, 40);
    field.show();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field, TestTime::scaledMs(answerTimeoutMs)))
        << "the field never got the focus";

    // The default keys: Right Super dictates, Right Alt asks.
    ASSERT_TRUE(startListening());
    const QString askDown = QStringLiteral("down %1").arg(int(DictationTask::ask));
    const QString askUp = QStringLiteral("up %1").arg(int(DictationTask::ask));
    ASSERT_TRUE(inject({down(rightAlt), settle(), up(rightAlt)}));
    ASSERT_TRUE(waitForReports(2)) << reports.join(u", ").toStdString();
    EXPECT_EQ(reports, (QStringList {askDown, askUp}));
    EXPECT_TRUE(layout.reservedKeys().isEmpty());

    // Switched to German while running: AltGr+Q is "@", AltGr+E is "€", and nothing asks.
    reports.clear();
    ASSERT_TRUE(layouts.use("de"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !layout.reservedKeys().isEmpty(); }, answerTimeoutMs))
        << "the layout switch was not followed";
    EXPECT_EQ(layout.reservedKeys(), QSet<DictationHoldKey> {DictationHoldKey::rightOption});
    ASSERT_TRUE(inject({down(rightAlt), settle(), tap(q), tap(e), settle(), up(rightAlt)}));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return field.text() == QStringLiteral("@€"); }, answerTimeoutMs))
        << field.text().toStdString();
    QTest::qWait(settleMs);
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u", ").toStdString();
    EXPECT_EQ(manager.heldTask(), std::nullopt);
    // Dictation keeps its key meanwhile.
    ASSERT_TRUE(inject({down(superRight), settle(), up(superRight)}));
    ASSERT_TRUE(waitForReports(2)) << reports.join(u", ").toStdString();
    EXPECT_EQ(reports, (QStringList {cleanupDown, cleanupUp}));

    // Back to US: Right Alt asks again, and the settings were never touched.
    reports.clear();
    ASSERT_TRUE(layouts.use("us"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return layout.reservedKeys().isEmpty(); }, answerTimeoutMs))
        << "the layout switch was not followed";
    ASSERT_TRUE(inject({down(rightAlt), settle(), up(rightAlt)}));
    ASSERT_TRUE(waitForReports(2)) << reports.join(u", ").toStdString();
    EXPECT_EQ(reports, (QStringList {askDown, askUp}));
    EXPECT_FALSE(settings.defaults.contains(QStringLiteral("askKey")));
    EXPECT_EQ(field.text(), QStringLiteral("@€"));
}
