// The whole product as a user meets it: the application started in a fresh home, a text field
// with the focus, Right Super held through XTest while the virtual microphone plays a recording,
// then released. The text must land in the field, the history and the log, and the clipboard and
// the keyboard must be left as they were.

#include "FixtureProgram.h"
#include "Integration/PasteTarget.h"
#include "Integration/X11TestSupport.h"

#include "Base/Json.h"
#include "Core/DictationController.h"
#include "Core/FocusContextReader.h"
#include "Fakes/FakeCompanionHost.h"
#include "Platform/X11/X11Pasteboard.h"
#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
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

constexpr int answerTimeoutMs = 15000;
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

// The audio feeder playing one recording; it says where the speech ends.
class Feeder
{
public:
    ~Feeder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }

    void start(const QString &recording)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] {
            while (m_process.canReadLine()) {
                m_lines.append(m_process.readLine().trimmed());
            }
        });
        m_process.start(FixtureProgram::path(u"sonorvelle_audio_feeder"),
                        {QStringLiteral("--input"), recording, QStringLiteral("--lead"),
                         QStringLiteral("300"), QStringLiteral("--duration"), QStringLiteral("0")});
    }

    bool waitFor(const QByteArray &line)
    {
        return QTest::qWaitFor([&] { return m_lines.contains(line); }, answerTimeoutMs);
    }

    // Silence keeps flowing until the feeder stops, so the capture never stalls on a quiet pipe.
    void stop()
    {
        m_process.terminate();
        if (!QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, 3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
    QList<QByteArray> m_lines;
};

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

        const QString configFolder =
            home.filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle"));
        ASSERT_TRUE(QDir().mkpath(configFolder));
        QFile defaults(configFolder + QStringLiteral("/defaults.json"));
        ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
        defaults.write(R"({"onboardingCompleted": true, "cleanupMode": "rules"})");
        defaults.close();

        startApplication();
        ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
        // The user's clipboard, owned by this process like another application's would be.
        ASSERT_TRUE(otherApplication.writeItems(
            {{{Pasteboard::plainTextType, userClipboardText.toUtf8(), {}, 8}}}));
        ASSERT_EQ(clipboardText(), userClipboardText);
    }

    void TearDown() override
    {
        EXPECT_EQ(keysDown(), QList<int> {}) << "a key was left pressed";
        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(10000)) {
                app.kill();
                app.waitForFinished();
            }
        }
        if (HasFailure()) {
            std::fprintf(stderr, "--- application log ---\n%s\n", qPrintable(log()));
        }
    }

    void startApplication()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           home.filePath(QStringLiteral("cache")));
        // Its own runtime folder, for its single-instance socket; the sound server is reached
        // through PULSE_SERVER.
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
        ASSERT_TRUE(app.waitForStarted(answerTimeoutMs)) << "the application did not start";
        ASSERT_TRUE(waitForLog("app: launched")) << "the application never logged its launch";
        // Its hotkey listener and the recogniser's warm-up follow the launch line.
        QTest::qWait(1500);
    }

    QString dataPath(const QString &relative) const
    {
        return home.filePath(QStringLiteral("data/") + relative);
    }

    QString log() const
    {
        QFile file(dataPath(QStringLiteral("org.sonorvelle.Sonorvelle/tester.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

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

    // One held-key dictation of a recording: key down, the speech, key up a moment after it,
    // then the time from the release until text is in the field.
    void dictate(const QString &recording, std::vector<qint64> &latencies)
    {
        ASSERT_TRUE(inject({QStringLiteral("down:%1").arg(superRight)}));
        Feeder feeder;
        feeder.start(recording);
        ASSERT_TRUE(feeder.waitFor("speech-end")) << "the feeder never finished the recording";
        QTest::qWait(releaseAfterSpeechMs);
        ASSERT_TRUE(inject({QStringLiteral("up:%1").arg(superRight)}));
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

    QTemporaryDir home;
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
    Feeder feeder;
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
    Feeder feeder;
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

} // namespace

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
    Feeder feeder;
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
    // Signed out, the first dictation ends in the sign-in question, a window of its own that
    // takes the focus on purpose: the user answers Later and is back in the field.
    QTest::qWait(1000);
    if (activeWindow() != field) {
        ASSERT_TRUE(inject({QStringLiteral("tap:%1").arg(escape)}));
        QTest::qWait(300);
    }
    fieldHasTheFocus("after the dictation");
}
