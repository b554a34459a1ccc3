#include "Core/AppleIntelligence.h"

#include "Core/DebugLog.h"

#include <QString>

namespace AppleIntelligence {

Status status()
{
    return status(SystemLanguageModel::system()->availability());
}

Status status(SystemLanguageModel::Availability availability)
{
    switch (availability) {
    case SystemLanguageModel::Availability::available:
        return Status::ready;
    case SystemLanguageModel::Availability::appleIntelligenceNotEnabled:
        return Status::disabled;
    case SystemLanguageModel::Availability::modelNotReady:
        return Status::downloading;
    case SystemLanguageModel::Availability::deviceNotEligible:
        break;
    }
    return Status::notSupported;
}

void openSettings()
{
    DebugLog::log(QStringLiteral("permissions: this system has no on-device language model and no "
                                 "settings for one"));
}

} // namespace AppleIntelligence
