#pragma once

#include <QString>

// Identity and version of the application, fixed at build time.
class AppInfo
{
public:
    static QString bundleIdentifier(); // "org.sonorvelle.Sonorvelle"
    static QString shortVersion(); // the project version, e.g. "0.1.0"
    static QString buildVersion(); // the build number
    static QString feedURL(); // update feed address; empty when none is configured
};
