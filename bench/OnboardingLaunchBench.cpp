#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <csignal>

// A user's very first launch: from starting the application in a fresh home to the first frame
// of the onboarding window it opens by itself (the application logs that frame). Each repetition
// is one launch; the median is the figure to read. Runs on the display of the environment, or
// off-screen without one.

namespace {

constexpr int timeoutMs = 20000;

bool waitForLine(const QString &path, const QByteArray &line, const QProcess &app)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs && app.state() != QProcess::NotRunning) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(line)) {
            return true;
        }
        QThread::usleep(500);
    }
    return false;
}

} // namespace

static void BM_LaunchToOnboardingFirstFrame(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           home.filePath(QStringLiteral("cache")));
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (!environment.contains(QStringLiteral("DISPLAY"))) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        }
        const QString log =
            home.filePath(QStringLiteral("data/org.sonorvelle.Sonorvelle/tester.log"));

        QProcess app;
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer launch;
        launch.start();
        app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
        const bool shown = waitForLine(log, "onboarding: first frame", app);
        const double seconds = double(launch.nsecsElapsed()) / 1e9;

        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(10000)) {
                app.kill();
                app.waitForFinished();
            }
        }
        if (!shown) {
            state.SkipWithError("the onboarding window never drew its first frame");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_LaunchToOnboardingFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(11)
    ->ReportAggregatesOnly(true);
