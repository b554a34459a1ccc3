// Usage: sonorvelle_keychain_probe KEY...
//
// Loads the given items through the application's keychain and prints one line per key:
// "present <hex of the UTF-8 value>" or "absent" (hex, so that any value fits on one line).
// Prints "memory-only" first and exits with 2 when no secret service could be reached.

#include "Base/Clock.h"
#include "Core/Keychain.h"
#include "Platform/Qt/QtKeychainBackend.h"

#include <QCoreApplication>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList keys = app.arguments().mid(1);
    if (keys.isEmpty()) {
        std::fputs("usage: sonorvelle_keychain_probe KEY...\n", stderr);
        return 64;
    }
    QtKeychainBackend backend;
    Keychain keychain(&backend, Clock::system(), std::chrono::seconds(10));
    int status = 0;
    auto run = [&]() -> QCoro::Task<> {
        co_await keychain.load(keys);
        if (keychain.isMemoryOnly()) {
            std::puts("memory-only");
            status = 2;
        }
        for (const QString &key : keys) {
            const auto value = keychain.get(key);
            std::puts(value ? ("present " + value->toUtf8().toHex()).constData() : "absent");
        }
        std::fflush(stdout);
        app.quit();
    };
    QTimer::singleShot(0, &app, [&] { run(); });
    app.exec();
    return status;
}
