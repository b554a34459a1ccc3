#include "Core/CrashConfig.h"

#include "Base/UserDefaults.h"

#include <QUuid>

#include <mutex>

namespace CrashConfig {

QString installID()
{
    return installID(UserDefaults::standard());
}

QString installID(UserDefaults &defaults)
{
    static const QString key = QStringLiteral("crashInstallID");
    // Two first readers at once must not store two different identifiers.
    static std::mutex creation;
    std::lock_guard lock(creation);
    if (auto stored = defaults.string(key); stored && !stored->isEmpty()) {
        return *stored;
    }
    const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    defaults.setValue(key, fresh);
    return fresh;
}

bool reportingEnabled(const UserDefaults &defaults)
{
    return defaults.boolValue(QStringLiteral("crashReportingEnabled")).value_or(true);
}

} // namespace CrashConfig
