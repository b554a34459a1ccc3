#include "Core/ImproveConfig.h"

#include "Base/UserDefaults.h"

namespace ImproveConfig {

namespace {

const QString consentShownKey = QStringLiteral("consentShown");

} // namespace

bool enabled()
{
    return enabled(UserDefaults::standard());
}

bool enabled(const UserDefaults &defaults)
{
    return defaults.boolValue(QStringLiteral("improveDataSharing")).value_or(true);
}

bool consentGiven(const UserDefaults &defaults)
{
    if (const std::optional<bool> shown = defaults.boolValue(consentShownKey)) {
        return *shown;
    }
    return defaults.boolValue(QStringLiteral("onboardingCompleted")).value_or(false);
}

void setConsentShown(UserDefaults &defaults, bool shown)
{
    defaults.setValue(consentShownKey, shown);
}

} // namespace ImproveConfig
