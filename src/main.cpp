#include "AppDelegate.h"
#include "Base/AppInfo.h"
#include "Base/Clock.h"
#include "Base/UserDefaults.h"
#include "Core/DebugLog.h"
#include "Platform/Linux/QuitSignalWatcher.h"
#include "Platform/Qt/ProcessLogRing.h"
#include "Platform/Qt/SingleInstance.h"
#include "Support/FrameworkLanguage.h"
#include "SystemServices.h"
#include "UI/Settings/SettingsWindowController.h"
#include "UI/ViewModules.h"

#include <QApplication>
#include <QUrl>

namespace {

// Before anything looks up a text: the per-application language list mirrors the chosen
// interface language, or is removed when none is chosen. This writes the defaults file, so only
// the instance that runs may do it.
void mirrorInterfaceLanguage()
{
    UserDefaults &defaults = UserDefaults::standard();
    if (const auto code = defaults.string(QStringLiteral("languageCode"))) {
        defaults.setValue(QStringLiteral("AppleLanguages"), QStringList {*code});
    } else {
        defaults.remove(QStringLiteral("AppleLanguages"));
    }
}

std::optional<QUrl> callbackURL(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        const QUrl url(argument);
        if (url.isValid() && url.scheme() == u"sonorvelle") {
            return url;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    // Before any thread exists, so that every thread inherits the blocked quit signals.
    QuitSignalWatcher::blockQuitSignals();
    // Tester uploads carry the process's own messages, Qt's from its very first one on.
    ProcessLogRing::shared().install();
    // Our windows are small overlays and panels. With software OpenGL (no GPU driver, a virtual
    // display) the threaded render loop is not held to the screen's rate and redraws the animated
    // voice bar hundreds of times a second; the basic loop paces frames by a timer.
    if (!qEnvironmentVariableIsSet("QSG_RENDER_LOOP")) {
        qputenv("QSG_RENDER_LOOP", "basic");
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonorvelle"));
    QApplication::setOrganizationDomain(QStringLiteral("sonorvelle.org"));
    QApplication::setApplicationVersion(AppInfo::shortVersion());
    QApplication::setDesktopFileName(AppInfo::bundleIdentifier());
    // A tray application keeps running with no window open.
    app.setQuitOnLastWindowClosed(false);

    // A launch that only forwards its arguments to the running instance touches no file of it.
    const QStringList arguments = app.arguments().mid(1);
    SingleInstance instance(SingleInstance::defaultSocketPath());
    if (!instance.claimOrForward(arguments)) {
        return 0;
    }
    mirrorInterfaceLanguage();
    // Settings reach the disk a moment after they change; one changed while the objects wind down
    // is written at the very end, once they are gone.
    qAddPostRoutine([] { UserDefaults::standard().flush(); });
    FrameworkLanguage::installOnce();

    QuitSignalWatcher quitWatcher;
    QObject::connect(&quitWatcher, &QuitSignalWatcher::quitRequested, &app, [](int signal) {
        DebugLog::log(QStringLiteral("app: quit requested by signal %1").arg(signal));
        QCoreApplication::quit();
    });

    DebugLog::log(QStringLiteral("app: launched version %1 (%2)")
                      .arg(AppInfo::shortVersion(), AppInfo::buildVersion()));
    SystemServices services(Clock::system());
    AppDelegate delegate(services.services());
    QObject::connect(&instance, &SingleInstance::launchedAgain, &delegate,
                     [&delegate](const QStringList &again) {
                         if (const auto url = callbackURL(again)) {
                             delegate.handleURL(*url);
                         } else {
                             // Started again from the application menu: the user wants to see
                             // the application, tray or not.
                             SettingsWindowController::shared().show(std::nullopt);
                         }
                     });
    delegate.applicationDidFinishLaunching();
    if (const auto url = callbackURL(arguments)) {
        delegate.handleURL(*url);
    }

    const int status = app.exec();
    delegate.applicationWillTerminate();
    // On disk before the services wind down, which may take long or fail.
    UserDefaults::standard().flush();
    DebugLog::flush();
    return status;
}
