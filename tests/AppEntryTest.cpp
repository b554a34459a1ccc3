#include "TestSupport/LoopbackHttpServer.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/TestTime.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

// Waits until the debug log holds `needle`.
bool waitForLogLine(const QString &logPath, int timeoutMs,
                    const QByteArray &needle = "app: launched")
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QFile file(logPath);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle)) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
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

// A second launch that only forwards its URL must not write the running instance's files: a
// rewrite from its own stale copy would undo the instance's changes.
TEST(AppEntry, AForwardingLaunchLeavesTheSettingsFileAlone)
{
    QTemporaryDir home;
    const QString logPath = home.filePath(QStringLiteral("org.sonorvelle.Sonorvelle/tester.log"));
    const QString defaultsPath =
        home.filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle/defaults.json"));
    QProcess first;
    first.setProcessEnvironment(appEnvironment(home));
    first.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // The first process owns the single-instance socket before anything is forwarded.
    ASSERT_TRUE(waitForLogLine(logPath, 10000));

    const auto forward = [&](const QString &host) {
        QProcess second;
        second.setProcessEnvironment(appEnvironment(home));
        second.start(QStringLiteral(SONORVELLE_APP_BINARY),
                     {QStringLiteral("sonorvelle://%1?code=abc").arg(host)});
        EXPECT_TRUE(second.waitForFinished(10000));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(waitForLogLine(logPath, 10000,
                                   "app: callback URL received (host=" + host.toUtf8() + ')'));
    };
    // The first forwarded URL is handled from the event loop: launching has finished. The
    // instance's own first write follows within a moment (writes are gathered for a short while),
    // and the file exists from then on.
    forward(QStringLiteral("warmup"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFileInfo::exists(defaultsPath); }, TestTime::scaledMs(10000)))
        << "the instance never wrote its settings";

    // A language chosen whose mirror a rewrite would add.
    const QByteArray stored = R"({"languageCode": "de", "marker": "the instance's own copy"})";
    ASSERT_TRUE(writeAll(defaultsPath, stored));
    const QDateTime modified = QFileInfo(defaultsPath).lastModified();
    forward(QStringLiteral("auth"));
    EXPECT_EQ(readAll(defaultsPath), stored);
    EXPECT_EQ(QFileInfo(defaultsPath).lastModified(), modified);

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
}

// The launch upload of tester mode carries the process's own log messages: the log ring is in
// place from the start (Qt's plugin loading, before the application object exists, included).
TEST(AppEntry, TheLaunchUploadCarriesTheProcessLog)
{
    QTemporaryDir home;
    LoopbackHttpServer cloud;
    ASSERT_TRUE(
        writeAll(home.filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle/defaults.json")),
                 R"({"testerModeEnabled": true})"));
    QProcessEnvironment environment = appEnvironment(home);
    environment.insert(QStringLiteral("SONORVELLE_CLOUD_URL"), cloud.url().toString());
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.core.plugin.*=true"));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setStandardErrorFile(QProcess::nullDevice());
    app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(10000));

    ASSERT_TRUE(cloud.waitForRequests(1, std::chrono::seconds(20)));
    const LoopbackHttpServer::Request upload = cloud.requests().front();
    EXPECT_EQ(upload.path, "/api/testlog");
    const QString log = QJsonDocument::fromJson(QByteArray::fromStdString(upload.body))
                            .object()
                            .value(QStringLiteral("log"))
                            .toString();
    const qsizetype section = log.indexOf(QStringLiteral("== unified log (own process, since "));
    ASSERT_GE(section, 0) << log.toStdString();
    const QString processLog = log.mid(section);
    EXPECT_FALSE(processLog.contains(QStringLiteral("oslog export failed")))
        << processLog.left(2000).toStdString();
    EXPECT_TRUE(processLog.contains(QStringLiteral("[qt.core.plugin.")))
        << processLog.left(2000).toStdString();

    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(10000));
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
