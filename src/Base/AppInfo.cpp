#include "Base/AppInfo.h"

#include "AppInfoConfig.h"

QString AppInfo::bundleIdentifier()
{
    return QStringLiteral("org.sonorvelle.Sonorvelle");
}

QString AppInfo::shortVersion()
{
    return QStringLiteral(SONORVELLE_SHORT_VERSION);
}

QString AppInfo::buildVersion()
{
    return QStringLiteral(SONORVELLE_BUILD_NUMBER);
}

QString AppInfo::feedURL()
{
    return QStringLiteral(SONORVELLE_FEED_URL);
}
