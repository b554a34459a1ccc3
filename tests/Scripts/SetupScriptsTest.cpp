#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString repoDir = QStringLiteral(SONORVELLE_TESTS_SOURCE_DIR "/..");

bool writeScript(const QString &path, const QByteArray &body)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write("#!/bin/sh\n" + body) > 0
        && file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

struct InstallRun
{
    int exitCode = -1;
    QByteArray output;
    // The packages handed to "apt-get install", none when it was not called.
    QStringList installed;
};

// Runs scripts/install-deps on a machine that has none of the packages (or all of them), with
// dpkg-query, apt-get and id replaced by fakes: apt-get only records what it is asked for.
InstallRun runInstallDeps(const QStringList &arguments, bool everythingInstalled)
{
    QTemporaryDir bin;
    const QString record = bin.filePath(QStringLiteral("apt-get.log"));
    const QByteArray status = everythingInstalled ? "echo 'install ok installed'\n" : "exit 1\n";
    EXPECT_TRUE(writeScript(bin.filePath(QStringLiteral("dpkg-query")), status));
    EXPECT_TRUE(writeScript(bin.filePath(QStringLiteral("id")), "echo 0\n"));
    EXPECT_TRUE(writeScript(bin.filePath(QStringLiteral("apt-get")),
                            "echo \"$@\" >>'" + record.toUtf8() + "'\n"));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       bin.path() + u':' + environment.value(QStringLiteral("PATH")));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"),
                  QStringList {repoDir + QStringLiteral("/scripts/install-deps")} + arguments);
    EXPECT_TRUE(process.waitForFinished(30000));

    InstallRun run;
    run.exitCode = process.exitCode();
    run.output = process.readAll();
    QFile log(record);
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (line.startsWith("install ")) {
                run.installed = QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
            }
        }
    }
    return run;
}

// Packages only the tests and benchmarks need.
const QStringList testOnlyPackages = {
    QStringLiteral("xvfb"),
    QStringLiteral("openbox"),
    QStringLiteral("trayer"),
    QStringLiteral("x11-utils"),
    QStringLiteral("libgtest-dev"),
    QStringLiteral("libgmock-dev"),
    QStringLiteral("libbenchmark-dev"),
    QStringLiteral("libcpp-httplib-dev"),
    QStringLiteral("pulseaudio"),
    QStringLiteral("pocketsphinx-testdata"),
    QStringLiteral("gnome-keyring"),
    QStringLiteral("bible-kjv"),
};

} // namespace

TEST(SetupScriptsTest, BuildingAndRunningInstallNoTestPackagesAndTheTestCommandAddsThem)
{
    const InstallRun plain = runInstallDeps({}, false);
    ASSERT_EQ(plain.exitCode, 0) << plain.output.constData();
    EXPECT_TRUE(plain.installed.contains(QStringLiteral("qt6-declarative-dev")));
    EXPECT_TRUE(plain.installed.contains(QStringLiteral("pocketsphinx-en-us")));
    for (const QString &package : testOnlyPackages) {
        EXPECT_FALSE(plain.installed.contains(package)) << package.toStdString();
    }

    const InstallRun withTests = runInstallDeps({QStringLiteral("--test")}, false);
    ASSERT_EQ(withTests.exitCode, 0) << withTests.output.constData();
    for (const QString &package : plain.installed) {
        EXPECT_TRUE(withTests.installed.contains(package)) << package.toStdString();
    }
    for (const QString &package : testOnlyPackages) {
        EXPECT_TRUE(withTests.installed.contains(package)) << package.toStdString();
    }
}

TEST(SetupScriptsTest, EitherSetTouchesNothingWhenEverythingIsInstalled)
{
    for (const QStringList &arguments : {QStringList {}, QStringList {QStringLiteral("--test")}}) {
        const InstallRun run = runInstallDeps(arguments, true);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.output.isEmpty()) << run.output.constData();
        EXPECT_TRUE(run.installed.isEmpty());
    }
}

TEST(SetupScriptsTest, ReadmeKeepsTwoSetUpCommandsAndSpeaksOfThisSystemOnly)
{
    QFile readme(repoDir + QStringLiteral("/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QRegularExpression command(QStringLiteral("^    bash scripts/\\S+$"),
                                     QRegularExpression::MultilineOption);
    QStringList commands;
    for (auto it = command.globalMatch(text); it.hasNext();) {
        commands.append(it.next().captured());
    }
    EXPECT_EQ(commands,
              (QStringList {QStringLiteral("    bash scripts/run"),
                            QStringLiteral("    bash scripts/test")}));
    for (const QString &other :
         {QStringLiteral("macOS"), QStringLiteral("Mac "), QStringLiteral("Windows")}) {
        EXPECT_FALSE(text.contains(other)) << other.toStdString();
    }
    // What a new user must find: the keys, how to reach the settings and to quit, the tray, the
    // account, and where the files are.
    for (const QString &needle :
         {QStringLiteral("Right Super"), QStringLiteral("Right Alt"), QStringLiteral("Escape"),
          QStringLiteral("Settings…"), QStringLiteral("start Sonorvelle again"),
          QStringLiteral("Quit Sonorvelle"), QStringLiteral("system tray"),
          QStringLiteral("need a Sonorvelle account"), QStringLiteral("defaults.json"),
          QStringLiteral("history.json")}) {
        EXPECT_TRUE(text.contains(needle)) << needle.toStdString();
    }
}
