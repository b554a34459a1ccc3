// Owns the bus names given as arguments on the session bus (DBUS_SESSION_BUS_ADDRESS), with an
// object at each path a test may call, prints "ready" and then never answers: calls to its
// objects are delivered to the main thread, which sleeps until the process is stopped.
//
//   sonorvelle_hung_bus_service org.a11y.Bus /org/a11y/bus

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::puts("error: no session bus");
        return 1;
    }
    QObject object;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString &argument : arguments) {
        if (argument.startsWith(u'/')) {
            if (!bus.registerObject(argument, &object, QDBusConnection::ExportAllContents)) {
                std::printf("error: cannot register %s\n", qPrintable(argument));
                return 1;
            }
        } else if (!bus.registerService(argument)) {
            std::printf("error: cannot own %s\n", qPrintable(argument));
            return 1;
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
