#pragma once

#include <QString>

class UserDefaults;

// Configuration shared by crash reports and the other diagnostics sent to the cloud service.
namespace CrashConfig {

// The installation's identifier: the user-defaults string "crashInstallID"; when none is stored
// (or it is empty), a new random UUID in its 36-character upper-case form, stored under that key
// and returned. Never fails; any thread.
QString installID();
QString installID(UserDefaults &defaults);

// Whether crashes are reported: the boolean user default "crashReportingEnabled", read at every
// call. Absent, or not a boolean, counts as true. Any thread.
bool reportingEnabled(const UserDefaults &defaults);

} // namespace CrashConfig
