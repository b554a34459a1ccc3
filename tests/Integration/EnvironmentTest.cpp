// Checks that the desktop session the integration tests run in really offers every facility the
// other integration tests rely on: display and window manager, tray host, session and
// accessibility buses, keyring, sound server with its virtual microphone. Each failure names the
// facility, so a broken test run points at the session rather than at the code under test.

#include "FixtureProgram.h"
#include "Integration/X11TestSupport.h"

#include <QAccessible>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMediaDevices>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QUuid>
#include <QWidget>
#include <QtCore/qtestsupport_core.h>
#include <QtGui/qtestsupport_gui.h>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <qt6keychain/keychain.h>
#include <xcb/xcb.h>

namespace {

// How long an external daemon gets to answer. Generous: these are not timing assertions.
constexpr int answerTimeoutMs = 10000;

const QString recordingPath = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

// Waits for a D-Bus reply with the event loop running: the accessibility registry calls back
// into this application (it is a Qt application on that bus) before it answers some calls.
QDBusMessage callWithTimeout(const QDBusConnection &bus, const QDBusMessage &call)
{
    const QDBusPendingCall pending = bus.asyncCall(call, answerTimeoutMs);
    if (!QTest::qWaitFor([&pending] { return pending.isFinished(); }, answerTimeoutMs)) {
        return call.createErrorReply(QDBusError::Timeout, QStringLiteral("no answer in time"));
    }
    return pending.reply();
}

QDBusMessage methodCall(const QString &service, const QString &path, const QString &interface,
                        const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return call;
}

QVariant dbusProperty(const QDBusConnection &bus, const QString &service, const QString &path,
                      const QString &interface, const QString &name, QString *error)
{
    const QDBusMessage reply =
        callWithTimeout(bus,
                        methodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("Get"), {interface, name}));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *error = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
        return {};
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

template<typename Job>
bool runKeychainJob(Job &job)
{
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, [&finished] { finished = true; });
    job.start();
    return QTest::qWaitFor([&finished] { return finished; }, answerTimeoutMs);
}

} // namespace

TEST(Environment, WindowManagerActivatesAShownWindow)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
        << "X11 display: the integration tests run on the '"
        << QGuiApplication::platformName().toStdString()
        << "' platform; scripts/test starts Xvfb and sets DISPLAY";

    XcbConnection connection(xcb_connect(nullptr, nullptr));
    ASSERT_EQ(xcb_connection_has_error(connection.get()), 0) << "X11 display: cannot connect";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    const xcb_atom_t activeWindow = internAtom(connection.get(), "_NET_ACTIVE_WINDOW");
    const xcb_atom_t wmCheck = internAtom(connection.get(), "_NET_SUPPORTING_WM_CHECK");
    ASSERT_NE(rootWindowProperty(connection.get(), root, wmCheck), XCB_WINDOW_NONE)
        << "window manager: no _NET_SUPPORTING_WM_CHECK on the root window (openbox not running)";

    QWidget window;
    window.setWindowTitle(QStringLiteral("Sonorvelle environment check"));
    window.resize(320, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.windowHandle(), answerTimeoutMs))
        << "X11 display: the window was never mapped and exposed";

    const auto ourWindow = xcb_window_t(window.winId());
    xcb_window_t active = XCB_WINDOW_NONE;
    const bool activated = QTest::qWaitFor(
        [&] {
            active = rootWindowProperty(connection.get(), root, activeWindow);
            return active == ourWindow;
        },
        answerTimeoutMs);
    EXPECT_TRUE(activated) << "window manager: _NET_ACTIVE_WINDOW is 0x" << std::hex << active
                           << ", not the shown window 0x" << ourWindow;
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, answerTimeoutMs))
        << "window manager: Qt never saw the shown window become active";
}

namespace {

// Records the X keycodes of the key events it receives.
class KeyRecorder : public QWidget
{
public:
    QList<quint32> pressed;
    QList<quint32> released;

protected:
    void keyPressEvent(QKeyEvent *event) override { pressed << event->nativeScanCode(); }
    void keyReleaseEvent(QKeyEvent *event) override { released << event->nativeScanCode(); }
};

} // namespace

TEST(Environment, KeyInjectorReachesTheFocusedWindow)
{
    const QString injector = FixtureProgram::path(u"sonorvelle_key_injector");
    ASSERT_FALSE(injector.isEmpty()) << "fixture program sonorvelle_key_injector was not built";

    KeyRecorder window;
    window.setWindowTitle(QStringLiteral("Sonorvelle key check"));
    window.resize(320, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, answerTimeoutMs))
        << "window manager: the key check window never became active";

    // Keycode 38 is the A key in the evdev keymap, but only the code matters here.
    constexpr quint32 keycode = 38;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString code = QString::number(keycode);
    process.start(
        injector,
        {QStringLiteral("down:") + code, QStringLiteral("sleep:20"), QStringLiteral("up:") + code});
    ASSERT_TRUE(process.waitForFinished(answerTimeoutMs)) << "XTest: the key injector hangs";
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(process.exitCode(), 0) << "XTest: the key injector failed";

    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.released.isEmpty(); }, answerTimeoutMs))
        << "XTest: the injected key never reached the focused window";
    EXPECT_EQ(window.pressed, QList<quint32> {keycode});
    EXPECT_EQ(window.released, QList<quint32> {keycode});
}

TEST(Environment, TrayHostIsAvailable)
{
    EXPECT_TRUE(
        QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, answerTimeoutMs))
        << "tray host: no system tray (trayer not running)";
}

TEST(Environment, SessionBusAndAccessibilityBusAnswer)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    ASSERT_TRUE(session.isConnected())
        << "session bus: not connected: " << session.lastError().message().toStdString();
    const QDBusReply<QStringList> names = session.interface()->registeredServiceNames();
    ASSERT_TRUE(names.isValid()) << "session bus: ListNames failed: "
                                 << names.error().message().toStdString();
    ASSERT_TRUE(names.value().contains(QStringLiteral("org.a11y.Bus")))
        << "AT-SPI bus: org.a11y.Bus is not on the session bus (at-spi-bus-launcher not running)";

    const QString a11yService = QStringLiteral("org.a11y.Bus");
    const QString a11yPath = QStringLiteral("/org/a11y/bus");
    QString error;
    const QVariant enabled =
        dbusProperty(session, a11yService, a11yPath, QStringLiteral("org.a11y.Status"),
                     QStringLiteral("IsEnabled"), &error);
    ASSERT_TRUE(enabled.isValid()) << "AT-SPI bus: cannot read IsEnabled: " << error.toStdString();
    EXPECT_TRUE(enabled.toBool()) << "AT-SPI bus: org.a11y.Status.IsEnabled is false";

    const QDBusMessage addressReply = callWithTimeout(
        session, methodCall(a11yService, a11yPath, a11yService, QStringLiteral("GetAddress")));
    ASSERT_EQ(addressReply.type(), QDBusMessage::ReplyMessage)
        << "AT-SPI bus: GetAddress failed: " << addressReply.errorMessage().toStdString();
    const QString address = addressReply.arguments().value(0).toString();
    ASSERT_FALSE(address.isEmpty()) << "AT-SPI bus: GetAddress returned no address";

    const QString connectionName = QStringLiteral("sonorvelle-environment-a11y");
    {
        QDBusConnection a11y = QDBusConnection::connectToBus(address, connectionName);
        ASSERT_TRUE(a11y.isConnected()) << "AT-SPI bus: cannot connect to " << address.toStdString()
                                        << ": " << a11y.lastError().message().toStdString();

        // The registry is started on demand by the accessibility bus; its answer proves both.
        const QString registry = QStringLiteral("org.a11y.atspi.Registry");
        const QDBusMessage ping = callWithTimeout(
            a11y,
            methodCall(registry, QStringLiteral("/org/a11y/atspi/accessible/root"),
                       QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        EXPECT_EQ(ping.type(), QDBusMessage::ReplyMessage)
            << "AT-SPI registry: no answer on the accessibility bus: "
            << ping.errorMessage().toStdString();

        // Qt applications (this one and the fixture windows of later tests) show up as children
        // of the registry's desktop once accessibility is on. Qt starts its bridge on first use
        // (in an application, the first window shown; here the isActive() call) and connects it
        // asynchronously.
        EXPECT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, answerTimeoutMs))
            << "AT-SPI bus: Qt's accessibility bridge never came on";
        const QString appName = QCoreApplication::applicationName();
        QStringList seen;
        const bool registered = QTest::qWaitFor(
            [&] {
                seen.clear();
                const QDBusMessage children = callWithTimeout(
                    a11y,
                    methodCall(registry, QStringLiteral("/org/a11y/atspi/accessible/root"),
                               QStringLiteral("org.a11y.atspi.Accessible"),
                               QStringLiteral("GetChildren")));
                if (children.type() != QDBusMessage::ReplyMessage) {
                    return false;
                }
                const QDBusArgument list = children.arguments().value(0).value<QDBusArgument>();
                list.beginArray();
                while (!list.atEnd()) {
                    QString service;
                    QDBusObjectPath path;
                    list.beginStructure();
                    list >> service >> path;
                    list.endStructure();
                    QString nameError;
                    seen << dbusProperty(a11y, service, path.path(),
                                         QStringLiteral("org.a11y.atspi.Accessible"),
                                         QStringLiteral("Name"), &nameError)
                                .toString();
                }
                list.endArray();
                return seen.contains(appName);
            },
            answerTimeoutMs);
        EXPECT_TRUE(registered) << "AT-SPI bus: this Qt application ('" << appName.toStdString()
                                << "') is not among the registry's applications ["
                                << seen.join(QStringLiteral(", ")).toStdString()
                                << "]; is QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 set?";
    }
    QDBusConnection::disconnectFromBus(connectionName);
}

TEST(Environment, VirtualMicrophoneCapturesFedRecording)
{
    const QByteArray virtmic = QByteArrayLiteral("virtmic");
    QAudioDevice device;
    QStringList inputs;
    // The sound server answers Qt's device query asynchronously after start-up.
    const bool listed = QTest::qWaitFor(
        [&] {
            inputs.clear();
            for (const QAudioDevice &input : QMediaDevices::audioInputs()) {
                inputs << QString::fromUtf8(input.id());
                if (input.id() == virtmic) {
                    device = input;
                }
            }
            return !device.isNull();
        },
        answerTimeoutMs);
    ASSERT_TRUE(listed) << "PulseAudio: no 'virtmic' among the audio inputs ["
                        << inputs.join(QStringLiteral(", ")).toStdString() << "]";
    EXPECT_EQ(QMediaDevices::defaultAudioInput().id(), virtmic)
        << "PulseAudio: virtmic is not the default source";

    QFile recordingFile(recordingPath);
    ASSERT_TRUE(recordingFile.open(QIODevice::ReadOnly))
        << "pocketsphinx-testdata: cannot read " << recordingPath.toStdString();
    const QByteArray recording = recordingFile.readAll();

    const QString feederPath = FixtureProgram::path(u"sonorvelle_audio_feeder");
    ASSERT_FALSE(feederPath.isEmpty()) << "fixture program sonorvelle_audio_feeder was not built";

    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    ASSERT_TRUE(device.isFormatSupported(format)) << "PulseAudio: virtmic refuses 16 kHz mono";
    QAudioSource source(device, format);
    QIODevice *stream = source.start();
    ASSERT_NE(stream, nullptr) << "PulseAudio: cannot start capturing from virtmic (error "
                               << int(source.error()) << ")";

    QProcess feeder;
    feeder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    feeder.start(feederPath,
                 {QStringLiteral("--input"), recordingPath, QStringLiteral("--lead"),
                  QStringLiteral("300"), QStringLiteral("--duration"), QStringLiteral("4000")});
    ASSERT_TRUE(feeder.waitForStarted(answerTimeoutMs)) << "feeder: did not start";

    QByteArray captured;
    const bool fed = QTest::qWaitFor(
        [&] {
            captured += stream->readAll();
            return feeder.state() == QProcess::NotRunning;
        },
        answerTimeoutMs);
    // What is still in flight after the feeder's last write.
    QTest::qWait(300);
    captured += stream->readAll();
    source.stop();
    if (!fed) {
        feeder.kill();
        feeder.waitForFinished();
    }
    ASSERT_TRUE(fed) << "feeder: still writing after " << answerTimeoutMs << " ms";
    ASSERT_EQ(feeder.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(feeder.exitCode(), 0) << "feeder failed";

    // The recording arrives untouched: same rate and format on both ends, unit volume.
    const auto *samples = reinterpret_cast<const qint16 *>(captured.constData());
    const qsizetype sampleCount = captured.size() / 2;
    int peak = 0;
    for (qsizetype i = 0; i < sampleCount; ++i) {
        peak = std::max(peak, std::abs(int(samples[i])));
    }
    ASSERT_GT(peak, 1000) << "PulseAudio: virtmic captured " << sampleCount
                          << " samples, all (nearly) silent";
    EXPECT_TRUE(captured.contains(recording.left(32000)))
        << "PulseAudio: the captured audio does not contain the fed recording unchanged";
}

TEST(Environment, KeyringStoresAndReadsASecret)
{
    const QString service = QStringLiteral("org.sonorvelle.Sonorvelle.test");
    const QString key =
        QStringLiteral("environment-check-%1").arg(QCoreApplication::applicationPid());
    const QString secret = QUuid::createUuid().toString();

    QKeychain::WritePasswordJob write(service);
    write.setAutoDelete(false);
    write.setKey(key);
    write.setTextData(secret);
    ASSERT_TRUE(runKeychainJob(write))
        << "keyring: writing a secret got no answer within " << answerTimeoutMs << " ms";
    ASSERT_EQ(write.error(), QKeychain::NoError)
        << "keyring: writing a secret failed: " << write.errorString().toStdString();

    QKeychain::ReadPasswordJob read(service);
    read.setAutoDelete(false);
    read.setKey(key);
    ASSERT_TRUE(runKeychainJob(read))
        << "keyring: reading a secret got no answer within " << answerTimeoutMs << " ms";
    ASSERT_EQ(read.error(), QKeychain::NoError)
        << "keyring: reading a secret failed: " << read.errorString().toStdString();
    EXPECT_EQ(read.textData(), secret) << "keyring: read back a different secret";

    QKeychain::DeletePasswordJob remove(service);
    remove.setAutoDelete(false);
    remove.setKey(key);
    ASSERT_TRUE(runKeychainJob(remove)) << "keyring: deleting a secret got no answer";
    EXPECT_EQ(remove.error(), QKeychain::NoError)
        << "keyring: deleting a secret failed: " << remove.errorString().toStdString();
}
