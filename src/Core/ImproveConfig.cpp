#include "Core/ImproveConfig.h"

#include "Base/UserDefaults.h"

namespace ImproveConfig {

bool enabled()
{
    return enabled(UserDefaults::standard());
}

bool enabled(const UserDefaults &defaults)
{
    return defaults.boolValue(QStringLiteral("improveDataSharing")).value_or(true);
}

} // namespace ImproveConfig
