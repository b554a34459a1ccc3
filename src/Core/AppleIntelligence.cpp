#include "Core/AppleIntelligence.h"

#include "Core/DebugLog.h"

#include <QString>

namespace AppleIntelligence {

Status status()
{
    return Status::notSupported;
}

void openSettings()
{
    DebugLog::log(QStringLiteral("permissions: this system has no on-device language model and no "
                                 "settings for one"));
}

} // namespace AppleIntelligence
