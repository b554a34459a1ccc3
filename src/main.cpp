#include "Base/AppInfo.h"
#include "Core/DebugLog.h"
#include "Platform/QuitSignalWatcher.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Before any thread exists, so that every thread inherits the blocked quit signals.
    QuitSignalWatcher::blockQuitSignals();

    QApplication app(argc, argv);
    QuitSignalWatcher quitWatcher;
    QApplication::setApplicationName(QStringLiteral("Sonorvelle"));
    QApplication::setOrganizationDomain(QStringLiteral("sonorvelle.org"));
    QApplication::setApplicationVersion(AppInfo::shortVersion());
    // A tray application keeps running with no window open.
    app.setQuitOnLastWindowClosed(false);

    QObject::connect(&quitWatcher, &QuitSignalWatcher::quitRequested, &app, [](int signal) {
        DebugLog::log(QStringLiteral("app: quit requested by signal %1").arg(signal));
        QCoreApplication::quit();
    });

    DebugLog::log(QStringLiteral("app: launched version %1 (%2)")
                      .arg(AppInfo::shortVersion(), AppInfo::buildVersion()));
    const int status = app.exec();
    DebugLog::flush();
    return status;
}
