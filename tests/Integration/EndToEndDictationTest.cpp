// The whole product as a user meets it: the application started in a fresh home, a text field
// with the focus, Right Super held through XTest while the virtual microphone plays a recording,
// then released. The text must land in the field, the history and the log, and the clipboard and
// the keyboard must be left as they were.

#include "FixtureProgram.h"
#include "Integration/AccessibleTree.h"
#include "Integration/AppHome.h"
#include "Integration/AudioFeeder.h"
#include "Integration/PasteTarget.h"
#include "Integration/X11TestSupport.h"

#include "Base/Clock.h"
#include "Base/Json.h"
#include "Core/DictationController.h"
#include "Core/FocusContextReader.h"
#include "Core/Keychain.h"
#include "Fakes/FakeCompanionHost.h"
#include "Platform/Qt/QtKeychainBackend.h"
#include "Platform/X11/X11Pasteboard.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/TestTime.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>
#include <QUuid>

#include <QCoro/QCoroTask>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Stretched in the sanitizer run, where the application starts and draws several times slower.
const int answerTimeoutMs = TestTime::scaledMs(15000);
// Left after the recording ends before the key goes up, as a person lets go a moment late.
constexpr int releaseAfterSpeechMs = 300;

const QString recordingPath = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");
const QString userClipboardText = QStringLiteral("what the user had copied");

// Keys go in while this process's event loop keeps running: it owns the clipboard, and the
// application reads it at key release.
bool inject(const QStringList &steps)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(FixtureProgram::path(u"sonorvelle_key_injector"), steps);
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, answerTimeoutMs)
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The clipboard's text as a fresh application reads it.
QString clipboardText()
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(FixtureProgram::path(u"sonorvelle_paste_target"),
                  {QStringLiteral("--dump-clipboard")});
    // This process may own the clipboard: its loop must answer the fixture's request.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; },
                         answerTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("text ")) {
            return QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        }
    }
    return {};
}

// The focused field as the application's focus reader sees it through the accessibility bus, read
// on a worker while this thread keeps answering (this process is on the bus too).
FocusContext readFocus()
{
    QFuture<FocusContext> future = QtConcurrent::run(
        [] { return FocusContextReader::read(DictationController::focusTextLength); });
    if (!QTest::qWaitFor([&] { return future.isFinished(); }, answerTimeoutMs)) {
        return {};
    }
    return future.result();
}

class EndToEndDictationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the end-to-end test needs the X11 session of scripts/test";
        ASSERT_TRUE(QFile::exists(recordingPath))
            << "speech recording " << recordingPath.toStdString()
            << " (package pocketsphinx-testdata) is missing";
        for (const auto name :
             {u"sonorvelle_key_injector", u"sonorvelle_audio_feeder", u"sonorvelle_paste_target"}) {
            ASSERT_FALSE(FixtureProgram::path(name).isEmpty())
                << "fixture program " << QString::fromUtf16(name).toStdString() << " was not built";
        }
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("SONORVELLE_TEST_VIRTMIC_FIFO"))
            << "virtual microphone: run the test through scripts/test";
        ASSERT_TRUE(home.isValid());
        superRight = keycodeFor(XKB_KEY_Super_R);
        escape = keycodeFor(XKB_KEY_Escape);
        ASSERT_NE(superRight, 0u) << "the keymap has no Super_R key";
        ASSERT_NE(escape, 0u) << "the keymap has no Escape key";

        ASSERT_TRUE(home.writeDefaults(initialDefaults()));

        startApplication();
        if (!firstLaunch()) {
            ASSERT_NO_FATAL_FAILURE(startTarget());
        }
    }

    // The user has been through onboarding before: dictation works from launch on.
    virtual QByteArray initialDefaults() const
    {
        return R"({"onboardingCompleted": true, "cleanupMode": "rules"})";
    }
    // A first launch shows the onboarding window; its test starts the field once past it.
    virtual bool firstLaunch() const { return false; }

    void startTarget()
    {
        ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
        // The user's clipboard, owned by this process like another application's would be.
        ASSERT_TRUE(otherApplication.writeItems(
            {{{Pasteboard::plainTextType, userClipboardText.toUtf8(), {}, 8}}}));
        ASSERT_EQ(clipboardText(), userClipboardText);
    }

    void TearDown() override
    {
        // The field shows the text on the paste's V; the shortcut's Control is let go just after.
        (void)QTest::qWaitFor([] { return keysDown().isEmpty(); }, answerTimeoutMs);
        EXPECT_EQ(keysDown(), QList<int> {}) << "a key was left pressed";
        AppHome::quit(app);
        if (HasFailure()) {
            std::fprintf(stderr, "--- application log ---\n%s\n", qPrintable(log()));
        }
    }

    // Extra variables for the application's environment.
    virtual void prepareEnvironment(QProcessEnvironment &) const { }

    void startApplication()
    {
        // The sound server is reached through PULSE_SERVER.
        QProcessEnvironment environment = home.environment();
        prepareEnvironment(environment);
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
        ASSERT_TRUE(app.waitForStarted(answerTimeoutMs)) << "the application did not start";
        ASSERT_TRUE(waitForLog("app: launched")) << "the application never logged its launch";
        // Its hotkey listener and the recogniser's warm-up follow the launch line.
        QTest::qWait(1500);
    }

    QString configPath() const
    {
        return home.filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle/defaults.json"));
    }

    // The settings as the application last wrote them.
    Json::Object storedDefaults() const
    {
        QFile file(configPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return Json::Object::object();
        }
        try {
            return Json::parse(file.readAll());
        } catch (const std::exception &) {
            return Json::Object::object();
        }
    }

    QString dataPath(const QString &relative) const
    {
        return home.filePath(QStringLiteral("data/") + relative);
    }

    QString log() const { return home.log(); }

    bool waitForLog(const QString &text)
    {
        return QTest::qWaitFor([&] { return log().contains(text); }, answerTimeoutMs);
    }

    Json::Object history() const
    {
        QFile file(dataPath(QStringLiteral("Sonorvelle/history.json")));
        if (!file.open(QIODevice::ReadOnly)) {
            return Json::Object::array();
        }
        try {
            return Json::parse(file.readAll());
        } catch (const std::exception &) {
            return Json::Object::array();
        }
    }

    size_t historySize() const
    {
        const Json::Object records = history();
        return records.is_array() ? records.size() : 0;
    }

    // Key down, the speech of a recording through `feeder`, key up a moment after it.
    static void speakHolding(quint32 key, const QString &recording, AudioFeeder &feeder)
    {
        ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(key)}));
        feeder.start(recording);
        ASSERT_TRUE(feeder.waitFor("speech-end")) << "the feeder never finished the recording";
        QTest::qWait(releaseAfterSpeechMs);
        ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(key)}));
    }

    // One held-key dictation of a recording, then the time from the release until text is in
    // the field.
    void dictate(const QString &recording, std::vector<qint64> &latencies)
    {
        AudioFeeder feeder;
        ASSERT_NO_FATAL_FAILURE(speakHolding(superRight, recording, feeder));
        QElapsedTimer released;
        released.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !target.text().isEmpty(); }, answerTimeoutMs))
            << "no text reached the field";
        latencies.push_back(released.elapsed());
        feeder.stop();
    }

    static void printLatencies(const char *what, const std::vector<qint64> &latencies)
    {
        std::vector<qint64> sorted = latencies;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%s: %lld ms median of %zu runs (", what,
                    static_cast<long long>(sorted[sorted.size() / 2]), sorted.size());
        for (size_t i = 0; i < latencies.size(); ++i) {
            std::printf("%s%lld", i ? ", " : "", static_cast<long long>(latencies[i]));
        }
        std::printf(" ms)\n");
    }

    // A click on the application's tray icon, as a user opens its menu; the menu's frames once
    // it shows (a popup of its own, past the window manager).
    QList<QRect> openTrayMenu()
    {
        const qint64 pid = app.processId();
        QRect icon;
        const bool shown = QTest::qWaitFor(
            [&] {
                icon = trayIconOf(pid);
                return !icon.isEmpty();
            },
            answerTimeoutMs);
        EXPECT_TRUE(shown) << "tray host: no status icon (scripts/test starts trayer)";
        QList<QRect> menu;
        const bool opened = shown && clickAt(icon.center())
            && QTest::qWaitFor(
                                [&] {
                                    menu = overrideRedirectWindowsOf(pid);
                                    return !menu.isEmpty();
                                },
                                answerTimeoutMs);
        EXPECT_TRUE(opened) << "the icon's menu did not open";
        return menu;
    }

    AppHome home;
    QProcess app;
    PasteTarget target {answerTimeoutMs};
    X11Pasteboard otherApplication;
    quint32 superRight = 0;
    quint32 escape = 0;
};

TEST_F(EndToEndDictationTest, HeldKeySpeechAndReleaseInsertTheCleanedTextAndRecordIt)
{
    std::vector<qint64> latencies;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("dictation #" + std::to_string(run));
        ASSERT_TRUE(target.clear());
        const size_t recordsBefore = historySize();

        ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
        const QString inserted = target.text();
        std::printf("dictation #%d inserted \"%s\"\n", run, qPrintable(inserted));
        EXPECT_TRUE(inserted.contains(QStringLiteral("go forward ten meters"), Qt::CaseInsensitive))
            << "the field holds \"" << inserted.toStdString() << "\"";

        ASSERT_TRUE(QTest::qWaitFor([&] { return historySize() > recordsBefore; }, answerTimeoutMs))
            << "no history record was written";
        const Json::Object newest = history().at(0);
        EXPECT_EQ(QString::fromStdString(newest.value("cleanedText", std::string())), inserted);
        EXPECT_FALSE(newest.value("appName", std::string()).empty()) << newest.dump();
        EXPECT_EQ(newest.value("engineName", std::string()), "SFSpeechRecognizer");
        EXPECT_FALSE(newest.value("localeIdentifier", std::string()).empty()) << newest.dump();

        EXPECT_TRUE(waitForLog(QStringLiteral("trace #%1 summary:").arg(run)))
            << "the session's summary line is missing from the log";
        EXPECT_TRUE(
            QTest::qWaitFor([] { return clipboardText() == userClipboardText; }, answerTimeoutMs))
            << "the clipboard holds \"" << clipboardText().toStdString() << "\"";
        EXPECT_EQ(keysDown(), QList<int> {}) << "a key was left pressed";

        if (run == 1) {
            // Signed out with cloud cleanup, the user is asked once, after the text is in, to
            // sign in; they answer Later and go back to their field.
            QTest::qWait(1000);
            ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
            QTest::qWait(300);
        }
    }
    printLatencies("key release to text in the field", latencies);
}

// Signed out, the on-device recogniser's own sentence reaches the field: a capital, the words,
// a full stop.
TEST_F(EndToEndDictationTest, AHeldKeyOverACommandInsertsItAsASentence)
{
    ASSERT_TRUE(target.clear());
    std::vector<qint64> latencies;
    ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return target.text() == QStringLiteral("Go forward ten meters."); }, answerTimeoutMs))
        << "the field holds \"" << target.text().toStdString() << "\"";
}

// Key release to text in the field over read sentences of three to seven seconds, the five
// librivox recordings of pocketsphinx-testdata, each one dictation.
TEST_F(EndToEndDictationTest, ReadSentencesReachTheFieldSoonAfterTheRelease)
{
    const QDir folder(QStringLiteral("/usr/share/pocketsphinx/test/data/librivox"));
    const QStringList recordings =
        folder.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    ASSERT_EQ(recordings.size(), 5)
        << "the librivox recordings of pocketsphinx-testdata are missing";
    std::vector<qint64> latencies;
    for (const QString &recording : recordings) {
        SCOPED_TRACE(recording.toStdString());
        ASSERT_TRUE(target.clear());
        ASSERT_NO_FATAL_FAILURE(dictate(folder.filePath(recording), latencies));
        std::printf("%s inserted \"%s\"\n", qPrintable(recording), qPrintable(target.text()));
        // The next dictation starts once this one has left the clipboard as it was.
        EXPECT_TRUE(
            QTest::qWaitFor([] { return clipboardText() == userClipboardText; }, answerTimeoutMs));
    }
    printLatencies("key release to text in the field, read sentences", latencies);
}

// The companion host, started after the application, is found on the next heartbeat, sees the
// recording live in its notch and then the new entry at the top of the history.
TEST_F(EndToEndDictationTest, TheCompanionHostMirrorsADictation)
{
    FakeCompanionHost host(home.filePath(QStringLiteral("data/Velmoor/bridge.sock")));
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return host.lines.size() >= 3; }, 10000))
        << "the application never connected to the companion host";
    EXPECT_EQ(host.kinds().mid(0, 3), QStringList({"hello", "state:actions", "state:items"}));

    ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(superRight)}));
    AudioFeeder feeder;
    feeder.start(recordingPath);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return host.kinds().contains(QStringLiteral("state:ear+status")); }, 5000))
        << "the recording never reached the host: " << host.kinds().join(u' ').toStdString();
    ASSERT_TRUE(feeder.waitFor("speech-end"));
    QTest::qWait(releaseAfterSpeechMs);
    ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(superRight)}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target.text().isEmpty(); }, answerTimeoutMs));
    feeder.stop();

    const auto newestTitle = [&] {
        const QList<nlohmann::json> messages = host.messages();
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->contains("items") && !(*it)["items"].empty()) {
                return QString::fromStdString((*it)["items"][0]["title"].get<std::string>());
            }
        }
        return QString();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !newestTitle().isEmpty(); }, answerTimeoutMs));
    EXPECT_EQ(newestTitle(), target.text().trimmed());
}

TEST_F(EndToEndDictationTest, EscapeDuringTheRecordingCancelsAndInsertsNothing)
{
    ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(superRight)}));
    AudioFeeder feeder;
    feeder.start(recordingPath);
    ASSERT_TRUE(feeder.waitFor("speech-start")) << "the feeder never started the recording";
    ASSERT_TRUE(waitForLog(QStringLiteral("dictation: start #1"))) << "no session started";
    QTest::qWait(500);
    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
    QTest::qWait(200);
    ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(superRight)}));
    feeder.stop();
    ASSERT_TRUE(waitForLog(QStringLiteral("trace #1 summary:"))) << "the session never ended";
    // Ended by Escape, not by the release: the trace closed before it saw the key go up.
    const QString summary =
        log().section(QStringLiteral("trace #1 summary:"), 1).section(u'\n', 0, 0);
    EXPECT_FALSE(summary.contains(QStringLiteral("hold="))) << summary.toStdString();

    // Long enough for a transcription of the whole recording to have arrived.
    QTest::qWait(3000);
    EXPECT_EQ(target.text(), QString()) << "text was inserted after a cancel";
    EXPECT_EQ(historySize(), 0u) << "a cancelled session left a history record";
    EXPECT_EQ(clipboardText(), userClipboardText);
}

// A first launch in a fresh home: the onboarding window opens by itself; the user clicks through
// its four pages where they are drawn (found as a screen reader finds them), switches both
// consents off, and starts. Onboarding is then done, the consents stored as clicked, the window
// gone, and a held key dictates without a relaunch.
// The top-level window of process `pid` with this title that the window manager manages.
std::optional<xcb_window_t> managedWindow(qint64 pid, const char *title)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return std::nullopt;
    }
    xcb_connection_t *c = connection.get();
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t clients = internAtom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t wmPid = internAtom(c, "_NET_WM_PID");
    const xcb_atom_t wmName = internAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> list(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, screen->root, clients, XCB_ATOM_WINDOW, 0, 1024), nullptr),
        &std::free);
    if (!list) {
        return std::nullopt;
    }
    const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(list.get()));
    const int count = xcb_get_property_value_length(list.get()) / int(sizeof(xcb_window_t));
    for (int i = 0; i < count; ++i) {
        if (cardinalProperty(c, windows[i], wmPid) != std::optional<uint32_t>(uint32_t(pid))) {
            continue;
        }
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
            xcb_get_property_reply(c, xcb_get_property(c, 0, windows[i], wmName, utf8, 0, 256),
                                   nullptr),
            &std::free);
        if (name
            && QByteArray(static_cast<const char *>(xcb_get_property_value(name.get())),
                          xcb_get_property_value_length(name.get()))
                == title) {
            return windows[i];
        }
    }
    return std::nullopt;
}

// What the window's close button does: ask the window manager to close it.
bool askToClose(xcb_window_t window)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_connection_t *c = connection.get();
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = internAtom(c, "_NET_CLOSE_WINDOW");
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2; // sent on the user's behalf
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    return xcb_flush(c) > 0;
}

class FirstLaunchTest : public EndToEndDictationTest
{
protected:
    QByteArray initialDefaults() const override { return R"({"cleanupMode": "rules"})"; }
    bool firstLaunch() const override { return true; }

    bool waitForText(qint64 pid, const QString &name)
    {
        return QTest::qWaitFor([&] { return tree.find(pid, name).has_value(); }, answerTimeoutMs);
    }

    // A user's click on the showing control of this name and kind.
    bool press(qint64 pid, const QString &name, const QString &role)
    {
        std::optional<AccessibleTree::Node> node;
        const bool found = QTest::qWaitFor(
            [&] {
                node = tree.find(pid, name, role);
                return node && !node->extents.isEmpty();
            },
            answerTimeoutMs);
        return found && clickAt(node->extents.center());
    }

    // The window as the window manager lists it, which may be a moment after its text reached
    // the accessibility bus.
    std::optional<xcb_window_t> listedWindow(qint64 pid)
    {
        std::optional<xcb_window_t> window;
        if (!QTest::qWaitFor(
                [&] { return (window = managedWindow(pid, "Sonorvelle")).has_value(); },
                answerTimeoutMs)) {
            return std::nullopt;
        }
        return window;
    }

    bool stored(const char *key, bool value)
    {
        return QTest::qWaitFor(
            [&] {
                const Json::Object defaults = storedDefaults();
                return defaults.contains(key) && defaults.at(key).is_boolean()
                    && defaults.at(key).get<bool>() == value;
            },
            answerTimeoutMs);
    }

    AccessibleTree tree;
};

TEST_F(FirstLaunchTest, ClickingThroughTheFourPagesStartsDictation)
{
    ASSERT_TRUE(tree.connected()) << "AT-SPI bus: run the test through scripts/test";
    const qint64 pid = app.processId();
    ASSERT_TRUE(waitForText(pid, QStringLiteral("Just speak — type anywhere.")))
        << "no onboarding window on a first launch";
    EXPECT_FALSE(storedDefaults().contains("onboardingCompleted"));

    ASSERT_TRUE(press(pid, QStringLiteral("Continue"), QStringLiteral("button")));
    // The test session grants Accessibility and has a recogniser: nothing to wait for, and the
    // page says so.
    ASSERT_TRUE(waitForText(pid, QStringLiteral("Permissions granted")));
    EXPECT_TRUE(waitForText(pid, QStringLiteral("Allowed")));
    ASSERT_TRUE(press(pid, QStringLiteral("Continue"), QStringLiteral("button")));
    ASSERT_TRUE(waitForText(pid, QStringLiteral("How to use")));
    EXPECT_TRUE(tree.find(pid, QStringLiteral("Right Super")).has_value())
        << "the tutorial names the hold key";
    ASSERT_TRUE(press(pid, QStringLiteral("Continue"), QStringLiteral("button")));
    ASSERT_TRUE(waitForText(pid, QStringLiteral("You're all set")));

    ASSERT_TRUE(press(pid, QStringLiteral("Help improve the program"), QStringLiteral("check")));
    EXPECT_TRUE(stored("improveDataSharing", false));
    ASSERT_TRUE(press(pid, QStringLiteral("Send crash reports"), QStringLiteral("check")));
    EXPECT_TRUE(stored("crashReportingEnabled", false));
    EXPECT_FALSE(storedDefaults().contains("onboardingCompleted"));

    ASSERT_TRUE(press(pid, QStringLiteral("Get Started"), QStringLiteral("button")));
    EXPECT_TRUE(stored("onboardingCompleted", true));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !tree.find(pid, QStringLiteral("You're all set")).has_value(); },
        answerTimeoutMs))
        << "the onboarding window is still open";

    // The core starts at the next permission tick; then the user dictates into a field.
    QTest::qWait(3000);
    ASSERT_NO_FATAL_FAILURE(startTarget());
    std::vector<qint64> latencies;
    ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
    EXPECT_TRUE(
        target.text().contains(QStringLiteral("go forward ten meters"), Qt::CaseInsensitive))
        << "the field holds \"" << target.text().toStdString() << "\"";
    // The paste ends with the user's clipboard back and no key held.
    EXPECT_TRUE(
        QTest::qWaitFor([] { return clipboardText() == userClipboardText; }, answerTimeoutMs))
        << "the clipboard holds \"" << clipboardText().toStdString() << "\"";
}

// Closing the window on its first page counts as done: the window goes, onboarding is marked
// done, and the next launch shows no onboarding (the microphone needs no permission here).
TEST_F(FirstLaunchTest, ClosingOnTheFirstPageMarksOnboardingDone)
{
    ASSERT_TRUE(tree.connected()) << "AT-SPI bus: run the test through scripts/test";
    const qint64 pid = app.processId();
    ASSERT_TRUE(waitForText(pid, QStringLiteral("Just speak — type anywhere.")));
    const std::optional<xcb_window_t> window = listedWindow(pid);
    ASSERT_TRUE(window.has_value()) << "the window manager lists no onboarding window";
    ASSERT_TRUE(askToClose(*window));

    EXPECT_TRUE(stored("onboardingCompleted", true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !managedWindow(pid, "Sonorvelle"); }, answerTimeoutMs))
        << "the onboarding window is still there";
    EXPECT_EQ(app.state(), QProcess::Running) << "closing the window must not end the application";

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(10000));
    ASSERT_NO_FATAL_FAILURE(startApplication());
    QTest::qWait(1500);
    EXPECT_FALSE(tree.find(app.processId(), QStringLiteral("Just speak — type anywhere.")))
        << "onboarding shown again after it was closed";
    EXPECT_FALSE(managedWindow(app.processId(), "Sonorvelle").has_value());
}

// The application runs with its icon in the tray; no field is needed.
class RunningApplicationTest : public EndToEndDictationTest
{
protected:
    bool firstLaunch() const override { return true; }

    // Starts the program again as the application menu or a terminal would, with the running
    // instance's environment; true when it handed over and ended by itself.
    bool launchAgain(const QStringList &arguments)
    {
        QProcess second;
        second.setProcessEnvironment(app.processEnvironment());
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(QStringLiteral(SONORVELLE_APP_BINARY), arguments);
        return second.waitForFinished(answerTimeoutMs)
            && second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0;
    }
};

// Started again from the application menu while it runs, the application shows its settings
// window, also where a tray host shows its icon; a launch carrying a URL only hands it over.
TEST_F(RunningApplicationTest, APlainSecondLaunchShowsTheSettingsWindowBesideTheTray)
{
    const qint64 pid = app.processId();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !trayIconOf(pid).isEmpty(); }, answerTimeoutMs))
        << "tray host: no status icon (scripts/test starts trayer)";
    EXPECT_FALSE(managedWindow(pid, "Sonorvelle").has_value());

    ASSERT_TRUE(launchAgain({QStringLiteral("sonorvelle://nothing-to-see")}));
    ASSERT_TRUE(waitForLog("app: callback URL received (host=nothing-to-see)"));
    QTest::qWait(500);
    EXPECT_FALSE(managedWindow(pid, "Sonorvelle").has_value())
        << "a launch that forwards a URL opened a window";

    ASSERT_TRUE(launchAgain({}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return managedWindow(pid, "Sonorvelle").has_value(); },
                                answerTimeoutMs))
        << "the second launch showed no settings window";
    EXPECT_EQ(log().count(QStringLiteral("app: launched")), 1) << "the second launch ran itself";
}

// Settings reach the disk a moment after they change; one changed just before the application is
// told to quit is on disk all the same once it has quit.
TEST_F(FirstLaunchTest, ASettingChangedJustBeforeAQuitIsKept)
{
    ASSERT_TRUE(tree.connected()) << "AT-SPI bus: run the test through scripts/test";
    const qint64 pid = app.processId();
    ASSERT_TRUE(waitForText(pid, QStringLiteral("Just speak — type anywhere.")));
    const std::optional<xcb_window_t> window = listedWindow(pid);
    ASSERT_TRUE(window.has_value()) << "the window manager lists no onboarding window";
    EXPECT_FALSE(storedDefaults().contains("onboardingCompleted"));

    // Closing the window marks onboarding done; the quit follows the moment the window is gone.
    ASSERT_TRUE(askToClose(*window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !managedWindow(pid, "Sonorvelle"); }, answerTimeoutMs))
        << "the onboarding window is still there";
    ::kill(pid_t(pid), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitCode(), 0);

    const Json::Object defaults = storedDefaults();
    EXPECT_TRUE(defaults.contains("onboardingCompleted")
                && defaults.at("onboardingCompleted") == Json::Object(true))
        << defaults.dump();
}

} // namespace

namespace {

// The same dictation for a signed-in user with cloud transcription on: the recording goes to the
// service and the service's text is what lands in the field.
class CloudEndToEndDictationTest : public EndToEndDictationTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(backend.isAvailable())
            << "keyring: no secret service on the session bus (scripts/test starts gnome-keyring)";
        QCoro::waitFor(keychain.load());
        ASSERT_FALSE(keychain.isMemoryOnly());
        keychain.set(QStringLiteral("token-") + QUuid::createUuid().toString(QUuid::Id128),
                     QStringLiteral("cloudToken"));
        keychain.set(QStringLiteral("user@example.org"), QStringLiteral("cloudEmail"));
        keychain.set(QStringLiteral("pro"), QStringLiteral("cloudTier"));
        QCoro::waitFor(keychain.waitForPendingJobs());
        service.respond(
            "/api/me",
            FakeCloudService::Reply::json(R"({"email":"user@example.org","tier":"pro"})"));
        service.respond("/api/dictate",
                        FakeCloudService::Reply::json(R"({"raw":"go forward ten meters",)"
                                                      R"("text":"go forward, ten meters!"})"));
        EndToEndDictationTest::SetUp();
    }

    void TearDown() override
    {
        EndToEndDictationTest::TearDown();
        // Later tests start signed out.
        for (const auto key : {u"cloudToken", u"cloudEmail", u"cloudTier"}) {
            keychain.remove(QString::fromUtf16(key));
        }
        QCoro::waitFor(keychain.waitForPendingJobs());
    }

    QByteArray initialDefaults() const override
    {
        return R"({"onboardingCompleted": true, "cleanupMode": "cloud", "cloudSTT": true})";
    }

    void prepareEnvironment(QProcessEnvironment &environment) const override
    {
        environment.insert(QStringLiteral("SONORVELLE_CLOUD_URL"), service.baseURL().toString());
    }

    QtKeychainBackend backend;
    Keychain keychain {&backend, Clock::system(), std::chrono::seconds(10)};
    FakeCloudService service;
};

} // namespace

TEST_F(CloudEndToEndDictationTest, ASignedInDictationInsertsTheServicesTextAndSendsTheRecording)
{
    std::vector<qint64> latencies;
    ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return target.text() == QStringLiteral("go forward, ten meters!"); },
                        answerTimeoutMs))
        << "the field holds \"" << target.text().toStdString() << "\"";

    const auto requests = service.requests("/api/dictate");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization").rfind("Bearer token-", 0), 0u);
    const FakeCloudService::Part *audio = requests[0].part("audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->content.substr(0, 4), "RIFF");
    EXPECT_EQ(audio->content.substr(8, 4), "WAVE");
    // More than a second of 16-bit audio: the whole recording, not a header alone.
    EXPECT_GT(audio->content.size(), 32000u);
    const FakeCloudService::Part *meta = requests[0].part("meta");
    ASSERT_NE(meta, nullptr);
    const Json::Object sent = Json::parse(QByteArray::fromStdString(meta->content));
    EXPECT_EQ(sent.value("task", std::string()), "cleanup");
    EXPECT_EQ(sent.value("style", std::string()), "faithful");
    EXPECT_TRUE(
        QTest::qWaitFor([] { return clipboardText() == userClipboardText; }, answerTimeoutMs))
        << "the clipboard holds \"" << clipboardText().toStdString() << "\"";
    printLatencies("key release to text in the field, cloud service answering at once", latencies);
    // Where the time went, by the application's own timeline.
    for (const QString &line : log().split(u'\n')) {
        if (line.contains(QStringLiteral(" summary: "))) {
            std::printf("%s\n", qPrintable(line));
        }
    }
}

TEST_F(CloudEndToEndDictationTest,
       WhenTheServiceCannotTranscribeTheOnDeviceWordsAreCleanedInTheCloud)
{
    service.script("/api/dictate", FakeCloudService::Reply::json(R"({"error":"busy"})", 503));
    // The on-device text is a sentence ("Go forward ten meters."); the service's text differs
    // from it by the full stop alone, so that the field shows whose text it got.
    service.respond("/api/cleanup",
                    FakeCloudService::Reply::json(R"({"text":"Go forward ten meters"})"));
    std::vector<qint64> latencies;
    ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return target.text() == QStringLiteral("Go forward ten meters"); }, answerTimeoutMs))
        << "the field holds \"" << target.text().toStdString() << "\"";

    const auto cleanups = service.requests("/api/cleanup");
    ASSERT_EQ(cleanups.size(), 1u);
    const Json::Object sent = Json::parse(QByteArray::fromStdString(cleanups[0].body));
    EXPECT_EQ(sent.value("transcript", std::string()), "Go forward ten meters.");
    EXPECT_EQ(sent.value("style", std::string()), "faithful");
    EXPECT_TRUE(
        QTest::qWaitFor([] { return clipboardText() == userClipboardText; }, answerTimeoutMs));
}

// Escape while the recording is with the service: the upload's connection closes at once, and
// nothing of the session is inserted or recorded, nor sent after it (no on-device fallback with a
// cloud cleanup of its own).
TEST_F(CloudEndToEndDictationTest, EscapeWhileTheRecordingIsWithTheServiceClosesItsConnection)
{
    FakeCloudService::Reply held;
    held.hold = true;
    service.script("/api/dictate", held);
    ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(superRight)}));
    AudioFeeder feeder;
    feeder.start(recordingPath);
    ASSERT_TRUE(feeder.waitFor("speech-end")) << "the feeder never finished the recording";
    QTest::qWait(releaseAfterSpeechMs);
    ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(superRight)}));
    ASSERT_TRUE(
        service.waitForRequests("/api/dictate", 1, std::chrono::milliseconds(answerTimeoutMs)))
        << "the recording never reached the service";

    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
    const auto escaped = std::chrono::steady_clock::now();
    const auto closedAt = service.waitForClose("/api/dictate");
    ASSERT_TRUE(closedAt.has_value()) << "the upload's connection stayed open after Escape";
    EXPECT_LT(*closedAt - escaped, std::chrono::milliseconds(500));
    feeder.stop();
    ASSERT_TRUE(waitForLog(QStringLiteral("trace #1 summary:"))) << "the session never ended";

    // Long enough for an on-device fallback and its cleanup request to have gone out.
    QTest::qWait(3000);
    EXPECT_EQ(target.text(), QString()) << "text was inserted after a cancel";
    EXPECT_EQ(historySize(), 0u) << "a cancelled session left a history record";
    EXPECT_EQ(service.requests("/api/dictate").size(), 1u);
    EXPECT_TRUE(service.requests("/api/cleanup").empty()) << "the session's text was sent";
    EXPECT_EQ(clipboardText(), userClipboardText);
}

// An ask session of the real application, signed in with cloud transcription: the service's
// transcript of the question becomes the card's header and its text the answer.
class CloudAskTest : public CloudEndToEndDictationTest
{
protected:
    // Holds the ask key while the recording plays and lets go; returns once the card is shown.
    void ask(const QString &question, const QString &answer)
    {
        Json::Object reply = Json::Object::object();
        Json::putString(reply, "raw", question);
        Json::putString(reply, "text", answer);
        service.respond("/api/dictate", FakeCloudService::Reply::json(reply.dump()));
        const quint32 askKey = keycodeFor(XKB_KEY_Alt_R);
        ASSERT_NE(askKey, 0u) << "the keymap has no Alt_R key";
        AudioFeeder feeder;
        ASSERT_NO_FATAL_FAILURE(speakHolding(askKey, recordingPath, feeder));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return log().contains(QStringLiteral("answer card shown")); }, answerTimeoutMs))
            << "no answer card";
        feeder.stop();
    }
};

// Quitting at logout while an answer card slides in: the application ends normally and leaves no
// crash behind for its next start to report.
TEST_F(CloudAskTest, TheEndOfTheSessionWhileACardFadesInEndsTheApplicationCleanly)
{
    ASSERT_NO_FATAL_FAILURE(
        ask(QStringLiteral("how far is it"), QStringLiteral("About ten meters.")));
    // The card fades in for 220 ms from its log line on.
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(answerTimeoutMs)) << "the application did not quit";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_FALSE(
        QFile::exists(dataPath(QStringLiteral("org.sonorvelle.Sonorvelle/crash-report.pending"))))
        << "the next start would report a crash";
}

// A transcript that looks like markup is a question like any other: the card shows its
// characters, and an image it names is never fetched.
TEST_F(CloudAskTest, AMarkupTranscriptIsShownAsItsCharactersAndFetchesNothing)
{
    const QString question = QStringLiteral("<b>how</b> far <img src=\"%1/probe.png\">")
                                 .arg(service.baseURL().toString());
    ASSERT_NO_FATAL_FAILURE(ask(question, QStringLiteral("<i>About</i> ten meters.")));
    AccessibleTree tree;
    ASSERT_TRUE(tree.connected()) << "accessibility bus: scripts/test starts it";
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree.find(app.processId(), question).has_value(); },
                                answerTimeoutMs))
        << "the card does not read the question as it came";
    EXPECT_TRUE(tree.find(app.processId(), QStringLiteral("<i>About</i> ten meters.")).has_value());
    // Long enough for an image named in the card to have been asked for.
    QTest::qWait(1000);
    EXPECT_TRUE(service.requests("/probe.png").empty()) << "the card fetched a remote image";
}

// The voice bar of a real dictation: it appears at the top centre of the screen while the user
// speaks into a focused field of another application, and the field keeps the keyboard focus
// before, during and after, for the window manager and for the accessibility bus.
TEST_F(EndToEndDictationTest, TheVoiceBarShowsDuringADictationWhileTheFieldKeepsTheFocus)
{
    const quint32 x = keycodeFor(XKB_KEY_x);
    ASSERT_NE(x, 0u);
    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(x)}));
    ASSERT_TRUE(target.waitForText(QStringLiteral("x")));
    const xcb_window_t field = activeWindow();
    ASSERT_NE(field, xcb_window_t(XCB_WINDOW_NONE));
    const auto fieldHasTheFocus = [&](const std::string &when) {
        EXPECT_EQ(activeWindow(), field) << "the active window changed " << when;
        const FocusContext focus = readFocus();
        EXPECT_EQ(focus.windowTitle, QStringLiteral("Sonorvelle paste target")) << when;
        EXPECT_TRUE(focus.fieldText && focus.fieldText->startsWith(u'x'))
            << "the field lost the accessibility focus " << when << ": "
            << focus.fieldText.value_or(QStringLiteral("<none>")).toStdString();
    };
    const auto bar = [&] {
        return overrideRedirectWindowsOf(app.processId());
    };
    fieldHasTheFocus("before the dictation");
    EXPECT_EQ(bar(), QList<QRect> {});
    const QColor desktop = screenPixel(QPoint(550, 3));

    ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(superRight)}));
    AudioFeeder feeder;
    feeder.start(recordingPath);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar().isEmpty(); }, answerTimeoutMs))
        << "the voice bar never showed";
    // The notch style, hanging from the top centre of the 1280-wide screen, drawn there.
    EXPECT_EQ(bar(), QList<QRect> {QRect(400, 0, 480, 76)});
    // Its near-black tab, whatever the display's rounding of the colour.
    const QPoint inTab(550, 3);
    const auto nearBlack = [](const QColor &color) {
        return color.isValid() && color.red() <= 16 && color.green() <= 16 && color.blue() <= 16;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return nearBlack(screenPixel(inTab)); }, answerTimeoutMs))
        << "the tab is not on screen: " << screenPixel(inTab).name().toStdString()
        << " (before the bar: " << desktop.name().toStdString() << ")";
    for (int sample = 0; sample < 3; ++sample) {
        fieldHasTheFocus("while the bar shows #" + std::to_string(sample + 1));
        QTest::qWait(300);
    }
    ASSERT_TRUE(feeder.waitFor("speech-end"));
    QTest::qWait(releaseAfterSpeechMs);
    ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(superRight)}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.text().size() > 1; }, answerTimeoutMs))
        << "no text reached the field";
    feeder.stop();
    EXPECT_TRUE(target.text().contains(QStringLiteral("go forward"), Qt::CaseInsensitive))
        << target.text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar().isEmpty(); }, answerTimeoutMs))
        << "the voice bar stayed after the session";
    // A moment for anything shown after the insertion to have come up.
    QTest::qWait(1000);
    fieldHasTheFocus("after the dictation");
}

// The settings window of the running application, opened from its tray icon's menu as a user
// does: the Account tab shows the signed-in account and today's usage from the service, and a
// term added on the Dictionary tab is stored and pushed to the account's copy.
TEST_F(CloudEndToEndDictationTest, TheSettingsWindowShowsTheUsageAndSyncsATermAdded)
{
    service.respond(
        "/api/cleanup/usage",
        FakeCloudService::Reply::json(
            R"({"tier":"pro","requests":{"used":12,"limit":200},)"
            R"("costMicros":{"used":125,"limit":1000},"resetAt":"2026-12-10T00:00:00Z"})"));
    AccessibleTree tree;
    ASSERT_TRUE(tree.connected()) << "AT-SPI bus: run the test through scripts/test";
    const qint64 pid = app.processId();
    const auto press = [&](const QString &name) {
        std::optional<AccessibleTree::Node> node;
        const bool found = QTest::qWaitFor(
            [&] {
                node = tree.find(pid, name);
                return node && !node->extents.isEmpty();
            },
            answerTimeoutMs);
        return found && clickAt(node->extents.center());
    };

    // The menu is a popup of its own that the accessibility bus does not list: the keyboard walks
    // it, past the disabled Cancel, to "Settings…" (Start / Stop, Pause, Microphone, History).
    ASSERT_FALSE(openTrayMenu().isEmpty());
    QStringList walk;
    for (int i = 0; i < 5; ++i) {
        walk << QStringLiteral("tap:%1").arg(keycodeFor(XKB_KEY_Down));
    }
    walk << QStringLiteral("tap:%1").arg(keycodeFor(XKB_KEY_Return));
    ASSERT_TRUE(inject(walk));

    ASSERT_TRUE(press(QStringLiteral("Account"))) << "the settings window has no Account tab";
    const auto shows = [&](const QString &name) {
        return QTest::qWaitFor([&] { return tree.find(pid, name).has_value(); }, answerTimeoutMs);
    };
    EXPECT_TRUE(shows(QStringLiteral("user@example.org")));
    EXPECT_TRUE(shows(QStringLiteral("Requests: 12 / 200")));
    EXPECT_TRUE(shows(QStringLiteral("AI processing: 13%")));
    const auto usage = service.requests("/api/cleanup/usage");
    ASSERT_FALSE(usage.empty());
    EXPECT_EQ(usage.front().header("Authorization"),
              service.requests("/api/me").at(0).header("Authorization"));

    ASSERT_TRUE(press(QStringLiteral("Dictionary"))) << "the settings window has no Dictionary tab";
    ASSERT_TRUE(press(QStringLiteral("Add a term…")));
    QStringList taps;
    for (const xkb_keysym_t key : {XKB_KEY_g, XKB_KEY_r, XKB_KEY_a, XKB_KEY_f, XKB_KEY_a, XKB_KEY_n,
                                   XKB_KEY_a, XKB_KEY_Return}) {
        taps << QStringLiteral("tap:%1").arg(keycodeFor(key));
    }
    ASSERT_TRUE(inject(taps));

    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const Json::Object defaults = storedDefaults();
            return defaults.contains("sharedDictionaryTerms")
                && defaults.at("sharedDictionaryTerms") == Json::Object::array({"grafana"});
        },
        answerTimeoutMs))
        << "the term was not stored";
    const auto pushed = [&] {
        for (const auto &request : service.requests("/api/sync/shared")) {
            if (request.method == "PUT" && request.body.find("grafana") != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(pushed, answerTimeoutMs)) << "the term never reached the service";
}

namespace {

// Signed out with the default cleanup, the first dictation ends in the question whether to sign
// in. It comes up while the user goes on typing in their field.
class SignedOutDictationTest : public EndToEndDictationTest
{
protected:
    QByteArray initialDefaults() const override { return R"({"onboardingCompleted": true})"; }
};

} // namespace

// The sign-in alert shows beside the field without taking the keyboard: what the user types next,
// a Space and an Enter among it, lands in the field, whose window stays active the whole time, and
// the alert stays unanswered. A click on the alert's body hands it the focus.
TEST_F(SignedOutDictationTest, TheSignInAlertLeavesTheKeyboardWithTheField)
{
    const xcb_window_t field = activeWindow();
    ASSERT_NE(field, xcb_window_t(XCB_WINDOW_NONE));
    const qint64 pid = app.processId();
    int samples = 0;
    int elsewhere = 0;
    const auto sample = [&] {
        ++samples;
        if (activeWindow() != field) {
            ++elsewhere;
        }
    };

    std::vector<qint64> latencies;
    ASSERT_NO_FATAL_FAILURE(dictate(recordingPath, latencies));
    const QString inserted = target.text();
    std::optional<xcb_window_t> alert;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            sample();
            alert = managedWindow(pid, "Sonorvelle");
            return alert.has_value() && !windowFrame(*alert).isEmpty();
        },
        answerTimeoutMs))
        << "no sign-in alert after a signed-out dictation";
    // A moment for a window manager that would hand the alert the focus late.
    QElapsedTimer shown;
    shown.start();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            sample();
            return shown.elapsed() > 1000;
        },
        2000));

    QStringList typing;
    for (const xkb_keysym_t key : {XKB_KEY_space, XKB_KEY_o, XKB_KEY_k, XKB_KEY_Return}) {
        typing << QStringLiteral("tap:%1").arg(keycodeFor(key));
    }
    ASSERT_TRUE(inject(typing));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            sample();
            return target.text() == inserted + QStringLiteral(" ok\n");
        },
        answerTimeoutMs))
        << "the field holds \"" << target.text().toStdString() << "\"";
    EXPECT_EQ(elsewhere, 0) << "the field's window lost the focus in " << elsewhere << " of "
                            << samples << " samples";
    EXPECT_TRUE(managedWindow(pid, "Sonorvelle").has_value()) << "the typing answered the alert";

    // The user turns to the alert: a click on its text, away from the buttons.
    const QRect frame = windowFrame(*alert);
    ASSERT_TRUE(clickAt(frame.topLeft() + QPoint(frame.width() / 2, 20)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return activeWindow() == *alert; }, answerTimeoutMs))
        << "a click on the alert did not give it the focus";
    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !managedWindow(pid, "Sonorvelle"); }, answerTimeoutMs))
        << "Escape did not answer the focused alert";
    EXPECT_EQ(target.text(), inserted + QStringLiteral(" ok\n"));
}

namespace {

// A plain window of another application lying under the voice bar, counting the clicks it gets.
class WindowBelow : public QRasterWindow
{
public:
    static constexpr QRgb fill = 0xff008080;
    int presses = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor::fromRgb(fill));
    }
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

// The voice bar in each of its two styles.
class VoiceBarClickThroughTest
    : public EndToEndDictationTest
    , public testing::WithParamInterface<const char *>
{
protected:
    QByteArray initialDefaults() const override
    {
        return QByteArray(R"({"onboardingCompleted": true, "cleanupMode": "rules", )")
            + R"("voiceBarStyle": ")" + GetParam() + R"("})";
    }
};

} // namespace

// The bar shows over whatever the user works in and must never be in the way: a click on its
// middle while it records reaches the window under it, which the window manager then activates.
// The recording is started from the tray menu, so no key is held: a click with the hold key down
// is a Super-click, which the window manager keeps for itself.
TEST_P(VoiceBarClickThroughTest, AClickOnTheBarWhileRecordingReachesTheWindowBelow)
{
    const qint64 pid = app.processId();
    const xcb_window_t field = activeWindow();
    ASSERT_NE(field, xcb_window_t(XCB_WINDOW_NONE));
    WindowBelow below;
    below.setFlags(Qt::FramelessWindowHint);
    below.setGeometry(QGuiApplication::primaryScreen()->geometry());
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below, answerTimeoutMs));
    // The window manager hands the new window the focus a moment after mapping it; then the
    // field is raised over it and active again, as when the user was typing there.
    const bool belowFocused =
        QTest::qWaitFor([&] { return activeWindow() == xcb_window_t(below.winId()); }, 2000);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (activeWindow() == field) {
                return true;
            }
            askToActivate(field);
            return false;
        },
        answerTimeoutMs))
        << "the field's window could not be activated again (the new window was "
        << (belowFocused ? "" : "not ") << "focused)";

    const QList<QRect> menu = openTrayMenu();
    ASSERT_FALSE(menu.isEmpty());
    AudioFeeder feeder;
    feeder.start(recordingPath);
    // "Start Recording" is the menu's first entry.
    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(keycodeFor(XKB_KEY_Down)),
                        QStringLiteral("tap:%1").arg(keycodeFor(XKB_KEY_Return))}));
    ASSERT_TRUE(waitForLog(QStringLiteral("dictation: start #1"))) << "no recording started";
    QList<QRect> bar;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            bar = overrideRedirectWindowsOf(pid);
            bar.removeIf([&](const QRect &frame) { return menu.contains(frame); });
            return bar.size() == 1;
        },
        answerTimeoutMs))
        << "the voice bar never showed";
    // The notch style's drawn part is the tab hanging 27 px from the top edge.
    const bool notch = QByteArray(GetParam()) == "notch";
    const QPoint middle(bar.front().center().x(),
                        notch ? bar.front().top() + 13 : bar.front().center().y());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return screenPixel(middle) != QColor::fromRgb(WindowBelow::fill); }, answerTimeoutMs))
        << "the bar is not drawn at " << middle.x() << "," << middle.y();
    ASSERT_EQ(activeWindow(), field);

    ASSERT_TRUE(clickAt(middle));
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.presses > 0; }, answerTimeoutMs))
        << "the click on the bar did not reach the window below";
    EXPECT_TRUE(QTest::qWaitFor([&] { return activeWindow() == xcb_window_t(below.winId()); },
                                answerTimeoutMs))
        << "the window below the bar was not activated by the click";
    EXPECT_EQ(overrideRedirectWindowsOf(pid), bar) << "the bar changed before the recording ended";

    ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
    feeder.stop();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return overrideRedirectWindowsOf(pid).isEmpty(); }, answerTimeoutMs))
        << "Escape did not end the recording";
}

INSTANTIATE_TEST_SUITE_P(Styles, VoiceBarClickThroughTest, testing::Values("notch", "classic"),
                         [](const testing::TestParamInfo<const char *> &info) {
                             return std::string(info.param);
                         });
