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

} // namespace

class AppEntry : public testing::TestWithParam<int>
{
};

TEST_P(AppEntry, LogsItsStartAndQuitsCleanlyOnTheSignal)
{
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess app;
    app.setProcessEnvironment(environment);
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
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" app: launched version ")));
    EXPECT_TRUE(
        lines[1].endsWith(QStringLiteral("app: quit requested by signal %1").arg(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Signals, AppEntry, testing::Values(SIGTERM, SIGINT));
