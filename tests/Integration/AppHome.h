#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

// A fresh home for one run of the application as a user starts it: its own data, settings, cache
// and runtime folders (the single-instance socket lives in the last), while the display, the
// buses, the keyring and the sound server stay those of the session.
class AppHome
{
public:
    bool isValid() const { return m_dir.isValid(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), filePath(QStringLiteral("cache")));
        const QString runtime = filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // On the session's display, or off-screen where there is none.
        if (environment.contains(QStringLiteral("DISPLAY"))) {
            environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        } else {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        }
        return environment;
    }

    // The settings the application finds at its start.
    bool writeDefaults(const QByteArray &json) const
    {
        const QString folder = filePath(QStringLiteral("config/org.sonorvelle.Sonorvelle"));
        QFile defaults(folder + QStringLiteral("/defaults.json"));
        return QDir().mkpath(folder) && defaults.open(QIODevice::WriteOnly)
            && defaults.write(json) == json.size();
    }

    QString logPath() const
    {
        return filePath(QStringLiteral("data/org.sonorvelle.Sonorvelle/tester.log"));
    }

    // The application's log so far.
    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Asks the application to quit as a logout does; killed when it has not gone in ten seconds.
    static void quit(QProcess &app)
    {
        if (app.state() == QProcess::NotRunning) {
            return;
        }
        ::kill(pid_t(app.processId()), SIGTERM);
        if (!app.waitForFinished(10000)) {
            app.kill();
            app.waitForFinished();
        }
    }

private:
    QTemporaryDir m_dir;
};
