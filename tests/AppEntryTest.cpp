#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

// Waits for the first log line, so the signal arrives while the event loop runs.
bool waitForLogLine(const QString &logPath, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QFile file(logPath);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains("app: launched")) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

// A private home for one application process: its files, settings and runtime folder (where the
// single-instance socket lives).
QProcessEnvironment appEnvironment(const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

} // namespace

TEST(AppEntry, ASecondLaunchHandsItsCallbackURLToTheRunningInstanceAndExits)
{
    QTemporaryDir home;
    QProcess first;
    first.setProcessEnvironment(appEnvironment(home));
    first.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString logPath = home.filePath(QStringLiteral("org.sonorvelle.Sonorvelle/tester.log"));
    ASSERT_TRUE(waitForLogLine(logPath, 10000));

    QProcess second;
    second.setProcessEnvironment(appEnvironment(home));
    second.start(QStringLiteral(SONORVELLE_APP_BINARY),
                 {QStringLiteral("sonorvelle://auth?code=abc&state=xyz")});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);

    bool handed = false;
    for (int i = 0; i < 500 && !handed; ++i) {
        QFile file(logPath);
        handed = file.open(QIODevice::ReadOnly)
            && file.readAll().contains("app: callback URL received (host=auth)");
        QThread::msleep(20);
    }
    EXPECT_TRUE(handed);
    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("app: launched"), 1) << "the second launch must not run";

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
}

class AppEntry : public testing::TestWithParam<int>
{
};

TEST_P(AppEntry, LogsItsStartAndQuitsCleanlyOnTheSignal)
{
    QTemporaryDir data;
    QProcess app;
    app.setProcessEnvironment(appEnvironment(data));
    app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(10000)) << app.errorString().toStdString();

    const QString logPath = data.filePath(QStringLiteral("org.sonorvelle.Sonorvelle/tester.log"));
    ASSERT_TRUE(waitForLogLine(logPath, 10000)) << "no launch line in " << logPath.toStdString();
    ::kill(static_cast<pid_t>(app.processId()), GetParam());
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);

    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.first().contains(QStringLiteral(" app: launched version ")));
    EXPECT_TRUE(
        lines.last().endsWith(QStringLiteral("app: quit requested by signal %1").arg(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Signals, AppEntry, testing::Values(SIGTERM, SIGINT));
