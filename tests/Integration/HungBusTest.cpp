// Calls the application makes on the main thread to the session bus, against a private bus of
// the test session where the services, or the bus itself, never answer: each call returns within
// a bounded time with the safe answer.

#include "FixtureProgram.h"

#include "Platform/Atspi/AtspiAccessibility.h"
#include "Platform/Linux/LinuxPermissionSystem.h"
#include "Platform/Qt/QtKeychainBackend.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int startTimeoutMs = 10000;
// What a bounded call may take on a loaded machine; Qt's own default is 25 s.
constexpr qint64 boundMs = 2000;

// A bus daemon of its own, with a service that owns the accessibility bus's and the secret
// service's names and never answers.
class HungBus
{
public:
    HungBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(startTimeoutMs)
            || !m_daemon.waitForReadyRead(startTimeoutMs)) {
            m_error = "dbus-daemon did not start";
            return;
        }
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        const QString program = FixtureProgram::path(u"sonorvelle_hung_bus_service");
        if (program.isEmpty()) {
            m_error = "fixture program sonorvelle_hung_bus_service was not built";
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_service.setProcessEnvironment(environment);
        m_service.start(program,
                        {QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                         QStringLiteral("org.freedesktop.secrets")});
        if (!m_service.waitForStarted(startTimeoutMs)
            || !m_service.waitForReadyRead(startTimeoutMs)) {
            m_error = "the hung service did not start";
            return;
        }
        const QByteArray ready = m_service.readLine().trimmed();
        if (ready != "ready") {
            m_error = "hung service: " + ready.toStdString();
            return;
        }
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("sonorvelle-hung-bus"));
        if (!m_bus.isConnected()) {
            m_error = "cannot connect to the private bus";
        }
    }

    ~HungBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("sonorvelle-hung-bus"));
        for (QProcess *process : {&m_service, &m_daemon}) {
            if (process->state() != QProcess::NotRunning) {
                ::kill(pid_t(process->processId()), SIGCONT);
                process->kill();
                process->waitForFinished();
            }
        }
    }

    const std::string &error() const { return m_error; }
    const QDBusConnection &bus() const { return m_bus; }
    const QString &address() const { return m_address; }
    // From now on the bus itself answers nothing.
    bool stopDaemon() { return ::kill(pid_t(m_daemon.processId()), SIGSTOP) == 0; }

private:
    QProcess m_daemon;
    QProcess m_service;
    QString m_address;
    QDBusConnection m_bus {QString()};
    std::string m_error;
};

template<typename F>
qint64 elapsedMs(F &&call)
{
    QElapsedTimer timer;
    timer.start();
    call();
    return timer.elapsed();
}

} // namespace

TEST(HungBus, TheAccessibilitySwitchOfAHungServiceIsUnknownAndCannotBeSet)
{
    HungBus hung;
    ASSERT_EQ(hung.error(), "") << hung.error();
    LinuxPermissionSystem system(hung.bus());

    std::optional<bool> enabled = true;
    EXPECT_LT(elapsedMs([&] { enabled = system.accessibilityBusEnabled(); }), boundMs);
    EXPECT_EQ(enabled, std::nullopt);
    bool switchedOn = true;
    EXPECT_LT(elapsedMs([&] { switchedOn = system.enableAccessibilityBus(); }), boundMs);
    EXPECT_FALSE(switchedOn);
}

TEST(HungBus, TheKeychainProbeOfAHungBusFindsNoStore)
{
    HungBus hung;
    ASSERT_EQ(hung.error(), "") << hung.error();
    // The bus answers for the service: its name is owned.
    EXPECT_TRUE(QtKeychainBackend::storeReachable(hung.bus(), 300));

    ASSERT_TRUE(hung.stopDaemon());
    bool reachable = true;
    EXPECT_LT(elapsedMs([&] { reachable = QtKeychainBackend::storeReachable(hung.bus(), 300); }),
              boundMs);
    EXPECT_FALSE(reachable);
}

TEST(HungBus, AnAccessibilityBusThatDoesNotAnswerIsNotConnectedTo)
{
    HungBus hung;
    ASSERT_EQ(hung.error(), "") << hung.error();
    EXPECT_TRUE(AtspiAccessibility::busAnswers(hung.address(), 1000));

    ASSERT_TRUE(hung.stopDaemon());
    bool answers = true;
    EXPECT_LT(elapsedMs([&] { answers = AtspiAccessibility::busAnswers(hung.address(), 300); }),
              boundMs);
    EXPECT_FALSE(answers);
}
